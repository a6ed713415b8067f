#!/usr/bin/env python3
"""Writes a corpus of hostile pictures for the reliability suite.

    make_corpus.py OUTPUT_DIR [--samples DIR]

From one small valid seed of each decoder format (BMP, JPEG, GIF, TIFF, PNG, ICO, EMF,
WMF) it derives truncations, bit flips, zero and giant header dimensions and wrong
extensions, and adds zero-byte files, text posing as pictures, a folder named like a
picture, paths around the 260-character limit and names with quotes and non-ASCII
characters. The formats of the imaging component's decoders get their own: from the
encoder fixtures (tests/fixtures/formats/: WebP, HEIF, AVIF, JPEG XL, JPEG XR, TGA) and a
DDS seed of its own, truncations, boxes and chunks whose sizes run past the file's end,
boxes that point at themselves, ispe sizes of 0 and 2^32 - 1, a VP8X canvas larger than
its data, and lying container tags. Pure Python 3; deterministic (fixed random seed).

OUTPUT_DIR/manifest.tsv lists every entry as "EXPECT<TAB>relative/path" (UTF-8), where
EXPECT is "valid" (must give a menu), "invalid" (must fail Initialize) or "any" (either,
but no crash, no hang). The test program adds the one case a script cannot make: a file
held open without sharing.
"""
import os
import random
import shutil
import struct
import sys
import zlib

W, H = 48, 32  # seed size: wider than tall, so the menu offers the wide variants


def pixel(x, y):
    return (x * 255 // (W - 1), y * 255 // (H - 1), 128 if (x // 8 + y // 8) % 2 else 32)


# --- seeds ----------------------------------------------------------------------------

def make_bmp(w=W, h=H):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def make_png():
    raw = bytearray()
    for y in range(H):
        raw.append(0)
        for x in range(W):
            raw += bytes(pixel(x, y))
    ihdr = struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw))) + png_chunk(b"IEND", b""))


