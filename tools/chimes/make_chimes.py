#!/usr/bin/env python3
"""Writes the alert chimes, packaging/sounds/chime-NAME.wav: 16-bit mono PCM at 22050 Hz, each a
few struck notes of a soft bell (a fundamental with two quieter partials and an exponential
decay) under half a second. The same input gives the same bytes: no randomness, no time stamps.
The files are committed, so the build needs no Python; run this again only to change a chime.

Usage: python3 tools/chimes/make_chimes.py [OUT_DIR]   (default: packaging/sounds)"""
import math
import os
import struct
import sys
import wave

RATE = 22050
PEAK = 0.7  # of full scale: loud enough across a pit, no clipping where notes overlap


def freq(note):
    """The frequency of a note such as "A4", "C#5" (equal temperament, A4 = 440 Hz)."""
    names = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    semitone = names[note[0]] + (1 if note[1] == "#" else 0)
    octave = int(note[-1])
    return 440.0 * 2.0 ** ((semitone + 12 * (octave - 4)) / 12.0)


def bell(f, t, decay, bright):
    """A struck note at time t after its start: partials at 1, 2 and 3 times f."""
    attack = min(1.0, t / 0.004)  # 4 ms: no click at the strike
    partials = math.sin(2 * math.pi * f * t) + bright * 0.5 * math.sin(2 * math.pi * 2 * f * t) \
        + bright * 0.25 * math.sin(2 * math.pi * 3 * f * t)
    return attack * math.exp(-t / decay) * partials / (1 + 0.75 * bright)


def render(strikes, length, decay, bright):
    """strikes: (start s, note) pairs; the last 20 ms fade to silence."""
    count = int(RATE * length)
    samples = []
    for i in range(count):
        t = i / RATE
        value = sum(bell(freq(note), t - start, decay, bright) for start, note in strikes if t >= start)
        fade = min(1.0, (count - i) / (0.02 * RATE))
        samples.append(value * fade)
    scale = PEAK / max(abs(s) for s in samples)
    return [int(round(s * scale * 32767)) for s in samples]


# Each tone as the crew hears it; the program maps its alerts onto these names.
CHIMES = {
    # one soft mid note: something to look at soon
    "notice": ([(0.0, "E5")], 0.40, 0.12, 0.3),
    # three quick high strikes: act now
    "urgent": ([(0.0, "A5"), (0.11, "A5"), (0.22, "A5")], 0.40, 0.05, 1.0),
    # a bright rising arpeggio: off you go
    "go": ([(0.0, "C5"), (0.08, "E5"), (0.16, "G5"), (0.24, "C6")], 0.45, 0.10, 0.6),
    # a fifth up
    "rising": ([(0.0, "G4"), (0.15, "D5")], 0.38, 0.10, 0.5),
    # a fifth down
    "falling": ([(0.0, "D5"), (0.15, "G4")], 0.38, 0.10, 0.5),
    # two equal strikes, lower and rounder than the urgent ones
    "pair": ([(0.0, "C5"), (0.16, "C5")], 0.40, 0.08, 0.4),
    # one long low note: something has gone quiet
    "low": ([(0.0, "A3")], 0.50, 0.18, 0.3),
    # two low, harsh pulses: a fault
    "buzz": ([(0.0, "F3"), (0.20, "F3")], 0.40, 0.07, 2.0),
}


def write(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "packaging", "sounds")
    os.makedirs(folder, exist_ok=True)
    for name, (strikes, length, decay, bright) in CHIMES.items():
        path = os.path.join(folder, "chime-%s.wav" % name)
        write(path, render(strikes, length, decay, bright))
        print("%s: %d bytes" % (path, os.path.getsize(path)))


if __name__ == "__main__":
    main()
