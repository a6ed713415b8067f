#!/usr/bin/env python3
"""Benchmarks a right-click and a fitting command against their peers, side by side.

    bench/run_bench.py [--build build/x86_64] [--runs 7] [--command-runs 3]

Makes 2, 12 and 24 megapixel JPEGs from samples/wide-lake.jpg (ImageMagick `convert`),
times the native peers (`vipsthumbnail` for a preview of our preview's height and for the
1920x1080 fill, `convert` for the same fill), runs bench_rightclick.exe of the build under
Wine x64 on the same files, and prints a Markdown table of medians, ratios and peaks.
Needs: apt-get install libvips-tools imagemagick; a cross build of the x64 tree. Uses the
test prefix build/wineprefix (FRAMEWISE_BENCH_PREFIX to use another).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SIZES = [("2mp", 1732, 1155), ("12mp", 4243, 2828), ("24mp", 6000, 4000)]
PREVIEW_HEIGHT = 192  # twice the screen's 96 dpi, as the menu makes it


def timed(cmd, runs):
    """Median wall time (ms) and largest peak resident size (MB) of a native command."""
    times, peak = [], 0
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # warm the caches
    for _ in range(runs):
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(proc.pid, 0)
        times.append((time.perf_counter() - start) * 1000)
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode != 0:
            raise SystemExit("failed: %s\n%s" % (" ".join(cmd), proc.stderr.read().decode()))
        peak = max(peak, usage.ru_maxrss / 1024)
    times.sort()
    return times[len(times) // 2], peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "x86_64"))
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--command-runs", type=int, default=3)
    args = ap.parse_args()
    for tool in ("convert", "vipsthumbnail"):
        if not shutil.which(tool):
            raise SystemExit("%s is missing: apt-get install libvips-tools imagemagick" % tool)
    exe = os.path.join(os.path.abspath(args.build), "bench_rightclick.exe")
    if not os.path.exists(exe):
        raise SystemExit("no %s: build the x64 tree first" % exe)

    work = os.path.join(os.path.abspath(args.build), "bench")
    os.makedirs(work, exist_ok=True)
    files = []
    for name, w, h in SIZES:
        path = os.path.join(work, "photo-%s.jpg" % name)
        if not os.path.exists(path):
            subprocess.check_call(["convert", os.path.join(ROOT, "samples", "wide-lake.jpg"),
                                   "-resize", "%dx%d!" % (w, h), "-quality", "90", path])
        files.append((name, path))

    out = tempfile.mkdtemp(prefix="framewise-bench-")
    peers = {}
    for name, path in files:
        peers[("vips_preview", name)] = timed(
            ["vipsthumbnail", path, "--size", "100000x%d" % PREVIEW_HEIGHT, "-o", os.path.join(out, "p.jpg")],
            args.runs)
        peers[("vips_fill", name)] = timed(
            ["vipsthumbnail", path, "--size", "1920x1080", "--smartcrop", "centre",
             "-o", os.path.join(out, "f.jpg[Q=90]")], args.command_runs)
        peers[("convert_fill", name)] = timed(
            ["convert", path, "-resize", "1920x1080^", "-gravity", "center", "-extent", "1920x1080",
             "-quality", "90", os.path.join(out, "c.jpg")], args.command_runs)
    shutil.rmtree(out)

    windows = ["Z:" + p.replace("/", "\\") for _, p in files]
    # The test prefix, made as the tests make it (unmanaged windows: no wait as a dialog closes).
    prefix = os.environ.get("FRAMEWISE_BENCH_PREFIX", os.path.join(ROOT, "build", "wineprefix"))
    script = ('scripts/wine-prefix.sh "%s" >/dev/null && source scripts/wine-session.sh && '
              'wine_session_start "%s" >/dev/null && ' % (prefix, prefix) +
              'FRAMEWISE_DLL="%s" scripts/wine-exec.sh "%s" --runs %d --command-runs %d %s' % (
                  os.path.join(os.path.abspath(args.build), "Framewise.dll"), exe, args.runs,
                  args.command_runs, " ".join('"%s"' % w for w in windows)))
    run = subprocess.run(["bash", "-c", script], cwd=ROOT, capture_output=True, text=True, timeout=1800)
    ours = {}
    for line in run.stdout.splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[0] == "RESULT":
            name = parts[2].replace("photo-", "").replace(".jpg", "")
            ours[(parts[1], name)] = float(parts[3])
        elif line.strip():
            print(line, file=sys.stderr)
    if not ours:
        raise SystemExit("bench_rightclick printed nothing:\n" + run.stdout + run.stderr)

    names = [n for n, _, _ in SIZES]

    def row(label, values):
        print("| %s | %s |" % (label, " | ".join(values)))

    def ms(key):
        return ["%.0f ms" % ours[(key, n)] if (key, n) in ours else "-" for n in names]

    def peer(key, index=0, unit="ms"):
        return ["%.0f %s" % (peers[(key, n)][index], unit) for n in names]

    def ratio(a, b_key, peer_b=False):
        out = []
        for n in names:
            b = peers[(b_key, n)][0] if peer_b else ours.get((b_key, n))
            out.append("%.2fx" % (ours[(a, n)] / b) if b and (a, n) in ours else "-")
        return out

    print("| Step (median) | 2 MP (1732x1155) | 12 MP (4243x2828) | 24 MP (6000x4000) |")
    print("|---|---|---|---|")
    row("Right-click: Initialize + QueryContextMenu", ms("rightclick_ms"))
    row("&nbsp;&nbsp;of which Initialize", ms("initialize_ms"))
    row("&nbsp;&nbsp;of which QueryContextMenu", ms("query_ms"))
    row("GDI+ load and decode (floor)", ms("gdiplus_decode_ms"))
    row("Right-click / GDI+ floor", ratio("rightclick_ms", "gdiplus_decode_ms"))
    row("vipsthumbnail preview, %d px high (native)" % PREVIEW_HEIGHT, peer("vips_preview"))
    row("Right-click / vipsthumbnail", ratio("rightclick_ms", "vips_preview", True))
    row("One WM_DRAWITEM of a preview item", ["%.2f ms" % ours[("draw_preview_ms", n)] for n in names])
    row("Whole submenu: measure and draw", ["%.2f ms" % ours[("submenu_ms", n)] for n in names])
    row("Fitting command (Middle) to 1920x1080", ms("command_ms"))
    row("vipsthumbnail fill 1920x1080 (native)", peer("vips_fill"))
    row("ImageMagick convert fill 1920x1080 (native)", peer("convert_fill"))
    row("Command / vipsthumbnail", ratio("command_ms", "vips_fill", True))
    row("Command / convert", ratio("command_ms", "convert_fill", True))
    row("Peak working set: GDI+ decode", ["%.0f MB" % ours[("gdiplus_decode_peak_mb", n)] for n in names])
    row("Peak working set: right-click", ["%.0f MB" % ours[("rightclick_peak_mb", n)] for n in names])
    row("Peak working set: command", ["%.0f MB" % ours[("command_peak_mb", n)] for n in names])
    row("Peak RSS: vipsthumbnail preview", peer("vips_preview", 1, "MB"))
    row("Peak RSS: vipsthumbnail fill", peer("vips_fill", 1, "MB"))
    row("Peak RSS: convert fill", peer("convert_fill", 1, "MB"))


if __name__ == "__main__":
    main()
