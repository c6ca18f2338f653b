#!/usr/bin/env python3
"""Writes the bundled example recording and its note list.

examples/melody.wav        8 s, 44.1 kHz, 16-bit stereo: a melody of sixteen
                           notes with five harmonics, a quick attack and an
                           exponential decay, plus a little noise
examples/melody.notes.txt  the notes: onset and offset in seconds, MIDI key, name

The output is the same on every run (no randomness but a fixed-seed
generator of our own), so the committed files can be regenerated and compared.
"""
import math
import os
import struct
import wave

RATE = 44100
SECONDS = 8.0
NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]

# (MIDI key, length in beats); one beat is 0.5 s.
MELODY = [(64, 1), (64, 1), (65, 1), (67, 1), (67, 1), (65, 1), (64, 1), (62, 1),
          (60, 1), (60, 1), (62, 1), (64, 1), (64, 1.5), (62, 0.5), (62, 2)]
BEAT = 0.5
PARTIALS = [1.0, 0.5, 0.3, 0.2, 0.1]


def name(key):
    return "%s%d" % (NAMES[key % 12], key // 12 - 1)


def notes():
    t = 0.0
    out = []
    for key, beats in MELODY:
        length = beats * BEAT
        out.append((t, t + length, key))
        t += length
    return out


def render(note_list):
    n = int(RATE * SECONDS)
    mix = [0.0] * n
    for onset, offset, key in note_list:
        f0 = 440.0 * 2.0 ** ((key - 69) / 12.0)
        start = int(round(onset * RATE))
        length = int(round((offset - onset) * RATE))
        for i in range(length):
            if start + i >= n:
                break
            t = i / RATE
            env = math.exp(-2.5 * t) * min(1.0, t / 0.005)
            left = (offset - onset) - t
            if left < 0.02:
                env *= max(0.0, left / 0.02)
            v = 0.0
            for h, a in enumerate(PARTIALS, start=1):
                v += a * math.sin(2.0 * math.pi * f0 * h * t)
            mix[start + i] += 9000.0 * env * v
    seed = 12345
    frames = bytearray()
    for i in range(n):
        seed = (seed * 1103515245 + 12345) % 2147483648
        noise = (seed / 2147483648.0 - 0.5) * 40.0
        left = max(-32768, min(32767, int(round(mix[i] + noise))))
        right = max(-32768, min(32767, int(round(0.8 * mix[i] + noise))))
        frames += struct.pack("<hh", left, right)
    return bytes(frames)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    note_list = notes()
    with wave.open(os.path.join(here, "melody.wav"), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(render(note_list))
    with open(os.path.join(here, "melody.notes.txt"), "w") as f:
        f.write("# onset_s offset_s midi_key name\n")
        for onset, offset, key in note_list:
            f.write("%.3f %.3f %d %s\n" % (onset, offset, key, name(key)))


if __name__ == "__main__":
    main()
