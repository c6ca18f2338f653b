// Decoding with FFmpeg: libavformat reads the file and finds the first audio
// stream, libavcodec decodes it; the samples are brought to 16 bits (and to
// mono when there are more than two channels) here and written as a WAV file.
#include "decode/decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/samplefmt.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/outputfile.h"
#include "common/wav.h"

namespace sonvola {

namespace {

constexpr int kMaxChannels = 64;
constexpr int kMinRate = 11025;
constexpr int kMaxRate = 768000;
constexpr int64_t kMaxDataBytes = INT32_MAX;
constexpr double kMinus3dB = 0.70710678118654752;
// Damaged packets in a row after which a stream counts as broken off.
constexpr int kMaxFailuresInARow = 1000;

// ---- FFmpeg's log messages: kept (the last error of this thread), never printed.

thread_local std::string lastFfmpegError;

void catchLog(void*, int level, const char* fmt, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, args);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    if (!s.empty()) lastFfmpegError = s;
}

void catchFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(catchLog); });
    lastFfmpegError.clear();
}

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    std::string s = text;
    if (!lastFfmpegError.empty() && lastFfmpegError != s) s += ": " + lastFfmpegError;
    return s;
}

std::string seconds(double s) {
    if (s < 3600) return format("%.2f s", s);
    const long long m = static_cast<long long>(s / 60);
    return format("%lld h %02lld min", m / 60, m % 60);
}

// ---- The input: the file read through our own reader, so that FFmpeg opens
// nothing else (no other file a playlist names, no network address).

struct FileReader {
    std::FILE* file = nullptr;
    int64_t size = 0;
    int readError = 0;    // errno of a failed read
    bool endMet = false;  // a read met the end of the file
};

int readPacket(void* opaque, uint8_t* buf, int size) {
    auto* r = static_cast<FileReader*>(opaque);
    const size_t n = std::fread(buf, 1, static_cast<size_t>(size), r->file);
    if (n == 0) {
        if (std::ferror(r->file)) {
            r->readError = errno ? errno : EIO;
            return AVERROR(r->readError);
        }
        r->endMet = true;
        return AVERROR_EOF;
    }
    return static_cast<int>(n);
}

int64_t seekFile(void* opaque, int64_t offset, int whence) {
    auto* r = static_cast<FileReader*>(opaque);
    if (whence & AVSEEK_SIZE) return r->size;
    whence &= ~AVSEEK_FORCE;
    if (std::fseek(r->file, static_cast<long>(offset), whence) != 0) {
        return AVERROR(errno ? errno : EINVAL);
    }
    return std::ftell(r->file);
}

int refuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

class Input {
  public:
    ~Input() {
        avcodec_free_context(&codec);
        avformat_close_input(&demuxer);
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
    }

    // Opens `path` and its first audio stream's decoder, checking the limits.
    Status open(const std::string& path);

    FilePtr file;
    FileReader reader;
    AVIOContext* io = nullptr;
    AVFormatContext* demuxer = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    int channels = 0;
    int rate = 0;
    int64_t announcedFrames = -1;  // -1: unknown or only guessed
    std::string description;
};

Status checkLimits(const std::string& path, int channels, int rate) {
    if (channels > kMaxChannels) {
        return Status::error(
            format("cannot decode %s: its audio has %d channels; at most %d are accepted",
                   path.c_str(), channels, kMaxChannels));
    }
    if (rate > kMaxRate) {
        return Status::error(
            format("cannot decode %s: it is sampled at %d Hz; at most %d Hz are accepted",
                   path.c_str(), rate, kMaxRate));
    }
    if (rate > 0 && rate < kMinRate) {
        return Status::error(
            format("cannot decode %s: it is sampled at %d Hz: the analysis needs at least %d Hz",
                   path.c_str(), rate, kMinRate));
    }
    return Status();
}

