#!/usr/bin/env python3
"""Makes the upgrade packages the Fwbatch tests read, and payloads.sha256:
the SHA-256 of each package's payload (the file without its trailer), as
Python's hashlib computes it, in sha256sum's format.

    python3 tests/data/fwbatch/make_packages.py

A software package is payload + a 64-byte trailer starting "head"; a
component package is payload + a 16-byte trailer: "head", the kind (u32,
little-endian) and 8 zero bytes. The payloads are deterministic bytes.
"""
import gzip
import hashlib
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def pattern(size, seed):
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


def software(payload):
    return payload + b"head" + bytes(60)


def component(payload, kind):
    return payload + b"head" + struct.pack("<I", kind) + bytes(8)


def gzipped(data):
    # deflate, no flags, mtime 0, extra flags 0, operating system 3 (Unix)
    body = gzip.compress(data, compresslevel=9, mtime=0)
    return body[:8] + b"\x00\x03" + body[10:]


PACKAGES = {
    "sw_250.pkg": (software, pattern(250, 1)),
    "sw_50.pkg": (software, pattern(50, 2)),
    "sw_large.pkg": (software, pattern(300007, 3)),
    "sw_gzip.pkg": (software, gzipped(pattern(4000, 4))),
    "kernel.pkg": (lambda p: component(p, 2), pattern(1234, 5)),
    "uboot.pkg": (lambda p: component(p, 1), pattern(300, 6)),
    "ai.pkg": (lambda p: component(p, 5), pattern(200, 7)),
}

lines = []
for name, (wrap, payload) in sorted(PACKAGES.items()):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(wrap(payload))
    lines.append(f"{hashlib.sha256(payload).hexdigest()}  {name}\n")
with open(os.path.join(HERE, "payloads.sha256"), "w") as f:
    f.writelines(lines)
