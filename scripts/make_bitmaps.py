#!/usr/bin/env python3
"""Draws the DLL's bitmaps and icons: the menu entry's icon at two sizes, the logo, and
the new context menu's icons (the entry's, and one per fit mode showing the part it keeps,
each in a variant for light and one for dark menus); and the sparse package's logos.

Writes 24-bit BMP files and 32-bit ICO files (16, 20, 24 and 32 pixels) into resources/,
and the package's PNG logos into resources/package/. Shapes are rasterised with 4x4
supersampling, so edges are smooth at every scale. Run again after changing a drawing.
"""
import math
import os
import struct
import zlib

ORANGE = (255, 155, 0)
DARK = (60, 45, 30)
SKY_TOP = (70, 140, 230)
SKY_BOTTOM = (170, 215, 250)
HILL_BACK = (90, 160, 80)
HILL_FRONT = (50, 125, 60)
SUN = (255, 215, 60)
WHITE = (255, 255, 255)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def covered(width, height, inside, ss=4):
    """Each pixel that `inside(x, y)` touches, with the share of its ss x ss subsamples it
    covers."""
    for y in range(height):
        for x in range(width):
            hits = sum(1 for sy in range(ss) for sx in range(ss)
                       if inside(x + (sx + 0.5) / ss, y + (sy + 0.5) / ss))
            if hits:
                yield x, y, hits / (ss * ss)


class Canvas:
    def __init__(self, width, height, background):
        self.w, self.h = width, height
        self.px = [[background for _ in range(width)] for _ in range(height)]

    def shape(self, inside, color):
        """Paints every pixel by the share of its subsamples that `inside(x, y)` covers."""
        for x, y, share in covered(self.w, self.h, inside):
            c = color(x, y) if callable(color) else color
            self.px[y][x] = lerp(self.px[y][x], c, share)

    def rect(self, x0, y0, x1, y1, color):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, color)

    def ellipse(self, cx, cy, rx, ry, color):
        self.shape(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1, color)

    def polygon(self, points, color):
        def inside(x, y):
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result
        self.shape(inside, color)

    def save_bmp(self, path):
        row = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):
            line = bytearray()
            for x in range(self.w):
                r, g, b = self.px[y][x]
                line += bytes((b, g, r))
            line += b"\0" * (row - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)

    def save_png(self, path):
        """An 8-bit RGB PNG, written with zlib alone."""
        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)  # no filter
            for x in range(self.w):
                raw += bytes(self.px[y][x])
        png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)) +
               chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
        with open(path, "wb") as f:
            f.write(png)


def landscape(c, x0, y0, x1, y1):
    """A small photo: sky, sun, two hills."""
    h = y1 - y0
    w = x1 - x0
    c.rect(x0, y0, x1, y1, lambda x, y: lerp(SKY_TOP, SKY_BOTTOM, (y - y0) / max(h, 1)))
    c.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1 and
            ((x - (x0 + w * 0.72)) ** 2 + (y - (y0 + h * 0.3)) ** 2) <= (min(w, h) * 0.16) ** 2, SUN)
    c.shape(lambda x, y: x0 <= x < x1 and y < y1 and
            y >= y0 + h * 0.62 - h * 0.22 * math.cos((x - x0) / w * math.pi * 1.1 - 0.9), HILL_BACK)
    c.shape(lambda x, y: x0 <= x < x1 and y < y1 and
            y >= y0 + h * 0.78 - h * 0.18 * math.cos((x - x0) / w * math.pi * 1.4 + 0.8), HILL_FRONT)


def menu_icon(size):
    """The framed photo of the menu entry: orange frame, dark outline, a landscape inside."""
    c = Canvas(size, size, DARK)
    border = 1 if size < 16 else 1.5
    c.rect(0.5, 0.5, size - 0.5, size - 0.5, ORANGE)
    landscape(c, 0.5 + border + 0.5, 0.5 + border + 0.5, size - 1 - border, size - 1 - border)
    return c


