#!/usr/bin/python3
"""Makes docs/span.jpg: a picture spanned over a 27-inch 4K monitor (597 x 336 mm) and a
24-inch 1080p one (531 x 298 mm) beside it, both drawn at their physical sizes.

Top: the two files the product wrote (run under Wine by the span suite's
DISABLED_WriteSpanPictures, see docs/span-and-monitors.md). Bottom, for comparison: the
same photo laid over the monitors' pixels, as a pixel span does, where the horizon jumps
at the seam and the picture is twice as large on the right.

Usage: make_span_picture.py FOLDER-WITH-monitor-1.jpg-AND-monitor-2.jpg [OUT.jpg]
"""
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Each monitor: pixel rectangle (x, y, width, height) and physical size in mm; the
# monitors touch, tops level.
MONITORS = [((0, 0, 3840, 2160), (597, 336)), ((3840, 0, 1920, 1080), (531, 298))]
SCALE = 1.2  # output pixels per mm
BEZEL = 8    # output pixels of dark frame around each panel
GAP = 40     # between the two rows


def panel_boxes(top):
    """Each monitor's panel as (left, top, right, bottom) in the output, placed in mm."""
    boxes, x = [], BEZEL
    for _, (w_mm, h_mm) in MONITORS:
        w, h = round(w_mm * SCALE), round(h_mm * SCALE)
        boxes.append((x, top + BEZEL, x + w, top + BEZEL + h))
        x += w + 2 * BEZEL
    return boxes


def pixel_span(photo):
    """What each monitor shows when the photo covers the monitors' pixel rectangle
    (cropped to its shape about the middle)."""
    left = min(r[0] for r, _ in MONITORS)
    right = max(r[0] + r[2] for r, _ in MONITORS)
    top = min(r[1] for r, _ in MONITORS)
    bottom = max(r[1] + r[3] for r, _ in MONITORS)
    w, h = right - left, bottom - top
    scale = max(w / photo.width, h / photo.height)
    covered = photo.resize((round(photo.width * scale), round(photo.height * scale)), Image.LANCZOS)
    ox, oy = (covered.width - w) // 2, (covered.height - h) // 2
    return [covered.crop((ox + r[0] - left, oy + r[1] - top, ox + r[0] - left + r[2],
                          oy + r[1] - top + r[3])) for r, _ in MONITORS]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "docs", "span.jpg")
    spanned = [Image.open(os.path.join(folder, f"monitor-{i + 1}.jpg")).convert("RGB")
               for i in range(len(MONITORS))]
    for image, (rect, _) in zip(spanned, MONITORS):
        if image.size != (rect[2], rect[3]):
            sys.exit(f"a monitor file is {image.size}, its monitor {rect[2:]}")
    by_pixels = pixel_span(Image.open(os.path.join(HERE, "samples", "wide-lake.jpg")).convert("RGB"))

    row_height = round(max(h for _, (_, h) in MONITORS) * SCALE) + 2 * BEZEL
    width = sum(round(w * SCALE) + 2 * BEZEL for _, (w, _) in MONITORS)
    canvas = Image.new("RGB", (width, 2 * row_height + GAP), (236, 236, 236))
    draw = ImageDraw.Draw(canvas)
    for row, images in enumerate((spanned, by_pixels)):
        for box, image in zip(panel_boxes(row * (row_height + GAP)), images):
            draw.rectangle((box[0] - BEZEL, box[1] - BEZEL, box[2] + BEZEL - 1, box[3] + BEZEL - 1),
                           fill=(24, 24, 24))
            canvas.paste(image.resize((box[2] - box[0], box[3] - box[1]), Image.LANCZOS), box[:2])
    canvas.save(out, quality=88)
    print(out, canvas.size)


if __name__ == "__main__":
    main()
