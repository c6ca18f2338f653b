#!/usr/bin/env python3
"""Writes the development corpus of the accuracy bench: MIDI files of our own
(melodies on piano, flute, violin, trumpet, bass and organ; chords; two
voices; a fast passage; a wide range of pitches) and, for each, its note
list "onset offset key" in seconds. The same files on every run.

    make_corpus.py OUTPUT_DIR
"""
import os
import random
import struct
import sys

TEMPO_US = 500000  # 120 bpm
DIVISION = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def ticks(seconds):
    return int(round(seconds * 1e6 / TEMPO_US * DIVISION))


def write_midi(path, program, notes):
    """notes: (onset s, offset s, key, velocity)"""
    events = []
    for on, off, key, vel in notes:
        events.append((ticks(on), 1, bytes([0x90, key, vel])))
        events.append((ticks(off), 0, bytes([0x80, key, 0])))
    events.sort(key=lambda e: (e[0], e[1]))
    track = vlq(0) + bytes([0xFF, 0x51, 0x03]) + TEMPO_US.to_bytes(3, "big")
    track += vlq(0) + bytes([0xC0, program - 1])
    last = 0
    for t, _, data in events:
        track += vlq(t - last) + data
        last = t
    track += vlq(0) + bytes([0xFF, 0x2F, 0x00])
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, DIVISION))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def melody(rng, low, high, count, dur_range, start=0.3, legato=False):
    notes, t, key = [], start, (low + high) // 2
    for _ in range(count):
        key = max(low, min(high, key + rng.choice([-5, -4, -3, -2, -1, 1, 2, 3, 4, 5, 7, -7])))
        d = rng.uniform(*dur_range)
        gap = 0.0 if legato else rng.uniform(0.03, 0.12)
        notes.append((t, t + d, key, rng.randint(80, 110)))
        t += d + gap
    return notes


def pieces():
    rng = random.Random(2026)
    yield "piano_melody", 1, melody(rng, 60, 79, 24, (0.25, 0.6))
    yield "flute_melody", 74, melody(rng, 72, 88, 22, (0.3, 0.7))
    yield "violin_melody", 41, melody(rng, 55, 84, 20, (0.35, 0.8), legato=True)
    yield "trumpet_melody", 57, melody(rng, 55, 77, 22, (0.3, 0.6))
    yield "bass_line", 34, melody(rng, 28, 52, 22, (0.3, 0.6))
    yield "organ_melody", 20, melody(rng, 48, 72, 20, (0.35, 0.7))
    chords, t = [], 0.3
    for _ in range(10):
        root = rng.randint(48, 60)
        shape = rng.choice([(0, 4, 7), (0, 3, 7), (0, 4, 7, 12), (0, 5, 9)])
        for s in shape:
            chords.append((t, t + 0.8, root + s, 90))
        t += 1.0
    yield "piano_chords", 1, chords
    upper = melody(rng, 67, 84, 20, (0.3, 0.5))
    lower = melody(rng, 45, 57, 12, (0.6, 0.9))
    yield "two_voices", 1, upper + lower
    fast, t, key = [], 0.3, 64
    for i in range(60):
        key = max(55, min(84, key + rng.choice([-2, -1, 1, 2, 3, -3])))
        fast.append((t, t + 0.11, key, 95))
        t += 0.125
    yield "fast_passage", 1, fast
    wide, t = [], 0.3
    for i in range(24):
        key = 30 + (i * 29) % 71
        wide.append((t, t + 0.45, key, 100))
        t += 0.55
    yield "wide_range", 1, wide


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    for name, program, notes in pieces():
        notes.sort()
        write_midi(os.path.join(out, name + ".mid"), program, notes)
        with open(os.path.join(out, name + ".ref.txt"), "w") as f:
            f.write("# onset_s offset_s midi_key\n")
            for on, off, key, _ in notes:
                f.write("%.4f %.4f %d\n" % (on, off, key))


if __name__ == "__main__":
    main()