// The stream as decoded: 1 to 64 channels, 11025 to 768000 Hz.
Status checkStream(const std::string& path, int channels, int rate) {
    if (Status limits = checkLimits(path, channels, rate); !limits) return limits;
    if (channels <= 0) {
        return Status::error(
            format("cannot decode %s: its audio stream states no channels", path.c_str()));
    }
    if (rate <= 0) {
        return Status::error(
            format("cannot decode %s: its audio stream states a sampling rate of %d Hz",
                   path.c_str(), rate));
    }
    return Status();
}

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

bool isPcm(AVCodecID id) {
    return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

// The frames that the data chunk of a WAV file announces; -1 when there is
// none or its size is one that recorders leave while they write (0, 2^32 - 1).
int64_t wavDataFrames(const std::string& path, int blockAlign) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) return -1;
    const std::optional<WavChunks> chunks = readWavChunks(f.get(), 1000);
    if (!chunks || chunks->dataAt < 0) return -1;
    const uint32_t size = chunks->dataSize;
    if (size == 0 || size == UINT32_MAX) return -1;
    return size / static_cast<uint32_t>(blockAlign);
}

AVStream* firstAudioStream(AVFormatContext* f) {
    for (unsigned i = 0; i < f->nb_streams; ++i) {
        if (f->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return f->streams[i];
    }
    return nullptr;
}

Status Input::open(const std::string& path) {
    catchFfmpegLog();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return Status::error(format("cannot read %s: %s", path.c_str(), std::strerror(errno)));
    }
    if (S_ISDIR(st.st_mode)) {
        return Status::error(
            format("cannot read %s: it is a folder, not an audio file", path.c_str()));
    }
    if (!S_ISREG(st.st_mode)) {
        return Status::error(
            format("cannot read %s: not a regular file (pipes and devices are not decoded)",
                   path.c_str()));
    }
    file.reset(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return Status::error(format("cannot read %s: %s", path.c_str(), std::strerror(errno)));
    }
    if (st.st_size == 0) {
        return Status::error(format("no audio in %s: the file is empty", path.c_str()));
    }
    reader = {file.get(), static_cast<int64_t>(st.st_size)};

    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer)
        io = avio_alloc_context(buffer, kBufferSize, 0, &reader, readPacket, nullptr, seekFile);
    if (!io) av_free(buffer);
    demuxer = io ? avformat_alloc_context() : nullptr;
    if (!demuxer) {
        return Status::error(format("cannot read %s: out of memory", path.c_str()));
    }
    demuxer->pb = io;
    demuxer->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Demuxers that open other files do so through io_open, or (a concat
    // list) through a demuxer of their own that inherits the protocol list:
    // both are closed.
    demuxer->io_open = refuseOpen;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "none", 0);
    int r = avformat_open_input(&demuxer, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (r < 0) {
        // The context is freed by a failed open.
        if (reader.readError) {
            return Status::error(
                format("cannot read %s: %s", path.c_str(), std::strerror(reader.readError)));
        }
        if (r == AVERROR(ENOMEM)) {
            return Status::error(format("cannot read %s: out of memory", path.c_str()));
        }
        if (reader.endMet && (r == AVERROR_EOF || r == AVERROR(EIO))) {
            return Status::error(
                format("cannot read %s: it ends within its header (cut short?)", path.c_str()));
        }
        std::string error =
            format("cannot read %s: not an audio or video file that can be decoded", path.c_str());
        if (!lastFfmpegError.empty()) error += " (" + lastFfmpegError + ")";
        return Status::error(std::move(error));
    }
    // An absurd header is refused before any decoder sees it.
    if (AVStream* s = firstAudioStream(demuxer)) {
        Status limits =
            checkLimits(path, s->codecpar->ch_layout.nb_channels, s->codecpar->sample_rate);
        if (!limits) return limits;
    }
    r = avformat_find_stream_info(demuxer, nullptr);
    stream = firstAudioStream(demuxer);
    if (!stream) {
        return Status::error(
            r < 0 ? format("cannot read %s: %s", path.c_str(), ffmpegError(r).c_str())
                  : format("no audio in %s: it holds no sound track", path.c_str()));
    }
    for (unsigned i = 0; i < demuxer->nb_streams; ++i) {
        if (demuxer->streams[i] != stream) demuxer->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVCodecParameters* par = stream->codecpar;
    channels = par->ch_layout.nb_channels;
    rate = par->sample_rate;
    if (Status usable = checkStream(path, channels, rate); !usable) return usable;

    const char* codecName = avcodec_get_name(par->codec_id);
    std::string container = demuxer->iformat->name;
    container = container.substr(0, container.find(','));
    description = std::string(codecName) + " in " + container;

    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) {
        return Status::error(format("cannot decode %s: there is no decoder for its audio (%s)",
                                    path.c_str(), codecName));
    }
    codec = avcodec_alloc_context3(decoder);
    if (!codec || avcodec_parameters_to_context(codec, par) < 0) {
        return Status::error(format("cannot decode %s: out of memory", path.c_str()));
    }
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 1;
    r = avcodec_open2(codec, decoder, nullptr);
    if (r < 0) {
        return Status::error(format("cannot decode %s: %s", path.c_str(), ffmpegError(r).c_str()));
    }

    if (demuxer->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
            announcedFrames =
                av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate});
        } else if (demuxer->duration != AV_NOPTS_VALUE && demuxer->duration > 0) {
            announcedFrames =
                av_rescale_q(demuxer->duration, AVRational{1, AV_TIME_BASE}, AVRational{1, rate});
        }
    }
    // FFmpeg guesses the length of a WAV file from its size; its data chunk
    // says what it should be (and so whether the file was cut short).
    if (std::strcmp(demuxer->iformat->name, "wav") == 0 && isPcm(par->codec_id) &&
        par->block_align > 0) {
        const int64_t frames = wavDataFrames(path, par->block_align);
        if (frames >= 0) announcedFrames = frames;
    }
    return Status();
}

