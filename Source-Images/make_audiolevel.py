#!/usr/bin/env python3
"""Writes Glyphs/AudioLevel.bmp, the colour scale of the spectrum bars.

A 7 x 48 picture, 24-bit BMP: green at the bottom, yellow two thirds up,
red at the top, with a dark rightmost column so that neighbouring bars read
as separate. Each bar shows the picture's lower rows, so a row is one step
of 25 band units. Standard library only.

    python3 Source-Images/make_audiolevel.py [output.bmp]
"""
import os
import struct
import sys

WIDTH = 7
HEIGHT = 48
BORDER = (24, 24, 24)


def colour(row_from_bottom):
    t = row_from_bottom / (HEIGHT - 1)
    if t < 2 / 3:
        u = t / (2 / 3)                      # green -> yellow
        return (int(round(255 * u)), 200 + int(round(55 * u)), 0)
    u = (t - 2 / 3) / (1 / 3)                # yellow -> red
    return (255, int(round(255 * (1 - u))), 0)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "Glyphs", "AudioLevel.bmp")
    stride = (WIDTH * 3 + 3) & ~3
    pixels = bytearray()
    for row in range(HEIGHT):                # BMP rows run bottom-up
        line = bytearray()
        r, g, b = colour(row)
        for x in range(WIDTH):
            pr, pg, pb = BORDER if x == WIDTH - 1 else (r, g, b)
            line += bytes((pb, pg, pr))
        line += bytes(stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
    with open(out, "wb") as f:
        f.write(header + info + pixels)


if __name__ == "__main__":
    main()
