#!/usr/bin/env python3
"""Draws BunnyMark's textures: soft-edged 32x32 blobs in a few colours, as PNG.

Run from anywhere: python3 samples/BunnyMark/tools/make_assets.py
The edges fade out over several pixels, so every sprite exercises alpha blending.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.join(HERE, "..", "assets")
SIZE = 32


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


def bunny(colour, ear_tilt):
    """A round body with two ears and an eye; alpha falls off smoothly at the rim."""
    r, g, b = colour
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            # Signed distance (in pixels, negative inside) to the union of shapes.
            body = math.hypot((px - 16) / 1.0, (py - 21) / 0.9) - 10
            left = math.hypot((px - 11 + ear_tilt) / 0.45, (py - 8) / 1.0) - 7
            right = math.hypot((px - 21 - ear_tilt) / 0.45, (py - 8) / 1.0) - 7
            d = min(body, left, right)
            alpha = max(0.0, min(1.0, 0.5 - d / 3.0))  # a 3-pixel soft edge
            shade = 1.0 - 0.25 * max(0.0, (py - 16) / 16)
            eye = math.hypot(px - 20, py - 18) < 1.8
            cr, cg, cb = (30, 30, 40) if eye else (int(r * shade), int(g * shade), int(b * shade))
            row.append((cr, cg, cb, int(round(alpha * 255))))
        rows.append(row)
    return rows


COLOURS = {
    "bunny_white.png": ((240, 240, 235), 0.0),
    "bunny_pink.png": ((250, 170, 200), 1.0),
    "bunny_blue.png": ((150, 190, 250), -1.0),
    "bunny_gold.png": ((250, 210, 110), 0.5),
}

if __name__ == "__main__":
    for name, (colour, tilt) in COLOURS.items():
        write_png(os.path.join(ASSETS, name), SIZE, SIZE, bunny(colour, tilt))
    print("wrote", len(COLOURS), "textures to", os.path.normpath(ASSETS))
