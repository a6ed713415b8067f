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
pictures come from make_colour_inputs.py. Needs Pillow (python3-pil).
"""
import os
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


if __name__ == "__main__":
    main()
