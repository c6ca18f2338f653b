// The peak list files "SpecScan.txt" and "TrackJoin.txt": writing helpers,
// the header reader and the record reader shared by every stage.
//
// Layout:
//   line 1  "MaxdB: %0.2f MindB: %0.2f" (over 71 blanks in the first pass,
//           or followed by two blanks in the rewritten form)
//   line 2  "FrameRate: %d LoopCount: %d"
//   line 3  the recording's path
//   line 4  177 dashes
//   records "%d: " then pairs "%0.2f %0.2f " then "end\n"
//   last    "end_of_file" with no line end
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

struct PeakFileHeader {
    float maxdB = 0.0f;
    float mindB = 0.0f;
    int32_t frameRate = 0;
    int32_t loopCount = 0;
    std::string signalName;  // line 3, kept whole
};

struct PeakRecord {
    int32_t label = 0;
    std::vector<float> freqs;   // Hz
    std::vector<float> levels;  // dB
    int32_t count() const { return static_cast<int32_t>(freqs.size()); }
};

// All records of a peak file in file order. An index past the last record
// reads as a record with no pairs, as the stages expect.
class PeakTable {
  public:
    std::vector<PeakRecord> records;

    const PeakRecord& at(int64_t index) const {
        if (index < 0 || index >= static_cast<int64_t>(records.size())) return empty_;
        return records[static_cast<size_t>(index)];
    }
    int32_t count(int64_t index) const { return at(index).count(); }
    int64_t size() const { return static_cast<int64_t>(records.size()); }

  private:
    static const PeakRecord empty_;
};

// Longest token the readers accept (labels, numbers, "end", "end_of_file").
constexpr size_t kMaxTokenBytes = 255;

// The kind of failure of a record read: the code of its Status.
enum class PeakReadError {
    None,           // "end_of_file" was reached
    EndsEarly,      // the input ended before "end_of_file"
    TokenTooLong,   // a token longer than kMaxTokenBytes
    TooManyRecords  // more records than an int32 count can hold
};

class TokenReader;

// Lines 1 to 3 as read, the levels in double precision.
struct PeakHeaderValues {
    double maxdB = 0.0;
    double mindB = 0.0;
    int32_t frameRate = 0;
    int32_t loopCount = 0;
    std::string signalName;
};

// Reads lines 1 to 3 from `in` (at the start of a peak file): line 1's second
// and fourth words, line 2 as "%s %d %s %d" (what does not scan stays 0),
// line 3 whole. `in` is left at the start of line 4.
PeakHeaderValues readPeakHeaderValues(TokenReader& in);

// The same from a file, the levels in single precision. A file that cannot
// be opened leaves the fields at 0 and the name empty; nothing is printed.
PeakFileHeader readPeakHeader(const std::string& path);

// Reads the records of a peak file one at a time, after skipping the four
// header lines, so that a long file need not be held whole. `name` is what
// the messages call the file (its path).
class PeakRecordReader {
  public:
    PeakRecordReader(std::FILE* file, std::string name);
    ~PeakRecordReader();
    // The next record into `rec` (its vectors reused): true when one was
    // read; false at "end_of_file" or on an error, which status() tells.
    bool next(PeakRecord& rec);
    // The complete records read so far.
    int64_t records() const { return records_; }
    // Once next() has returned false: success at "end_of_file", else the
    // message the programs print and a PeakReadError code.
    const Status& status() const { return status_; }

  private:
    std::unique_ptr<TokenReader> in_;
    std::string name_;
    int64_t records_ = 0;
    Status status_;
    bool done_ = false;
};

// Skips the four header lines and reads the records up to "end_of_file" into
// `table` (which is cleared first; on a failure it holds the complete records
// before it). Fails as PeakRecordReader does.
Status readPeakRecords(std::FILE* file, const std::string& name, PeakTable& table);

// Writing.
void writeFirstPassPlaceholder(std::FILE* f);                        // 71 blanks and a line end
void writeFirstPassLine1(std::FILE* f, double maxdB, double mindB);  // at the start of f
void writeRewrittenLine1(std::FILE* f, double maxdB, double mindB);
void writeHeaderLines2to4(std::FILE* f, int32_t frameRate, int32_t loopCount,
                          const std::string& signalName);
void writeRecord(std::FILE* f, int64_t label, const float* freqs, const float* levels,
                 size_t count);
void writeEndOfFile(std::FILE* f);

// A record built in memory, as every record of the lists is written:
// beginRecord, appendPair for each pair, endRecord.
void beginRecord(std::string& out, int64_t label);             // "%lld: "
void appendPair(std::string& out, double freq, double level);  // "%0.2f %0.2f "
void endRecord(std::string& out);                              // "end\n"

// "%0.2f " into `out`, for the pairs of a record.
void appendFixed2(std::string& out, double value);

}  // namespace sonvola
