"""The colour-managed pictures of the Wine tests, written by make_inputs.py beside the others.

Every picture shows the four quadrant colours of make_inputs.py (160 x 80, quadrants of
80 x 40, on JPEG block boundaries, so their centres are flat), tagged with real profiles:

    colour-adobergb.jpg         Adobe RGB (1998), one APP2 segment (quality 100, no subsampling)
    colour-prophoto-split.jpg   ProPhoto RGB split over three APP2 segments
    colour-prophoto.png         ProPhoto RGB in iCCP
    colour-prophoto16.png       the same, 16 bits a channel
    colour-prophoto-palette.png the same, a four-colour palette
    colour-prophoto-alpha.png   the same with its right half fully transparent
    colour-rec709.tif           Rec. 709 in tag 34675

colour-expected.txt holds, for each, the sRGB colour at the centre of each quadrant as lcms2
(through Pillow's ImageCms, perceptual intent, to lcms2's own sRGB) converts the colour Pillow
decodes there: "name RRGGBB RRGGBB RRGGBB RRGGBB", "-" for a transparent quadrant. NAME-ref.png
is the whole picture so converted, untagged.

colour-srgb.{jpg,png,tif} carry colord's sRGB profile, colour-untagged.{jpg,png,tif} the same
pixels with none. colour-damaged-*.{jpg,png} carry broken profiles: cut short, a signature
overwritten, a table profile whose table is garbage. prophoto.icc and damaged-table.icc are
profiles for the tests that convert pixels in memory.

bright16*.{png,tif}: 16-bit RGB and RGBA whose quadrants set the high and low bytes of each
sample apart (BRIGHT16 below). hdr-*.jxr: floating-point JPEG XR (JxrEncApp from 32-bit float
TIFFs: 128bppRGBFloat and 48bppRGBHalf; Wine's decoder gives alpha 0 for 128bppRGBAFloat
and faults on 64bppRGBAHalf, so no file with alpha) of the linear scRGB quadrants in HDR.

Needs Pillow, colord-data and libjxr-tools.
"""
import io
import os
import struct
import subprocess
import tempfile

from PIL import Image, ImageCms

COLORD = "/usr/share/color/icc/colord"
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures", "colour")

# 16-bit samples whose high and low bytes differ: a decoder that takes the low byte, or
# scales with an overflow, gives other colours.
BRIGHT16 = [(0xFFFF, 0xFF00, 0x00FF), (0x8000, 0x7FFF, 0x80FF),
            (0x0100, 0x01FF, 0xFE01), (0xFFFE, 0x0001, 0x4000)]
# Linear scRGB (1.0 is SDR white): ordinary colour, white, bright, and far past any screen
# with a negative (out of gamut) blue.
HDR = [(0.2, 0.5, 0.8), (1.0, 1.0, 1.0), (4.0, 2.0, 0.5), (12.5, 30.0, -0.1)]


def profile(name):
    with open(os.path.join(COLORD, name), "rb") as f:
        return f.read()


