// A build without FFmpeg: files are not decoded, and every call says why.
#include "decode/decode.h"

namespace sonvola {

namespace {

const char* const kWithout = "built without FFmpeg: only WAV files the stages read can be used";

}  // namespace

bool decoderAvailable() {
    return false;
}

Result<AudioInfo> probeAudio(const std::string& path) {
    return Status::error("cannot read " + path + ": " + kWithout);
}

Result<DecodeReport> decodeToWav(const std::string& input, const std::string&,
                                 const std::function<void(double)>&) {
    return Status::error("cannot decode " + input + ": " + kWithout);
}

}  // namespace sonvola