// ---- From decoded frames to 16-bit samples.

// A channel's weight in a mono mix; -1 for a channel of unknown position.
double weightOf(AVChannel ch) {
    switch (ch) {
        case AV_CHAN_FRONT_LEFT:
        case AV_CHAN_FRONT_RIGHT:
        case AV_CHAN_FRONT_LEFT_OF_CENTER:
        case AV_CHAN_FRONT_RIGHT_OF_CENTER:
            return 1.0;
        case AV_CHAN_LOW_FREQUENCY:
        case AV_CHAN_LOW_FREQUENCY_2:
            return 0.0;
        case AV_CHAN_NONE:
        case AV_CHAN_UNUSED:
        case AV_CHAN_UNKNOWN:
            return -1.0;
        default:
            if (ch >= AV_CHAN_AMBISONIC_BASE) return -1.0;
            return kMinus3dB;  // centre, surround, side, back, top, wide...
    }
}

// The weights that mix the channels of `layout` to one, adding up to 1.
std::vector<double> monoWeights(const AVChannelLayout& layout) {
    const int n = layout.nb_channels;
    std::vector<double> w(static_cast<size_t>(n), 1.0);
    bool known = layout.order == AV_CHANNEL_ORDER_NATIVE || layout.order == AV_CHANNEL_ORDER_CUSTOM;
    for (int c = 0; known && c < n; ++c) {
        w[static_cast<size_t>(c)] = weightOf(av_channel_layout_channel_from_index(&layout, c));
        if (w[static_cast<size_t>(c)] < 0) known = false;
    }
    double sum = 0;
    if (known) {
        for (double v : w) sum += v;
    }
    if (!known || sum <= 0) {  // plain average
        w.assign(static_cast<size_t>(n), 1.0);
        sum = n;
    }
    for (double& v : w) v /= sum;
    return w;
}

