#!/usr/bin/env python3
"""Makes login_vectors.txt: expected 116-byte login records.

Run from this folder:  python3 make_login_vectors.py > login_vectors.txt
Nothing here uses the project's code: the layout is written out below and
the digests come from Python's hashlib.

Record: 0..3 zero | 4..35 user name | 36..67 password or SHA-1 digest |
68..71 nonce (LE) | 72..103 zero | 104..109 local MAC | 110..115 zero.
Digest modes: SHA-1 over (upper-case hex MD5 of the password) + "%08d" of
the session number; nonce = r % 0xFFFF00 + 1. Mode 2 also XORs every
non-zero byte i of the user field with str(session)[i % len]. The name
transform (cipher 0x10000, XOR) encrypts user+NUL, then the whole 32-byte
password field, with the 4 key bytes in turn.

Each line: case-name user password transform-mode key-hex digest-mode
session r record-hex   ("-" stands for an empty text)
"""
import hashlib
import struct

MAC = bytes([0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E])


def record(user, password, transform, key, digest_mode, session, r):
    rec = bytearray(116)
    rec[104:110] = MAC
    u = user.encode()
    p = password.encode()
    rec[4:4 + len(u)] = u
    rec[36:36 + len(p)] = p
    if transform:
        name = bytearray(u + b"\0")
        for i in range(len(name)):
            name[i] ^= key[i % 4]
        rec[4:36] = bytes(32)
        rec[4:4 + len(name)] = name
        pw = bytearray(rec[36:68])
        for i in range(32):
            pw[i] ^= key[i % 4]
        rec[36:68] = pw
    elif digest_mode in (1, 2):
        text = hashlib.md5(p).hexdigest().upper() + "%08d" % session
        rec[36:68] = hashlib.sha1(text.encode()).digest() + bytes(12)
        rec[68:72] = struct.pack("<I", r % 0xFFFF00 + 1)
        if digest_mode == 2:
            t = str(session).encode()
            for i in range(32):
                if rec[4 + i]:
                    rec[4 + i] ^= t[i % len(t)]
    return bytes(rec)


CASES = [
    ("plain", "admin", "739164", 0, b"\0\0\0\0", 0, 123456, 0),
    ("digest1", "admin", "739164", 0, b"\0\0\0\0", 1, 123456, 42),
    ("digest1_empty_password", "admin", "", 0, b"\0\0\0\0", 1, 7, 0xFFFF00),
    ("digest1_session_zero_padding", "operator", "pa55", 0, b"\0\0\0\0", 1, 0xABCDEF, 0xFFFFFFFF),
    ("digest2", "admin", "739164", 0, b"\0\0\0\0", 2, 123456, 1),
    ("digest2_short_session", "ab", "x", 0, b"\0\0\0\0", 2, 5, 7),
    ("transform_beats_digest", "admin", "739164", 0x10000, bytes([0x11, 0x22, 0x33, 0x44]), 1, 123456, 9),
    ("plain_longest", "u" * 31, "p" * 31, 0, b"\0\0\0\0", 0, 0, 0),
]

for name, user, password, transform, key, mode, session, r in CASES:
    rec = record(user, password, transform, key, mode, session, r)
    print(name, user or "-", password or "-", transform, key.hex(), mode, session, r, rec.hex())
