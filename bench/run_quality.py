#!/usr/bin/python3
"""Wallpaper quality benchmark: how close our 1920x1080 fill comes to a Lanczos-3 resize.

    bench/run_quality.py [--build build/x86_64] [--runs 5] [--keep DIR]

Run by hand; not a test. Makes a 6400x3600 zone plate (grey = 127.5 + 127.5 cos(k r^2), the
ring frequency reaching Nyquist at the corners), fetches the wallpapers of Debian's
plasma-workspace-wallpapers package into a temporary folder (apt-get download, dpkg-deb -x;
nothing is kept) and keeps those of 16:9 proportions (within 1%) at least 1920x1080, and a
24 MP photo made from samples/wide-lake.jpg for the timing. For each, bench_quality.exe of
the build (under Wine x64) writes the Middle fill wallpaper for a 1920x1080 monitor and the
same crop drawn by a plain GDI+ draw; ImageMagick makes the reference from the same crop
(the largest centred 16:9 rectangle, integer pixels) with -filter Lanczos. Prints a Markdown
table of SSIM (luma, 11x11 Gaussian window sigma 1.5, K1 0.01, K2 0.03) and fitting times.

Installs imagemagick and python3-numpy when missing (needs root). Uses the test prefix
build/wineprefix, or FRAMEWISE_BENCH_PREFIX; the Xvfb display is FRAMEWISE_DISPLAY (default :91).
"""
import argparse
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SCREEN = (1920, 1080)


def ensure_tools():
    missing = []
    if not os.path.exists("/usr/bin/convert"):
        missing.append("imagemagick")
    try:
        import numpy  # noqa: F401
    except ImportError:
        missing.append("python3-numpy")
    if missing:
        if os.geteuid() != 0:
            raise SystemExit("missing: apt-get install %s" % " ".join(missing))
        subprocess.check_call(["apt-get", "install", "-y", "-q"] + missing, stdout=subprocess.DEVNULL)
        if "python3-numpy" in missing:  # Debian's numpy is for this interpreter
            os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)


def write_png(path, rows, width, height):
    """An 8-bit RGB PNG from an iterator of row blocks (numpy uint8, N x width x 3)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    packer = zlib.compressobj(1)
    body = []
    for block in rows:
        raw = bytearray()
        for line in block:
            raw += b"\0" + line.tobytes()
        body.append(packer.compress(bytes(raw)))
    body.append(packer.flush())
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", b"".join(body)))
        f.write(chunk(b"IEND", b""))


def make_zone_plate(path, width=6400, height=3600):
    import numpy as np
    cx, cy = width / 2.0, height / 2.0
    k = np.pi / (2.0 * np.hypot(cx, cy))  # local frequency k r / pi reaches 0.5 at the corners
    x2 = (np.arange(width) + 0.5 - cx) ** 2

    def blocks():
        for top in range(0, height, 200):
            y = np.arange(top, min(top + 200, height)) + 0.5 - cy
            grey = 127.5 + 127.5 * np.cos(k * (x2[None, :] + (y ** 2)[:, None]))
            g = np.clip(np.rint(grey), 0, 255).astype(np.uint8)
            yield np.repeat(g[:, :, None], 3, axis=2)
    write_png(path, blocks(), width, height)


def size_of(path):
    out = subprocess.check_output(["/usr/bin/identify", "-format", "%w %h\n", path], text=True,
                                  stderr=subprocess.DEVNULL)  # some files' XMP packets draw warnings
    w, h = out.split("\n")[0].split()
    return int(w), int(h)


def middle_crop(w, h):
    """The largest centred rectangle of the screen's proportions, in integer pixels."""
    s, p = SCREEN[0] / SCREEN[1], w / h
    cw, ch = w, h
    if s < p:
        cw = int(s * h)
    elif s > p:
        ch = int(w / s)
    return (w - cw) // 2, (h - ch) // 2, cw, ch


def fetch_wallpapers(tmp):
    """The package's 16:9 pictures of at least the screen's size, extracted under tmp."""
    os.chmod(tmp, 0o755)  # apt's download user writes there
    subprocess.check_call(["apt-get", "download", "-q", "plasma-workspace-wallpapers"], cwd=tmp,
                          stdout=subprocess.DEVNULL)
    deb = glob.glob(os.path.join(tmp, "plasma-workspace-wallpapers_*.deb"))[0]
    subprocess.check_call(["dpkg-deb", "-x", deb, os.path.join(tmp, "x")])
    picked = []
    for path in sorted(glob.glob(os.path.join(tmp, "x", "usr", "share", "wallpapers", "**", "*"), recursive=True)):
        if not path.lower().endswith((".jpg", ".jpeg", ".png")):
            continue
        w, h = size_of(path)
        if w >= SCREEN[0] and h >= SCREEN[1] and abs((w / h) / (SCREEN[0] / SCREEN[1]) - 1) <= 0.01:
            rel = os.path.relpath(path, os.path.join(tmp, "x", "usr", "share", "wallpapers"))
            picked.append((rel.replace("/contents/images", "").replace("/contents/", "/"), path, w, h))
    return picked


def read_luma(path):
    import numpy as np
    w, h = size_of(path)
    raw = subprocess.check_output(["/usr/bin/convert", path, "-alpha", "off", "-depth", "8", "rgb:-"])
    rgb = np.frombuffer(raw, dtype=np.uint8).reshape(h, w, 3).astype(np.float64)
    return 0.299 * rgb[:, :, 0] + 0.587 * rgb[:, :, 1] + 0.114 * rgb[:, :, 2]


