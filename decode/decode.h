// Turning the audio files people have (WAV of any depth, FLAC, Ogg Vorbis,
// Opus, MP3, AIFF, CAF, M4A/AAC, the sound of a video file...) into the one
// kind of file the stages read: a 16-bit PCM WAV, mono or stereo, at 11025 Hz
// or more.
//
// The decoding is FFmpeg's (libavformat finds the stream, libavcodec decodes
// it); what this library adds is the conversion to 16 bits, the mix-down of
// more than two channels and the limits below. A build without FFmpeg keeps
// stagesReadAsIs(); probeAudio() and decodeToWav() then fail with "built
// without FFmpeg" (decoderAvailable() tells beforehand).
//
// What is written:
//  - one or two channels stay as they are; more are mixed down to MONO, since
//    the analysis reads a single channel and a mono mix keeps every voice of
//    the recording in it. Front left and right count 1, the centre and the
//    surround, side and back channels 0.7071 (-3 dB), other positions (top,
//    wide...) 0.7071 too, the low-frequency channels nothing; the weights are
//    then scaled to add up to 1, so the mix itself never clips. A stream whose
//    channels have no known positions is averaged plainly;
//  - the sampling rate is kept (the stages bring any rate down themselves);
//    below 11025 Hz the file is refused;
//  - 16-bit integer samples are copied exactly; others are rounded to the
//    nearest 16-bit value (halves away from zero; no dither, so the result
//    never varies). Floating-point values outside [-1.0, 1.0) (after a
//    mix-down: mixed values outside it) are clamped, and counted in the
//    report; a value that is not a number counts as clamped and becomes 0.
//
// Limits: at most 64 channels, 11025 to 768000 Hz, at most 2^31 - 1 bytes of
// samples in the written file (3 h 22 min of 44.1 kHz stereo, 6 h 45 min of
// mono), the most the stages read. Only the file named is read: nothing that
// it refers to (a playlist's entries, an image sequence, a network address),
// and only a regular file (not a pipe or a device, which could make a read
// never end). Of several audio streams (a film with more than one language)
// the first is decoded.
//
// A stream that breaks off (a download cut short, a damaged end) keeps what
// was decoded before the break: the report's endedEarly and note say so, and
// only a stream of which nothing at all could be decoded is refused. A file
// holding less than its header announces (a WAV whose data chunk is longer
// than the file) is kept and reported in the same way. Damaged packets in
// the middle are skipped, as a player would, and counted.
//
// FFmpeg's own log messages never reach the terminal: they are caught (the
// last error is added to the reason given when a file is refused). The
// functions keep no state of their own between calls and may be used from
// several threads at once, each on its own files; the catching of FFmpeg's
// messages is installed once for the whole process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/status.h"

namespace sonvola {

// True when this build decodes with FFmpeg.
bool decoderAvailable();

// True exactly when the stages can read `path` unchanged: a RIFF WAVE file
// whose "fmt " chunk says linear PCM (format 1) with 1 or 2 channels, 8 or 16
// bits, 11025 to 768000 Hz and a consistent block size and byte rate, whose
// "data" chunk (not empty) starts within the first 200 bytes (all that the
// stages read of the header) and is the one the stages find there. Needs no
// FFmpeg. False for anything else, including a file that cannot be read.
bool stagesReadAsIs(const std::string& path);

struct AudioInfo {
    std::string format;  // codec and container, e.g. "flac in flac", "aac in mov"
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;       // as stored; 0 for lossy codecs, which store no samples as such
    bool floatingPoint = false;  // the file stores floating-point samples
    int64_t frames = -1;         // length in frames, -1 when unknown (or only guessed from
                                 // the bit rate)
};

// Describes the first audio stream of `path`. Fails with the reason (naming
// the file) when it cannot be read or holds no audio.
Result<AudioInfo> probeAudio(const std::string& path);

struct DecodeReport {
    int channelsIn = 0;
    int sampleRateIn = 0;
    int64_t framesOut = 0;
    bool clipped = false;        // some samples were clamped to the 16-bit range
    int64_t clippedSamples = 0;  // how many (written samples, after any mix-down)
    bool mixedDown = false;      // more than two channels were mixed to mono
    bool endedEarly = false;     // the stream broke off, or held less than it announced
    int64_t skippedPackets = 0;  // damaged packets left out
    std::string note;            // one sentence on endedEarly / skippedPackets, else empty
};

// Decodes the whole first audio stream of `input` into a 16-bit PCM WAV at
// `outputWav` (a 44-byte header, the samples right after it), written whole
// or not at all. `progress`, when given, is called now and then with the
// share done (0 to 1). Fails with the reason (naming the file) when the input
// is refused or the output cannot be written.
Result<DecodeReport> decodeToWav(const std::string& input, const std::string& outputWav,
                                 const std::function<void(double share)>& progress = {});

}  // namespace sonvola
