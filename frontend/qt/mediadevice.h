// The media device of the main window: one PCM player for both kinds. A WAV
// file is played as its PCM samples; a MIDI file is rendered on demand with
// FluidSynth and a General MIDI sound font. Without an audio output the
// player runs on a silent clock, so the window behaves the same.
#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frontend/core/playback.h"

class QAudioSink;

namespace sonvola {

// 16-bit PCM of a WAV file, interleaved; 8-bit data converted as the stages
// convert it (pcm8To16 of common/wav.h).
struct PcmData {
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};

// Reads a RIFF WAVE file of linear PCM (or extensible), 8 or 16 bits, 1 to 8
// channels, 1000 to 384000 Hz. Fails with a reason when the file is anything
// else.
Result<PcmData> readWavPcm(const std::string& path);

// The sound font to render MIDI with: $SONVOLA_SOUNDFONT, else the first
// General MIDI font of Debian's packages that is installed; empty if none.
std::string findSoundFont();

// Renders a MIDI file to 44.1 kHz stereo 16-bit samples, as they are asked for.
class MidiRenderer {
  public:
    MidiRenderer();
    ~MidiRenderer();
    MidiRenderer(const MidiRenderer&) = delete;
    MidiRenderer& operator=(const MidiRenderer&) = delete;

    Status load(const std::string& midiPath, const std::string& soundFont);
    // Writes up to `frames` stereo frames; returns how many (0 at the end).
    size_t render(int16_t* out, size_t frames);
    bool finished() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The samples a player pulls: a WAV's PCM or a MIDI file rendered on demand.
class PcmSource : public QIODevice {
  public:
    explicit PcmSource(QObject* parent = nullptr) : QIODevice(parent) {}
    void setPcm(PcmData pcm);
    Status setMidi(const std::string& path, const std::string& soundFont);
    void rewind();
    int sampleRate() const { return rate_; }
    int channels() const { return channels_; }
    int64_t framesRead() const { return framesRead_; }
    bool atEnd() const override;

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    PcmData pcm_;
    size_t pos_ = 0;  // in samples
    std::unique_ptr<MidiRenderer> midi_;
    std::string midiPath_, soundFont_;
    int rate_ = 44100, channels_ = 2;
    int64_t framesRead_ = 0;
};

class PcmMediaDevice : public QObject, public MediaDevice {
    Q_OBJECT
  public:
    explicit PcmMediaDevice(QObject* parent = nullptr);
    ~PcmMediaDevice() override;

    Result<uint32_t> open(const std::string& path, MediaKind kind) override;
    Status play(uint32_t id, bool fromStart) override;
    Status stop(uint32_t id) override;
    Status close(uint32_t id) override;

    // True when an audio output device exists (else the silent clock runs).
    bool hasAudioOutput() const;
    bool playing() const { return playing_; }
    // Milliseconds played since the last start from the beginning, at most
    // the length of the file.
    int64_t positionMs() const override;
    int64_t durationMs() const override { return durationMs_; }

  private:
    Status check(uint32_t id) const;
    void releaseSink();

    uint32_t openId_ = 0;
    uint32_t nextId_ = 1;
    PcmSource* source_ = nullptr;
    QAudioSink* sink_ = nullptr;
    bool silent_ = false;
    bool playing_ = false;
    QElapsedTimer clock_;
    int64_t clockBaseMs_ = 0;
    int64_t durationMs_ = -1;
};

}  // namespace sonvola
