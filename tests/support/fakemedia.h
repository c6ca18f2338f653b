// A media device and a window for the playback state machine, recording
// every command, with failures on demand.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "frontend/core/launcher.h"
#include "frontend/core/playback.h"

namespace sonvola::test {

class FakeDevice : public MediaDevice {
  public:
    std::vector<std::string>
        log;  // "open PATH wave|midi", "play N from|resume", "stop N", "close N"
    std::set<std::string> openable;  // paths that open (any kind unless listed in midiOnly)
    std::set<std::string> midiOnly;  // paths that open only as MIDI
    bool failPlay = false, failStop = false, failClose = false;
    uint32_t openId = 0, nextId = 1;
    bool playing = false;

    Result<uint32_t> open(const std::string& path, MediaKind kind) override {
        log.push_back("open " + path + (kind == MediaKind::Wave ? " wave" : " midi"));
        const bool ok = openable.count(path) &&
                        (kind == MediaKind::Midi || !midiOnly.count(path)) &&
                        (kind == MediaKind::Wave || midiOnly.count(path));
        if (!ok) return Status::error("cannot open");
        openId = nextId++;
        return openId;
    }
    Status play(uint32_t id, bool fromStart) override {
        log.push_back("play " + std::to_string(id) + (fromStart ? " from" : " resume"));
        if (failPlay || id != openId || id == 0) return Status::error("play failed");
        playing = true;
        return {};
    }
    Status stop(uint32_t id) override {
        log.push_back("stop " + std::to_string(id));
        if (failStop || id != openId || id == 0) return Status::error("stop failed");
        playing = false;
        return {};
    }
    Status close(uint32_t id) override {
        log.push_back("close " + std::to_string(id));
        if (failClose || id != openId || id == 0) return Status::error("close failed");
        openId = 0;
        return {};
    }
    int64_t positionMs() const override { return position; }
    int64_t durationMs() const override { return duration; }

    int64_t position = -1, duration = -1;
};

class FakeWindow : public PlaybackWindow {
  public:
    explicit FakeWindow(FieldTexts& f) : fields(f) {}
    FieldTexts& fields;
    MediaKind kind = MediaKind::Wave;
    std::vector<std::string> messages, errors;
    int writeBacks = 0, takeOvers = 0, ends = 0;
    std::set<std::string> readable;
    std::optional<std::string> nextChoice;
    std::string typedFileName;  // what the file field holds

    MediaKind selectedKind() const override { return kind; }
    void takeOver() override {
        ++takeOvers;
        fields.fileName = typedFileName;
    }
    void writeBack() override {
        ++writeBacks;
        typedFileName = fields.fileName;
    }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showError(const std::string& text) override { errors.push_back(text); }
    void endDialog() override { ++ends; }
    bool fileReadable(const std::string& path) const override { return readable.count(path) > 0; }
    std::optional<std::string> chooseFile(MediaKind) override { return nextChoice; }
};

// Records the programs a launcher starts.
class FakeStarter : public ProgramStarter {
  public:
    struct Start {
        std::string program;
        std::vector<std::string> words;
    };
    std::vector<Start> starts;
    bool fail = false;
    Status start(const std::string& program, const std::vector<std::string>& words) override {
        if (fail) return Status::error("cannot start " + program);
        starts.push_back({program, words});
        return {};
    }
};

}  // namespace sonvola::test
