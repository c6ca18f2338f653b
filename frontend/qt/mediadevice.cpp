#include "frontend/qt/mediadevice.h"

#include <fluidsynth.h>

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "common/fileptr.h"
#include "common/midifile.h"
#include "common/wav.h"
#include "frontend/core/uitext.h"

namespace sonvola {

Result<PcmData> readWavPcm(const std::string& path) {
    auto refused = [](const char* text) { return Status::error(uiText(text)); };
    PcmData out;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        return refused(QT_TRANSLATE_NOOP("sonvola", "ファイルを開けません。"));
    }
    const std::optional<WavChunks> found = readWavChunks(f.get());
    if (!found) {
        return refused(QT_TRANSLATE_NOOP("sonvola", "RIFF WAVE ファイルではありません。"));
    }
    const WavChunks& chunks = *found;
    if (chunks.dataAt < 0) {
        return refused(QT_TRANSLATE_NOOP("sonvola", "data チャンクがありません。"));
    }
    const WavFormat& fmt = chunks.format;
    out.channels = static_cast<int>(fmt.channels);
    out.sampleRate = static_cast<int>(fmt.sampleRate);
    const int bits = static_cast<int>(fmt.bitsPerSample);
    if ((fmt.formatCode != 1 && fmt.formatCode != 0xFFFE) || (bits != 8 && bits != 16) ||
        fmt.channels < 1 || fmt.channels > 8 || fmt.sampleRate < 1000 || fmt.sampleRate > 384000) {
        return refused(
            QT_TRANSLATE_NOOP("sonvola", "再生できない形式です（リニア PCM 8/16 ビットのみ）。"));
    }
    // The samples as the stages read them (8-bit ones converted alike), as
    // many as the file holds of what the chunk announces.
    const int64_t body = chunks.dataAt + 8;
    std::fseek(f.get(), 0, SEEK_END);
    const int64_t present = std::max<int64_t>(0, std::ftell(f.get()) - body);
    WaveSampleStream samples;
    if (!samples.open(path, std::min<int64_t>(chunks.dataSize, present), body, bits)) {
        return refused(QT_TRANSLATE_NOOP("sonvola", "ファイルを開けません。"));
    }
    out.samples.resize(static_cast<size_t>(samples.total()));
    samples.read(out.samples.data(), out.samples.size());
    return out;
}

std::string findSoundFont() {
    if (const char* env = std::getenv("SONVOLA_SOUNDFONT"); env && *env) return env;
    for (const char* f :
         {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
          "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf3/default-GM.sf3"}) {
        std::error_code ec;
        if (std::filesystem::exists(f, ec)) return f;
    }
    return "";
}

struct MidiRenderer::Impl {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    ~Impl() {
        if (player) delete_fluid_player(player);
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }
};

MidiRenderer::MidiRenderer() : impl_(std::make_unique<Impl>()) {}
MidiRenderer::~MidiRenderer() = default;

Status MidiRenderer::load(const std::string& midiPath, const std::string& soundFont) {
    if (!fluid_is_midifile(midiPath.c_str())) {
        return Status::error(uiText(QT_TRANSLATE_NOOP("sonvola", "MIDI ファイルではありません。")));
    }
    if (soundFont.empty()) {
        return Status::error(
            uiText(QT_TRANSLATE_NOOP("sonvola", "GM 音色ファイル (sf2) が見つかりません。")));
    }
    // Quiet: FluidSynth's own log would go to the console.
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    impl_->settings = new_fluid_settings();
    fluid_settings_setnum(impl_->settings, "synth.sample-rate", 44100.0);
    fluid_settings_setnum(impl_->settings, "synth.gain", 0.6);
    fluid_settings_setstr(impl_->settings, "player.timing-source", "sample");
    fluid_settings_setint(impl_->settings, "synth.lock-memory", 0);
    impl_->synth = new_fluid_synth(impl_->settings);
    if (!impl_->synth || fluid_synth_sfload(impl_->synth, soundFont.c_str(), 1) == FLUID_FAILED) {
        return Status::error(
            uiText(QT_TRANSLATE_NOOP("sonvola", "音色ファイル「%1」を読めません。"), {soundFont}));
    }
    impl_->player = new_fluid_player(impl_->synth);
    if (!impl_->player || fluid_player_add(impl_->player, midiPath.c_str()) != FLUID_OK ||
        fluid_player_play(impl_->player) != FLUID_OK) {
        return Status::error(uiText(QT_TRANSLATE_NOOP("sonvola", "MIDI ファイルを読めません。")));
    }
    return {};
}

bool MidiRenderer::finished() const {
    return !impl_->player || fluid_player_get_status(impl_->player) != FLUID_PLAYER_PLAYING;
}

size_t MidiRenderer::render(int16_t* out, size_t frames) {
    if (!impl_->synth || finished()) return 0;
    fluid_synth_write_s16(impl_->synth, static_cast<int>(frames), out, 0, 2, out, 1, 2);
    return frames;
}

void PcmSource::setPcm(PcmData pcm) {
    midi_.reset();
    rate_ = pcm.sampleRate;
    channels_ = pcm.channels;
    pcm_ = std::move(pcm);
    rewind();
}

