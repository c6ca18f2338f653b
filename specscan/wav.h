// WAV input: the commented header dump "Wave_File_Format.txt", its read-back
// into the ten WaveFmt_Data values, and their check.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sonvola {

// Index names of the ten header values.
enum WaveFmtIndex {
    kRiffSize = 0,
    kFmtSize,
    kFormatCode,
    kChannels,
    kSampleRate,
    kByteRate,
    kBlockSize,
    kBitsPerSample,
    kDataBytes,
    kHeaderBytes,
    kWaveFmtCount
};

using WaveFmt_Data = std::array<int32_t, kWaveFmtCount>;

// Line 4 of the dump: a reference about the WAVE format (it must not start
// with a digit, or the read-back would take it for a value).
inline constexpr const char* kWaveFormatReference = "http://soundfile.sapp.org/doc/WaveFormat/";

enum class DumpStatus { Ok, CannotOpenWav, CannotCreateDump, NotRiff, NoDataChunk };

// Writes the commented dump of the first 200 bytes of `wavPath` into `dumpPath`
// (replaced whole, or left as it was when it cannot be written).
// With NotRiff and NoDataChunk the dump keeps what was written up to then.
// CannotCreateDump puts the reason (path and cause) into `cause` when given.
DumpStatus dumpWaveHeader(const std::string& wavPath, const std::string& dumpPath,
                          std::string* cause = nullptr);

// Reads the dump back: every line whose leading integer is not 0 gives the
// next value (only the first ten are stored). Prints the header line on `err`
// and each value on `out`. Returns the number of values found, -1 when the
// dump cannot be opened.
int readWaveFmtData(const std::string& dumpPath, WaveFmt_Data& values, std::FILE* out,
                    std::FILE* err);

// Checks the read-back values before samples are read: 8 or 16 bits, one or
// two channels, a
// positive byte rate, and a data size that the file holds (a larger one is
// cut to the bytes present, with `note` saying so; more than 2^31 - 1 bytes
// are refused). Returns false with the message to print.
bool usableWaveData(const WaveFmt_Data& values, const std::string& wavPath, int64_t fileSize,
                    int64_t& dataBytes, std::string& error, std::string& note);

}  // namespace sonvola