// One frame's samples, channel by channel, in units of the 16-bit scale.
bool frameSamples(const AVFrame* f, int channels, std::vector<std::vector<double>>& out) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt) != 0;
    const AVSampleFormat packed = av_get_packed_sample_fmt(fmt);
    const int bytes = av_get_bytes_per_sample(fmt);
    if (bytes <= 0) return false;
    const size_t n = static_cast<size_t>(f->nb_samples);
    out.resize(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        const uint8_t* base = planar ? f->extended_data[c] : f->extended_data[0];
        const size_t first = planar ? 0 : static_cast<size_t>(c);
        const size_t step = planar ? 1 : static_cast<size_t>(channels);
        std::vector<double>& v = out[static_cast<size_t>(c)];
        v.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* p = base + (first + i * step) * static_cast<size_t>(bytes);
            switch (packed) {
                case AV_SAMPLE_FMT_U8:
                    v[i] = (static_cast<int>(*p) - 128) * 256.0;
                    break;
                case AV_SAMPLE_FMT_S16: {
                    int16_t x;
                    std::memcpy(&x, p, sizeof x);
                    v[i] = x;
                    break;
                }
                case AV_SAMPLE_FMT_S32: {
                    int32_t x;
                    std::memcpy(&x, p, sizeof x);
                    v[i] = x / 65536.0;
                    break;
                }
                case AV_SAMPLE_FMT_S64: {
                    int64_t x;
                    std::memcpy(&x, p, sizeof x);
                    v[i] = static_cast<double>(x) / 281474976710656.0;  // 2^48
                    break;
                }
                case AV_SAMPLE_FMT_FLT: {
                    float x;
                    std::memcpy(&x, p, sizeof x);
                    v[i] = x * 32768.0;
                    break;
                }
                case AV_SAMPLE_FMT_DBL: {
                    double x;
                    std::memcpy(&x, p, sizeof x);
                    v[i] = x * 32768.0;
                    break;
                }
                default:
                    return false;
            }
        }
    }
    return true;
}

// Rounds to the nearest 16-bit value (halves away from zero); values outside
// [-32768, 32768) are clamped and counted.
int16_t toSample(double x, int64_t& clipped) {
    if (std::isnan(x)) {
        ++clipped;
        return 0;
    }
    if (x >= 32768.0 || x < -32768.0) ++clipped;
    const double r = std::round(x);
    if (r > 32767.0) return 32767;
    if (r < -32768.0) return -32768;
    return static_cast<int16_t>(r);
}

std::string lengthLimit(int channels, int rate) {
    const double s = static_cast<double>(kMaxDataBytes / (2 * channels)) / rate;
    return format("%s at %d Hz in %s", seconds(s).c_str(), rate, channels == 1 ? "mono" : "stereo");
}

// Writes the decoded frames as 16-bit samples.
class Writer {
  public:
    Writer(std::FILE* out, int64_t& clipped) : out_(out), clipped_(clipped) {}

    // The output's layout, from the first frame.
    void start(int inChannels, int rate) {
        channels_ = inChannels > 2 ? 1 : inChannels;
        rate_ = rate;
    }
    int channels() const { return channels_; }
    int rate() const { return rate_; }
    int64_t frames() const { return frames_; }
    int64_t dataBytes() const { return frames_ * 2 * channels_; }