Status PcmSource::setMidi(const std::string& path, const std::string& soundFont) {
    auto r = std::make_unique<MidiRenderer>();
    if (Status loaded = r->load(path, soundFont); !loaded) return loaded;
    pcm_ = {};
    midi_ = std::move(r);
    midiPath_ = path;
    soundFont_ = soundFont;
    rate_ = 44100;
    channels_ = 2;
    pos_ = 0;
    framesRead_ = 0;
    return {};
}

void PcmSource::rewind() {
    pos_ = 0;
    framesRead_ = 0;
    if (midi_) {
        // A fresh renderer starts the piece again.
        auto r = std::make_unique<MidiRenderer>();
        if (r->load(midiPath_, soundFont_)) midi_ = std::move(r);
    }
}

bool PcmSource::atEnd() const {
    return midi_ ? midi_->finished() : pos_ >= pcm_.samples.size();
}

qint64 PcmSource::readData(char* data, qint64 maxSize) {
    const size_t frameBytes = static_cast<size_t>(channels_) * 2;
    const size_t frames = static_cast<size_t>(maxSize) / frameBytes;
    if (frames == 0) return 0;
    size_t got = 0;
    if (midi_) {
        got = midi_->render(reinterpret_cast<int16_t*>(data), frames);
    } else {
        const size_t available = (pcm_.samples.size() - pos_) / static_cast<size_t>(channels_);
        got = std::min(frames, available);
        std::memcpy(data, pcm_.samples.data() + pos_, got * frameBytes);
        pos_ += got * static_cast<size_t>(channels_);
    }
    framesRead_ += static_cast<int64_t>(got);
    return static_cast<qint64>(got * frameBytes);
}

PcmMediaDevice::PcmMediaDevice(QObject* parent) : QObject(parent) {}

PcmMediaDevice::~PcmMediaDevice() {
    releaseSink();
}

bool PcmMediaDevice::hasAudioOutput() const {
    return !QMediaDevices::audioOutputs().isEmpty();
}

void PcmMediaDevice::releaseSink() {
    if (sink_) {
        sink_->stop();
        delete sink_;
        sink_ = nullptr;
    }
    delete source_;
    source_ = nullptr;
    playing_ = false;
}

Status PcmMediaDevice::check(uint32_t id) const {
    if (id == 0 || id != openId_ || !source_) {
        return Status::error(
            uiText(QT_TRANSLATE_NOOP("sonvola", "指定されたデバイスは開かれていません。")));
    }
    return {};
}

Result<uint32_t> PcmMediaDevice::open(const std::string& path, MediaKind kind) {
    auto source = std::make_unique<PcmSource>();
    int64_t duration = -1;
    if (kind == MediaKind::Wave) {
        Result<PcmData> read = readWavPcm(path);
        if (!read) return read.status();
        PcmData& pcm = *read;
        if (pcm.sampleRate > 0 && pcm.channels > 0) {
            duration =
                static_cast<int64_t>(pcm.samples.size() / static_cast<size_t>(pcm.channels)) *
                1000 / pcm.sampleRate;
        }
        source->setPcm(std::move(pcm));
    } else {
        if (Status set = source->setMidi(path, findSoundFont()); !set) return set;
        if (Result<MidiFile> file = parseMidiFile(path)) {
            double end = 0.0;
            for (const MidiNote& n : midiNotes(*file)) end = std::max(end, n.offsetS);
            duration = static_cast<int64_t>(end * 1000.0);
        }
    }
    durationMs_ = duration;
    releaseSink();
    source_ = source.release();
    source_->open(QIODevice::ReadOnly);
    openId_ = nextId_++;
    return openId_;
}

Status PcmMediaDevice::play(uint32_t id, bool fromStart) {
    if (Status open = check(id); !open) return open;
    if (fromStart) {
        if (sink_) sink_->stop();
        source_->rewind();
        clockBaseMs_ = 0;
    }
    if (!silent_ && !sink_ && hasAudioOutput()) {
        QAudioFormat format;
        format.setSampleRate(source_->sampleRate());
        format.setChannelCount(source_->channels());
        format.setSampleFormat(QAudioFormat::Int16);
        sink_ = new QAudioSink(QMediaDevices::defaultAudioOutput(), format, this);
    }
    if (sink_ && !silent_) {
        if (sink_->state() == QAudio::SuspendedState && !fromStart) {
            sink_->resume();
        } else {
            sink_->start(source_);
        }
        if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
            // No usable output after all: the silent clock takes over.
            delete sink_;
            sink_ = nullptr;
            silent_ = true;
        }
    } else {
        silent_ = true;
    }
    clock_.restart();
    playing_ = true;
    return {};
}

Status PcmMediaDevice::stop(uint32_t id) {
    if (Status open = check(id); !open) return open;
    if (sink_) sink_->suspend();
    if (playing_) clockBaseMs_ += clock_.elapsed();
    playing_ = false;
    return {};
}

Status PcmMediaDevice::close(uint32_t id) {
    if (Status open = check(id); !open) return open;
    releaseSink();
    openId_ = 0;
    return {};
}

int64_t PcmMediaDevice::positionMs() const {
    const int64_t at = clockBaseMs_ + (playing_ ? clock_.elapsed() : 0);
    return durationMs_ >= 0 ? std::min(at, durationMs_) : at;
}

}  // namespace sonvola
