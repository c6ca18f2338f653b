#include "frontend/core/playback.h"

#include "frontend/core/uitext.h"

namespace sonvola {

void Playback::fail(const Status& failed) {
    window_.showError(failed.message());
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

void Playback::openMediaDevice() {
    const Result<uint32_t> id = device_.open(fields_.fileName, window_.selectedKind());
    if (!id) {
        window_.showMessage(
            openErrorMessage(fields_.fileName, window_.selectedKind(), id.message()));
        return;
    }
    deviceOpen_ = true;
    deviceId_ = *id;
}

void Playback::closeMediaDevice() {
    onStop();
    if (!deviceOpen_) return;
    if (Status done = device_.close(deviceId_); !done) fail(done);
    deviceOpen_ = false;
    window_.writeBack();
}

void Playback::onStop() {
    if (!deviceOpen_) return;
    if (Status stopped = device_.stop(deviceId_); !stopped) {
        fail(stopped);
        return;
    }
    playing_ = false;
}

void Playback::onPlay() {
    window_.takeOver();
    closeMediaDevice();
    openMediaDevice();
    if (!deviceOpen_) return;
    playing_ = true;
    if (Status done = device_.play(deviceId_, true); !done) fail(done);
}

void Playback::onPause() {
    if (!deviceOpen_ || !playing_) return;
    if (paused_) {
        if (Status done = device_.play(deviceId_, false); !done) fail(done);
        paused_ = false;
    } else {
        if (Status done = device_.stop(deviceId_); !done) fail(done);
        paused_ = true;
    }
}

void Playback::onOpenFile() {
    std::optional<std::string> chosen = window_.chooseFile(window_.selectedKind());
    if (!chosen) return;
    // What was typed into the fields is kept, as load would keep it.
    window_.takeOver();
    fields_.fileName = *chosen;
    window_.writeBack();
    closeMediaDevice();
    openMediaDevice();
}

void Playback::switchTo(const std::string& candidate) {
    if (!window_.fileReadable(candidate)) return;
    window_.takeOver();  // what was typed into the fields is kept
    fields_.fileName = candidate;
    window_.writeBack();
    closeMediaDevice();
    openMediaDevice();
}

void Playback::onSelectMidi() {
    switchTo(fields_.fileName + ".mid");
}

void Playback::onSelectWave() {
    const std::string& name = fields_.fileName;
    if (name.size() < 4) return;
    switchTo(name.substr(0, name.size() - 4));
}

bool Playback::stopForAnalysis() {
    return device_.stop(deviceId_).ok();
}

}  // namespace sonvola
