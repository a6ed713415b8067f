#!/usr/bin/python3
"""The profiles built from coded colour descriptions, read and used by lcms2 (through Pillow's
ImageCms): colours converted to sRGB agree with the published Display P3 to sRGB matrix and
with the conversions of real profiles of the same spaces.

Usage: lcms_check.py PATH_TO_write_nclx_profiles"""
import io
import os
import subprocess
import sys
import tempfile
import unittest

from PIL import Image, ImageCms

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "colour")
WRITER = None

# Linear Display P3 to linear sRGB (both D65), as published.
P3_TO_SRGB = [[1.2249401, -0.2249404, 0.0],
              [-0.0420569, 1.0420571, 0.0],
              [-0.0196376, -0.0786361, 1.0982735]]


def srgb_decode(v):
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def srgb_encode(v):
    v = min(1.0, max(0.0, v))
    return 12.92 * v if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055


def grid(step=17):
    return [(r, g, b) for r in range(0, 256, step) for g in range(0, 256, step)
            for b in range(0, 256, step)]


def convert(profile, colours):
    """Colours through `profile` to lcms2's own sRGB, relative colorimetric, 8 bits."""
    source = ImageCms.ImageCmsProfile(io.BytesIO(profile) if isinstance(profile, bytes)
                                      else profile)
    transform = ImageCms.buildTransform(source, ImageCms.createProfile("sRGB"), "RGB", "RGB",
                                        renderingIntent=1)  # relative colorimetric
    im = Image.new("RGB", (len(colours), 1))
    im.putdata(colours)
    return list(ImageCms.applyTransform(im, transform).getdata())


def largest_difference(a, b):
    return max(abs(x - y) for p, q in zip(a, b) for x, y in zip(p, q))


class BuiltProfiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        subprocess.run([WRITER, cls.folder.name], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def built(self, name):
        with open(os.path.join(self.folder.name, name + ".icc"), "rb") as f:
            return f.read()

    def fixture(self, name):
        with open(os.path.join(FIXTURES, name), "rb") as f:
            return f.read()

    def test_display_p3_agrees_with_the_published_matrix(self):
        colours = grid()
        got = convert(self.built("display_p3"), colours)
        for colour, out in zip(colours, got):
            linear = [srgb_decode(c / 255) for c in colour]
            want = [round(255 * srgb_encode(sum(m * v for m, v in zip(row, linear))))
                    for row in P3_TO_SRGB]
            for w, o in zip(want, out):
                self.assertLessEqual(abs(w - o), 1, (colour, want, out))
        # Grey stays grey; P3's red lies beyond sRGB's and is clipped to it.
        self.assertEqual(convert(self.built("display_p3"), [(128, 128, 128), (255, 0, 0)]),
                         [(128, 128, 128), (255, 0, 0)])

    def test_same_conversions_as_real_profiles_of_the_spaces(self):
        colours = grid()
        for built, real in (("display_p3", "displayp3_argyll.icm"),
                            ("bt709", "rec709_argyll.icm"),
                            ("bt2020", "rec2020_argyll.icm")):
            with self.subTest(built):
                self.assertLessEqual(
                    largest_difference(convert(self.built(built), colours),
                                       convert(self.fixture(real), colours)), 1)

    def test_built_srgb_leaves_colours_as_they_are(self):
        colours = grid(5)
        got = convert(self.built("srgb"), colours)
        self.assertLessEqual(largest_difference(got, colours), 1)
        same = sum(1 for a, b in zip(got, colours) if a == b)
        self.assertGreater(same / len(colours), 0.95)


if __name__ == "__main__":
    WRITER = sys.argv.pop(1)
    unittest.main()
