#!/usr/bin/env python3
"""Draws the BrandGlyph menu image: a rounded square with a teal-to-blue
gradient carrying a white "F".

    python3 tools/make_brand_glyph.py [resources-directory]

writes BrandGlyph.png (16x16) and BrandGlyph@2x.png (32x32). The shapes are
laid out on a 16-unit grid so that every straight edge falls on a pixel
boundary at both sizes; only the rounded corners are anti-aliased (8x8
samples per pixel). Standard library only, and the output is byte-for-byte
the same on every run, so the committed images can be checked against it.
"""

import os
import struct
import sys
import zlib

GRID = 16
SAMPLES = 8

# Gradient end points, top-left to bottom-right.
TOP_LEFT = (20, 184, 166)      # teal
BOTTOM_RIGHT = (37, 99, 235)   # blue
MARK = (255, 255, 255)

# The square: the whole grid, corners of radius 3.5 units.
SQUARE = (0.0, 0.0, 16.0, 16.0, 3.5)
# The "F", as rectangles (x0, y0, x1, y1) on the grid, y growing downwards:
# stem, top arm, middle arm (shorter, so it reads as F and not E or a flag).
MARK_PARTS = [
    (5.0, 3.0, 7.0, 13.0),
    (5.0, 3.0, 11.0, 5.0),
    (5.0, 7.0, 10.0, 9.0),
]


def inside_rounded(x, y, rect):
    x0, y0, x1, y1, r = rect
    if x < x0 or x >= x1 or y < y0 or y >= y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_mark(x, y):
    return any(x0 <= x < x1 and y0 <= y < y1 for (x0, y0, x1, y1) in MARK_PARTS)


def render(size):
    scale = size / GRID
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            square = mark = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    # Sample positions in grid units.
                    gx = (px + (sx + 0.5) / SAMPLES) / scale
                    gy = (py + (sy + 0.5) / SAMPLES) / scale
                    if inside_rounded(gx, gy, SQUARE):
                        square += 1
                        if inside_mark(gx, gy):
                            mark += 1
            total = SAMPLES * SAMPLES
            alpha = square / total
            if square == 0:
                row += bytes(4)
                continue
            t = ((px + 0.5) + (py + 0.5)) / (2 * size)
            base = [a + (b - a) * t for a, b in zip(TOP_LEFT, BOTTOM_RIGHT)]
            cover = mark / square
            colour = [round(c + (m - c) * cover) for c, m in zip(base, MARK)]
            row += bytes(colour + [round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(size, rows):
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out_dir, exist_ok=True)
    for name, size in (("BrandGlyph.png", 16), ("BrandGlyph@2x.png", 32)):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(encode_png(size, render(size)))


if __name__ == "__main__":
    main()
