#!/usr/bin/env python3
"""Writes spoolsweep.ico: the program's icon, drawn here so that it can be rebuilt from source.

A 32x32 and a 16x16 image, 32-bit with alpha: a sheet of paper leaving a printer, and a sweep line.
Run: python3 res/make_icon.py res/spoolsweep.ico
"""
import struct
import sys


def pixel_at(x, y, size):
    """Colour (b, g, r, a) of one pixel, drawn on a 32-unit grid scaled to the image size."""
    u = x * 32 // size
    v = y * 32 // size
    if 9 <= u <= 22 and 3 <= v <= 14:
        return (250, 250, 250, 255) if not (11 <= u <= 20 and v in (6, 9, 12)) else (150, 150, 150, 255)
    if 3 <= u <= 28 and 13 <= v <= 24:
        if u in (3, 28) or v in (13, 24):
            return (60, 60, 60, 255)
        return (200, 120, 40, 255)
    if 8 <= u <= 23 and 25 <= v <= 27:
        return (60, 60, 60, 255)
    if v == 29 and 2 <= u <= 29:
        return (40, 40, 210, 255)
    return (0, 0, 0, 0)


def image(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):
        rows.append(b"".join(struct.pack("<BBBB", *pixel_at(x, y, size)) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(size):
            if pixel_at(x, y, size)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + b"".join(rows) + mask


def main(path):
    sizes = (32, 16)
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    data += b"".join(images)
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "spoolsweep.ico")
