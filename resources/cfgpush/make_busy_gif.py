#!/usr/bin/env python3
"""Makes busy.gif, the animation Cfgpush shows while a push runs.

Run from this folder:  python3 make_busy_gif.py
Plain Python 3, no modules beyond the standard library: the GIF89a file is
written field by field here, with its own LZW coder.

The picture: eight dots on a circle, one of them dark and the ones behind
it fading, turning one step per frame (eight frames of 100 ms, looping for
ever). Dot edges are smoothed by sampling each pixel 4 x 4 times; the
background is transparent, and the smoothed shades are mixed towards the
dialog grey (#F0F0F0) so they sit well on it.
"""

import math
import struct

SIZE = 24            # width and height in pixels
DOTS = 8
FRAMES = 8
DELAY_CS = 10        # per frame, in hundredths of a second
RING_RADIUS = 8.0
DOT_RADIUS = 2.4
SAMPLES = 4          # per axis, for the smoothing
LEVELS = 15          # shades besides the transparent index 0
BACKGROUND = (0xF0, 0xF0, 0xF0)
INK = (0x1F, 0x5A, 0xA8)


def palette():
    """Index 0 transparent; 1..LEVELS from faint to full ink. 16 entries."""
    colours = [BACKGROUND]
    for level in range(1, LEVELS + 1):
        t = level / LEVELS
        colours.append(tuple(round(b + (i - b) * t) for b, i in zip(BACKGROUND, INK)))
    return colours


def dot_strength(dot, frame):
    """The head dot (at the frame's position) is full; the rest fade behind it."""
    behind = (frame - dot) % DOTS
    return max(0.15, (1.0 - behind / DOTS) ** 1.5)


def frame_pixels(frame):
    centre = (SIZE - 1) / 2.0
    centres = []
    for dot in range(DOTS):
        angle = 2 * math.pi * dot / DOTS - math.pi / 2
        centres.append((centre + RING_RADIUS * math.cos(angle),
                        centre + RING_RADIUS * math.sin(angle),
                        dot_strength(dot, frame)))
    pixels = []
    for y in range(SIZE):
        for x in range(SIZE):
            best = 0.0
            for cx, cy, strength in centres:
                covered = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        px = x + (sx + 0.5) / SAMPLES
                        py = y + (sy + 0.5) / SAMPLES
                        if (px - 0.5 - cx) ** 2 + (py - 0.5 - cy) ** 2 <= DOT_RADIUS ** 2:
                            covered += 1
                best = max(best, strength * covered / (SAMPLES * SAMPLES))
            pixels.append(min(LEVELS, round(best * LEVELS)))
    return pixels


class BitWriter:
    """GIF codes go out least significant bit first."""

    def __init__(self):
        self.bytes = bytearray()
        self.accumulator = 0
        self.count = 0

    def write(self, code, width):
        self.accumulator |= code << self.count
        self.count += width
        while self.count >= 8:
            self.bytes.append(self.accumulator & 0xFF)
            self.accumulator >>= 8
            self.count -= 8

    def finish(self):
        if self.count > 0:
            self.bytes.append(self.accumulator & 0xFF)
        return bytes(self.bytes)


def lzw_encode(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    out = BitWriter()

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    out.write(clear, width)
    current = bytes([indices[0]])
    for index in indices[1:]:
        extended = current + bytes([index])
        if extended in table:
            current = extended
            continue
        out.write(table[current], width)
        if next_code < 4096:
            table[extended] = next_code
            # The decoder widens its codes once it has assigned the last
            # code of the current width; it assigns one code later than we
            # do, hence the test on the code just assigned.
            if next_code == (1 << width) and width < 12:
                width += 1
            next_code += 1
        else:
            out.write(clear, width)
            table, next_code, width = reset()
        current = bytes([index])
    out.write(table[current], width)
    out.write(end, width)
    return out.finish()


def sub_blocks(data):
    out = bytearray()
    for start in range(0, len(data), 255):
        chunk = data[start:start + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif():
    colours = palette()
    table_bits = 4  # 16 colours
    out = bytearray(b"GIF89a")
    # Logical screen: global colour table of 2^(3+1) entries, 8 bits per
    # primary, background index 0, square pixels.
    out += struct.pack("<HHBBB", SIZE, SIZE, 0x80 | (7 << 4) | (table_bits - 1), 0, 0)
    for r, g, b in colours:
        out += bytes((r, g, b))
    # Loop for ever.
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\x00"
    for frame in range(FRAMES):
        # Graphic control: dispose to background, transparent index 0.
        out += b"\x21\xF9\x04" + struct.pack("<BHB", (2 << 2) | 1, DELAY_CS, 0) + b"\x00"
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
        out.append(table_bits)  # LZW minimum code size
        out += sub_blocks(lzw_encode(frame_pixels(frame), table_bits))
    out += b"\x3B"
    return bytes(out)


if __name__ == "__main__":
    with open("busy.gif", "wb") as f:
        f.write(gif())