def logo():
    """100 x 120: a wren perched on an orange picture frame."""
    c = Canvas(100, 120, WHITE)
    # Soft shadow and frame.
    c.rect(10, 46, 96, 116, (225, 225, 225))
    c.rect(6, 42, 92, 112, DARK)
    c.rect(8, 44, 90, 110, ORANGE)
    c.rect(14, 50, 84, 104, DARK)
    landscape(c, 15, 51, 83, 103)
    # The wren: round brown body, cocked tail, small head and beak, on the frame's top.
    brown = (139, 90, 43)
    light = (196, 150, 95)
    c.polygon([(58, 24), (78, 2), (84, 6), (66, 30)], brown)          # tail, raised
    c.ellipse(48, 30, 20, 13, brown)                                  # body
    c.ellipse(45, 34, 13, 7, light)                                   # breast
    c.ellipse(30, 20, 10, 9, brown)                                   # head
    c.polygon([(21, 18), (10, 21), (21, 23)], DARK)                   # beak
    c.ellipse(28, 18, 2.2, 2.2, (20, 20, 20))                         # eye
    c.shape(lambda x, y: abs(y - 14 - (x - 26) * 0.2) < 0.9 and 24 < x < 38, (235, 220, 190))  # eyebrow
    for bx in (43, 53):                                               # legs
        c.rect(bx, 40, bx + 1.6, 43, DARK)
    for i in range(3):                                                # wing bars
        c.shape(lambda x, y, i=i: abs(y - (26 + i * 4) - (x - 50) * 0.35) < 0.8 and 46 < x < 62, (95, 60, 30))
    return c


def package_logo(size):
    """The menu entry's framed photo at a tile's size, the frame in proportion."""
    c = Canvas(size, size, DARK)
    edge = size / 22
    c.rect(edge / 2, edge / 2, size - edge / 2, size - edge / 2, ORANGE)
    landscape(c, 2 * edge, 2 * edge, size - 2 * edge, size - 2 * edge)
    return c


# The package's logos: the names the manifest (installer/AppxManifest.xml.in) gives them.
PACKAGE_LOGOS = {"Square44x44Logo.png": 44, "Square150x150Logo.png": 150, "StoreLogo.png": 50}


class IconCanvas:
    """A transparent square: shapes are painted over what is there with their coverage."""

    def __init__(self, size):
        self.w = self.h = size
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def shape(self, inside, color, alpha=1.0):
        for x, y, share in covered(self.w, self.h, inside):
            c = color(x, y) if callable(color) else color
            a = alpha * share
            r0, g0, b0, a0 = self.px[y][x]
            out = a + a0 * (1 - a)
            mix = [(c[i] * a + (r0, g0, b0)[i] * a0 * (1 - a)) / out for i in range(3)]
            self.px[y][x] = (mix[0], mix[1], mix[2], out)

    def rect(self, x0, y0, x1, y1, color, alpha=1.0):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, color, alpha)

    def outline(self, x0, y0, x1, y1, width, color):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1 and not
                   (x0 + width <= x < x1 - width and y0 + width <= y < y1 - width), color)

    def bgra_rows(self):
        """Bottom-up rows of premultiplied-free BGRA bytes, as an icon's image stores them."""
        rows = []
        for y in range(self.h - 1, -1, -1):
            line = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y][x]
                line += bytes((int(round(b)), int(round(g)), int(round(r)), int(round(a * 255))))
            rows.append(bytes(line))
        return rows