    // False when the frame's samples are of a kind that cannot be read.
    bool add(const AVFrame* f) {
        const int n = f->ch_layout.nb_channels;
        if (!frameSamples(f, n, in_)) return false;
        if (n > 2) mixed_ = true;
        if (n > 2 && av_channel_layout_compare(&f->ch_layout, &mixLayout_) != 0) {
            av_channel_layout_uninit(&mixLayout_);
            av_channel_layout_copy(&mixLayout_, &f->ch_layout);
            weights_ = monoWeights(f->ch_layout);
        }
        const size_t count = static_cast<size_t>(f->nb_samples);
        bytes_.resize(count * 2 * static_cast<size_t>(channels_));
        unsigned char* o = bytes_.data();
        for (size_t i = 0; i < count; ++i) {
            double l, r;
            if (n == 1) {
                l = r = in_[0][i];
            } else if (n == 2) {
                l = in_[0][i];
                r = in_[1][i];
                if (channels_ == 1) l = r = (l + r) / 2;  // a stereo part of a mono stream
            } else {
                double m = 0;
                for (int c = 0; c < n; ++c) {
                    m += weights_[static_cast<size_t>(c)] * in_[static_cast<size_t>(c)][i];
                }
                l = r = m;
            }
            putLe16(o, static_cast<uint16_t>(toSample(l, clipped_)));
            o += 2;
            if (channels_ == 2) {
                putLe16(o, static_cast<uint16_t>(toSample(r, clipped_)));
                o += 2;
            }
        }
        if (!bytes_.empty() &&
            std::fwrite(bytes_.data(), 1, bytes_.size(), out_) != bytes_.size()) {
            failed_ = true;
        }
        frames_ += static_cast<int64_t>(count);
        return true;
    }
    bool failed() const { return failed_; }
    bool mixed() const { return mixed_; }

    ~Writer() { av_channel_layout_uninit(&mixLayout_); }

  private:
    std::FILE* out_;
    int64_t& clipped_;
    int channels_ = 0;
    int rate_ = 0;
    int64_t frames_ = 0;
    bool failed_ = false;
    bool mixed_ = false;
    AVChannelLayout mixLayout_{};
    std::vector<double> weights_;
    std::vector<std::vector<double>> in_;
    std::vector<unsigned char> bytes_;
};

}  // namespace

bool decoderAvailable() {
    return true;
}

Result<AudioInfo> probeAudio(const std::string& path) {
    Input in;
    if (Status opened = in.open(path); !opened) return opened;
    AudioInfo info;
    const AVCodecParameters* par = in.stream->codecpar;
    info.format = in.description;
    info.channels = par->ch_layout.nb_channels;
    info.sampleRate = par->sample_rate;
    info.frames = in.announcedFrames;
    const AVCodecDescriptor* d = avcodec_descriptor_get(par->codec_id);
    if (!(d && (d->props & AV_CODEC_PROP_LOSSY))) {
        const AVSampleFormat fmt = in.codec->sample_fmt;
        info.bitsPerSample = par->bits_per_raw_sample > 0     ? par->bits_per_raw_sample
                             : par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample
                             : fmt != AV_SAMPLE_FMT_NONE      ? av_get_bytes_per_sample(fmt) * 8
                                                              : 0;
        const AVSampleFormat packed = av_get_packed_sample_fmt(fmt);
        info.floatingPoint = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
    }
    return info;
}

