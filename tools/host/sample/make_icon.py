#!/usr/bin/env python3
"""Writes the sample resource library's document-type icon: a 48 x 48 24-bit
.bmp of a page with a folded corner, lines of text, and a coloured band
with "TVD" on it, on the preview's white background.

Usage: make_icon.py OUT.bmp
"""
import struct
import sys

W, H = 48, 48
WHITE, PAPER, EDGE = (255, 255, 255), (252, 252, 250), (96, 104, 112)
SHADOW, FOLD, LINE = (214, 218, 222), (226, 230, 234), (176, 184, 192)
BAND, BAND_EDGE, LETTER = (28, 110, 164), (20, 84, 128), (255, 255, 255)

# 3 x 5 letters, one string per row, '#' set.
GLYPHS = {
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
}


def draw():
    px = [[WHITE] * W for _ in range(H)]
    left, top, right, bottom, fold = 9, 3, 38, 44, 10

    def inside_page(x, y):
        # The page minus its folded-over corner (top right).
        return left <= x <= right and top <= y <= bottom and not (x - (right - fold) > y - top)

    # Shadow, offset down and right.
    for y in range(H):
        for x in range(W):
            if inside_page(x - 2, y - 2):
                px[y][x] = SHADOW
    for y in range(H):
        for x in range(W):
            if inside_page(x, y):
                edge = not (inside_page(x - 1, y) and inside_page(x + 1, y) and
                            inside_page(x, y - 1) and inside_page(x, y + 1))
                px[y][x] = EDGE if edge else PAPER
    # The folded corner: a triangle below the diagonal cut.
    for y in range(top, top + fold + 1):
        for x in range(right - fold, right + 1):
            d = x - (right - fold)
            if d <= y - top:
                edge = x == right - fold or y == top + fold or d == y - top
                px[y][x] = EDGE if edge else FOLD
    # Lines of text.
    for y, end in ((10, 26), (14, 33), (18, 33), (22, 30), (26, 33)):
        for x in range(left + 4, end + 1):
            px[y][x] = LINE
    # The band with its lettering.
    for y in range(31, 41):
        for x in range(left + 3, right - 2):
            edge = y in (31, 40) or x in (left + 3, right - 3)
            px[y][x] = BAND_EDGE if edge else BAND
    x0 = 18
    for letter in "TVD":
        for gy, row in enumerate(GLYPHS[letter]):
            for gx, c in enumerate(row):
                if c == "#":
                    px[33 + gy][x0 + gx] = LETTER
        x0 += 5
    return px


def bmp(px):
    stride = (W * 3 + 3) & ~3
    rows = b""
    for y in reversed(range(H)):
        row = b"".join(bytes((b, g, r)) for r, g, b in px[y])
        rows += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(rows), 0, 0, 14 + 40)
    return head + info + rows


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(bmp(draw()))
