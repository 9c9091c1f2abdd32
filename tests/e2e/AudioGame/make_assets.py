#!/usr/bin/env python3
"""Writes the end-to-end audio test's sounds: a 0.1 s 440 Hz sine at 44.1 kHz, mono,
as 16-bit WAV and as Ogg Vorbis (through oggenc from Debian's vorbis-tools), and a
0.1 s constant level at 48 kHz (click.wav) whose first sample is not 0, for the
latency benchmark."""
import math
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 44100

samples = [0.5 * math.sin(2 * math.pi * 440 * i / RATE) for i in range(RATE // 10)]
data = b"".join(struct.pack("<h", int(round(v * 32767))) for v in samples)
wav = os.path.join(HERE, "assets", "beep.wav")
with open(wav, "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
    f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16))
    f.write(b"data" + struct.pack("<I", len(data)) + data)


def write_wav(path, rate, data):
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16))
        f.write(b"data" + struct.pack("<I", len(data)) + data)


write_wav(os.path.join(HERE, "assets", "click.wav"), 48000, struct.pack("<h", 16000) * 4800)
subprocess.run(["oggenc", "-Q", "-q", "4", "--serial", "1", "-o", os.path.join(HERE, "assets", "beep.ogg"), wav], check=True)
