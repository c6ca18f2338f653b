#include "common/midifile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

namespace sonvola {

namespace {

// Reads the chunks of a file: the header, then track after track, each
// event by event. Every refusal is a Status with its message.
class MidiReader {
  public:
    explicit MidiReader(const std::vector<uint8_t>& bytes) : b_(bytes) {}

    bool atEnd() const { return pos_ >= b_.size(); }
    Status readHeader(MidiFile& file);
    // Track number `track`, its events appended to `file`.
    Status readTrack(int track, MidiFile& file);

  private:
    struct Track {
        int index = 0;
        size_t end = 0;  // one past its last byte
        int64_t tick = 0;
        uint8_t running = 0;  // running status
        bool ended = false;   // FF 2F 00 seen
    };
    Status readEvent(Track& t, std::vector<MidiEvent>& events);

    bool has(size_t n) const { return pos_ + n <= b_.size(); }
    uint32_t be(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | b_[pos_++];
        return v;
    }
    bool vlq(uint32_t& v, size_t end) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos_ >= end) return false;
            uint8_t c = b_[pos_++];
            v = (v << 7) | (c & 0x7F);
            if (!(c & 0x80)) return true;
        }
        return false;  // more than four bytes
    }

    const std::vector<uint8_t>& b_;
    size_t pos_ = 0;
};

Status MidiReader::readHeader(MidiFile& file) {
    const std::string magic = "MThd";
    const size_t head = std::min<size_t>(b_.size(), 4);
    if (head == 0 ||
        std::string(b_.begin(), b_.begin() + static_cast<long>(head)) != magic.substr(0, head)) {
        return Status::error("no MThd");
    }
    if (!has(14)) {
        return Status::error("the file ends inside the MThd header (" + std::to_string(b_.size()) +
                             " of 14 bytes)");
    }
    pos_ = 4;
    if (be(4) != 6) return Status::error("header length is not 6");
    file.format = static_cast<int>(be(2));
    file.trackCount = static_cast<int>(be(2));
    file.division = static_cast<int>(be(2));
    return {};
}

Status MidiReader::readTrack(int track, MidiFile& file) {
    if (!has(8)) {
        return Status::error("the file ends inside the chunk header at byte " +
                             std::to_string(pos_));
    }
    if (std::string(b_.begin() + static_cast<long>(pos_),
                    b_.begin() + static_cast<long>(pos_) + 4) != "MTrk") {
        return Status::error("chunk at " + std::to_string(pos_) + " is not MTrk");
    }
    pos_ += 4;
    const uint32_t len = be(4);
    if (!has(len)) {
        return Status::error("track " + std::to_string(track) + " is longer than the file");
    }
    Track t;
    t.index = track;
    t.end = pos_ + len;
    while (pos_ < t.end) {
        if (t.ended) return Status::error("events after end of track");
        Status event = readEvent(t, file.events);
        if (!event) return event;
    }
    if (!t.ended) {
        return Status::error("track " + std::to_string(track) + " has no end-of-track event");
    }
    return {};
}

