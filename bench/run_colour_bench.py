#!/usr/bin/python3
"""Benchmarks the fitting command on pictures with a colour profile against the same pictures
without one (the goal: at most 1.15x).

    bench/run_colour_bench.py [--build build/x86_64] [--runs 5]

Makes, from samples/wide-lake.jpg with Pillow, a 24-megapixel JPEG and 12-megapixel PNG and
TIFF, each once tagged with colord's ProPhoto RGB profile and once untagged (same pixels,
same encoder settings), runs bench_colour.exe of the build under Wine x64 on the pairs and
prints a Markdown table of the medians and their ratios. Uses the test prefix
build/wineprefix, or FRAMEWISE_BENCH_PREFIX; the Xvfb display is FRAMEWISE_DISPLAY (default :91).
"""
import argparse
import os
import subprocess
import sys

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PROFILE = "/usr/share/color/icc/colord/ProPhotoRGB.icc"
PICTURES = [("photo-24mp", "jpg", (6000, 4000), {"quality": 90}),
            ("photo-12mp", "png", (4243, 2828), {}),
            ("photo-12mp", "tif", (4243, 2828), {})]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "x86_64"))
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "bench_colour.exe")
    if not os.path.exists(exe):
        raise SystemExit("no %s: build the x64 tree first" % exe)
    work = os.path.join(build, "bench")
    os.makedirs(work, exist_ok=True)
    with open(PROFILE, "rb") as f:
        icc = f.read()
    pairs = []
    for stem, ext, size, options in PICTURES:
        tagged = os.path.join(work, "%s-prophoto.%s" % (stem, ext))
        untagged = os.path.join(work, "%s-untagged.%s" % (stem, ext))
        if not (os.path.exists(tagged) and os.path.exists(untagged)):
            picture = Image.open(os.path.join(ROOT, "samples", "wide-lake.jpg")).convert("RGB")
            picture = picture.resize(size, Image.LANCZOS)
            picture.save(tagged, icc_profile=icc, **options)
            picture.save(untagged, **options)
        pairs += [tagged, untagged]

    windows = ['"Z:%s"' % p.replace("/", "\\") for p in pairs]
    prefix = os.environ.get("FRAMEWISE_BENCH_PREFIX", os.path.join(ROOT, "build", "wineprefix"))
    script = ('scripts/wine-prefix.sh "%s" >/dev/null && source scripts/wine-session.sh && '
              'wine_session_start "%s" >/dev/null && ' % (prefix, prefix) +
              'FRAMEWISE_DLL="%s" scripts/wine-exec.sh "%s" --runs %d %s; wine_session_stop' % (
                  os.path.join(build, "Framewise.dll"), exe, args.runs, " ".join(windows)))
    run = subprocess.run(["bash", "-c", script], cwd=ROOT, capture_output=True, text=True, timeout=3600)
    results = {}
    for line in run.stdout.splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[0] == "RESULT":
            results[(parts[1], parts[2])] = float(parts[3])
        elif line.strip():
            print(line, file=sys.stderr)
    if not results:
        raise SystemExit("bench_colour printed nothing:\n" + run.stdout + run.stderr)
    print("Fill-screen command onto 1920x1080, median of %d alternating runs each.\n" % args.runs)
    print("| picture | with ProPhoto profile | without profile | ratio (goal <= 1.15x) |")
    print("|---|---|---|---|")
    for tagged in pairs[::2]:
        name = os.path.basename(tagged)
        get = lambda key: results.get((key, name))
        ratio = get("command_ratio")
        print("| %s | %.0f ms | %.0f ms | %.2fx %s |" % (
            name.replace("-prophoto", ""), get("command_tagged_ms"), get("command_untagged_ms"), ratio,
            "met" if ratio <= 1.15 else "NOT met"))
    print("\nWhere the difference goes (the tagged picture):\n")
    print("| picture | conversion set-up | load tagged / untagged | fit converted / plain |")
    print("|---|---|---|---|")
    for tagged in pairs[::2]:
        name = os.path.basename(tagged)
        get = lambda key: results.get((key, name))
        print("| %s | %.1f ms | %.0f / %.0f ms | %.0f / %.0f ms |" % (
            name.replace("-prophoto", ""), get("prepare_conversion_ms"), get("load_tagged_ms"),
            get("load_untagged_ms"), get("fit_converted_ms"), get("fit_plain_ms")))


if __name__ == "__main__":
    main()
