#include "specscan/shortterm.h"

#include <cmath>
#include <vector>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/framedistance.h"
#include "common/noteindex.h"
#include "common/outputfile.h"
#include "common/peakfile.h"

namespace sonvola {

Status shortTermEstimation(const std::string& path, int64_t frameLength, int64_t frameShiftMs,
                           const std::string& outputPath) {
    const std::string& target = outputPath.empty() ? path : outputPath;
    PeakFileHeader header = readPeakHeader(path);
    FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        return Status::error(format("err: Cannot open file:%s\n", path.c_str()),
                             EstimationError::CannotOpen);
    }
    // The rewritten list goes to a temporary file beside the target and
    // replaces it once complete: the list is read as a stream, holding only
    // the d + 1 records the comparison needs, so memory does not grow with
    // the recording.
    OutputFile out;
    const Status opened = out.open(target);
    std::FILE* o = out.get();

    const int64_t d = shortTermDistance(frameLength, frameShiftMs, header.frameRate);
    const int64_t frameRate = header.frameRate;
    PeakRecordReader reader(in.get(), path);
    // Records k .. k + d in slots k mod (d + 1), with the semitone of every pair.
    const size_t slots = static_cast<size_t>(d) + 1;
    std::vector<PeakRecord> ring(slots);
    std::vector<std::vector<int16_t>> ringNotes(slots);
    int64_t loaded = 0;  // records read so far
    bool ended = false;  // no more records (end of list or an error)
    auto ensure = [&](int64_t k) {
        while (!ended && loaded <= k) {
            const size_t slot = static_cast<size_t>(loaded % static_cast<int64_t>(slots));
            if (!reader.next(ring[slot])) {
                ended = true;
                break;
            }
            const auto& freqs = ring[slot].freqs;
            ringNotes[slot].resize(freqs.size());
            for (size_t j = 0; j < freqs.size(); ++j) ringNotes[slot][j] = noteIndex(freqs[j]);
            ++loaded;
        }
    };
    static const PeakRecord kNoRecord;
    static const std::vector<int16_t> kNoNotes;

    std::string line;
    if (o) {
        writeRewrittenLine1(o, header.maxdB, header.mindB);
        writeHeaderLines2to4(o, header.frameRate, header.loopCount, header.signalName);
        for (int64_t r = 1; r <= d; ++r) {
            line.clear();
            beginRecord(line, r * frameRate);
            endRecord(line);
            std::fwrite(line.data(), 1, line.size(), o);
        }
        for (int64_t i = 0; i < static_cast<int64_t>(header.loopCount) - d; ++i) {
            ensure(i + d);
            if (ended && !reader.status()) break;
            const size_t sa = static_cast<size_t>(i % static_cast<int64_t>(slots));
            const size_t sb = static_cast<size_t>((i + d) % static_cast<int64_t>(slots));
            const PeakRecord& a = i < loaded ? ring[sa] : kNoRecord;
            const PeakRecord& b = i + d < loaded ? ring[sb] : kNoRecord;
            const auto& na = i < loaded ? ringNotes[sa] : kNoNotes;
            const auto& nb = i + d < loaded ? ringNotes[sb] : kNoNotes;
            line.clear();
            beginRecord(line, (i + d + 1) * frameRate);
            for (size_t j = 0; j < a.freqs.size(); ++j) {
                for (size_t k = 0; k < b.freqs.size(); ++k) {
                    if (na[j] == nb[k] && std::fabs(static_cast<double>(a.levels[j]) -
                                                    static_cast<double>(b.levels[k])) < 8.0) {
                        appendPair(line, a.freqs[j], a.levels[j]);
                    }
                }
            }
            endRecord(line);
            std::fwrite(line.data(), 1, line.size(), o);
        }
    }
    // The rest of the list is still read: a list that is cut short or broken
    // anywhere is refused, and the list is left as it was.
    PeakRecord rest;
    while (!ended && reader.next(rest)) {
    }
    if (!reader.status()) {
        out.discard();
        return Status::error(reader.status().message(), EstimationError::ReadFailed);
    }
    in.reset();
    if (!opened) {
        return Status::error(
            format("cannot open! %s\n%s\n", target.c_str(), opened.message().c_str()),
            EstimationError::CannotCreate);
    }
    writeEndOfFile(o);
    if (Status committed = out.commit(); !committed) {
        return Status::error("err: " + committed.message() + "\n", EstimationError::CannotCreate);
    }
    return {};
}

}  // namespace sonvola
