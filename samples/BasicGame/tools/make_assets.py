#!/usr/bin/env python3
"""Draws BasicGame's images as pixel art and writes them as PNG files, and
synthesises its sounds (jump, coin, crate, win and a looping music track) as WAV
files, with Ogg Vorbis copies made by oggenc (Debian's vorbis-tools) when present.

Run from anywhere: python3 samples/BasicGame/tools/make_assets.py
The folders are numbered because sprites are drawn in the order of their texture
paths: background first, actors last.
"""
import math
import os
import random
import shutil
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.join(HERE, "..", "assets")


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a)."""
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


def from_art(art, palette):
    return [[palette[ch] for ch in line] for line in art]


CLEAR = (0, 0, 0, 0)

PLAYER = [
    "....KKKKKK......",
    "...KRRRRRRK.....",
    "..KRRRRRRRRK....",
    "..KKKKSSSSKK....",
    "..KSSSSWKSWK....",
    "..KSSSSWKSWK....",
    "..KSSSSSSSSK....",
    "...KSSSSSSK.....",
    "....KKKKKK......",
    "...KBBBBBBK.....",
    "..KBBBYBBBBK....",
    ".KSKBBBBBBKSK...",
    ".KSKBBBBBBKSK...",
    "..K.BBBBBB.K....",
    "....KKKKKK......",
    "....KBBKBBK.....",
    "....KBBKBBK.....",
    "...KDDK.KDDK....",
    "...KKKK.KKKK....",
]
# The sprite sheet: idle, two running frames and a jump, side by side. Only the
# legs change, so the frames share the body rows above.
PLAYER_LEGS = {
    "idle": PLAYER[15:],
    "run1": ["....KBBKBBK.....", "...KBBK.KBBK....", "..KDDK...KDDK...", "..KKK.....KKK..."],
    "run2": ["....KBBBBK......", "....KBBBBK......", "....KDDDDK......", "....KKKKKK......"],
    "jump": ["....KBBKBBK.....", "...KDDK.KDDK....", "...KKKK.KKKK....", "................"],
}


def player_sheet():
    frames = [from_art(PLAYER[:15] + legs, PLAYER_PALETTE) for legs in PLAYER_LEGS.values()]
    return [sum((frame[row] for frame in frames), []) for row in range(len(PLAYER))]


PLAYER_PALETTE = {
    ".": CLEAR, "K": (24, 20, 37, 255), "R": (220, 60, 60, 255), "S": (250, 200, 160, 255),
    "W": (255, 255, 255, 255), "B": (50, 110, 220, 255), "Y": (255, 220, 60, 255), "D": (90, 60, 40, 255),
}

BRICK = [
    "LLLLLLLLLLLLLLLL",
    "LBBBBBBMLBBBBBBM",
    "LBBBBBBMLBBBBBBM",
    "LBBBBBBMLBBBBBBM",
    "MMMMMMMMMMMMMMMM",
    "BBBMLBBBBBBMLBBB",
    "BBBMLBBBBBBMLBBB",
    "BBBMLBBBBBBMLBBB",
    "MMMMMMMMMMMMMMMM",
    "LBBBBBBMLBBBBBBM",
    "LBBBBBBMLBBBBBBM",
    "LBBBBBBMLBBBBBBM",
    "MMMMMMMMMMMMMMMM",
    "BBBMLBBBBBBMLBBB",
    "BBBMLBBBBBBMLBBB",
    "MMMMMMMMMMMMMMMM",
]
BRICK_PALETTE = {"L": (236, 140, 90, 255), "B": (196, 92, 52, 255), "M": (120, 50, 30, 255)}

CRATE = [
    "KKKKKKKKKKKKKKKK",
    "KLLLLLLLLLLLLLLK",
    "KLWWWWWWWWWWWWLK",
    "KLWLWWWWWWWWLWLK",
    "KLWWLWWWWWWLWWLK",
    "KLWWWLWWWWLWWWLK",
    "KLWWWWLWWLWWWWLK",
    "KLWWWWWLLWWWWWLK",
    "KLWWWWWLLWWWWWLK",
    "KLWWWWLWWLWWWWLK",
    "KLWWWLWWWWLWWWLK",
    "KLWWLWWWWWWLWWLK",
    "KLWLWWWWWWWWLWLK",
    "KLWWWWWWWWWWWWLK",
    "KLLLLLLLLLLLLLLK",
    "KKKKKKKKKKKKKKKK",
]
CRATE_PALETTE = {"K": (60, 36, 20, 255), "L": (160, 104, 52, 255), "W": (204, 148, 80, 255)}

SPIKE = [
    "................",
    "................",
    "................",
    "................",
    "...W.......W....",
    "...W.......W....",
    "..WGG.....WGG...",
    "..WGG.....WGG...",
    ".WGGGG...WGGGG..",
    ".WGGGG...WGGGG..",
    "WGGGGGG.WGGGGGG.",
    "WGGGGGG.WGGGGGG.",
    "GGGGGGGGGGGGGGGG",
    "DDDDDDDDDDDDDDDD",
    "DDDDDDDDDDDDDDDD",
    "DDDDDDDDDDDDDDDD",
]
SPIKE_PALETTE = {".": CLEAR, "W": (240, 240, 250, 255), "G": (150, 156, 170, 255), "D": (80, 84, 96, 255)}

FLAG = [
    "KK..............",
    "KKRRRRRRRR......",
    "KKRRRRRRRRRRR...",
    "KKRRWWRRRRRRRRR.",
    "KKRRWWRRRRRRRR..",
    "KKRRRRRRRRRR....",
    "KKRRRRRRR.......",
    "KK..............",
    "KK..............",
    "KK..............",
    "KK..............",
    "KK..............",
    "KK..............",
    "KK..............",
    "KK..............",
    "KKKK............",
]
FLAG_PALETTE = {".": CLEAR, "K": (70, 70, 80, 255), "R": (60, 200, 90, 255), "W": (255, 255, 255, 255)}


def coin(size=16):
    """A gold disc with a soft, anti-aliased rim and a shine."""
    rows = []
    c = (size - 1) / 2
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            alpha = max(0.0, min(1.0, (size / 2 - d)))
            if alpha <= 0:
                row.append(CLEAR)
                continue
            inner = d < size / 2 - 2.5
            base = (255, 214, 64) if inner else (200, 140, 20)
            if inner and (x - c) + (y - c) < -3 and d > 2:
                base = (255, 248, 190)
            row.append(base + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def cloud(width=48, height=24):
    rows = []
    blobs = [(14, 14, 10), (26, 10, 11), (36, 14, 9)]
    for y in range(height):
        row = []
        for x in range(width):
            a = 0.0
            for bx, by, r in blobs:
                a = max(a, min(1.0, (r - math.hypot(x - bx, y - by)) / 2.0))
            row.append((255, 255, 255, int(round(max(0.0, a) * 200))))
        rows.append(row)
    return rows


RATE = 22050


def write_wav(path, samples, rate=RATE):
    """samples: floats in [-1, 1], mono; written as 16-bit PCM."""
    data = b"".join(struct.pack("<h", int(round(max(-1.0, min(1.0, v)) * 32767))) for v in samples)
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16)
    header += b"data" + struct.pack("<I", len(data))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + data)


def write_ogg(wav_path):
    """The Ogg copy of a WAV file; skipped with a note when oggenc is missing."""
    if shutil.which("oggenc") is None:
        print("make_assets: oggenc not found (apt-get install vorbis-tools); Ogg files not written")
        return
    ogg_path = os.path.splitext(wav_path)[0] + ".ogg"
    subprocess.run(["oggenc", "-Q", "-q", "3", "--serial", "1", "-o", ogg_path, wav_path], check=True)


def envelope(t, length, attack=0.005, release=0.03):
    """Short attack and release ramps, so a sound never starts or ends with a click."""
    return max(0.0, min(1.0, t / attack, (length - t) / release))


def tone(length, frequency, volume=0.5, wave="square", attack=0.005, release=0.03):
    """frequency: a number or a function of time (a sweep)."""
    out = []
    phase = 0.0
    for i in range(int(length * RATE)):
        t = i / RATE
        f = frequency(t) if callable(frequency) else frequency
        phase += f / RATE
        p = phase % 1.0
        if wave == "square":
            v = 1.0 if p < 0.5 else -1.0
        elif wave == "triangle":
            v = 4.0 * abs(p - 0.5) - 1.0
        else:
            v = math.sin(2.0 * math.pi * p)
        out.append(v * volume * envelope(t, length, attack, release))
    return out


def concat(*parts):
    return [v for part in parts for v in part]


def jump_sound():
    return tone(0.18, lambda t: 320.0 + 900.0 * t / 0.18, 0.35, "square")


def coin_sound():
    return concat(tone(0.07, 988.0, 0.35, "square", release=0.01), tone(0.25, 1319.0, 0.35, "square"))


def crate_sound():
    noise = random.Random(7)
    length = 0.16
    out = []
    low = 0.0
    for i in range(int(length * RATE)):
        t = i / RATE
        low += (noise.uniform(-1.0, 1.0) - low) * 0.2  # a dull thud: low-passed noise
        body = math.sin(2.0 * math.pi * (110.0 - 200.0 * t) * t)
        out.append((low * 0.7 + body * 0.5) * 0.8 * envelope(t, length, 0.002, 0.12))
    return out


def win_sound():
    notes = [523.25, 659.25, 783.99, 1046.5]
    return concat(*[tone(0.12 if i < 3 else 0.5, f, 0.3, "square") for i, f in enumerate(notes)])


def music_track():
    """Eight bars at 120 bpm, 16 s; the last note ends before the loop point, so the
    track loops without a seam."""
    beat = 0.5
    bass = [110.0, 110.0, 146.83, 146.83, 130.81, 130.81, 98.0, 123.47]
    melody = [440.0, 523.25, 587.33, 659.25, 587.33, 523.25, 440.0, 392.0,
              440.0, 523.25, 587.33, 783.99, 659.25, 587.33, 523.25, 440.0]
    length = len(bass) * 4 * beat
    out = [0.0] * int(length * RATE)

    def add(start, part):
        first = int(start * RATE)
        for i, v in enumerate(part):
            if first + i < len(out):
                out[first + i] += v

    for bar, f in enumerate(bass):
        for b in range(4):
            add((bar * 4 + b) * beat, tone(beat * 0.9, f, 0.18, "triangle", release=0.05))
    for n, f in enumerate(melody * 2):
        add(n * beat, tone(beat * 0.8, f, 0.1, "square", release=0.08))
    return out


def sounds():
    folder = os.path.join(ASSETS, "sounds")
    for name, samples in [("jump", jump_sound()), ("coin", coin_sound()), ("crate", crate_sound()),
                          ("win", win_sound()), ("music", music_track())]:
        path = os.path.join(folder, name + ".wav")
        write_wav(path, samples)
        write_ogg(path)


def main():
    write_png(os.path.join(ASSETS, "0_sky", "cloud.png"), 48, 24, cloud())
    write_png(os.path.join(ASSETS, "1_world", "brick.png"), 16, 16, from_art(BRICK, BRICK_PALETTE))
    write_png(os.path.join(ASSETS, "1_world", "crate.png"), 16, 16, from_art(CRATE, CRATE_PALETTE))
    write_png(os.path.join(ASSETS, "1_world", "spike.png"), 16, 16, from_art(SPIKE, SPIKE_PALETTE))
    write_png(os.path.join(ASSETS, "2_items", "coin.png"), 16, 16, coin())
    write_png(os.path.join(ASSETS, "2_items", "flag.png"), 16, 16, from_art(FLAG, FLAG_PALETTE))
    write_png(os.path.join(ASSETS, "3_actors", "player.png"), 16, 19, from_art(PLAYER, PLAYER_PALETTE))
    write_png(os.path.join(ASSETS, "3_actors", "player_sheet.png"), 64, 19, player_sheet())
    sounds()


if __name__ == "__main__":
    main()
