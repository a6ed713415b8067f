#!/usr/bin/python3
"""Benchmarks the right-click on 24 megapixel pictures of the imaging component's formats.

    bench/run_formats.py [--build build/x86_64] [--runs 9]

Makes 2 and 24 megapixel pictures from samples/wide-lake.jpg (Pillow; the photo mirrored
and tiled at its own resolution, so the files carry a photo's detail) and encodes them with
Debian's encoders: JxrEncApp (JPEG XR), cwebp (WebP), heif-enc (HEIC), avifenc (AVIF) and
cjxl (JPEG XL); the files are kept in the build's bench/ folder and made again only when
missing. Then runs bench_formats.exe of the build under Wine x64 and prints a Markdown table:
- JPEG XR, which Wine decodes: the DLL's Initialize (a right-click) against the codec's whole
  decode of the same file, as a ratio per run (goal: at most 0.01x);
- WebP, HEIC, AVIF, JPEG XL, which Wine cannot decode (the right-click refuses them there):
  the header read a right-click makes, at both file sizes (it does not grow with the file),
  against the format's own Debian decoder (dwebp, heif-convert, avifdec, djxl) decoding the
  same file natively, for scale.

Needs the encoders (apt-get install libjxr-tools webp libheif-examples libavif-bin
libjxl-tools) and the system's Python with Pillow. Uses the test prefix build/wineprefix or
FRAMEWISE_BENCH_PREFIX; the Xvfb display is FRAMEWISE_DISPLAY (default :91).
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SIZES = [("2mp", 1732, 1155), ("24mp", 6000, 4000)]
# name, extension, command making the file from the PNG (or BMP) source, the native decoder
# (None where Wine decodes it, and the sizes it is made at)
ENCODERS = [
    ("JPEG XR", "jxr", lambda src, bmp, out: ["JxrEncApp", "-i", bmp, "-o", out, "-q", "0.9"], None),
    ("WebP", "webp", lambda src, bmp, out: ["cwebp", "-quiet", "-q", "80", src, "-o", out],
     lambda path, out: ["dwebp", "-quiet", path, "-ppm", "-o", out + ".ppm"]),
    ("HEIC", "heic", lambda src, bmp, out: ["heif-enc", "-q", "50", src, "-o", out],
     lambda path, out: ["heif-convert", path, out + ".png"]),
    ("AVIF", "avif", lambda src, bmp, out: ["avifenc", "-s", "10", src, out],
     lambda path, out: ["avifdec", path, out + ".png"]),
    ("JPEG XL", "jxl", lambda src, bmp, out: ["cjxl", "-e", "3", src, out],
     lambda path, out: ["djxl", path, out + ".ppm"]),
]


def make_files(work):
    files = []
    for size, width, height in SIZES:
        src = os.path.join(work, "source-%s.png" % size)
        bmp = os.path.join(work, "source-%s.bmp" % size)
        if not (os.path.exists(src) and os.path.exists(bmp)):
            subprocess.check_call(["/usr/bin/python3", "-c", (
                "import sys\nfrom PIL import Image, ImageOps\n"
                "photo = Image.open(sys.argv[1]).convert('RGB')\n"
                "w, h = %d, %d\n"
                "im = Image.new('RGB', (w, h))\n"
                "tiles = [photo, ImageOps.mirror(photo), ImageOps.flip(photo), ImageOps.flip(ImageOps.mirror(photo))]\n"
                "for y in range(0, h, photo.height):\n"
                "    for x in range(0, w, photo.width):\n"
                "        im.paste(tiles[(x // photo.width) %% 2 + 2 * ((y // photo.height) %% 2)], (x, y))\n"
                "im.save(sys.argv[2]); im.save(sys.argv[3])" % (width, height)),
                os.path.join(ROOT, "samples", "wide-lake.jpg"), src, bmp])
        for name, ext, command, native in ENCODERS:
            if native is None and size != "24mp":
                continue
            out = os.path.join(work, "photo-%s.%s" % (size, ext))
            if not os.path.exists(out):
                subprocess.check_call(command(src, bmp, out), stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            files.append((name, size, out, native))
    return files


def native_ms(command, path, runs):
    """Median wall time of the format's own decoder on the file, in milliseconds."""
    out = os.path.join(os.path.dirname(path), "decoded")
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.check_call(command(path, out), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append((time.perf_counter() - start) * 1000)
    times.sort()
    return times[len(times) // 2]


def fmt_ms(v):
    return "-" if v is None else "%.3f ms" % v if v < 1 else "%.2f ms" % v if v < 10 else "%.0f ms" % v


def fmt_ratio(r):
    return "-" if r is None else "%.5fx" % r if r < 0.001 else "%.4fx" % r if r < 0.01 else "%.2fx" % r


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "x86_64"))
    ap.add_argument("--runs", type=int, default=9)
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "bench_formats.exe")
    if not os.path.exists(exe):
        raise SystemExit("no %s: build the x64 tree first" % exe)
    work = os.path.join(build, "bench")
    os.makedirs(work, exist_ok=True)
    files = make_files(work)

    def windows(path):
        return "Z:" + path.replace("/", "\\")
    arguments = " ".join('%s "%s"' % ("--header" if native else "--decoded", windows(path))
                         for _, _, path, native in files)
    prefix = os.environ.get("FRAMEWISE_BENCH_PREFIX", os.path.join(ROOT, "build", "wineprefix"))
    script = ('scripts/wine-prefix.sh "%s" >/dev/null && source scripts/wine-session.sh && '
              'wine_session_start "%s" >/dev/null && ' % (prefix, prefix) +
              'FRAMEWISE_DLL="%s" scripts/wine-exec.sh "%s" --runs %d %s' % (
                  os.path.join(build, "Framewise.dll"), exe, args.runs, arguments))
    run = subprocess.run(["bash", "-c", script], cwd=ROOT, capture_output=True, text=True, timeout=1800)
    ours = {}
    for line in run.stdout.splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[0] == "RESULT":
            ours[(parts[1], parts[2])] = float(parts[3])
        elif line.strip():
            print(line, file=sys.stderr)
    if not ours:
        raise SystemExit("bench_formats printed nothing:\n" + run.stdout + run.stderr)

    print("| Picture | File | Right-click step (under Wine) | Baseline: a whole decode | Ratio | Goal |")
    print("|---|---|---|---|---|---|")
    for name, size, path, native in files:
        key = os.path.basename(path)
        bytes_ = os.path.getsize(path)
        megabytes = "%.1f MB" % (bytes_ / 1e6) if bytes_ >= 1e6 else "%d KB" % round(bytes_ / 1e3)
        if native is None:
            ratio = ours.get(("initialize_ratio", key))
            baseline = "WIC under Wine %s (the command's load %s)" % (
                fmt_ms(ours.get(("wic_decode_ms", key))), fmt_ms(ours.get(("load_picture_ms", key))))
            step = "Initialize %s" % fmt_ms(ours.get(("initialize_ms", key)))
        else:
            decode = native_ms(native, path, args.runs)
            header = ours.get(("header_ms", key))
            ratio = header / decode if header is not None else None
            baseline = "%s, native %s" % (native(path, "x")[0], fmt_ms(decode))
            step = "header read %s" % fmt_ms(header)
        goal = "-" if ratio is None else "≤ 0.01x: %s" % ("met" if ratio <= 0.01 else "**missed**")
        print("| %s %s | %s | %s | %s | %s | %s |" % (name, size.upper().replace("MP", " MP"), megabytes, step,
                                                     baseline, fmt_ratio(ratio), goal))


if __name__ == "__main__":
    main()
