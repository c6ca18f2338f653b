#include "tools/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/console.h"
#include "tools/refine.h"

namespace sonvola {

namespace fs = std::filesystem;

bool isAudioFileName(const std::string& name) {
    static const char* const kExtensions[] = {".wav", ".wave", ".flac", ".mp3", ".m4a",  ".aac",
                                              ".ogg", ".oga",  ".opus", ".aif", ".aiff", ".aifc",
                                              ".caf", ".wma",  ".mp4",  ".mkv", ".webm", ".mov"};
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string ext = name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(kExtensions), std::end(kExtensions), ext) != std::end(kExtensions);
}

std::vector<BatchItem> collectRecordings(const std::vector<std::string>& inputs,
                                         const std::string& outputDir) {
    std::vector<BatchItem> items;
    auto placed = [&](const fs::path& recording, const fs::path& relative) {
        return outputDir.empty() ? recording.string() : (fs::path(outputDir) / relative).string();
    };
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            std::vector<fs::path> found;
            for (fs::recursive_directory_iterator
                     it(input, fs::directory_options::skip_permission_denied, ec),
                 end;
                 !ec && it != end; it.increment(ec)) {
                const std::string name = it->path().filename().string();
                if (name.size() > 1 && name[0] == '.') {  // hidden files and folders
                    if (it->is_directory(ec)) it.disable_recursion_pending();
                    continue;
                }
                if (it->is_regular_file(ec) && isAudioFileName(name)) found.push_back(it->path());
            }
            std::sort(found.begin(), found.end());
            for (const fs::path& p : found) {
                items.push_back({p.string(), placed(p, p.lexically_relative(input))});
            }
        } else if (fs::exists(input, ec)) {
            items.push_back({input, placed(input, fs::path(input).filename())});
        } else {
            items.push_back({input, ""});
        }
    }
    return items;
}

bool alreadyDone(const BatchItem& item, const std::string& record) {
    struct stat recording {
    }, midi{};
    if (::stat(item.recording.c_str(), &recording) != 0) return false;
    if (::stat((item.prefix + ".mid").c_str(), &midi) != 0) return false;
    if (midi.st_mtim.tv_sec < recording.st_mtim.tv_sec ||
        (midi.st_mtim.tv_sec == recording.st_mtim.tv_sec &&
         midi.st_mtim.tv_nsec < recording.st_mtim.tv_nsec)) {
        return false;
    }
    std::ifstream in(item.prefix + kOptionsRecordSuffix);
    std::string line;
    return std::getline(in, line) && line == record;
}

JobShare shareJobs(int jobs, size_t recordings) {
    JobShare share;
    if (jobs < 1) jobs = 1;
    share.files = static_cast<int>(
        std::min<size_t>(static_cast<size_t>(jobs), std::max<size_t>(recordings, 1)));
    share.threads = std::max(1, jobs / share.files);
    return share;
}

namespace {

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20) {
            out += format("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

std::string reportJson(const ReportLine& l) {
    return "{\"input\":" + jsonString(l.input) + ",\"score\":" + jsonString(l.score) +
           ",\"midi\":" + jsonString(l.midi) + ",\"status\":" + jsonString(l.status) +
           ",\"message\":" + jsonString(l.message) + format(",\"seconds\":%.3f", l.seconds) +
           ",\"notes\":" + (l.notes < 0 ? std::string("null") : std::to_string(l.notes)) + "}";
}

int countScoreNotes(const std::string& scorePath) {
    std::ifstream in(scorePath, std::ios::binary);
    if (!in) return -1;
    std::ostringstream text;
    text << in.rdbuf();
    const Result<RefineScore> score = readRefineScore(text.str());
    if (!score) return -1;
    return static_cast<int>(score->notes.size());
}

}  // namespace sonvola
