// Helpers of the fuzz targets: the input as a file, and a sink stream.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/peakfile.h"

namespace sonvola::fuzz {

// A file holding the input, removed when the object goes.
class InputFile {
  public:
    InputFile(const uint8_t* data, size_t size, const char* suffix = "") {
        char tmpl[] = "/tmp/sonvola-fuzz-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) {
            size_t done = 0;
            while (done < size) {
                ssize_t n = write(fd, data + done, size - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            close(fd);
            path_ = tmpl;
        }
        (void)suffix;
    }
    ~InputFile() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::FILE* sink() {
    static std::FILE* f = std::fopen("/dev/null", "w");
    return f;
}

// Reads a whole peak file as the stages do; false when it is refused.
inline bool readPeakFile(const std::string& path, PeakFileHeader& header, PeakTable& table) {
    header = readPeakHeader(path);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const bool ok = readPeakRecords(f, path, table).ok();
    std::fclose(f);
    return ok;
}

// The fuzzed bytes as a peak list, read as the stages read one.
struct PeakInput {
    PeakFileHeader header;
    PeakTable table;
};
inline bool readPeakInput(const uint8_t* data, size_t size, PeakInput& input) {
    InputFile file(data, size);
    return readPeakFile(file.path(), input.header, input.table);
}

}  // namespace sonvola::fuzz