def save_ico(path, canvases):
    """One icon file with an image per canvas: 32-bit BGRA with an empty AND mask."""
    images = []
    for c in canvases:
        mask_row = ((c.w + 31) // 32) * 4
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        images.append(header + b"".join(c.bgra_rows()) + b"\0" * (mask_row * c.h))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


ICON_SIZES = (16, 20, 24, 32)
# The icons' neutral strokes: dark on a light menu, light on a dark one.
STROKE = {"light": (64, 64, 64), "dark": (224, 224, 224)}
SCREEN_ASPECT = 16 / 10


def fit_icon(size, mode, theme):
    """What a fit mode keeps: the picture, its kept part framed in orange and the rest
    darkened, as the menu's previews show it; best fit shows the whole picture on a screen."""
    c = IconCanvas(size)
    stroke = STROKE[theme]
    m = 0.5 + size / 32  # margin
    full = size - 2 * m
    if mode == "BestFit":
        # A screen outline with the whole (taller) picture centred in it between bars.
        sh = full / SCREEN_ASPECT
        sy0 = (size - sh) / 2
        c.outline(m, sy0, size - m, sy0 + sh, max(1.0, size / 16), stroke)
        inner = max(1.0, size / 16) + 0.5
        ph = sh - 2 * inner
        pw = ph * 0.75
        px0 = (size - pw) / 2
        landscape_rgba(c, px0, sy0 + inner, px0 + pw, sy0 + inner + ph)
        return c
    tall = mode in ("Top", "Bottom")
    if mode == "Exact":
        pw, ph = full, full / SCREEN_ASPECT
    elif tall:
        pw, ph = full * 0.62, full
    else:
        pw, ph = full, full * 0.42
    px0, py0 = (size - pw) / 2, (size - ph) / 2
    px1, py1 = px0 + pw, py0 + ph
    landscape_rgba(c, px0, py0, px1, py1)
    # The kept part has the screen's proportions, anchored as the mode says.
    if mode == "Exact":
        kx0, ky0, kx1, ky1 = px0, py0, px1, py1
    elif tall:
        kh = pw / SCREEN_ASPECT
        ky0 = py0 if mode == "Top" else py1 - kh
        kx0, ky1, kx1 = px0, ky0 + kh, px1
    else:
        kw = ph * SCREEN_ASPECT
        kx0 = {"Left": px0, "Middle": (px0 + px1 - kw) / 2, "Right": px1 - kw}[mode]
        ky0, kx1, ky1 = py0, kx0 + kw, py1
    c.shape(lambda x, y: px0 <= x < px1 and py0 <= y < py1 and not (kx0 <= x < kx1 and ky0 <= y < ky1),
            (0, 0, 0), 0.55)
    c.outline(px0, py0, px1, py1, max(1.0, size / 24), stroke)
    c.outline(kx0, ky0, kx1, ky1, max(1.0, size / 16), ORANGE)
    return c


def landscape_rgba(c, x0, y0, x1, y1):
    """The small photo of the bitmaps, on a transparent canvas."""
    w, h = x1 - x0, y1 - y0
    c.rect(x0, y0, x1, y1, lambda x, y: lerp(SKY_TOP, SKY_BOTTOM, (y - y0) / max(h, 1)))
    c.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1 and
            ((x - (x0 + w * 0.72)) ** 2 + (y - (y0 + h * 0.3)) ** 2) <= (min(w, h) * 0.16) ** 2, SUN)
    c.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1 and
            y >= y0 + h * 0.62 - h * 0.22 * math.cos((x - x0) / w * math.pi * 1.1 - 0.9), HILL_BACK)
    c.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1 and
            y >= y0 + h * 0.78 - h * 0.18 * math.cos((x - x0) / w * math.pi * 1.4 + 0.8), HILL_FRONT)


def entry_icon(size):
    """The entry's framed photo, as the classic menu's bitmap, with a transparent corner."""
    c = IconCanvas(size)
    b = max(1.0, size / 12)
    c.rect(0.5, 0.5, size - 0.5, size - 0.5, DARK)
    c.rect(1.0, 1.0, size - 1.0, size - 1.0, ORANGE)
    landscape_rgba(c, 1.0 + b, 1.0 + b, size - 1.0 - b, size - 1.0 - b)
    return c


# The fit modes in the order of their numbers (1..7), as the icons' file names give them.
FIT_MODES = ("Exact", "Top", "Left", "Middle", "Bottom", "Right", "BestFit")


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    menu_icon(16).save_bmp(os.path.join(here, "menu_entry_16.bmp"))
    menu_icon(13).save_bmp(os.path.join(here, "menu_entry_13.bmp"))
    logo().save_bmp(os.path.join(here, "logo.bmp"))
    os.makedirs(os.path.join(here, "package"), exist_ok=True)
    for name, size in PACKAGE_LOGOS.items():
        package_logo(size).save_png(os.path.join(here, "package", name))
    icons = os.path.join(here, "icons")
    os.makedirs(icons, exist_ok=True)
    save_ico(os.path.join(icons, "entry.ico"), [entry_icon(s) for s in ICON_SIZES])
    for mode in FIT_MODES:
        for theme in ("light", "dark"):
            save_ico(os.path.join(icons, "fit-%s-%s.ico" % (mode.lower(), theme)),
                     [fit_icon(s, mode, theme) for s in ICON_SIZES])


if __name__ == "__main__":
    main()
