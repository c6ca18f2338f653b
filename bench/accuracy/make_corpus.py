#!/usr/bin/env python3
"""Writes the development corpus of the accuracy bench: MIDI files of our own
(melodies on piano, flute, violin, trumpet, bass and organ; chords; two
voices; a fast passage; a wide range of pitches; octave doublings in two
voices and in chords; a low piano part; a legato violin; a flute with
vibrato; staccato) and, for each, its note list "onset offset key" in
seconds, plus "groups.txt": one line "piece group" per piece (melody,
polyphonic, low). The same files on every run.

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


def write_midi(path, program, notes, controls=()):
    """notes: (onset s, offset s, key, velocity); controls: (time s, raw event bytes)"""
    events = [(ticks(t), 2, data) for t, data in controls]
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


def vibrato(start, end, depth_semitones=0.25, rate_hz=5.5, step=0.02):
    """Pitch bend events (bend range 2 semitones) of a vibrato from start to
    end, and the modulation wheel raised at the start."""
    import math
    events = [(start, bytes([0xB0, 1, 40]))]
    t = start
    while t < end:
        bend = depth_semitones / 2.0 * math.sin(2 * math.pi * rate_hz * (t - start))
        value = max(0, min(16383, int(round(8192 + bend * 8191))))
        events.append((t, bytes([0xE0, value & 0x7F, value >> 7])))
        t += step
    events.append((end, bytes([0xE0, 0x00, 0x40])))
    return events


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
    # Two voices where the upper doubles the lower at partial intervals
    # (octave, twelfth, two octaves...) as often as not.
    duet, t = [], 0.3
    for i in range(16):
        low = rng.randint(45, 60)
        d = rng.uniform(0.4, 0.8)
        duet.append((t, t + d, low, rng.randint(80, 100)))
        up = low + rng.choice([12, 12, 19, 24, 24, 28, 31, 36, 7, 16])
        if up <= 96:
            duet.append((t + rng.choice([0.0, 0.0, 0.15]), t + d, up, rng.randint(75, 105)))
        t += d + 0.1
    yield "octave_duet", 1, duet
    ochords, t = [], 0.3
    for _ in range(10):
        root = rng.randint(43, 58)
        shape = rng.choice([(0, 12), (0, 7, 12), (0, 4, 7, 12), (0, 12, 19), (0, 12, 24),
                            (0, 7, 12, 16), (0, 4, 12, 19)])
        for s in shape:
            ochords.append((t, t + 0.9, root + s, 90))
        t += 1.1
    yield "octave_chords", 1, ochords
    strings_oct = []
    for n in melody(rng, 50, 64, 12, (0.5, 0.9)):
        strings_oct.append(n)
        strings_oct.append((n[0], n[1], n[2] + 12, n[3] - 10))
    yield "string_octaves", 49, strings_oct
    low, t = [], 0.3
    for i in range(20):
        key = rng.randint(24, 47)
        d = rng.uniform(0.35, 0.7)
        low.append((t, t + d, key, rng.randint(85, 110)))
        if i % 4 == 3:  # now and then a fifth above it
            low.append((t, t + d, key + 7, 85))
        t += d + rng.uniform(0.05, 0.15)
    yield "low_piano", 1, low
    # Piano: a melody with a lower voice under it, the lower one below C3.
    left = melody(rng, 31, 47, 10, (0.7, 1.1))
    right = melody(rng, 60, 76, 18, (0.35, 0.6))
    yield "piano_two_hands", 1, left + right
    # Violin, slurred: each note starts where the last ends; pitches repeat
    # now and then (a bow change on the same note).
    legato, t, key = [], 0.3, 67
    for i in range(18):
        if rng.random() < 0.8:
            key = max(55, min(88, key + rng.choice([-3, -2, -1, 1, 2, 3, 5])))
        d = rng.uniform(0.4, 0.8)
        legato.append((t, t + d, key, rng.randint(80, 100)))
        t += d
    yield "violin_legato", 41, legato
    vib = melody(rng, 72, 86, 14, (0.5, 1.0), legato=True)
    yield "flute_vibrato", 74, (vib, vibrato(vib[0][0], vib[-1][1]))
    stacc, t, key = [], 0.3, 62
    for i in range(30):
        key = max(55, min(81, key + rng.choice([-4, -2, -1, 1, 2, 4, 5])))
        stacc.append((t, t + rng.uniform(0.07, 0.12), key, rng.randint(85, 110)))
        t += rng.choice([0.2, 0.25, 0.3])
    yield "staccato", 72, stacc


GROUPS = {
    "piano_chords": "polyphonic", "two_voices": "polyphonic", "octave_duet": "polyphonic",
    "octave_chords": "polyphonic", "string_octaves": "polyphonic",
    "piano_two_hands": "polyphonic", "bass_line": "low", "low_piano": "low",
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    groups = []
    for name, program, notes in pieces():
        controls = ()
        if isinstance(notes, tuple):
            notes, controls = notes
        notes.sort()
        groups.append("%s %s\n" % (name, GROUPS.get(name, "melody")))
        write_midi(os.path.join(out, name + ".mid"), program, notes, controls)
        with open(os.path.join(out, name + ".ref.txt"), "w") as f:
            f.write("# onset_s offset_s midi_key\n")
            for on, off, key, _ in notes:
                f.write("%.4f %.4f %d\n" % (on, off, key))
    with open(os.path.join(out, "groups.txt"), "w") as f:
        f.writelines(groups)


if __name__ == "__main__":
    main()
