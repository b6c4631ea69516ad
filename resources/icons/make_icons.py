#!/usr/bin/env python3
"""Makes the windows' icons: Fwbatch's and Cfgpush's pictures at the sizes
of the hicolor icon theme (hicolor/SIZExSIZE/apps/org.camprep.NAME.png),
and Fwbatch's window icon, ../fwbatch/fwbatch.png (32 x 32).

Run from this folder:  python3 make_icons.py
Plain Python 3, standard library only: each PNG is written chunk by chunk.

Both pictures are drawn on a 32-unit square, sampled 4 x 4 per pixel so
that edges are smooth at every size:
- Fwbatch: a blue rounded square with a white arrow pointing up (an upgrade);
- Cfgpush: a green rounded square with three white sliders (settings).
"""

import os
import struct
import zlib

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SAMPLES = 4
UNITS = 32.0
WHITE = (0xFF, 0xFF, 0xFF)


def in_square(x, y):
    r = 6.0
    lo, hi = 1.0, UNITS - 1.0
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and lo <= x <= hi and lo <= y <= hi


def in_arrow(x, y):
    # head: a triangle from (16, 6) to (7, 16) and (25, 16); shaft below it
    if 6 <= y <= 16 and abs(x - 16) <= (y - 6) * 0.9:
        return True
    return 12.5 <= x <= 19.5 and 16 <= y <= 26


def in_sliders(x, y):
    # three bars across, each with a round knob at its own place
    for bar_y, knob_x in ((9.0, 20.0), (16.0, 11.0), (23.0, 18.0)):
        if 6.5 <= x <= 25.5 and abs(y - bar_y) <= 1.25:
            return True
        if (x - knob_x) ** 2 + (y - bar_y) ** 2 <= 3.4 ** 2:
            return True
    return False


ICONS = {
    "org.camprep.Fwbatch": ((0x1F, 0x5A, 0xA8), in_arrow),
    "org.camprep.Cfgpush": ((0x1E, 0x8A, 0x5A), in_sliders),
}


def pixel(px, py, size, colour, in_mark):
    scale = UNITS / size
    square = mark = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) * scale
            y = (py + (sy + 0.5) / SAMPLES) * scale
            if in_square(x, y):
                square += 1
                if in_mark(x, y):
                    mark += 1
    n = SAMPLES * SAMPLES
    if square == 0:
        return (0, 0, 0, 0)
    a = mark / square
    rgb = tuple(round(b * (1 - a) + w * a) for b, w in zip(colour, WHITE))
    return rgb + (round(255 * square / n),)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(size, colour, in_mark):
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        for x in range(size):
            raw.extend(pixel(x, y, size, colour, in_mark))
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += chunk(b"IEND", b"")
    return data


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def main():
    for name, (colour, in_mark) in ICONS.items():
        for size in SIZES:
            write(f"hicolor/{size}x{size}/apps/{name}.png", png(size, colour, in_mark))
    colour, in_mark = ICONS["org.camprep.Fwbatch"]
    write("../fwbatch/fwbatch.png", png(32, colour, in_mark))


if __name__ == "__main__":
    main()
