#include "frontend/core/playback.h"

#include "frontend/core/uitext.h"

namespace sonvola {

void Playback::fail() {
    window_.showError(device_.errorText());
    window_.endDialog();
}

std::string openErrorMessage(const std::string& path, MediaKind kind, const std::string& reason) {
    if (path.empty()) {
        return uiText(QT_TRANSLATE_NOOP(
            "sonvola", "ファイル名がありません。ファイルを開くで選んでください。"));
    }
    std::string text =
        kind == MediaKind::Wave
            ? uiText(QT_TRANSLATE_NOOP(
                         "sonvola",
                         "「%1」をWAV ファイル（リニア PCM 8/16 ビット）として開けません。"),
                     {path})
            : uiText(QT_TRANSLATE_NOOP("sonvola", "「%1」をMIDI ファイルとして開けません。"),
                     {path});
    if (!reason.empty()) text += "\n" + reason;
    return text;
}

void Playback::OpenMediaDevice() {
    uint32_t id = 0;
    if (!device_.open(fields_.m_strFileName, window_.selectedKind(), id)) {
        window_.showMessage(
            openErrorMessage(fields_.m_strFileName, window_.selectedKind(), device_.errorText()));
        return;
    }
    m_bDeviceOpen = 1;
    m_wDeviceID = id;
}

void Playback::CloseMediaDevice() {
    OnStop();
    if (m_bDeviceOpen != 1) return;
    if (!device_.close(m_wDeviceID)) fail();
    m_bDeviceOpen = 0;
    window_.writeBack();
}

void Playback::OnStop() {
    if (m_bDeviceOpen != 1) return;
    if (!device_.stop(m_wDeviceID)) {
        fail();
        return;
    }
    m_bPlaying = 0;
}

void Playback::OnPlay() {
    window_.takeOver();
    CloseMediaDevice();
    OpenMediaDevice();
    if (m_bDeviceOpen != 1) return;
    m_bPlaying = 1;
    if (!device_.play(m_wDeviceID, true)) fail();
}

void Playback::OnPause() {
    if (m_bDeviceOpen != 1 || m_bPlaying != 1) return;
    if (m_bPaused == 1) {
        if (!device_.play(m_wDeviceID, false)) fail();
        m_bPaused = 0;
    } else {
        if (!device_.stop(m_wDeviceID)) fail();
        m_bPaused = 1;
    }
}

void Playback::OnOpenFile() {
    std::optional<std::string> chosen = window_.chooseFile(window_.selectedKind());
    if (!chosen) return;
    // What was typed into the fields is kept, as load would keep it.
    window_.takeOver();
    fields_.m_strFileName = *chosen;
    window_.writeBack();
    CloseMediaDevice();
    OpenMediaDevice();
}

void Playback::switchTo(const std::string& candidate) {
    if (!window_.fileReadable(candidate)) return;
    window_.takeOver();  // what was typed into the fields is kept
    fields_.m_strFileName = candidate;
    window_.writeBack();
    CloseMediaDevice();
    OpenMediaDevice();
}

void Playback::OnSelectMidi() {
    switchTo(fields_.m_strFileName + ".mid");
}

void Playback::OnSelectWave() {
    const std::string& name = fields_.m_strFileName;
    if (name.size() < 4) return;
    switchTo(name.substr(0, name.size() - 4));
}

bool Playback::stopForAnalysis() {
    return device_.stop(m_wDeviceID);
}

}  // namespace sonvola
