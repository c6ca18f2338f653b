// A build without FFmpeg: files are not decoded, and every call says why.
#include "decode/decode.h"

namespace sonvola {

namespace {

const char* const kWithout = "built without FFmpeg: only WAV files the stages read can be used";

}  // namespace

bool decoderAvailable() {
    return false;
}

bool probeAudio(const std::string& path, AudioInfo& info, std::string& error) {
    info = AudioInfo{};
    error = "cannot read " + path + ": " + kWithout;
    return false;
}

bool decodeToWav(const std::string& input, const std::string&, DecodeReport& report,
                 std::string& error, const std::function<void(double)>&) {
    report = DecodeReport{};
    error = "cannot decode " + input + ": " + kWithout;
    return false;
}

}  // namespace sonvola
