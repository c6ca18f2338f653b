// sonvola-transcribe on many recordings: the folders given are walked for
// audio files, several recordings are transcribed at once (each by a run of
// the program of its own, so that each has its own private folder and
// nothing is shared), with a report line per recording and a summary.
#pragma once

#include <string>
#include <vector>

#include "tools/transcribe.h"

namespace sonvola {

// Whether a file name ends in one of the audio extensions the folders are
// searched for (.wav, .flac, .mp3, .m4a, ...; any case).
bool isAudioFileName(const std::string& name);

struct BatchItem {
    std::string recording;  // as found
    std::string prefix;     // outputs: PREFIX.txt, PREFIX.mid, PREFIX.sonvola
};

// The recordings of `inputs` (files as given, folders walked in name order)
// with where their outputs go: beside them, or under `outputDir` mirroring
// the folder each was found in. Inputs that do not exist come back with an
// empty prefix (they are reported as failed).
std::vector<BatchItem> collectRecordings(const std::vector<std::string>& inputs,
                                         const std::string& outputDir);

// True when PREFIX.mid is at least as new as the recording and PREFIX.sonvola
// records the same options: the recording need not be transcribed again.
bool alreadyDone(const BatchItem& item, const std::string& record);

// How many recordings run at once and how many threads each gets, for
// `jobs` in all: recordings first, the threads left over to each.
struct JobShare {
    int files = 1;
    int threads = 1;
};
JobShare shareJobs(int jobs, size_t recordings);

// One JSON line of the report.
struct ReportLine {
    std::string input, score, midi, status, message;
    double seconds = 0.0;
    int notes = -1;  // -1: unknown
};
std::string reportJson(const ReportLine& line);

// The notes of a score text (note-ons with a velocity above 0); -1 when it
// cannot be read.
int countScoreNotes(const std::string& scorePath);

}  // namespace sonvola