Status MidiReader::readEvent(Track& t, std::vector<MidiEvent>& events) {
    uint32_t delta;
    if (!vlq(delta, t.end)) return Status::error("bad delta in track " + std::to_string(t.index));
    t.tick += delta;
    if (pos_ >= t.end) return Status::error("delta without event");
    MidiEvent e{t.index, t.tick, {}};
    uint8_t status = b_[pos_];
    if (status & 0x80) {
        ++pos_;
    } else if (t.running) {
        status = t.running;
    } else {
        return Status::error("data byte without status");
    }
    e.bytes.push_back(status);
    if (status == 0xFF) {
        if (pos_ + 1 > t.end) return Status::error("cut meta");
        e.bytes.push_back(b_[pos_++]);
        uint32_t mlen;
        if (!vlq(mlen, t.end) || pos_ + mlen > t.end) return Status::error("bad meta length");
        e.bytes.push_back(static_cast<uint8_t>(mlen));
        for (uint32_t i = 0; i < mlen; ++i) e.bytes.push_back(b_[pos_++]);
        if (e.bytes[1] == 0x2F) {
            // The end of a track is exactly FF 2F 00.
            if (mlen != 0) {
                return Status::error("end-of-track event with data in track " +
                                     std::to_string(t.index));
            }
            t.ended = true;
        }
    } else if (status == 0xF0 || status == 0xF7) {
        uint32_t slen;
        if (!vlq(slen, t.end) || pos_ + slen > t.end) return Status::error("bad sysex");
        pos_ += slen;
    } else {
        t.running = status;
        const int dataBytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        for (int i = 0; i < dataBytes; ++i) {
            if (pos_ >= t.end || (b_[pos_] & 0x80)) return Status::error("bad data byte");
            e.bytes.push_back(b_[pos_++]);
        }
    }
    events.push_back(std::move(e));
    return {};
}

}  // namespace

Result<MidiFile> parseMidi(const std::vector<uint8_t>& bytes) {
    MidiReader reader(bytes);
    MidiFile file;
    Status status = reader.readHeader(file);
    for (int track = 0; status.ok() && !reader.atEnd(); ++track) {
        status = reader.readTrack(track, file);
        file.tracksRead = track + 1;
    }
    if (!status) return status;
    return file;
}

Status midiTracksComplete(const MidiFile& file) {
    if (file.tracksRead != file.trackCount) {
        return Status::error("the header announces " + std::to_string(file.trackCount) +
                             (file.trackCount == 1 ? " track" : " tracks") +
                             " but the file holds " + std::to_string(file.tracksRead) +
                             " (cut short?)");
    }
    return {};
}

Result<MidiFile> parseMidiFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::error("cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return parseMidi(bytes);
}

std::vector<MidiNote> midiNotes(const MidiFile& file) {
    // Tempo map from track 0: (tick, microseconds per quarter).
    std::vector<std::pair<int64_t, double>> tempos{{0, 500000.0}};
    for (const auto& e : file.events) {
        if (e.track == 0 && e.bytes.size() == 6 && e.bytes[0] == 0xFF && e.bytes[1] == 0x51) {
            tempos.push_back(
                {e.tick, static_cast<double>((e.bytes[3] << 16) | (e.bytes[4] << 8) | e.bytes[5])});
        }
    }
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](auto& a, auto& b) { return a.first < b.first; });
    auto seconds = [&](int64_t tick) {
        double s = 0;
        int64_t at = 0;
        double us = 500000.0;
        for (auto [t, u] : tempos) {
            if (t > tick) break;
            s += static_cast<double>(t - at) * us / file.division / 1e6;
            at = t;
            us = u;
        }
        return s + static_cast<double>(tick - at) * us / file.division / 1e6;
    };
    std::vector<MidiNote> notes;
    std::map<std::pair<int, int>, std::vector<size_t>> open;  // (channel, key) -> notes
    for (const auto& e : file.events) {
        const uint8_t kind = e.bytes[0] & 0xF0;
        if (kind != 0x90 && kind != 0x80) continue;
        const int channel = e.bytes[0] & 0x0F, key = e.bytes[1], vel = e.bytes[2];
        auto& stack = open[{channel, key}];
        if (kind == 0x90 && vel > 0) {
            notes.push_back({key, vel, seconds(e.tick), -1});
            stack.push_back(notes.size() - 1);
        } else if (!stack.empty()) {
            notes[stack.front()].offsetS = seconds(e.tick);
            stack.erase(stack.begin());
        }
    }
    return notes;
}

std::string hexDump(const std::vector<uint8_t>& bytes) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) s += (i % 16 == 0) ? "\n" : " ";
        s += buf;
    }
    return s;
}

}  // namespace sonvola