def centres(w, h):
    return [((i % 2) * (w // 2) + w // 4, (i // 2) * (h // 2) + h // 4) for i in range(4)]


def quadrant_picture(mode, values, w, h):
    img = Image.new(mode, (w, h))
    for i, v in enumerate(values):
        x0, y0 = (i % 2) * (w // 2), (i // 2) * (h // 2)
        img.paste(v, (x0, y0, x0 + w // 2, y0 + h // 2))
    return img


def to_srgb(img, icc):
    transform = ImageCms.buildTransform(ImageCms.ImageCmsProfile(io.BytesIO(icc)),
                                        ImageCms.createProfile("sRGB"), "RGB", "RGB",
                                        renderingIntent=0)  # perceptual
    return ImageCms.applyTransform(img.convert("RGB"), transform)


def with_icc_segments(jpeg, icc, parts):
    """A JPEG with its profile split over `parts` APP2 segments, after the JFIF segment."""
    size = -(-len(icc) // parts)
    pieces = [icc[i:i + size] for i in range(0, len(icc), size)]
    segments = b"".join(b"\xff\xe2" + struct.pack(">H", 2 + 14 + len(p)) + b"ICC_PROFILE\0" +
                        bytes([n + 1, len(pieces)]) + p for n, p in enumerate(pieces))
    at = 2
    if jpeg[2:4] == b"\xff\xe0":
        at = 4 + struct.unpack(">H", jpeg[4:6])[0]
    return jpeg[:at] + segments + jpeg[at:]


def png_chunk(kind, data):
    import zlib
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png16(path, img, icc=None, alpha=None):
    """16-bit RGB or RGBA PNG (Pillow writes 8-bit colour only); `img` holds 16-bit tuples
    through a callable (x, y) -> samples."""
    import zlib
    w, h = img["size"]
    rows = b"".join(b"\0" + b"".join(struct.pack(">" + "H" * len(img["at"](x, y)), *img["at"](x, y))
                                     for x in range(w)) for y in range(h))
    kind = 6 if len(img["at"](0, 0)) == 4 else 2
    data = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 16, kind, 0, 0, 0))
    if icc:
        data += png_chunk(b"iCCP", b"ProPhoto\0\0" + zlib.compress(icc))
    data += png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def tiff(path, w, h, at, bits, sample_format=1):
    """An uncompressed little-endian TIFF of `bits`-bit samples (format 1 unsigned, 3 float),
    RGB or RGBA (unassociated alpha) by the length of at(x, y)."""
    spp = len(at(0, 0))
    code = {(16, 1): "H", (32, 3): "f"}[(bits, sample_format)]
    data = b"".join(struct.pack("<" + code * spp, *at(x, y)) for y in range(h) for x in range(w))
    bps = 8 + len(data)
    fmt = bps + 2 * spp
    ifd = fmt + 2 * spp
    tags = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, spp, bps), (259, 3, 1, 1), (262, 3, 1, 2),
            (273, 4, 1, 8), (277, 3, 1, spp), (278, 3, 1, h), (279, 4, 1, len(data)),
            (284, 3, 1, 1), (339, 3, spp, fmt)]
    if spp == 4:
        tags.append((338, 3, 1, 2))
    out = b"II*\0" + struct.pack("<I", ifd) + data + struct.pack("<" + "H" * spp, *[bits] * spp)
    out += struct.pack("<" + "H" * spp, *[sample_format] * spp) + struct.pack("<H", len(tags))
    for tag, kind, count, value in sorted(tags):
        packed = struct.pack("<HH", value, 0) if kind == 3 and count == 1 else struct.pack("<I", value)
        out += struct.pack("<HHI", tag, kind, count) + packed
    with open(path, "wb") as f:
        f.write(out + struct.pack("<I", 0))


def write(out, colours, w, h):
    rgb = quadrant_picture("RGB", colours, w, h)
    expected = []

    def tagged(name, icc, save, transparent=()):
        path = os.path.join(out, name)
        save(path)
        decoded = Image.open(path)
        decoded.load()
        converted = to_srgb(decoded, icc)
        cells = ["-" if i in transparent else "%02X%02X%02X" % converted.getpixel(c)
                 for i, c in enumerate(centres(w, h))]
        expected.append(name + " " + " ".join(cells))
        if decoded.mode == "RGBA":
            converted.putalpha(decoded.getchannel("A"))
        converted.save(os.path.join(out, os.path.splitext(name)[0] + "-ref.png"))

    adobe, prophoto, rec709 = profile("AdobeRGB1998.icc"), profile("ProPhotoRGB.icc"), profile("Rec709.icc")
    tagged("colour-adobergb.jpg", adobe,
           lambda p: rgb.save(p, quality=100, subsampling=0, icc_profile=adobe))
    plain = io.BytesIO()
    rgb.save(plain, "JPEG", quality=100, subsampling=0)

    def split(p):
        with open(p, "wb") as f:
            f.write(with_icc_segments(plain.getvalue(), prophoto, 3))
    tagged("colour-prophoto-split.jpg", prophoto, split)
    tagged("colour-prophoto.png", prophoto, lambda p: rgb.save(p, icc_profile=prophoto))
    tagged("colour-prophoto16.png", prophoto, lambda p: png16(
        p, {"size": (w, h), "at": lambda x, y: tuple(c * 257 for c in rgb.getpixel((x, y)))}, prophoto))
    tagged("colour-prophoto-palette.png", prophoto,
           lambda p: rgb.quantize(colors=4).save(p, icc_profile=prophoto))
    alpha = rgb.convert("RGBA")
    alpha.paste((0, 0, 0, 0), (w // 2, 0, w, h))
    tagged("colour-prophoto-alpha.png", prophoto, lambda p: alpha.save(p, icc_profile=prophoto),
           transparent=(1, 3))
    tagged("colour-rec709.tif", rec709, lambda p: rgb.save(p, icc_profile=rec709))
    with open(os.path.join(out, "colour-expected.txt"), "w") as f:
        f.write("\n".join(expected) + "\n")

    srgb = profile("sRGB.icc")
    for ext, options in (("jpg", {"quality": 100, "subsampling": 0}), ("png", {}), ("tif", {})):
        rgb.save(os.path.join(out, "colour-srgb." + ext), icc_profile=srgb, **options)
        rgb.save(os.path.join(out, "colour-untagged." + ext), **options)

    # Broken profiles: cut short (the header's size is past the data), the 'acsp' signature
    # overwritten, and a table profile whose table's type is garbage.
    with open(os.path.join(FIXTURES, "lut_argyll.icc"), "rb") as f:
        table = bytearray(f.read())
    count = struct.unpack(">I", table[128:132])[0]
    for i in range(count):
        tag, offset, _ = struct.unpack(">4sII", table[132 + 12 * i:144 + 12 * i])
        if tag == b"A2B0":
            table[offset:offset + 4] = b"zzzz"
    damaged_table = bytes(table)
    with open(os.path.join(out, "damaged-table.icc"), "wb") as f:
        f.write(damaged_table)
    with open(os.path.join(out, "prophoto.icc"), "wb") as f:
        f.write(prophoto)
    with open(os.path.join(out, "colour-damaged-short.jpg"), "wb") as f:
        f.write(with_icc_segments(plain.getvalue(), prophoto[:300], 1))
    with open(os.path.join(out, "colour-damaged-table.jpg"), "wb") as f:
        f.write(with_icc_segments(plain.getvalue(), damaged_table, 2))
    rgb.save(os.path.join(out, "colour-damaged-signature.png"),
             icc_profile=prophoto[:36] + b"xxxx" + prophoto[40:])

    for name, alpha_sample in (("bright16", ()), ("bright16a", (0xFFFF,))):
        at = lambda x, y, a=alpha_sample: BRIGHT16[(x >= w // 2) + 2 * (y >= h // 2)] + a
        png16(os.path.join(out, name + ".png"), {"size": (w, h), "at": at})
        tiff(os.path.join(out, name + ".tif"), w, h, at, 16)

    with tempfile.TemporaryDirectory() as tmp:
        for name, code in (("hdr-float", 15), ("hdr-half", 12)):
            source = os.path.join(tmp, name + ".tif")
            tiff(source, w, h, lambda x, y: HDR[(x >= w // 2) + 2 * (y >= h // 2)], 32, 3)
            subprocess.run(["JxrEncApp", "-i", source, "-o", os.path.join(out, name + ".jxr"),
                            "-c", str(code)], check=True, stdout=subprocess.DEVNULL)
