#!/usr/bin/env python3
"""Paints the sample photos shipped with the project (our own, free to redistribute).

Each is a procedural landscape: sky gradient, sun, layered hills, a lake with a
reflection and a few trees, so that every fitting mode visibly keeps a different part.
Writes PPM files; ImageMagick turns them into the JPEGs in samples/:
    python3 scripts/make_samples.py && for f in samples/*.ppm; do
      convert "$f" -quality 88 "${f%.ppm}.jpg" && rm "$f"; done
"""
import math
import os


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def paint(width, height, path, sky_top, sky_low, sun_x, sun_y, hill_colours, seed):
    rows = []
    horizon = 0.62
    sun_r = 0.07
    for py in range(height):
        v = py / height
        row = bytearray()
        for px in range(width):
            u = px / width
            aspect_u = u * width / height
            y = v
            reflect = False
            if v > horizon + 0.08:  # the lake mirrors what lies above the horizon
                y = 2 * (horizon + 0.08) - v
                reflect = True
            colour = mix(sky_top, sky_low, y / horizon)
            d = math.hypot(aspect_u - sun_x * width / height, y - sun_y)
            if d < sun_r:
                colour = (255, 236, 170)
            elif d < sun_r * 3:
                colour = mix((255, 210, 140), colour, (d - sun_r) / (sun_r * 2))
            for i, hill in enumerate(hill_colours):
                base = horizon - 0.18 + i * 0.09
                crest = base - 0.07 * math.sin(u * (5 + 3 * i) + seed + i) - 0.04 * math.sin(u * 17 + i * seed)
                if y > crest:
                    shade = 0.75 + 0.25 * math.sin(u * 40 + i)
                    colour = tuple(c * shade for c in hill)
            if not reflect and v > horizon - 0.02 and int(u * 37 + seed) % 5 == 0:
                tx = (u * 37 + seed) % 1
                if abs(tx - 0.5) < 0.4 * (v - (horizon - 0.12)) / 0.14:
                    colour = (30, 70, 40)
            if reflect:
                ripple = 0.85 + 0.1 * math.sin(v * 900 + math.sin(u * 30) * 3)
                colour = tuple(c * ripple for c in mix(colour, (40, 80, 120), 0.35))
            row += bytes(int(max(0, min(255, c))) for c in colour)
        rows.append(bytes(row))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        for r in rows:
            f.write(r)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    os.makedirs(out, exist_ok=True)
    hills = [(90, 120, 150), (70, 130, 80), (50, 100, 55)]
    paint(2400, 1200, os.path.join(out, "wide-lake.ppm"), (40, 70, 140), (250, 170, 120), 0.7, 0.38, hills, 1.0)
    paint(1200, 1800, os.path.join(out, "tall-valley.ppm"), (20, 40, 110), (240, 150, 160), 0.35, 0.3, hills, 2.5)
    paint(1500, 1200, os.path.join(out, "screen-meadow.ppm"), (70, 130, 210), (200, 225, 250), 0.2, 0.25, hills, 4.0)


if __name__ == "__main__":
    main()