def lzw_literals(indices, min_code_size=8):
    """GIF LZW data made only of literal codes, with a clear code before the table would
    grow past 9-bit codes: valid for every decoder and simple to write."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    codes = [clear]
    run = 0
    for i in indices:
        if run == 254:  # the decoder adds a table entry per code after the first
            codes.append(clear)
            run = 0
        codes.append(i)
        run += 1
    codes.append(end)
    out, acc, bits = bytearray(), 0, 0
    for c in codes:
        acc |= c << bits
        bits += 9
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        part = out[i:i + 255]
        blocks += bytes((len(part),)) + part
    return bytes((min_code_size,)) + bytes(blocks) + b"\0"


def make_gif():
    palette = bytearray()
    for i in range(256):
        palette += bytes((i, (i * 7) & 0xFF, 255 - i))
    indices = [(x * 4 + y * 3) & 0xFF for y in range(H) for x in range(W)]
    screen = struct.pack("<6sHHBBB", b"GIF89a", W, H, 0xF7, 0, 0)
    image = struct.pack("<BHHHHB", 0x2C, 0, 0, W, H, 0)
    return screen + bytes(palette) + image + lzw_literals(indices) + b";"


def make_tiff():
    pixels = bytearray()
    for y in range(H):
        for x in range(W):
            pixels += bytes(pixel(x, y))
    entries = [  # tag, type, count, value
        (256, 3, 1, W), (257, 3, 1, H), (258, 3, 3, None), (259, 3, 1, 1), (262, 3, 1, 2),
        (273, 4, 1, None), (277, 3, 1, 3), (278, 3, 1, H), (279, 4, 1, len(pixels)),
        (284, 3, 1, 1)]
    ifd_offset = 8
    ifd_size = 2 + 12 * len(entries) + 4
    bits_offset = ifd_offset + ifd_size
    strip_offset = bits_offset + 6
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 258:
            ifd += struct.pack("<HHII", tag, kind, count, bits_offset)
        elif tag == 273:
            ifd += struct.pack("<HHII", tag, kind, count, strip_offset)
        elif kind == 3:
            ifd += struct.pack("<HHIHH", tag, kind, count, value, 0)
        else:
            ifd += struct.pack("<HHII", tag, kind, count, value)
    ifd += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", ifd_offset) + ifd + struct.pack("<HHH", 8, 8, 8) + bytes(pixels)


def make_ico(size=32):
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b = pixel(x * W // size, y * H // size)
            xor += bytes((b, g, r, 255))
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    dib = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = dib + bytes(xor) + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return header + entry + image


def wmf_record(function, *words):
    return struct.pack("<IH", 3 + len(words), function) + struct.pack("<%dh" % len(words), *words)


def make_wmf():
    records = (wmf_record(0x020B, 0, 0) +                 # SetWindowOrg
               wmf_record(0x020C, 320, 480) +             # SetWindowExt (y, x)
               wmf_record(0x02FC, 0, 0x00FF, 0x0040, 0) + # CreateBrushIndirect
               wmf_record(0x012D, 0) +                    # SelectObject
               wmf_record(0x041B, 320, 480, 0, 0) +       # Rectangle (bottom, right, top, left)
               wmf_record(0x0000))                        # end of file
    max_record = 7
    size_words = (18 + len(records)) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, size_words, 1, max_record, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 480, 320, 1440, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable[:20]):
        checksum ^= word
    return placeable + struct.pack("<H", checksum) + header + records


def make_emf():
    rect = struct.pack("<IIiiii", 43, 24, 10, 10, 470, 310)  # EMR_RECTANGLE
    brush = struct.pack("<IIIIII", 39, 24, 1, 0, 0x0040FF, 0)  # EMR_CREATEBRUSHINDIRECT
    select = struct.pack("<III", 37, 12, 1)  # EMR_SELECTOBJECT
    eof = struct.pack("<IIIII", 14, 20, 0, 16, 20)
    body = brush + select + rect + eof
    header_size = 88
    total = header_size + len(body)
    header = struct.pack("<II", 1, header_size)
    header += struct.pack("<iiii", 0, 0, 479, 319)          # bounds, device units
    header += struct.pack("<iiii", 0, 0, 12700, 8466)        # frame, 0.01 mm
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, 5, 2, 0, 0, 0, 0)
    header += struct.pack("<iiii", 1280, 1024, 338, 270)     # device pixels and millimetres
    assert len(header) == header_size
    return header + body


def jpeg_seed(samples):
    """The smallest sample photo (real camera-like JPEG), else a minimal baseline one."""
    best = None
    if samples and os.path.isdir(samples):
        for name in sorted(os.listdir(samples)):
            if name.lower().endswith(".jpg"):
                path = os.path.join(samples, name)
                if best is None or os.path.getsize(path) < os.path.getsize(best):
                    best = path
    if best is None:
        raise SystemExit("make_corpus: no JPEG in %s" % samples)
    with open(best, "rb") as f:
        return f.read()


# --- header dimension offsets: (offset, struct format) of width and height --------------

def jpeg_sof(data):
    i = 2
    while i + 4 < len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            return i + 5  # height at +5, width at +7
        i += 2 + length
    return None


def dimension_fields(kind, data):
    if kind == "bmp":
        return [(18, "<i"), (22, "<i")]
    if kind == "png":
        return [(16, ">I"), (20, ">I")]
    if kind == "gif":
        return [(6, "<H"), (8, "<H")]
    if kind == "tiff":
        return [(10 + 8, "<H"), (10 + 12 + 8, "<H")]  # first two IFD entries' values
    if kind == "ico":
        return [(6 + 16 + 4, "<i"), (6 + 16 + 8, "<i")]  # the image's own DIB header
    if kind == "emf":
        return [(16, "<i"), (20, "<i")]  # bounds right, bottom
    if kind == "wmf":
        return [(10, "<h"), (12, "<h")]  # placeable bounds right, bottom
    if kind == "jpg":
        sof = jpeg_sof(data)
        return [(sof + 2, ">H"), (sof, ">H")] if sof else []
    return []


def giant(fmt):
    return {"<i": 0x7FFFFFF0, ">I": 0x7FFFFFF0, "<H": 0xFFFF, ">H": 0xFFFF, "<h": 0x7FFF}[fmt]


def with_field(data, offset, fmt, value):
    out = bytearray(data)
    struct.pack_into(fmt, out, offset, value)
    return bytes(out)


HEADER_SIZE = {"bmp": 54, "png": 33, "gif": 13, "tiff": 8, "ico": 22, "emf": 88, "wmf": 40, "jpg": 20}


class Corpus:
    def __init__(self, root):
        self.root = root
        self.entries = []

    def add(self, rel, data, expect):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        self.entries.append((expect, rel))

    def add_dir(self, rel, expect):
        os.makedirs(os.path.join(self.root, rel), exist_ok=True)
        self.entries.append((expect, rel))

    def write_manifest(self):
        with open(os.path.join(self.root, "manifest.tsv"), "w", encoding="utf-8", newline="\n") as f:
            for expect, rel in self.entries:
                f.write("%s\t%s\n" % (expect, rel.replace(os.sep, "/")))


# --- the imaging component's formats ---------------------------------------------------

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures",
                        "formats")


def fixture(name):
    with open(os.path.join(FIXTURES, name), "rb") as f:
        return f.read()


def make_tga(w=W, h=H):
    """An uncompressed 24-bit TGA, rows bottom-up as the format's default origin has them."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, w, h, 24, 0)
    rows = b"".join(bytes(c for x in range(w) for c in reversed(pixel(x, y)))
                    for y in range(h - 1, -1, -1))
    return header + rows


