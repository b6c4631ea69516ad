#!/usr/bin/env python3
"""Makes the factory configuration packages (.fac) of the Cfgpush tests.

Run from this folder:  python3 make_packages.py
Needs Python 3 and the openssl command line (3.x, with its "legacy" provider
for DES). Nothing here uses the project's code: the blocks are enciphered by

    openssl enc -des-cbc -provider legacy -provider default
                -K 796c6375646b6766 -iv 6871777a7065786d

(the hex of "ylcudkgf" and "hqwzpexm", the first 8 characters of the key
text "ylcudkgfjiwqxmze" and of the IV text "hqwzpexmrtvbnaso"), with standard
padding, and the container is written here field by field:

    "KMX_HEAD"
    customer code length (u32 LE), customer code
    common block length, common block
    picture count N (u32), N x (name length, name, data length, data)
    product entries to the end: name length, name, data length, data

with every byte after the magic scrambled: +0x27 at even distance from
offset 8, +0x47 at odd distance (mod 256).

It writes:
  inputs/          the clear parts: configuration texts and picture files
  *.fac            the packages
  packages.json    for each package what it is meant to hold: the customer
                   code, the picture slots (name, data offset, length,
                   source file), the listed product entries with their
                   numbers and block positions, the window's sorted order,
                   the items a push sends for each product type (line, key,
                   value as the device receives them), the truncation
                   lengths that still give a loadable package, and, for the
                   packages `camprep fac pack` can make, its arguments.

The expected items are written out by hand below, from the rules of the
configuration text, not computed.
"""

import json
import os
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
INPUTS = os.path.join(HERE, "inputs")

DES_KEY = b"ylcudkgf".hex()
DES_IV = b"hqwzpexm".hex()
HEADER = b"[IPCamera-Config-File]"


def des_cbc(plain):
    return subprocess.run(
        ["openssl", "enc", "-des-cbc", "-provider", "legacy", "-provider",
         "default", "-K", DES_KEY, "-iv", DES_IV],
        input=plain, check=True, capture_output=True).stdout


def scramble(body):
    return bytes((b + (0x27 if i % 2 == 0 else 0x47)) & 0xFF
                 for i, b in enumerate(body))


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def pattern(n, seed):
    return bytes((i * 37 + seed * 11 + 5) & 0xFF for i in range(n))


