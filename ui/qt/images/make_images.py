#!/usr/bin/env python3
"""Draws the analyzer's own artwork: the menu images of the image list and
the About window's logo and button glyph. Standard library only; run it
from anywhere, it writes beside itself."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

SILVER = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
RED = (224, 0, 0)
DARKRED = (128, 0, 0)
GREY = (128, 128, 128)
NAVY = (0, 0, 128)
BROWN = (128, 64, 0)
YELLOW = (255, 255, 0)
GREEN = (0, 160, 0)


class Canvas:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = [[bg for _ in range(w)] for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):  # inclusive
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dx in range(width):
                for dy in range(width):
                    self.set(x + dx, y + dy, c)

    def pattern(self, x0, y0, rows, colours):
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch in colours:
                    self.set(x0 + i, y0 + j, colours[ch])


def write_png(path, canvas):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in canvas.px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def question():
    c = Canvas(16, 16, SILVER)
    c.pattern(4, 1, [
        "..####..",
        ".##..##.",
        "##....##",
        "......##",
        ".....##.",
        "....##..",
        "...##...",
        "...##...",
        "........",
        "........",
        "...##...",
        "...##...",
    ], {"#": NAVY})
    return c


def exit_door():
    c = Canvas(16, 16, SILVER)
    c.rect(3, 1, 11, 14, BROWN)
    c.frame(3, 1, 11, 14, BLACK)
    c.rect(5, 3, 9, 6, DARKRED)
    c.rect(5, 9, 9, 12, DARKRED)
    c.set(10, 8, YELLOW)
    c.line(12, 8, 15, 8, GREEN)
    c.line(14, 6, 15, 8, GREEN)
    c.line(14, 10, 15, 8, GREEN)
    return c


def check_mark():
    c = Canvas(16, 16, SILVER)
    c.line(2, 8, 6, 12, RED, 2)
    c.line(6, 12, 13, 3, RED, 2)
    return c


def bar_chart():
    c = Canvas(16, 16, SILVER)
    c.line(1, 14, 14, 14, BLACK)
    c.line(1, 1, 1, 14, BLACK)
    for x, top, col in ((3, 9, GREEN), (6, 5, YELLOW), (9, 7, RED), (12, 3, NAVY)):
        c.rect(x, top, x + 1, 13, col)
    return c


def loudspeaker():
    c = Canvas(16, 16, SILVER)
    c.rect(2, 6, 4, 9, BLACK)
    for i in range(5):
        c.line(5 + i, 5 - i, 5 + i, 10 + i, BLACK)
    c.line(11, 5, 12, 7, NAVY)
    c.line(12, 8, 11, 10, NAVY)
    c.line(13, 3, 15, 7, NAVY)
    c.line(15, 8, 13, 12, NAVY)
    return c


def arrow(solid):
    c = Canvas(16, 16, SILVER)
    rows = []
    for y in range(11):
        half = 5 - abs(y - 5)
        rows.append((y, half))
    for y, half in rows:
        for x in range(half + 1):
            edge = x == half or y in (0, 10) or x == 0
            if solid:
                c.set(5 + x, 2 + y, RED)
            elif edge:
                c.set(5 + x, 2 + y, GREY)
    if not solid:
        c.line(5, 2, 5, 12, GREY)
    return c


def logo():
    c = Canvas(153, 57, WHITE)
    # A row of spectrum bars under a level curve: the analyzer's picture.
    heights = [12, 22, 34, 44, 38, 30, 40, 48, 36, 26, 18, 28, 20, 14, 10, 8]
    for i, h in enumerate(heights):
        x = 6 + i * 9
        for y in range(h):
            t = y / 48
            col = (int(255 * min(1, 2 * t)), int(255 * min(1, 2 * (1 - t))), 0)
            c.rect(x, 52 - y, x + 6, 52 - y, col)
    c.line(2, 54, 150, 54, NAVY, 2)
    return c


def close_glyph():
    c = Canvas(16, 16, SILVER)
    c.line(3, 3, 12, 12, GREEN, 2)
    c.line(3, 12, 12, 3, GREEN, 2)
    return c


def main():
    menu = os.path.join(HERE, "menu")
    os.makedirs(menu, exist_ok=True)
    for index, image in ((5, question()), (9, exit_door()), (10, check_mark()), (11, bar_chart()),
                         (12, loudspeaker()), (22, arrow(True)), (23, arrow(False))):
        write_png(os.path.join(menu, "image%02d.png" % index), image)
    write_png(os.path.join(HERE, "logo.png"), logo())
    write_png(os.path.join(HERE, "close.png"), close_glyph())


if __name__ == "__main__":
    main()
