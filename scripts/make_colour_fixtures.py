#!/usr/bin/python3
"""Makes the colour management fixtures in tests/fixtures/colour/: real ICC profiles copied
from Debian packages, and 8x8 pictures with profiles or coded colour descriptions embedded by
real encoders. Runnable again; every picture is checked after it is made.

Needs (Debian package: tools):
  python3-pil: Pillow with lcms2 (JPEG, PNG, TIFF writers; the sRGB profile lcms2 makes)
  colord-data, icc-profiles-free, argyll-ref: the profiles
  argyll: targen, fakeread, colprof (a table-based profile larger than one JPEG segment)
  libtiff-tools: tiffcp (the big-endian TIFF)
  webp: cwebp (WebP with the ICCP chunk)
  libavif-bin: avifenc (AVIF with a profile, and with coded colour descriptions)
  libheif-examples: heif-enc (HEIF with a profile)
  wine (optional): its colour management DLL carries the sRGB profile it serves; without
  Wine the copy already here is kept.

Usage: scripts/make_colour_fixtures.py [output folder]
"""
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageCms

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "tests", "fixtures", "colour")

COLORD = "/usr/share/color/icc/colord"
FREE = "/usr/share/color/icc"
ARGYLL = "/usr/share/color/argyll/ref"

# Fixture name: source file. The licences are in README.md beside the fixtures.
PROFILES = {
    "srgb_colord.icc": f"{COLORD}/sRGB.icc",
    "bluish_colord.icc": f"{COLORD}/Bluish.icc",  # sRGB with a video card calibration
    "swapped_colord.icc": f"{COLORD}/SwappedRedAndGreen.icc",
    "srgb_free.icc": f"{FREE}/sRGB.icc",
    "adobergb_free.icc": f"{FREE}/compatibleWithAdobeRGB1998.icc",
    "cineonlog_free.icc": f"{FREE}/CineonLog_M.icc",  # sRGB colorants, a log curve
    "gray_free.icc": f"{FREE}/Gray.icc",
    "srgb_argyll.icm": f"{ARGYLL}/sRGB.icm",
    "rec709_argyll.icm": f"{ARGYLL}/Rec709.icm",
    "displayp3_argyll.icm": f"{ARGYLL}/DisplayP3.icm",
    "prophoto_argyll.icm": f"{ARGYLL}/ProPhoto.icm",
    "rec2020_argyll.icm": f"{ARGYLL}/Rec2020.icm",
    "lab2lab_argyll.icm": f"{ARGYLL}/lab2lab.icm",
}


def run(*args, cwd=None):
    subprocess.run(args, check=True, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def out(name):
    return os.path.join(OUT, name)


def read(name):
    with open(out(name), "rb") as f:
        return f.read()


def wine_srgb_profile():
    """The sRGB profile Wine's mscms.dll carries as a resource, or None without Wine."""
    for dll in sorted(glob.glob("/usr/lib/*/wine/*-windows/mscms.dll") +
                      glob.glob("/usr/lib/wine/*-windows/mscms.dll")):
        data = open(dll, "rb").read()
        at = data.find(b"acsp")
        if at >= 36:
            size = struct.unpack(">I", data[at - 36:at - 32])[0]
            return data[at - 36:at - 36 + size]
    return None


def lut_profile(work):
    """A table-based display profile made by Argyll from simulated readings of its sRGB
    reference: real tables, about 88 KB, so a JPEG needs two segments for it."""
    run("targen", "-v0", "-d3", "-f64", "t", cwd=work)
    run("fakeread", f"{ARGYLL}/sRGB.icm", "t", cwd=work)
    run("colprof", "-v0", "-qm", "-D", "Table display profile", "-O", "lut.icc", "t", cwd=work)
    return open(os.path.join(work, "lut.icc"), "rb").read()


def picture():
    im = Image.new("RGB", (8, 8))
    px = im.load()
    for y in range(8):
        for x in range(8):
            px[x, y] = (x * 32, y * 32, 128)
    return im


def check_pillow_profile(name, profile):
    with Image.open(out(name)) as im:
        assert im.info.get("icc_profile") == profile, name


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, source in PROFILES.items():
        shutil.copyfile(source, out(name))
    wine = wine_srgb_profile()
    if wine is not None:
        open(out("srgb_wine.icc"), "wb").write(wine)
    lcms = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    open(out("srgb_lcms.icc"), "wb").write(lcms)

    with tempfile.TemporaryDirectory() as work:
        open(out("lut_argyll.icc"), "wb").write(lut_profile(work))
        p3 = read("displayp3_argyll.icm")
        lut = read("lut_argyll.icc")
        prophoto = read("prophoto_argyll.icm")
        im = picture()

        # JPEG: one APP2 segment, two segments (Pillow splits at 65519 bytes), none.
        im.save(out("jpeg_displayp3.jpg"), quality=90, icc_profile=p3)
        im.save(out("jpeg_lut_split.jpg"), quality=90, icc_profile=lut)
        im.save(out("jpeg_plain.jpg"), quality=90)
        check_pillow_profile("jpeg_displayp3.jpg", p3)
        check_pillow_profile("jpeg_lut_split.jpg", lut)

        # TIFF: Pillow writes little-endian; tiffcp -B rewrites it big-endian.
        im.save(out("tiff_le_prophoto.tif"), icc_profile=prophoto)
        run("tiffcp", "-B", out("tiff_le_prophoto.tif"), out("tiff_be_prophoto.tif"))
        assert read("tiff_be_prophoto.tif")[:4] == b"MM\0*"
        check_pillow_profile("tiff_le_prophoto.tif", prophoto)
        check_pillow_profile("tiff_be_prophoto.tif", prophoto)

        # PNG: the profile compressed in iCCP.
        im.save(out("png_displayp3.png"), icc_profile=p3)
        check_pillow_profile("png_displayp3.png", p3)

        # WebP: cwebp copies the PNG's profile into an ICCP chunk.
        run("cwebp", "-quiet", "-metadata", "icc", out("png_displayp3.png"), "-o",
            out("webp_displayp3.webp"))
        check_pillow_profile("webp_displayp3.webp", p3)

        # AVIF: a profile (avifenc also writes its coded description, 2/2/6, beside it), and
        # coded descriptions alone.
        png = os.path.join(work, "plain.png")
        im.save(png)
        run("avifenc", "-s", "10", "--icc", out("rec2020_argyll.icm"), png,
            out("avif_icc_rec2020.avif"))
        run("avifenc", "-s", "10", png, out("avif_nclx_srgb.avif"))  # default 1/13/6
        run("avifenc", "-s", "10", "--cicp", "12/13/1", png, out("avif_nclx_p3.avif"))
        run("avifenc", "-s", "10", "--cicp", "9/16/9", png, out("avif_nclx_pq.avif"))
        run("avifenc", "-s", "10", "--cicp", "1/1/1", "-r", "limited", png,
            out("avif_nclx_709_limited.avif"))

        # HEIF: heif-enc takes the PNG's profile.
        run("heif-enc", "-q", "50", out("png_displayp3.png"), "-o", out("heic_displayp3.heic"))

    for name in sorted(os.listdir(OUT)):
        print(f"{os.path.getsize(out(name)):8d}  {name}")


if __name__ == "__main__":
    main()