Result<DecodeReport> decodeToWav(const std::string& input, const std::string& outputWav,
                                 const std::function<void(double share)>& progress) {
    DecodeReport report;
    Input in;
    if (Status opened = in.open(input); !opened) return opened;
    report.channelsIn = in.channels;
    report.sampleRateIn = in.rate;
    report.mixedDown = in.channels > 2;
    const char* path = input.c_str();

    // A length that the header states reliably is checked before decoding.
    // Not for PCM: its length comes from a size field that recorders often
    // leave wrong, and reading it through costs little.
    const int outChannels = in.channels > 2 ? 1 : in.channels;
    if (in.announcedFrames > 0 && !isPcm(in.stream->codecpar->codec_id) &&
        in.announcedFrames > kMaxDataBytes / (2 * outChannels)) {
        return Status::error(
            format("cannot decode %s: it lasts %s, more than the %s that one WAV file holds", path,
                   seconds(static_cast<double>(in.announcedFrames) / in.rate).c_str(),
                   lengthLimit(outChannels, in.rate).c_str()));
    }

    OutputFile out;
    if (Status opened = out.open(outputWav, true); !opened) return opened;
    unsigned char header[kPcm16HeaderBytes];
    writePcm16WavHeader(header, outChannels, in.rate, 0);
    if (std::fwrite(header, 1, sizeof header, out.get()) != sizeof header) {
        return Status::error(
            format("cannot write %s: %s", outputWav.c_str(), std::strerror(errno)));
    }

    // Progress by time when the length is known, else by the bytes read.
    const int64_t duration = in.stream->duration;
    const bool byTime = in.announcedFrames > 0 && duration != AV_NOPTS_VALUE && duration > 0;
    const int64_t start = in.stream->start_time != AV_NOPTS_VALUE ? in.stream->start_time : 0;
    double lastShare = 0;
    if (progress) progress(0.0);
    auto tell = [&](const AVPacket* pkt) {
        if (!progress) return;
        double share;
        if (byTime && pkt->pts != AV_NOPTS_VALUE) {
            share = static_cast<double>(pkt->pts - start) / static_cast<double>(duration);
        } else if (in.reader.size > 0) {
            share = static_cast<double>(avio_tell(in.demuxer->pb)) /
                    static_cast<double>(in.reader.size);
        } else {
            return;
        }
        share = std::fmin(std::fmax(share, 0.0), 1.0);
        if (share >= lastShare + 0.01) {
            lastShare = share;
            progress(share);
        }
    };

    Writer writer(out.get(), report.clippedSamples);
    const std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameFree> decoded(av_frame_alloc());
    AVPacket* pkt = packet.get();
    AVFrame* frame = decoded.get();
    if (!pkt || !frame) {
        return Status::error(format("cannot decode %s: out of memory", path));
    }
    // The error a stream broke off with, and that of the last damaged packet,
    // put in words when they happen (with what FFmpeg said at the time).
    std::string brokenBy, packetError;
    int failuresInARow = 0;
    auto damaged = [&](int code) {
        ++report.skippedPackets;
        packetError = ffmpegError(code);
        if (++failuresInARow < kMaxFailuresInARow) return false;
        brokenBy = packetError;
        return true;
    };
    std::string stopped;  // why decoding stopped before the end, if it did
    bool tooLong = false;
    bool flushing = false;
    while (stopped.empty() && !tooLong) {
        int r;
        if (!flushing) {
            lastFfmpegError.clear();
            r = av_read_frame(in.demuxer, pkt);
            if (r < 0) {
                if (r != AVERROR_EOF) brokenBy = ffmpegError(r);
                flushing = true;
                r = avcodec_send_packet(in.codec, nullptr);
            } else if (pkt->stream_index != in.stream->index) {
                av_packet_unref(pkt);
                continue;
            } else {
                tell(pkt);
                r = avcodec_send_packet(in.codec, pkt);
                av_packet_unref(pkt);
                if (r < 0 && r != AVERROR(EAGAIN)) {
                    if (damaged(r)) break;
                    continue;
                }
            }
        }
        while (stopped.empty() && (r = avcodec_receive_frame(in.codec, frame)) >= 0) {
            failuresInARow = 0;
            if (frame->nb_samples > 0) {
                const int n = frame->ch_layout.nb_channels;
                if (writer.channels() == 0) {
                    // The header is written again at the end, with these values.
                    Status usable = checkStream(input, n, frame->sample_rate);
                    if (!usable) return usable;
                    writer.start(n, frame->sample_rate);
                }
                const double at = static_cast<double>(writer.frames()) / writer.rate();
                if (frame->sample_rate != writer.rate()) {
                    stopped = format("the sampling rate of %s changes from %d to %d Hz after %s",
                                     path, writer.rate(), frame->sample_rate, seconds(at).c_str());
                } else if (n < 1 || n > kMaxChannels) {
                    stopped = format("the number of channels of %s changes to %d after %s", path, n,
                                     seconds(at).c_str());
                } else if (writer.dataBytes() +
                               static_cast<int64_t>(frame->nb_samples) * 2 * writer.channels() >
                           kMaxDataBytes) {
                    tooLong = true;
                } else if (!writer.add(frame)) {
                    const char* kind =
                        av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
                    stopped =
                        format("the samples of %s are of a kind that cannot be converted (%s)",
                               path, kind ? kind : "unknown");
                }
            }
            av_frame_unref(frame);
            if (tooLong) break;
        }
        if (flushing && stopped.empty()) {
            if (r < 0 && r != AVERROR_EOF && r != AVERROR(EAGAIN) && brokenBy.empty()) {
                brokenBy = ffmpegError(r);
            }
            break;
        }
        if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF && damaged(r)) break;
    }
    report.framesOut = writer.frames();
    report.mixedDown = writer.mixed();
    report.clipped = report.clippedSamples > 0;
    if (tooLong) {
        return Status::error(
            format("cannot decode %s: it lasts longer than the %s that one WAV file holds", path,
                   lengthLimit(writer.channels(), writer.rate()).c_str()));
    }
    if (writer.failed()) {
        return Status::error(
            format("cannot write %s: %s", outputWav.c_str(), std::strerror(errno)));
    }
    if (writer.frames() == 0) {
        if (!stopped.empty()) return Status::error("cannot decode " + input + ": " + stopped);
        if (!brokenBy.empty() || !packetError.empty()) {
            return Status::error(format("cannot decode %s: %s", path,
                                        (brokenBy.empty() ? packetError : brokenBy).c_str()));
        }
        if (in.announcedFrames > 0) {
            return Status::error(
                format("no audio in %s: the file ends before its first sound (it announces %s)",
                       path, seconds(static_cast<double>(in.announcedFrames) / in.rate).c_str()));
        }
        return Status::error(format("no audio in %s", path));
    }

    // What the report says of an early end and of damaged packets.
    const double got = static_cast<double>(writer.frames()) / writer.rate();
    std::string note;
    if (!stopped.empty()) {
        report.endedEarly = true;
        note = stopped + format(": the %s before are kept", seconds(got).c_str());
    } else if (!brokenBy.empty()) {
        report.endedEarly = true;
        note = format("%s breaks off after %s (%s): the part before is kept", path,
                      seconds(got).c_str(), brokenBy.c_str());
    } else if (in.announcedFrames > 0 &&
               writer.frames() + std::max<int64_t>(in.announcedFrames / 100, writer.rate() / 10) <
                   in.announcedFrames) {
        report.endedEarly = true;
        note =
            format("%s holds %s of sound where its header announces %s", path, seconds(got).c_str(),
                   seconds(static_cast<double>(in.announcedFrames) / in.rate).c_str());
        if (report.skippedPackets == 0) note += ": it looks cut short; the part present is kept";
    }
    if (report.skippedPackets > 0) {
        const long long n = static_cast<long long>(report.skippedPackets);
        if (note.empty()) {
            note = format("%lld damaged packet%s of %s %s left out (%s)", n, n == 1 ? "" : "s",
                          path, n == 1 ? "was" : "were", packetError.c_str());
        } else {
            note += format("; %lld damaged packet%s %s left out (%s)", n, n == 1 ? "" : "s",
                           n == 1 ? "was" : "were", packetError.c_str());
        }
    }
    report.note = note;

    // The sizes, now known, into the header.
    writePcm16WavHeader(header, writer.channels(), writer.rate(),
                        static_cast<uint32_t>(writer.dataBytes()));
    if (std::fflush(out.get()) != 0 || std::fseek(out.get(), 0, SEEK_SET) != 0 ||
        std::fwrite(header, 1, sizeof header, out.get()) != sizeof header) {
        return Status::error(
            format("cannot write %s: %s", outputWav.c_str(), std::strerror(errno)));
    }
    if (Status committed = out.commit(); !committed) return committed;
    if (progress) progress(1.0);
    return report;
}

}  // namespace sonvola