def ssim(a, b):
    """Mean SSIM of two luma images: 11x11 Gaussian window (sigma 1.5), K1 0.01, K2 0.03,
    L 255, over the positions where the whole window fits."""
    import numpy as np
    t = np.arange(11) - 5
    g = np.exp(-(t ** 2) / (2 * 1.5 ** 2))
    g /= g.sum()

    def blur(x):
        h, w = x.shape
        rows = sum(g[i] * x[:, i:w - 10 + i] for i in range(11))
        return sum(g[i] * rows[i:h - 10 + i, :] for i in range(11))
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    ma, mb = blur(a), blur(b)
    va = blur(a * a) - ma * ma
    vb = blur(b * b) - mb * mb
    cov = blur(a * b) - ma * mb
    m = ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2))
    return float(m.mean())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "x86_64"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--keep", help="keep the written pictures in this folder")
    args = ap.parse_args()
    ensure_tools()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "bench_quality.exe")
    if not os.path.exists(exe):
        raise SystemExit("no %s: build the x64 tree first" % exe)

    tmp = tempfile.mkdtemp(prefix="framewise-quality-")
    try:
        zone = os.path.join(tmp, "zone-plate.png")
        make_zone_plate(zone)
        photo = os.path.join(tmp, "photo-24mp.jpg")
        subprocess.check_call(["/usr/bin/convert", os.path.join(ROOT, "samples", "wide-lake.jpg"),
                               "-resize", "6000x4000!", "-quality", "90", photo])
        pictures = [("zone plate", zone, 6400, 3600), ("24 MP photo (timing)", photo, 6000, 4000)]
        real = fetch_wallpapers(tmp)
        if not real:
            raise SystemExit("no 16:9 picture in plasma-workspace-wallpapers")
        pictures += real

        # One Wine session for every run.
        prefix = os.environ.get("FRAMEWISE_BENCH_PREFIX", os.path.join(ROOT, "build", "wineprefix"))
        display = os.environ.get("FRAMEWISE_DISPLAY", ":91")
        subprocess.check_call(["bash", "-c", 'scripts/wine-prefix.sh "%s" >/dev/null && source scripts/wine-session.sh'
                               ' && wine_session_start "%s" >/dev/null' % (prefix, prefix)], cwd=ROOT)
        env = dict(os.environ, WINEPREFIX=prefix, DISPLAY=display, WINEDEBUG="-all")
        results = []
        for i, (label, path, w, h) in enumerate(pictures):
            ours, old, ref = (os.path.join(tmp, "%d-%s.png" % (i, kind)) for kind in ("ours", "old", "ref"))
            run = subprocess.run([os.path.join(ROOT, "scripts", "wine-exec.sh"), exe, "--runs", str(args.runs)] +
                                 ["Z:" + p.replace("/", "\\") for p in (path, ours, old)],
                                 env=env, capture_output=True, text=True, timeout=900)
            got = {}
            for line in run.stdout.splitlines():
                parts = line.split()
                if len(parts) == 3 and parts[0] == "RESULT":
                    got[parts[1]] = float(parts[2])
            if run.returncode != 0 or "fit_ms" not in got:
                print("bench_quality failed on %s:\n%s%s" % (path, run.stdout, run.stderr), file=sys.stderr)
                continue
            x, y, cw, ch = middle_crop(w, h)
            if (x, y, cw, ch) != tuple(int(got["crop_" + k]) for k in ("x", "y", "w", "h")):
                print("note: %s: the product's crop %s differs from %s" % (
                    label, [got["crop_" + k] for k in ("x", "y", "w", "h")], (x, y, cw, ch)), file=sys.stderr)
            subprocess.check_call(["/usr/bin/convert", path, "-crop", "%dx%d+%d+%d" % (cw, ch, x, y), "+repage",
                                   "-filter", "Lanczos", "-resize", "%dx%d!" % SCREEN, ref])
            reference = read_luma(ref)
            results.append(dict(label=label, w=w, h=h, old=ssim(read_luma(old), reference),
                                ours=ssim(read_luma(ours), reference), fit=got["fit_ms"],
                                draw=got["old_draw_ms"], load=got["load_ms"]))
            if args.keep:
                os.makedirs(args.keep, exist_ok=True)
                for kind, p in (("ours", ours), ("old", old), ("ref", ref)):
                    shutil.copy(p, os.path.join(args.keep, "%d-%s.png" % (i, kind)))
            for p in (ours, old, ref):
                os.remove(p)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    print("| Picture | Size | SSIM, old draw | SSIM, ours | Fitting, ours | Old draw | Goal |")
    print("|---|---|---|---|---|---|---|")
    for r in results:
        goal = ""
        if r["label"] == "zone plate":
            goal = "ours ≥ 0.90: %s" % ("met" if r["ours"] >= 0.90 else "**missed**")
        print("| %s | %dx%d | %.4f | %.4f | %.0f ms | %.0f ms | %s |" % (
            r["label"], r["w"], r["h"], r["old"], r["ours"], r["fit"], r["draw"], goal))
    photos = [r for r in results if r["label"] not in ("zone plate", "24 MP photo (timing)")]
    if photos:
        worst = min(photos, key=lambda r: r["ours"])
        worst_old = min(photos, key=lambda r: r["old"])
        print("| **Worst real picture** (of %d) | | %.4f (%s) | %.4f (%s) | | | ours ≥ 0.99: %s |" % (
            len(photos), worst_old["old"], worst_old["label"], worst["ours"], worst["label"],
            "met" if worst["ours"] >= 0.99 else "**missed**"))
        fits = sorted(r["fit"] for r in photos)
        draws = sorted(r["draw"] for r in photos)
        print("| Real pictures, median fitting time | | | | %.0f ms | %.0f ms | |" % (
            fits[len(fits) // 2], draws[len(draws) // 2]))


if __name__ == "__main__":
    main()