def tiny_png(width, height, seed):
    """A real PNG (8-bit RGB, no filter), so that the window can preview it."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\0" + pattern(width * 3, seed + y) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def crlf(*lines, last_line_end=True):
    text = b"\r\n".join(lines)
    return text + b"\r\n" if last_line_end else text


class Package:
    """Writes a package field by field, noting where everything lies."""

    def __init__(self, magic=b"KMX_HEAD"):
        self.magic = magic
        self.body = bytearray()
        self.pictures = []   # (name, data offset, stored length)
        self.products = []   # (name, data offset, stored length)
        self.valid_cuts = []  # (length, listed products)

    def offset(self):
        return len(self.magic) + len(self.body)

    def raw(self, data):
        self.body += data

    def text(self, name):
        self.raw(u32(len(name)) + name)

    def block(self, data, stored_length=None):
        length = len(data) if stored_length is None else stored_length
        self.raw(u32(length))
        at = self.offset()
        self.raw(data)
        return at, length

    def customer(self, code, common_plain=None, common_cipher=None):
        self.text(code)
        cipher = des_cbc(common_plain) if common_cipher is None else common_cipher
        self.common = self.block(cipher)

    def picture_count(self, n):
        self.raw(u32(n))
        self.count_end = self.offset()

    def picture(self, name, plain=None, cipher=None):
        self.text(name)
        at, length = self.block(des_cbc(plain) if cipher is None else cipher)
        self.pictures.append((name, at, length))

    def start_products(self):
        self.valid_cuts.append((self.offset(), 0))

    def product(self, name, plain=None, cipher=None, stored_length=None):
        self.text(name)
        data = des_cbc(plain) if cipher is None else cipher
        at, length = self.block(data, stored_length)
        if length > 0:
            self.products.append((name, at, length))
        self.valid_cuts.append((self.offset(), len(self.products)))

    def bytes(self):
        return self.magic + scramble(bytes(self.body))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read_input(name):
    with open(os.path.join(INPUTS, name), "rb") as f:
        return f.read()


def text(b):
    return b.decode("latin-1")


# ---------------------------------------------------------------- inputs

COMMON = crlf(
    HEADER,
    b"# factory defaults",
    b"a=1",
    b"b=2",
    b"a=2",                      # repeats are kept
    b"x=y#z",                    # "#" anywhere: skipped
    b"#=hash",                   # skipped too
    b"p=q=1",                    # key p, value q=1
    b"",                         # blank: skipped
    b"  k = v",                  # nothing trimmed
    b"name=",                    # empty value
    b"Case=Upper",
    b"no equals sign here",
    b"K" * 31 + b"=fits",        # 31-byte key fits its 32-byte field
    b"Q" * 32 + b"=lost key",    # 32-byte key: sent as an empty key
    b"line_of_47_bytes_key=" + b"v" * 26,   # 47-byte line fits 48
    b"line_of_48_bytes_key=" + b"w" * 27,   # 48-byte line: sent empty
    b"val31=" + b"3" * 31,       # 31-byte value fits
    b"val32=" + b"4" * 32,       # 32-byte value: sent empty
    b"z=9",                      # the last line, without CR LF
    last_line_end=False)

COMMON_ITEMS = [
    ("a=1", "a", "1"),
    ("b=2", "b", "2"),
    ("a=2", "a", "2"),
    ("p=q=1", "p", "q=1"),
    ("  k = v", "  k ", " v"),
    ("name=", "name", ""),
    ("Case=Upper", "Case", "Upper"),
    ("K" * 31 + "=fits", "K" * 31, "fits"),
    ("Q" * 32 + "=lost key", "", "lost key"),
    ("line_of_47_bytes_key=" + "v" * 26, "line_of_47_bytes_key", "v" * 26),
    ("", "line_of_48_bytes_key", "w" * 27),
    ("val31=" + "3" * 31, "val31", "3" * 31),
    ("val32=" + "4" * 32, "val32", ""),
    ("z=9", "z", "9"),
]

IPC_B = crlf(HEADER, b"b=9", b"c=3", b"c=4", b"case=lower", b"Case=dropped",
             b"z=0")
IPC_B_ITEMS = COMMON_ITEMS + [("c=3", "c", "3"), ("c=4", "c", "4"),
                              ("case=lower", "case", "lower")]
IPC_A = crlf(b"; product block", HEADER, b"d=4", b"a=7")
IPC_A_ITEMS = COMMON_ITEMS + [("d=4", "d", "4")]
DOME_X = crlf(HEADER, b"# only a comment and one item", b"e=5")
DOME_X_ITEMS = COMMON_ITEMS + [("e=5", "e", "5")]

SMALL_COMMON = crlf(HEADER, b"a=1", b"b=2")
SMALL_B = crlf(HEADER, b"b=9", b"c=3")
SMALL_A = crlf(HEADER, b"d=4")
SMALL_B_ITEMS = [("a=1", "a", "1"), ("b=2", "b", "2"), ("c=3", "c", "3")]
SMALL_A_ITEMS = [("a=1", "a", "1"), ("b=2", "b", "2"), ("d=4", "d", "4")]

LF_COMMON = HEADER + b"\na=1\nb=2\n"
LF_ITEMS = [(text(LF_COMMON), "[IPCamera-Config-File]\na", "1\nb=2\n"),
            ("x=1", "x", "1")]
LF_PRODUCT = crlf(HEADER, b"x=1")

PICTURES = {
    "icon_old.jpg": b"\xff\xd8\xff\xe0OLD" + pattern(40, 9) + b"\xff\xd9",
    "icon.jpg": b"\xff\xd8\xff\xe0" + pattern(100, 1) + b"\xff\xd9",
    "title_icon.png": tiny_png(4, 2, 3),
    "TabletLogo.png": pattern(64, 4),
    "starticon.png": pattern(33, 5),
    "wallpaper.jpg": pattern(200, 6),
    "title.jpg": pattern(10, 7),
    "company_icon_2024.jpg": b"\xff\xd8\xff\xe0" + pattern(21, 8) + b"\xff\xd9",
    "wallpaper.png": tiny_png(3, 3, 10),
}

INPUT_FILES = {
    "common.txt": COMMON,
    "ipc-b.txt": IPC_B,
    "ipc-a.txt": IPC_A,
    "dome-x.txt": DOME_X,
    "small-common.txt": SMALL_COMMON,
    "small-b.txt": SMALL_B,
    "small-a.txt": SMALL_A,
    "lf-common.txt": LF_COMMON,
    "lf-product.txt": LF_PRODUCT,
}
INPUT_FILES.update({"pictures/" + name: data for name, data in PICTURES.items()})

KIND_OF = {  # the intended kind of every picture entry name used below
    "icon_old.jpg": "login_logo",
    "icon.jpg": "login_logo",
    "title_icon.png": "title_logo",
    "TabletLogo.png": "tablet_logo",
    "starticon.png": "start_picture",
    "wallpaper.jpg": "wallpaper",
    "title.jpg": None,
    "company_icon_2024.jpg": "login_logo",
    "wallpaper.png": "wallpaper",
}

# ---------------------------------------------------------------- packages

manifest = {}


def describe(pkg, customer, items, box_order, pack=None, pictures_present=None,
             extra=None):
    slots = {}
    for name, at, length in pkg.pictures:
        kind = KIND_OF.get(name.decode("latin-1"))
        if kind is not None:   # a later entry of a kind replaces the earlier
            slots[kind] = {"name": text(name), "offset": at, "length": length,
                           "source": "pictures/" + text(name)}
    products = [{"name": text(n), "entry": i, "offset": at, "length": length}
                for i, (n, at, length) in enumerate(pkg.products)]
    entry = {
        "load": "loaded",
        "customer_code": customer,
        "common": {"offset": pkg.common[0], "length": pkg.common[1]},
        "pictures_present": (1 if pkg.pictures else 0)
        if pictures_present is None else pictures_present,
        "pictures": slots,
        "products": products,
        "box_order": box_order,
        "items": items,
        "valid_cuts": [{"length": n, "products": k} for n, k in pkg.valid_cuts],
    }
    if pack is not None:
        entry["pack"] = pack
    if extra:
        entry.update(extra)
    return entry


def pack_args(customer, common, pictures, products):
    return {"customer": customer, "common": common,
            "pictures": [[n, "pictures/" + n] for n in pictures],
            "products": [[n, f] for n, f in products]}


def make_full():
    pictures = ["icon_old.jpg", "icon.jpg", "title_icon.png", "TabletLogo.png",
                "starticon.png", "wallpaper.jpg", "title.jpg"]
    products = [("IPC-B", "ipc-b.txt"), ("IPC-A", "ipc-a.txt"),
                ("dome-x", "dome-x.txt")]
    pkg = Package()
    pkg.customer(b"CUST-0042", COMMON)
    pkg.picture_count(len(pictures))
    for name in pictures:
        pkg.picture(name.encode(), PICTURES[name])
    pkg.start_products()
    for name, f in products:
        pkg.product(name.encode(), INPUT_FILES[f])
    write(os.path.join(HERE, "full.fac"), pkg.bytes())
    manifest["full.fac"] = describe(
        pkg, "CUST-0042",
        {"IPC-B": IPC_B_ITEMS, "IPC-A": IPC_A_ITEMS, "dome-x": DOME_X_ITEMS},
        ["dome-x", "IPC-A", "IPC-B"],
        pack=pack_args("CUST-0042", "common.txt", pictures, products))


def make_small():
    products = [("IPC-B", "small-b.txt"), ("IPC-A", "small-a.txt")]
    pkg = Package()
    pkg.customer(b"ACME", SMALL_COMMON)
    pkg.picture_count(0)
    pkg.start_products()
    for name, f in products:
        pkg.product(name.encode(), INPUT_FILES[f])
    data = pkg.bytes()
    write(os.path.join(HERE, "small.fac"), data)
    manifest["small.fac"] = describe(
        pkg, "ACME", {"IPC-B": SMALL_B_ITEMS, "IPC-A": SMALL_A_ITEMS},
        ["IPC-A", "IPC-B"], pack=pack_args("ACME", "small-common.txt", [], products))
    return pkg


def make_login_wallpaper():
    pictures = ["company_icon_2024.jpg", "wallpaper.png"]
    products = [("IPC-A", "small-a.txt")]
    pkg = Package()
    pkg.customer(b"LW", SMALL_COMMON)
    pkg.picture_count(len(pictures))
    for name in pictures:
        pkg.picture(name.encode(), PICTURES[name])
    pkg.start_products()
    for name, f in products:
        pkg.product(name.encode(), INPUT_FILES[f])
    write(os.path.join(HERE, "login_wallpaper.fac"), pkg.bytes())
    manifest["login_wallpaper.fac"] = describe(
        pkg, "LW", {"IPC-A": SMALL_A_ITEMS}, ["IPC-A"],
        pack=pack_args("LW", "small-common.txt", pictures, products))


def make_lf_only():
    products = [("lf", "lf-product.txt")]
    pkg = Package()
    pkg.customer(b"LF", LF_COMMON)
    pkg.picture_count(0)
    pkg.start_products()
    pkg.product(b"lf", LF_PRODUCT)
    write(os.path.join(HERE, "lf_only.fac"), pkg.bytes())
    manifest["lf_only.fac"] = describe(
        pkg, "LF", {"lf": LF_ITEMS}, ["lf"],
        pack=pack_args("LF", "lf-common.txt", [], products))


def make_unknown_picture_only():
    pkg = Package()
    pkg.customer(b"", SMALL_COMMON)
    pkg.picture_count(1)
    pkg.picture(b"title.jpg", PICTURES["title.jpg"])
    pkg.start_products()
    pkg.product(b"IPC-A", SMALL_A)
    write(os.path.join(HERE, "unknown_picture.fac"), pkg.bytes())
    manifest["unknown_picture.fac"] = describe(
        pkg, "", {"IPC-A": SMALL_A_ITEMS}, ["IPC-A"],
        pack=pack_args("", "small-common.txt", ["title.jpg"],
                       [("IPC-A", "small-a.txt")]))


def make_zero_length_entry():
    # An entry with data length 0 is not listed and uses up no number.
    pkg = Package()
    pkg.customer(b"ZERO", SMALL_COMMON)
    pkg.picture_count(0)
    pkg.start_products()
    pkg.product(b"IPC-Z", SMALL_B)
    pkg.product(b"EMPTY", cipher=b"")
    pkg.product(b"IPC-A", SMALL_A)
    write(os.path.join(HERE, "zero_length_entry.fac"), pkg.bytes())
    manifest["zero_length_entry.fac"] = describe(
        pkg, "ZERO", {"IPC-A": SMALL_A_ITEMS, "IPC-Z": SMALL_B_ITEMS},
        ["IPC-A", "IPC-Z"])


def make_long_names():
    code = b"C" * 70
    picture = b"wallpaper_" + b"p" * 60 + b".png"
    product = b"P" * 64 + b"-long"
    pkg = Package()
    pkg.customer(code, SMALL_COMMON)
    pkg.picture_count(1)
    pkg.picture(picture, PICTURES["wallpaper.png"])
    pkg.start_products()
    pkg.product(product, SMALL_A)
    write(os.path.join(HERE, "long_names.fac"), pkg.bytes())
    entry = describe(pkg, text(code[:63]), {text(product[:63]): SMALL_A_ITEMS},
                     [text(product[:63])])
    entry["pictures"] = {"wallpaper": {
        "name": text(picture[:63]), "offset": pkg.pictures[0][1],
        "length": pkg.pictures[0][2], "source": "pictures/wallpaper.png"}}
    entry["products"][0]["name"] = text(product[:63])
    manifest["long_names.fac"] = entry


def make_bad_items():
    # Load fine; building the items fails for the marked product types.
    not_a_block = pattern(16, 12)          # whole blocks, padding wrong
    pkg = Package()
    pkg.customer(b"BAD-COMMON", common_cipher=not_a_block)
    pkg.picture_count(0)
    pkg.start_products()
    pkg.product(b"IPC-A", SMALL_A)
    write(os.path.join(HERE, "common_not_deciphering.fac"), pkg.bytes())
    manifest["common_not_deciphering.fac"] = describe(
        pkg, "BAD-COMMON", {}, ["IPC-A"], extra={"items_fail": ["IPC-A"]})

    pkg = Package()
    pkg.customer(b"NO-HEADER", crlf(b"[IPCamera-Config]", b"a=1"))
    pkg.picture_count(0)
    pkg.start_products()
    pkg.product(b"IPC-A", SMALL_A)
    write(os.path.join(HERE, "common_without_header.fac"), pkg.bytes())
    manifest["common_without_header.fac"] = describe(
        pkg, "NO-HEADER", {}, ["IPC-A"], extra={"items_fail": ["IPC-A"]})

    pkg = Package()
    pkg.customer(b"BAD-PRODUCTS", SMALL_COMMON)
    pkg.picture_count(0)
    pkg.start_products()
    pkg.product(b"good", SMALL_A)
    pkg.product(b"no-header", crlf(b"d=4"))
    pkg.product(b"odd-length", cipher=des_cbc(SMALL_A)[:12])
    pkg.product(b"garbled", cipher=pattern(24, 13))
    # The header may stand after a zero byte only if the text is read past
    # it; it is not: text ends at the first zero byte.
    pkg.product(b"header-after-zero", b"a=1\0" + crlf(HEADER, b"d=4"))
    write(os.path.join(HERE, "product_blocks_bad.fac"), pkg.bytes())
    manifest["product_blocks_bad.fac"] = describe(
        pkg, "BAD-PRODUCTS", {"good": SMALL_A_ITEMS},
        ["garbled", "good", "header-after-zero", "no-header", "odd-length"],
        extra={"items_fail": ["no-header", "odd-length", "garbled",
                              "header-after-zero"]})


def make_garbled_pictures():
    # Pictures whose blocks do not decipher: the login logo gives no bytes,
    # the wallpaper only its extra zero byte.
    pkg = Package()
    pkg.customer(b"GARBLED", SMALL_COMMON)
    pkg.picture_count(3)
    pkg.picture(b"icon.jpg", cipher=pattern(16, 14))
    pkg.picture(b"title_icon.png", PICTURES["title_icon.png"])
    pkg.picture(b"wallpaper.jpg", cipher=pattern(24, 15))
    pkg.start_products()
    pkg.product(b"IPC-A", SMALL_A)
    write(os.path.join(HERE, "garbled_pictures.fac"), pkg.bytes())
    manifest["garbled_pictures.fac"] = describe(
        pkg, "GARBLED", {"IPC-A": SMALL_A_ITEMS}, ["IPC-A"],
        extra={"pictures_garbled": ["login_logo", "wallpaper"]})


def make_bad_format(small):
    """Packages the loader must refuse as not in the correct format."""
    good = small.bytes()
    body = bytearray(small.body)

    def rescrambled(patches, size=None):
        b = bytearray(body if size is None else body[:size])
        for at, value in patches:
            b[at - 8:at - 8 + 4] = u32(value)
        return small.magic + scramble(bytes(b))

    customer_length_at = 8
    common_length_at = 8 + 4 + 4           # after "ACME"
    count_at = small.common[0] + small.common[1]
    first_name_at = small.valid_cuts[0][0]
    name_length = 5                        # "IPC-B"
    first_data_length_at = first_name_at + 4 + name_length
    size = len(good)
    bad = {
        "bad_magic.fac": b"KMX_HEAF" + good[8:],
        "short_magic.fac": b"KMX_",
        "empty.fac": b"",
        "magic_only.fac": b"KMX_HEAD",
        "past_end_customer.fac": rescrambled([(customer_length_at, size)]),
        "past_end_common.fac": rescrambled([(common_length_at, size)]),
        "past_end_picture_count.fac": rescrambled([(count_at, 3)]),
        "huge_picture_count.fac": rescrambled([(count_at, 0xFFFFFFFF)]),
        "past_end_product_name.fac": rescrambled([(first_name_at, 1000)]),
        "past_end_product_data.fac": rescrambled(
            [(first_data_length_at, size - first_data_length_at - 4 + 1)]),
        "negative_product_length.fac": rescrambled([(first_data_length_at, -8)]),
        "negative_customer_length.fac": rescrambled([(customer_length_at, -1)]),
        "trailing_bytes.fac": small.magic + scramble(bytes(body) + b"\1\2\3"),
    }
    for name, data in bad.items():
        write(os.path.join(HERE, name), data)
        manifest[name] = {"load": "bad_format"}


def main():
    for name, data in INPUT_FILES.items():
        path = os.path.join(INPUTS, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write(path, data)
    make_full()
    small = make_small()
    make_login_wallpaper()
    make_lf_only()
    make_unknown_picture_only()
    make_zero_length_entry()
    make_long_names()
    make_bad_items()
    make_garbled_pictures()
    make_bad_format(small)
    with open(os.path.join(HERE, "packages.json"), "w") as f:
        json.dump(manifest, f, indent=1, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    main()
