#!/usr/bin/python3
"""Writes camera.wav: the shutter click played when a snapshot is taken.

Two short decaying noise bursts (shutter opening and closing), 22050 Hz,
16-bit mono, about 0.15 s. Deterministic, so the file only changes when this
script does. Usage: make-camera-wav.py [OUTPUT]
"""
import math
import random
import struct
import sys
import wave

RATE = 22050


def burst(length_s, decay_s, gain, rng):
    n = int(RATE * length_s)
    return [gain * rng.uniform(-1.0, 1.0) * math.exp(-i / (RATE * decay_s)) for i in range(n)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "camera.wav"
    rng = random.Random(2000)
    samples = burst(0.05, 0.008, 0.9, rng)
    samples += [0.0] * int(RATE * 0.04)
    samples += burst(0.06, 0.012, 0.7, rng)
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))


if __name__ == "__main__":
    main()
