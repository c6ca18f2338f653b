// Output files that are either left as they were or replaced whole.
//
// A file is written to a temporary file beside its target and renamed over
// the target only once it is complete, flushed to the disk and closed without
// error, so a failed run, a full disk or an interrupt never leaves half a
// file where a good one stood. What the target is decides how it is written:
//  - a symbolic link: its target is written (replaced as a regular file is;
//    the link itself stays);
//  - a regular file, or nothing yet: a temporary file NAME.tmp-XXXXXX in the
//    same folder, renamed over NAME; the new file keeps the old one's
//    permissions (a new one gets those the umask gives);
//  - anything else (a terminal, /dev/null, a FIFO): written directly, since
//    such a file cannot be replaced and nothing of it is lost by writing.
// Temporary files are removed when the object goes without commit(), and by
// the handler of installTemporaryFileCleanup() on SIGINT, SIGTERM and SIGHUP.
#pragma once

#include <cstdio>
#include <string>

#include "common/status.h"

namespace sonvola {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `path` for writing. With `seekable`, a target that is not a
    // regular file is also written through a temporary file (copied into it
    // on commit), so that the writer may seek. Fails with a reason (the path
    // and the system's word for the cause) when it cannot be created.
    Status open(const std::string& path, bool seekable = false);

    std::FILE* get() const { return file_; }
    bool isOpen() const { return file_ != nullptr; }
    // The file the bytes go to now (the temporary file, or the target).
    const std::string& writingPath() const { return writing_; }
    // The path as given to open().
    const std::string& path() const { return path_; }

    enum class Replace { Always, OnlyIfAbsent };
    // Flushes, syncs and closes the file and puts it in place. With
    // OnlyIfAbsent an existing target is left as it is and the new bytes are
    // dropped (success: nothing failed). Fails with a reason on any error; the
    // target is then untouched (where it was written directly, it holds what
    // reached it).
    Status commit(Replace replace = Replace::Always);
    // Closes and removes the temporary file; the target stays as it was.
    void discard();

  private:
    std::FILE* file_ = nullptr;
    std::string path_;     // as given
    std::string target_;   // where the bytes end up (links followed)
    std::string writing_;  // temporary file or target
    bool direct_ = false;  // written straight into the target
    bool copyOnCommit_ = false;
    int registered_ = -1;  // slot in the cleanup list
};

// Writes `bytes` to `path` as OutputFile does ("-" is standard output).
Status writeWholeFile(const std::string& path, const std::string& bytes);

// Removes the temporary files of every open OutputFile when the process gets
// SIGINT, SIGTERM or SIGHUP, then ends it by the same signal. Signals that
// are ignored (a program started with nohup) stay ignored.
void installTemporaryFileCleanup();

// Sets `handler` for SIGINT, SIGTERM and SIGHUP, the signals that ask a
// program to stop; one that is ignored (nohup) stays ignored.
void handleStopSignals(void (*handler)(int));

// Checks, at exit, that everything written to standard output reached it:
// a program whose output went to a full disk or a closed file then says so on
// standard error and exits with status 1 instead of 0.
void checkStandardOutputAtExit(const char* programName);

}  // namespace sonvola
