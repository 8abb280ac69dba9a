#!/usr/bin/env python3
"""Writes about.bmp: the about window's image (bitmap 135), drawn here so that it can be rebuilt from source.

448 x 464 pixels, 4-bit with a palette. A printer in the icon's colours with a sheet of paper leaving it, the program's
name on its front, a dark panel where the credits scroll (142,310 to 340,434) and a broom's sweep under it.
Magenta (0xFF00FF) is cut out of the window: keep it outside the outline and nowhere else.
Run: python3 res/make_about.py res/about.bmp
"""
import struct
import sys

WIDTH, HEIGHT = 448, 464
CREDITS = (142, 310, 340, 434)  # left, top, right, bottom: must lie inside the outline

MAGENTA = (255, 0, 255)
PAPER = (250, 250, 250)
PAPER_FOLD = (205, 205, 205)
PAPER_LINE = (150, 150, 150)
BODY = (40, 120, 200)
LID = (70, 150, 225)
FRAME = (60, 60, 60)
PANEL = (20, 20, 20)
LETTER = (250, 250, 250)
LAMP = (60, 200, 90)
SWEEP = (210, 40, 40)
BRISTLE = (150, 90, 40)

GLYPHS = {
    "S": (".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."),
    "P": ("####.", "#...#", "#...#", "####.", "#....", "#....", "#...."),
    "O": (".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."),
    "L": ("#....", "#....", "#....", "#....", "#....", "#....", "#####"),
    "W": ("#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"),
    "E": ("#####", "#....", "#....", "####.", "#....", "#....", "#####"),
}


class Canvas:
    def __init__(self):
        self.rows = [[MAGENTA] * WIDTH for _ in range(HEIGHT)]

    def fill(self, left, top, right, bottom, colour, inside=lambda x, y: True):
        for y in range(max(top, 0), min(bottom, HEIGHT)):
            for x in range(max(left, 0), min(right, WIDTH)):
                if inside(x, y):
                    self.rows[y][x] = colour

    def rounded(self, left, top, right, bottom, radius, colour):
        def inside(x, y):
            cx = min(max(x, left + radius), right - 1 - radius)
            cy = min(max(y, top + radius), bottom - 1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

        self.fill(left, top, right, bottom, colour, inside)

    def text(self, word, left, top, scale, colour):
        for glyph in word:
            for row, line in enumerate(GLYPHS[glyph]):
                for column, mark in enumerate(line):
                    if mark == "#":
                        x, y = left + column * scale, top + row * scale
                        self.fill(x, y, x + scale, y + scale, colour)
            left += 6 * scale

    def bmp(self):
        # 4 bits a pixel with a palette of the few colours drawn: an eighth of the 24-bit size in the exe.
        palette = sorted({colour for row in self.rows for colour in row})
        assert len(palette) <= 16, "more colours than a 4-bit palette holds"
        index = {colour: i for i, colour in enumerate(palette)}
        header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, 0, 2835, 2835, len(palette), 0)
        colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        stride = (WIDTH * 4 + 31) // 32 * 4
        pixels = b""
        for row in reversed(self.rows):  # bottom-up, two pixels a byte, the left one in the high nibble
            codes = [index[colour] for colour in row] + [0]
            line = bytes(codes[x] << 4 | codes[x + 1] for x in range(0, WIDTH, 2))
            pixels += line + b"\0" * (stride - len(line))
        offset = 14 + len(header) + len(colours)
        return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + colours + pixels


def draw():
    canvas = Canvas()
    # The printer: a dark frame around a blue body with a lighter lid and the paper slot.
    canvas.rounded(16, 168, 432, 446, 28, FRAME)
    canvas.rounded(21, 173, 427, 441, 23, BODY)
    canvas.fill(40, 176, 408, 206, LID)
    canvas.fill(96, 184, 352, 196, FRAME)
    # The sheet leaving the slot, its top right corner folded over.
    fold = 40
    canvas.fill(112, 6, 336, 190, PAPER, lambda x, y: x - (336 - fold) <= y - 6)
    canvas.fill(336 - fold, 6, 336, 6 + fold, PAPER_FOLD, lambda x, y: x - (336 - fold) <= y - 6 and x + y <= 336 + 6)
    for number, y in enumerate(range(52, 172, 20)):
        canvas.fill(136, y, 312 - (number % 3) * 44, y + 4, PAPER_LINE)
    # The name on the front, and a lamp that says ready.
    canvas.text("SPOOLSWEEP", (WIDTH - (10 * 6 - 1) * 4) // 2, 222, 4, LETTER)
    canvas.rounded(384, 276, 404, 296, 10, LAMP)
    # The panel the credits scroll in.
    canvas.fill(CREDITS[0] - 8, CREDITS[1] - 8, CREDITS[2] + 8, CREDITS[3] + 8, FRAME)
    canvas.fill(CREDITS[0] - 4, CREDITS[1] - 4, CREDITS[2] + 4, CREDITS[3] + 4, PANEL)
    # A broom sweeping under the printer: its head, and bristles that lean to the left.
    canvas.fill(48, 446, 400, 452, SWEEP)
    for start in range(56, 400, 14):
        canvas.fill(start - 12, 452, start + 4, HEIGHT, BRISTLE, lambda x, y, s=start: 0 <= x - (s - (y - 452)) < 4)
    return canvas


def main(path):
    canvas = draw()
    left, top, right, bottom = CREDITS
    assert all(canvas.rows[y][x] != MAGENTA for y in range(top, bottom) for x in range(left, right))
    with open(path, "wb") as out:
        out.write(canvas.bmp())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "about.bmp")