def make_dds(w=W, h=H):
    """An uncompressed 32-bit BGRA DDS."""
    pixel_format = struct.pack("<II4sIIIII", 32, 0x41, b"\0\0\0\0", 32, 0xFF0000, 0xFF00, 0xFF,
                               0xFF000000)
    header = struct.pack("<IIIIIII", 124, 0x100F, h, w, w * 4, 0, 0) + b"\0" * 44 + pixel_format
    header += struct.pack("<IIIII", 0x1000, 0, 0, 0, 0)
    rows = b"".join(bytes(pixel(x, y)[::-1]) + b"\xff" for y in range(h) for x in range(w))
    return b"DDS " + header + rows


def box(data, kind):
    """The offset of the first box of this type (its size field), or -1."""
    at = data.find(kind)
    return at - 4 if at >= 4 else -1


def with_box_size(data, kind, size):
    at = box(data, kind)
    return with_field(data, at, ">I", size) if at >= 0 else None


def add_decoder_formats(corpus, rng):
    seeds = {
        "webp": [("lossy", fixture("webp/lossy_33x17.webp")), ("lossless", fixture("webp/lossless_33x17.webp")),
                 ("vp8x", fixture("webp/exif_o6_40x24.webp"))],
        "heic": [("grid", fixture("heif/heic_33x17.heic"))],
        "avif": [("avif", fixture("avif/avif_33x17.avif")), ("irot", fixture("avif/o6_40x24.avif"))],
        "jxl": [("bare", fixture("jxl/bare_33x17.jxl")), ("container", fixture("jxl/container_o6_40x24.jxl"))],
        "jxr": [("jxr", fixture("jxr/jxr_33x17.jxr"))],
        "tga": [("rgb", make_tga()), ("rle", fixture("tga/rgb_rle_320x240.tga"))],
        "dds": [("bgra", make_dds())],
    }
    # Wine decodes these; the others have no decoder there and are refused by name.
    decoded = {"jxr", "tga", "dds"}
    header_size = {"jxr": 120, "tga": 18, "dds": 128}
    for ext, kinds in seeds.items():
        for name, data in kinds:
            corpus.add("seed/%s.%s" % (name, ext), data, "valid" if ext in decoded else "any")
            for n in sorted({1, 4, 8, 12, 16, 20, 24, 32, 48, 64, 100, len(data) // 2, len(data) - 1}):
                if 0 < n < len(data):
                    inside = n < header_size.get(ext, 16)
                    corpus.add("truncated/%s-%s-%06d.%s" % (ext, name, n, ext), data[:n],
                               "invalid" if inside else "any")
            for i in range(4):
                flipped = bytearray(data)
                for _ in range(1 + i * 4):
                    flipped[rng.randrange(len(flipped))] ^= 1 << rng.randrange(8)
                corpus.add("flipped/%s-%s-%d.%s" % (ext, name, i, ext), bytes(flipped), "any")

    # Item boxes (HEIF and AVIF): sizes past the end, boxes that point at themselves, lying sizes.
    for ext, name in (("heic", "heif/heic_33x17.heic"), ("avif", "avif/avif_33x17.avif")):
        data = fixture(name)
        for kind in (b"meta", b"iinf", b"iprp", b"ipco", b"ipma", b"ispe", b"iloc", b"pitm"):
            for label, size in (("past-end", 0x7FFFFFF0), ("zero", 0), ("one", 1), ("huge", 0xFFFFFFFF)):
                mutated = with_box_size(data, kind, size)
                if mutated:
                    corpus.add("boxes/%s-%s-%s.%s" % (ext, kind.decode(), label, ext), mutated, "any")
        at = box(data, b"ispe")
        for label, value in (("zero", 0), ("max", 0xFFFFFFFF)):
            for axis, offset in (("width", 12), ("height", 16)):
                corpus.add("dimensions/%s-ispe-%s-%s.%s" % (ext, axis, label, ext),
                           with_field(data, at + offset, ">I", value), "any")
        # The primary item named as an item that is not there.
        at = box(data, b"pitm")
        corpus.add("boxes/%s-pitm-missing.%s" % (ext, ext), with_field(data, at + 12, ">H", 0x7777), "any")
    # The grid's tiles named as the grid itself: a derivation that points at itself.
    data = fixture("heif/heic_33x17.heic")
    at = data.find(b"dimg")
    if at >= 0:
        source = struct.unpack_from(">H", data, at + 4)[0]
        looped = bytearray(data)
        count = struct.unpack_from(">H", data, at + 6)[0]
        for i in range(count):
            struct.pack_into(">H", looped, at + 8 + 2 * i, source)
        corpus.add("boxes/heic-dimg-itself.heic", bytes(looped), "any")
    # A box of size 8 at every level, repeated to the end: an endless walk if lengths were trusted.
    corpus.add("boxes/avif-empty-boxes.avif", fixture("avif/avif_33x17.avif")[:32] + b"\0\0\0\x08meta" * 4000, "any")

    # WebP: a canvas larger than its data, chunk and RIFF sizes past the end.
    vp8x = fixture("webp/exif_o6_40x24.webp")
    corpus.add("dimensions/webp-vp8x-canvas-max.webp", vp8x[:24] + b"\xff\xff\xff\xff\xff\xff" + vp8x[30:], "any")
    corpus.add("dimensions/webp-vp8x-canvas-16k.webp",
               vp8x[:24] + struct.pack("<I", 16383)[:3] + struct.pack("<I", 16383)[:3] + vp8x[30:], "any")
    lossless = fixture("webp/lossless_33x17.webp")
    corpus.add("dimensions/webp-vp8l-16k.webp", lossless[:21] + struct.pack("<I", 0x0FFFFFFF) + lossless[25:], "any")
    for name, data in (("lossy", fixture("webp/lossy_33x17.webp")), ("vp8x", vp8x)):
        corpus.add("boxes/webp-%s-riff-past-end.webp" % name, with_field(data, 4, "<I", 0x7FFFFFF0), "any")
        corpus.add("boxes/webp-%s-chunk-past-end.webp" % name, with_field(data, 16, "<I", 0x7FFFFFF0), "any")
        corpus.add("boxes/webp-%s-chunk-zero.webp" % name, with_field(data, 16, "<I", 0), "any")

    # JPEG XL: the container's codestream box past the end or empty.
    container = fixture("jxl/container_o6_40x24.jxl")
    for kind in (b"jxlc", b"jxlp", b"ftyp"):
        for label, size in (("past-end", 0x7FFFFFF0), ("zero", 0), ("one", 1)):
            mutated = with_box_size(container, kind, size)
            if mutated:
                corpus.add("boxes/jxl-%s-%s.jxl" % (kind.decode(), label), mutated, "any")

    # JPEG XR: the directory past the end, an endless entry count, sizes that lie.
    jxr = fixture("jxr/jxr_33x17.jxr")
    ifd = struct.unpack_from("<I", jxr, 4)[0]
    corpus.add("boxes/jxr-ifd-past-end.jxr", with_field(jxr, 4, "<I", 0x7FFFFFF0), "invalid")
    corpus.add("boxes/jxr-ifd-itself.jxr", with_field(jxr, 4, "<I", 0), "any")
    corpus.add("boxes/jxr-entries-max.jxr", with_field(jxr, ifd, "<H", 0xFFFF), "any")
    for i in range(struct.unpack_from("<H", jxr, ifd)[0]):
        entry = ifd + 2 + 12 * i
        tag = struct.unpack_from("<H", jxr, entry)[0]
        if tag in (0xBC80, 0xBC81, 0xBCC0, 0xBCC1):  # width, height, image offset and size
            for label, value in (("zero", 0), ("max", 0xFFFFFFFF)):
                corpus.add("dimensions/jxr-%04x-%s.jxr" % (tag, label),
                           with_field(jxr, entry + 8, "<I", value), "any")

    # TGA and DDS: zero and giant sizes, a colour map that is not there.
    tga = make_tga()
    for axis, offset in (("width", 12), ("height", 14)):
        corpus.add("dimensions/tga-zero-%s.tga" % axis, with_field(tga, offset, "<H", 0), "invalid")
        corpus.add("dimensions/tga-giant-%s.tga" % axis, with_field(tga, offset, "<H", 0xFFFF), "any")
    corpus.add("dimensions/tga-colour-map-missing.tga",
               bytes([0, 1, 1]) + struct.pack("<HHB", 0, 256, 24) + tga[8:], "any")
    dds = make_dds()
    for axis, offset in (("height", 12), ("width", 16)):
        corpus.add("dimensions/dds-zero-%s.dds" % axis, with_field(dds, offset, "<I", 0), "any")
        corpus.add("dimensions/dds-giant-%s.dds" % axis, with_field(dds, offset, "<I", 0x7FFFFFF0), "any")
    corpus.add("dimensions/dds-mipmaps-max.dds", with_field(dds, 28, "<I", 0xFFFFFFFF), "any")

    # Text and nothing under the new names.
    for ext in ("webp", "heic", "heif", "avif", "jxl", "jxr", "wdp", "tga", "dds"):
        corpus.add("empty/zero-bytes.%s" % ext, b"", "invalid")
        corpus.add("text/readme.%s" % ext, b"This is not a picture.\r\n" * 20, "invalid")


def windows_length(path):
    """Characters of the path as Wine's Z: drive names it: "Z:" plus the Unix path."""
    return 2 + len(os.path.abspath(path))


def long_path(root, total, name_tail):
    """A relative path under root whose Windows form is exactly `total` characters."""
    base = os.path.join(root, "long", str(total))
    rest = total - windows_length(base) - 1  # characters after base and its separator
    parts = []
    while rest - len(name_tail) > 200:
        parts.append("d" * 120)
        rest -= 121
    name = "p" * (rest - len(name_tail)) + name_tail
    rel = os.path.relpath(os.path.join(base, *parts, name), root)
    assert windows_length(os.path.join(root, rel)) == total
    return rel


def main():
    args = sys.argv[1:]
    if not args:
        raise SystemExit(__doc__)
    out = args[0]
    samples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    if "--samples" in args:
        samples = args[args.index("--samples") + 1]
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    corpus = Corpus(out)
    rng = random.Random(20240611)

    seeds = {"bmp": make_bmp(), "png": make_png(), "gif": make_gif(), "tiff": make_tiff(),
             "ico": make_ico(), "emf": make_emf(), "wmf": make_wmf(), "jpg": jpeg_seed(samples)}
    for kind, data in seeds.items():
        corpus.add("seed/seed.%s" % kind, data, "valid")

        # Truncations: inside the header nothing can be decoded; later it is the decoder's call.
        offsets = sorted({1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 54, 100, len(data) // 4, len(data) // 2,
                          3 * len(data) // 4, len(data) - 2, len(data) - 1})
        for n in offsets:
            if 0 < n < len(data):
                expect = "invalid" if n < min(HEADER_SIZE[kind], 12) else "any"
                corpus.add("truncated/%s-%06d.%s" % (kind, n, kind), data[:n], expect)

        # Bit flips: single bits in the header, and bursts anywhere.
        for i in range(6):
            flipped = bytearray(data)
            at = rng.randrange(min(len(data), HEADER_SIZE[kind] + 16))
            flipped[at] ^= 1 << rng.randrange(8)
            corpus.add("flipped/%s-header-%d.%s" % (kind, i, kind), bytes(flipped), "any")
        for i in range(6):
            flipped = bytearray(data)
            for _ in range(1 + i * 3):
                flipped[rng.randrange(len(flipped))] ^= 1 << rng.randrange(8)
            corpus.add("flipped/%s-burst-%d.%s" % (kind, i, kind), bytes(flipped), "any")

        # Zero and giant dimensions in the header.
        fields = dimension_fields(kind, data)
        for axis, (offset, fmt) in zip(("width", "height"), fields):
            corpus.add("dimensions/%s-zero-%s.%s" % (kind, axis, kind), with_field(data, offset, fmt, 0),
                       "invalid" if kind in ("bmp", "png", "jpg") else "any")
            corpus.add("dimensions/%s-giant-%s.%s" % (kind, axis, kind),
                       with_field(data, offset, fmt, giant(fmt)), "any")
        if kind == "bmp":  # negative height is top-down and legal; negative width is not
            corpus.add("dimensions/bmp-negative-width.bmp", with_field(data, 18, "<i", -W), "any")
            corpus.add("dimensions/bmp-topdown.bmp", with_field(data, 22, "<i", -H), "valid")
            corpus.add("dimensions/bmp-giant-both.bmp",
                       with_field(with_field(data, 18, "<i", 0x10000), 22, "<i", 0x10000), "any")

        # Wrong extensions: the contents decide for a picture name; a foreign name is refused.
        other = {"bmp": "png", "png": "jpg", "gif": "bmp", "tiff": "gif", "ico": "png",
                 "emf": "wmf", "wmf": "emf", "jpg": "tif"}[kind]
        corpus.add("extension/%s-as.%s" % (kind, other), data, "any")
        corpus.add("extension/%s-as.txt" % kind, data, "invalid")
        corpus.add("extension/%s-no-extension" % kind, data, "invalid")

    # Nothing, or not a picture at all, under picture names.
    for ext in ("jpg", "png", "bmp", "gif", "tif", "ico", "emf", "wmf"):
        corpus.add("empty/zero-bytes.%s" % ext, b"", "invalid")
        corpus.add("text/readme.%s" % ext, b"This is not a picture.\r\n" * 20, "invalid")
    corpus.add("text/html.jpg", b"<html><body>404 Not Found</body></html>", "invalid")
    corpus.add("text/zeros.png", b"\0" * 4096, "invalid")
    corpus.add("text/random.bmp", bytes(rng.randrange(256) for _ in range(5000)), "invalid")
    corpus.add("text/png-signature-only.png", b"\x89PNG\r\n\x1a\n", "invalid")
    corpus.add("text/jpeg-markers-only.jpg", b"\xff\xd8\xff\xd9", "invalid")
    corpus.add_dir("folder.jpg", "invalid")

    # Paths around the classic limit of 260 characters, and beyond.
    for total, expect in ((250, "valid"), (259, "valid"), (260, "any"), (261, "any"), (300, "any"), (400, "any")):
        corpus.add(long_path(out, total, "x%d.jpg" % total), seeds["jpg"], expect)

    # Names with quotes, spaces, punctuation and characters outside ASCII.
    names = ["it's a photo.jpg", "‘curly’ “quotes”.png", "café au lait.bmp", "Ünïcödé ñ.gif",
             "日本の写真.jpg", "фото.tif", "صورة.png", "camera \U0001F4F7.jpg", "a;b,c=d&e.jpg",
             " leading space.jpg", "percent %USERPROFILE%.png", "#hash [x] {y}.bmp"]
    kinds = {"jpg": "jpg", "png": "png", "bmp": "bmp", "gif": "gif", "tif": "tiff"}
    for name in names:
        corpus.add("names/" + name, seeds[kinds[name.rsplit(".", 1)[1]]], "valid")

    add_decoder_formats(corpus, rng)

    corpus.write_manifest()
    print("make_corpus: %d entries in %s" % (len(corpus.entries), out))


if __name__ == "__main__":
    main()
