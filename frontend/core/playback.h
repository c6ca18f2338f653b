// The playback state machine of the main window, over a media device that
// opens a WAV or a MIDI file, plays, stops and closes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/status.h"
#include "frontend/core/fields.h"

namespace sonvola {

enum class MediaKind { Wave, Midi };

// A media device. Commands name the device by the identifier that open gave;
// a command to an identifier that is not open (none yet, or closed) fails.
// A failure carries the text the window shows.
class MediaDevice {
  public:
    virtual ~MediaDevice() = default;
    virtual Result<uint32_t> open(const std::string& path, MediaKind kind) = 0;
    virtual Status play(uint32_t id, bool fromStart) = 0;  // returns at once; playback goes on
    virtual Status stop(uint32_t id) = 0;                  // halts and keeps the position
    virtual Status close(uint32_t id) = 0;
    // Where playback stands and how long the open file lasts, in ms; -1 when
    // the device cannot tell.
    virtual int64_t positionMs() const { return -1; }
    virtual int64_t durationMs() const { return -1; }
};

// What the state machine asks of its window.
class PlaybackWindow {
  public:
    virtual ~PlaybackWindow() = default;
    virtual MediaKind selectedKind() const = 0;             // the WAVE/MIDI radio pair
    virtual void takeOver() = 0;                            // field texts -> stored strings
    virtual void writeBack() = 0;                           // stored strings -> field texts
    virtual void showMessage(const std::string& text) = 0;  // ownerless, empty caption
    virtual void showError(const std::string& text) = 0;    // owned, caption "エラー"
    virtual void endDialog() = 0;                           // the program ends after the handler
    virtual bool fileReadable(const std::string& path) const = 0;
    virtual std::optional<std::string> chooseFile(MediaKind kind) = 0;  // the file-open dialog
};

// The message when a file cannot be opened for playback: the file, what it
// was to be read as, and the reason.
std::string openErrorMessage(const std::string& path, MediaKind kind, const std::string& reason);

class Playback {
  public:
    Playback(FieldTexts& fields, MediaDevice& device, PlaybackWindow& window)
        : fields_(fields), device_(device), window_(window) {}

    bool paused() const { return paused_; }
    bool playing() const { return playing_; }
    bool deviceOpen() const { return deviceOpen_; }
    uint32_t deviceId() const { return deviceId_; }  // from the last successful open

    void openMediaDevice();
    void closeMediaDevice();
    void onOpenFile();
    void onPlay();
    void onStop();
    void onPause();
    void onSelectWave();
    void onSelectMidi();

    // The stop command sent to deviceId(): the proof that a recording is open
    // before an analysis starts. False when no device answers.
    bool stopForAnalysis();

  private:
    // The error box with the device's text, then the end of the dialog.
    void fail(const Status& failed);
    void switchTo(const std::string& candidate);

    FieldTexts& fields_;
    MediaDevice& device_;
    PlaybackWindow& window_;
    bool paused_ = false;
    bool playing_ = false;
    bool deviceOpen_ = false;
    uint32_t deviceId_ = 0;  // never cleared
};

}  // namespace sonvola
