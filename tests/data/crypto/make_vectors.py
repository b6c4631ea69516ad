#!/usr/bin/env python3
"""Makes the known-answer files of the crypto unit tests.

Run from this folder:  python3 make_vectors.py
Needs the openssl command line (3.x, with its "legacy" provider for DES) and
Python's hashlib. Nothing here uses the project's code: the ciphertexts come
from `openssl enc`, the digests from hashlib.

aes128_ecb.txt   key-text plain-hex cipher-hex
    cipher = openssl enc -aes-128-ecb -nopad -K <key> over the plain bytes
    zero-padded to a multiple of 16. <key> is the key text read as hex
    digits, zero-filled to 16 bytes (every key text below is 16 or 32 hex
    digits, so that reading is unambiguous).
des_cbc.txt      plain-hex cipher-hex
    cipher = openssl enc -des-cbc -provider legacy -provider default
             -K 796c6375646b6766 -iv 6871777a7065786d
    (the hex of "ylcudkgf" and "hqwzpexm"), standard padding.
des_cbc_badpad.txt  cipher-hex
    the same key and IV with -nopad over plain blocks whose last byte is no
    valid padding, so that decrypting with padding on must fail.
digests.txt      input-hex md5-hex sha1-hex   (hashlib)
"""

import hashlib
import subprocess

DES_KEY = b"ylcudkgf".hex()
DES_IV = b"hqwzpexm".hex()


def openssl(args, data):
    return subprocess.run(["openssl"] + args, input=data, check=True,
                          capture_output=True).stdout


def aes_ecb(key_text, plain):
    key = bytes.fromhex(key_text).ljust(16, b"\0")
    padded = plain + b"\0" * (-len(plain) % 16)
    return openssl(["enc", "-aes-128-ecb", "-nopad", "-K", key.hex()], padded)


def des_cbc(plain, pad=True):
    args = ["enc", "-des-cbc", "-provider", "legacy", "-provider", "default",
            "-K", DES_KEY, "-iv", DES_IV]
    if not pad:
        args.append("-nopad")
    return openssl(args, plain)


def pattern(n, seed):
    return bytes((i * 37 + seed) & 0xFF for i in range(n))


def header(f, text):
    f.write("# Made by make_vectors.py: %s\n" % text)


def main():
    with open("aes128_ecb.txt", "w") as f:
        header(f, "openssl enc -aes-128-ecb -nopad -K <key>")
        cases = [
            ("000102030405060708090a0b0c0d0e0f", bytes.fromhex("00112233445566778899aabbccddeeff")),
            ("2b7e151628aed2a6abf7158809cf4f3c", bytes.fromhex("3243f6a8885a308d313198a2e0370734")),
            ("0000000000123456", b"GET /index HTTP/1"),           # 17 bytes -> 32
            ("0000000016777215", b"hello"),                        # 5 bytes -> 16
            ("0000000000000000", pattern(48, 3)),                  # 3 blocks, in place
            ("A0B1C2D3E4F5a6b7c8d9eaFB0c1D2e3F", pattern(33, 200)),  # mixed case, 48
            ("fedcba9876543210", pattern(100, 0)),                 # 100 -> 112
        ]
        for key_text, plain in cases:
            f.write("%s %s %s\n" % (key_text, plain.hex(), aes_ecb(key_text, plain).hex()))

    with open("des_cbc.txt", "w") as f:
        header(f, "openssl enc -des-cbc -provider legacy -provider default -K %s -iv %s"
               % (DES_KEY, DES_IV))
        plains = [pattern(n, 11) for n in (1, 7, 8, 9, 15, 16, 17, 64, 100, 1000)]
        plains.append(b"<facConfig><item name=\"Type\">IPC</item></facConfig>")
        for plain in plains:
            f.write("%s %s\n" % (plain.hex(), des_cbc(plain).hex()))

    with open("des_cbc_badpad.txt", "w") as f:
        header(f, "openssl enc -des-cbc ... -nopad over blocks ending in invalid padding")
        for plain in (pattern(7, 1) + b"\x00",          # pad byte 0
                      pattern(15, 1) + b"\x09",         # pad byte larger than the block
                      pattern(14, 1) + b"\x05\x02"):    # pad bytes disagree
            f.write("%s\n" % des_cbc(plain, pad=False).hex())

    with open("digests.txt", "w") as f:
        header(f, "hashlib.md5 / hashlib.sha1")
        inputs = [b"", b"a", b"abc", b"message digest", b"a" * 1000, bytes(range(256)),
                  b"E10ADC3949BA59ABBE56E057F20F883E00012345"]
        for data in inputs:
            f.write("%s %s %s\n" % (data.hex() or "-", hashlib.md5(data).hexdigest(),
                                    hashlib.sha1(data).hexdigest()))


if __name__ == "__main__":
    main()
