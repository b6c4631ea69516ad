#!/usr/bin/env python3
"""Makes fwbatch.png, Fwbatch's application icon.

Run from this folder:  python3 make_icon.py
Plain Python 3, standard library only: the PNG is written chunk by chunk.

The picture: a blue rounded square with a white arrow pointing up (an
upgrade), 32 x 32 pixels, RGBA, edges smoothed by 4 x 4 sampling.
"""

import struct
import zlib

SIZE = 32
SAMPLES = 4
BLUE = (0x1F, 0x5A, 0xA8)
WHITE = (0xFF, 0xFF, 0xFF)


def in_square(x, y):
    r = 6.0
    lo, hi = 1.0, SIZE - 1.0
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and lo <= x <= hi and lo <= y <= hi


def in_arrow(x, y):
    # head: a triangle from (16, 6) to (7, 16) and (25, 16); shaft below it
    if 6 <= y <= 16 and abs(x - 16) <= (y - 6) * 0.9:
        return True
    return 12.5 <= x <= 19.5 and 16 <= y <= 26


def pixel(px, py):
    square = arrow = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if in_square(x, y):
                square += 1
                if in_arrow(x, y):
                    arrow += 1
    n = SAMPLES * SAMPLES
    if square == 0:
        return (0, 0, 0, 0)
    a = arrow / square
    rgb = tuple(round(b * (1 - a) + w * a) for b, w in zip(BLUE, WHITE))
    return rgb + (round(255 * square / n),)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    raw = bytearray()
    for y in range(SIZE):
        raw.append(0)  # no filter
        for x in range(SIZE):
            raw.extend(pixel(x, y))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open("fwbatch.png", "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
