#include "common/midifile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

namespace sonvola {

namespace {

struct Reader {
    const std::vector<uint8_t>& b;
    size_t pos = 0;
    bool has(size_t n) const { return pos + n <= b.size(); }
    uint32_t be(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | b[pos++];
        return v;
    }
    bool vlq(uint32_t& v, size_t end) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= end) return false;
            uint8_t c = b[pos++];
            v = (v << 7) | (c & 0x7F);
            if (!(c & 0x80)) return true;
        }
        return false;  // more than four bytes
    }
};

}  // namespace

bool parseMidi(const std::vector<uint8_t>& bytes, MidiFile& out, std::string& error) {
    Reader r{bytes};
    const std::string magic = "MThd";
    const size_t head = std::min<size_t>(bytes.size(), 4);
    if (head == 0 || std::string(bytes.begin(), bytes.begin() + static_cast<long>(head)) !=
                         magic.substr(0, head)) {
        error = "no MThd";
        return false;
    }
    if (!r.has(14)) {
        error = "the file ends inside the MThd header (" + std::to_string(bytes.size()) +
                " of 14 bytes)";
        return false;
    }
    r.pos = 4;
    if (r.be(4) != 6) {
        error = "header length is not 6";
        return false;
    }
    out.format = static_cast<int>(r.be(2));
    out.trackCount = static_cast<int>(r.be(2));
    out.division = static_cast<int>(r.be(2));
    int track = 0;
    while (r.pos < bytes.size()) {
        if (!r.has(8)) {
            error = "the file ends inside the chunk header at byte " + std::to_string(r.pos);
            return false;
        }
        if (std::string(bytes.begin() + static_cast<long>(r.pos),
                        bytes.begin() + static_cast<long>(r.pos) + 4) != "MTrk") {
            error = "chunk at " + std::to_string(r.pos) + " is not MTrk";
            return false;
        }
        r.pos += 4;
        const uint32_t len = r.be(4);
        if (!r.has(len)) {
            error = "track " + std::to_string(track) + " is longer than the file";
            return false;
        }
        const size_t end = r.pos + len;
        int64_t tick = 0;
        uint8_t running = 0;
        bool ended = false;
        while (r.pos < end) {
            if (ended) {
                error = "events after end of track";
                return false;
            }
            uint32_t delta;
            if (!r.vlq(delta, end)) {
                error = "bad delta in track " + std::to_string(track);
                return false;
            }
            tick += delta;
            if (r.pos >= end) {
                error = "delta without event";
                return false;
            }
            MidiEvent e{track, tick, {}};
            uint8_t status = bytes[r.pos];
            if (status & 0x80) {
                ++r.pos;
            } else if (running) {
                status = running;
            } else {
                error = "data byte without status";
                return false;
            }
            e.bytes.push_back(status);
            if (status == 0xFF) {
                if (r.pos + 1 > end) return error = "cut meta", false;
                e.bytes.push_back(bytes[r.pos++]);
                uint32_t mlen;
                if (!r.vlq(mlen, end) || r.pos + mlen > end)
                    return error = "bad meta length", false;
                e.bytes.push_back(static_cast<uint8_t>(mlen));
                for (uint32_t i = 0; i < mlen; ++i) e.bytes.push_back(bytes[r.pos++]);
                if (e.bytes[1] == 0x2F) {
                    // The end of a track is exactly FF 2F 00.
                    if (mlen != 0) {
                        error = "end-of-track event with data in track " + std::to_string(track);
                        return false;
                    }
                    ended = true;
                }
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t slen;
                if (!r.vlq(slen, end) || r.pos + slen > end) return error = "bad sysex", false;
                r.pos += slen;
            } else {
                running = status;
                const int dataBytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                for (int i = 0; i < dataBytes; ++i) {
                    if (r.pos >= end || (bytes[r.pos] & 0x80))
                        return error = "bad data byte", false;
                    e.bytes.push_back(bytes[r.pos++]);
                }
            }
            out.events.push_back(std::move(e));
        }
        if (!ended) {
            error = "track " + std::to_string(track) + " has no end-of-track event";
            return false;
        }
        ++track;
    }
    out.tracksRead = track;
    return true;
}

bool midiTracksComplete(const MidiFile& file, std::string& error) {
    if (file.tracksRead != file.trackCount) {
        error = "the header announces " + std::to_string(file.trackCount) +
                (file.trackCount == 1 ? " track" : " tracks") + " but the file holds " +
                std::to_string(file.tracksRead) + " (cut short?)";
        return false;
    }
    return true;
}

bool parseMidiFile(const std::string& path, MidiFile& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return parseMidi(bytes, out, error);
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
