#!/usr/bin/env python3
"""Writes the pictures people have, in the layouts their cameras and programs write, for
the Wine tests of what comes out of each.

    make_inputs.py OUTPUT_DIR

Every picture is 160 x 80 (wider than any test screen) and split into four quadrants of
known colours, so a test can tell which part of the picture landed where:

    top left E0A040   top right 40E0A0   bottom left A040E0   bottom right 3070F0

Greyscale pictures use the grey levels 40, 100, 160, 220 in the same order; the 1-bit
picture is black on the left and white on the right; the transparent one has its right
half fully transparent. Animated GIF and multi-page TIFF hold a second frame of other
colours that must not be shown. orient-N.jpg (N = 1..8) and orient-6.tif carry EXIF
orientation N: their stored pixels are the upright picture turned the other way, so
turned upright they all show the quadrants above. The colour-managed, 16-bit and HDR
pictures come from make_colour_inputs.py.

For the imaging component's own decoders: quadrants.tga, quadrants-rle.tga and
quadrants.dds (Pillow's TGA and DDS writers); the committed encoder fixtures the tests
decode (tests/fixtures/formats/: JPEG XR by JxrEncApp, WebP by cwebp, each red, green, blue
and grey quadrants, copied under their folder's name, "jxr-jxr_640x480.jxr"); and copies of
the JPEG XR one whose container states another spatial transform, jxr-transform-N.jxr for
the transform N of the container's tag 0xBC02. standin-oN-WxH.fwraw is the file the test
decoder (tests/fixtures/stand_in_decoder/) reads: its signature, W, H and the EXIF
orientation N, stored as four quadrants of its own. Needs Pillow (python3-pil).
"""
import os
import shutil
import struct
import sys
import zlib

from PIL import Image

import make_colour_inputs

W, H = 160, 80
COLOURS = [(0xE0, 0xA0, 0x40), (0x40, 0xE0, 0xA0), (0xA0, 0x40, 0xE0), (0x30, 0x70, 0xF0)]
GREYS = [40, 100, 160, 220]
OTHER = [(0x10, 0x10, 0x10)] * 4


def quadrants(mode, values, size=(W, H)):
    w, h = size
    img = Image.new(mode, size)
    for i, v in enumerate(values):
        x0, y0 = (i % 2) * (w // 2), (i // 2) * (h // 2)
        img.paste(v, (x0, y0, x0 + w // 2, y0 + h // 2))
    return img


def png16(path, img):
    """A 16-bit-per-channel RGB PNG (Pillow writes only 8-bit colour)."""
    rows = b""
    for y in range(img.height):
        rows += b"\0" + b"".join(struct.pack(">HHH", *(c * 257 for c in img.getpixel((x, y))))
                                 for x in range(img.width))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", img.width, img.height, 16, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows)))
        f.write(chunk(b"IEND", b""))


# The stored form of an upright picture for each EXIF orientation: the inverse turn.
STORED = {
    1: lambda im: im,
    2: lambda im: im.transpose(Image.FLIP_LEFT_RIGHT),
    3: lambda im: im.transpose(Image.ROTATE_180),
    4: lambda im: im.transpose(Image.FLIP_TOP_BOTTOM),
    5: lambda im: im.transpose(Image.TRANSPOSE),
    6: lambda im: im.transpose(Image.ROTATE_90),    # shown turned 90 degrees clockwise
    7: lambda im: im.transpose(Image.TRANSVERSE),
    8: lambda im: im.transpose(Image.ROTATE_270),
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rgb = quadrants("RGB", COLOURS)
    other = quadrants("RGB", OTHER)

    rgb.convert("CMYK").save(os.path.join(out, "cmyk.jpg"), quality=95)
    rgb.save(os.path.join(out, "progressive.jpg"), quality=95, progressive=True)
    quadrants("L", GREYS).save(os.path.join(out, "grey.jpg"), quality=95)
    quadrants("L", GREYS).save(os.path.join(out, "grey.png"))
    quadrants("I;16", [g * 257 for g in GREYS]).save(os.path.join(out, "grey16.png"))
    png16(os.path.join(out, "rgb16.png"), rgb)
    rgb.quantize(colors=4).save(os.path.join(out, "palette.png"))
    alpha = rgb.convert("RGBA")
    alpha.paste((0, 0, 0, 0), (W // 2, 0, W, H))
    alpha.save(os.path.join(out, "alpha.png"))
    rgb.save(os.path.join(out, "animated.gif"), save_all=True, append_images=[other],
             duration=200, loop=0)
    rgb.save(os.path.join(out, "multipage.tif"), save_all=True, append_images=[other])
    mono = Image.new("1", (W, H), 0)
    mono.paste(1, (W // 2, 0, W, H))
    mono.save(os.path.join(out, "mono.bmp"))

    for n, stored in STORED.items():
        exif = Image.Exif()
        exif[0x0112] = n
        stored(rgb).save(os.path.join(out, "orient-%d.jpg" % n), quality=95, exif=exif)
    STORED[6](rgb).save(os.path.join(out, "orient-6.tif"), tiffinfo={0x0112: 6})
    make_colour_inputs.write(out, COLOURS, W, H)

    rgb.save(os.path.join(out, "quadrants.tga"))
    rgb.save(os.path.join(out, "quadrants-rle.tga"), compression="tga_rle")
    rgb.convert("RGBA").save(os.path.join(out, "quadrants.dds"))
    for fixture in ("jxr/jxr_640x480.jxr", "jxr/hdphoto_33x17.wdp", "webp/exif_o6_40x24.webp",
                    "webp/lossy_640x480.webp"):
        shutil.copyfile(os.path.join(FIXTURES, fixture), os.path.join(out, fixture.replace("/", "-")))
    with open(os.path.join(FIXTURES, "jxr", "jxr_640x480.jxr"), "rb") as f:
        jxr = f.read()
    for transform in (1, 3, 4):
        with open(os.path.join(out, "jxr-transform-%d.jxr" % transform), "wb") as f:
            f.write(with_jxr_transform(jxr, transform))
    for orientation, (w, h) in ((8, (160, 80)), (1, (200, 100))):
        with open(os.path.join(out, "standin-o%d-%dx%d.fwraw" % (orientation, w, h)), "wb") as f:
            f.write(b"FWSTANDIN" + struct.pack("<III", w, h, orientation))


FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures",
                        "formats")


def with_jxr_transform(data, transform):
    """A JPEG XR file with its container's spatial transform (tag 0xBC02) set to `transform`."""
    out = bytearray(data)
    ifd = struct.unpack_from("<I", out, 4)[0]
    for i in range(struct.unpack_from("<H", out, ifd)[0]):
        entry = ifd + 2 + 12 * i
        if struct.unpack_from("<H", out, entry)[0] == 0xBC02:
            struct.pack_into("<HHII", out, entry, 0xBC02, 4, 1, transform)
            return bytes(out)
    raise SystemExit("make_inputs: no spatial transform tag in the JPEG XR fixture")


if __name__ == "__main__":
    main()
