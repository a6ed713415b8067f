#!/usr/bin/python3
"""Benchmarks a right-click and a fitting command against a bare load and native peers.

    bench/run_bench.py [--build build/x86_64] [--runs 7] [--draw-runs 301] [--command-runs 3]

Makes 2, 12 and 24 megapixel JPEGs from samples/wide-lake.jpg (ImageMagick `convert`),
times the native peers (`vipsthumbnail` for a preview of our preview's height and for the
1920x1080 fill, `convert` for the same fill), runs bench_rightclick.exe of the build under
Wine x64 on the same files, and prints a Markdown table of medians, of ratios against the
bare load (GDI+ loading the same file and drawing it into a 288x192 bitmap) and of the goals.

Installs its native tools when they are missing (apt-get install libvips-tools imagemagick;
needs root). Needs a cross build of the x64 tree with bench_rightclick. Uses the test prefix
build/wineprefix, or FRAMEWISE_BENCH_PREFIX; the Xvfb display is FRAMEWISE_DISPLAY (default :91).
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
PACKAGES = {"convert": "imagemagick", "vipsthumbnail": "libvips-tools"}


def ensure_tools():
    """The native tools, installed when missing. ImageMagick's own convert is preferred over
    any other program of that name earlier on PATH."""
    # Only the packages' own programs count: another program of that name on PATH (a
    # stand-in that prints a help text) would measure nothing.
    missing = [pkg for tool, pkg in PACKAGES.items() if not os.path.exists("/usr/bin/" + tool)]
    if missing:
        if os.geteuid() != 0:
            raise SystemExit("missing: apt-get install %s" % " ".join(missing))
        subprocess.check_call(["apt-get", "install", "-y", "-q"] + missing, stdout=subprocess.DEVNULL)
    return {tool: "/usr/bin/" + tool for tool in PACKAGES}


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


def fmt_ms(v):
    if v is None:
        return "-"
    return "%.3f ms" % v if v < 1 else "%.2f ms" % v if v < 10 else "%.0f ms" % v


def fmt_ratio(r):
    if r is None:
        return "-"
    return "%.4fx" % r if r < 0.01 else "%.2fx" % r


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "x86_64"))
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--draw-runs", type=int, default=301)
    ap.add_argument("--command-runs", type=int, default=3)
    args = ap.parse_args()
    tools = ensure_tools()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "bench_rightclick.exe")
    if not os.path.exists(exe):
        raise SystemExit("no %s: build the x64 tree first" % exe)

    work = os.path.join(build, "bench")
    os.makedirs(work, exist_ok=True)
    files = []
    for name, w, h in SIZES:
        path = os.path.join(work, "photo-%s.jpg" % name)
        if not os.path.exists(path):
            subprocess.check_call([tools["convert"], os.path.join(ROOT, "samples", "wide-lake.jpg"),
                                   "-resize", "%dx%d!" % (w, h), "-quality", "90", path])
        files.append((name, path))

    out = tempfile.mkdtemp(prefix="framewise-bench-")
    peers = {}
    for name, path in files:
        peers[("vips_preview", name)] = timed(
            [tools["vipsthumbnail"], path, "--size", "100000x%d" % PREVIEW_HEIGHT,
             "-o", os.path.join(out, "p.jpg")], args.runs)
        peers[("vips_fill", name)] = timed(
            [tools["vipsthumbnail"], path, "--size", "1920x1080", "--smartcrop", "centre",
             "-o", os.path.join(out, "f.jpg[Q=95]")], args.command_runs)
        peers[("convert_fill", name)] = timed(
            [tools["convert"], path, "-resize", "1920x1080^", "-gravity", "center", "-extent", "1920x1080",
             "-quality", "95", os.path.join(out, "c.jpg")], args.command_runs)
    shutil.rmtree(out)

    windows = ["Z:" + p.replace("/", "\\") for _, p in files]
    # The test prefix, made as the tests make it (unmanaged windows: no wait as a dialog closes).
    prefix = os.environ.get("FRAMEWISE_BENCH_PREFIX", os.path.join(ROOT, "build", "wineprefix"))
    script = ('scripts/wine-prefix.sh "%s" >/dev/null && source scripts/wine-session.sh && '
              'wine_session_start "%s" >/dev/null && ' % (prefix, prefix) +
              'FRAMEWISE_DLL="%s" scripts/wine-exec.sh "%s" --runs %d --draw-runs %d --command-runs %d %s' % (
                  os.path.join(build, "Framewise.dll"), exe, args.runs, args.draw_runs,
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
    get = lambda key, n: ours.get((key, n))

    def ratio(a, b):
        """a / b for each size; a and b are keys of ours or functions of the size."""
        va = a if callable(a) else (lambda n: get(a, n))
        vb = b if callable(b) else (lambda n: get(b, n))
        return lambda n: va(n) / vb(n) if va(n) is not None and vb(n) else None

    def peer(key, index=0):
        return lambda n: peers[(key, n)][index]

    def goal(values, limit, text):
        known = [v for v in values if v is not None]
        if not known:
            return text
        worst = max(known)
        return "%s: %s" % (text, "met" if worst <= limit else "**missed** (worst %s)" % (
            fmt_ratio(worst) if text.endswith("x") else "%.2f %s" % (worst, text.split()[-1])))

    def row(label, value, fmt, limit=None, goal_text="", goal_sizes=None):
        values = [value(n) if callable(value) else get(value, n) for n in names]
        cells = [fmt(v) for v in values]
        judged = [v for v, n in zip(values, names) if goal_sizes is None or n in goal_sizes]
        print("| %s | %s | %s |" % (label, " | ".join(cells),
                                    goal(judged, limit, goal_text) if limit is not None else goal_text))

    mb = lambda v: "-" if v is None else "%.1f MB" % v
    items = int(get("submenu_items", "24mp") or 0)
    mem_pic = "24mp"
    first = lambda key: (lambda n: get(key, n) if n == mem_pic else None)

    print("| Step (median) | 2 MP (1732x1155) | 12 MP (4243x2828) | 24 MP (6000x4000) | Goal |")
    print("|---|---|---|---|---|")
    row("**Bare load** (baseline): GDI+ GdipLoadImageFromFile + draw into 288x192", "bare_load_ms", fmt_ms)
    row("Initialize", "initialize_ms", fmt_ms)
    row("Initialize / bare load", ratio("initialize_ms", "bare_load_ms"), fmt_ratio, 0.01, "≤ 0.01x")
    row("QueryContextMenu", "query_ms", fmt_ms)
    row("New menu (Windows 11): GetState + GetTitle + EnumSubCommands", "newmenu_open_ms", fmt_ms)
    row("New menu / bare load (median of the runs' ratios)", "newmenu_open_ratio", fmt_ratio, 0.01,
        "≤ 0.01x at 24 MP", goal_sizes=("24mp",))
    row("Opening the submenu: WM_INITMENUPOPUP + every WM_MEASUREITEM", "open_ms", fmt_ms)
    row("&nbsp;&nbsp;of it, the preview copy: decode + reduce (timed alone)", "preview_copy_ms", fmt_ms)
    row("&nbsp;&nbsp;&nbsp;&nbsp;of that, the WIC decode of the whole picture (timed alone)", "wic_decode_ms", fmt_ms)
    row("&nbsp;&nbsp;of it, the framed previews of the 4 fitting rows (timed alone)", "row_previews_ms", fmt_ms)
    row("&nbsp;&nbsp;of it, the rest: the look, the text measured, the previews' bitmaps (difference)",
        lambda n: get("initpopup_ms", n) - get("preview_copy_ms", n) - get("row_previews_ms", n)
        if None not in (get("initpopup_ms", n), get("preview_copy_ms", n), get("row_previews_ms", n)) else None,
        fmt_ms)
    row("&nbsp;&nbsp;of it, every WM_MEASUREITEM", "measure_ms", fmt_ms)
    # Each run's opening against the bare load of the same run, then the median.
    row("Opening / bare load (median of the runs' ratios)", "open_ratio", fmt_ratio, 1.1, "≤ 1.1x")
    row("vipsthumbnail preview, %d px high (native, for comparison)" % PREVIEW_HEIGHT,
        peer("vips_preview"), fmt_ms)
    row("One WM_DRAWITEM of a preview item (median of %d)" % args.draw_runs, "draw_preview_ms", fmt_ms)
    row("WM_DRAWITEM / bare load", ratio("draw_preview_ms", "bare_load_ms"), fmt_ratio, 0.003, "≤ 0.003x")
    row("Whole submenu paint: WM_DRAWITEM of all %d items" % items, "submenu_paint_ms", fmt_ms, 5.0, "≤ 5 ms")
    row("First right-click in the process, submenu never opened: peak working set above idle (idle %.0f MB)"
        % (get("mem_first_idle_ws_mb", mem_pic) or 0), first("mem_first_peak_ws_mb"), mb, 2.0, "≤ 2 MB")
    row("&nbsp;&nbsp;committed private bytes above idle (idle %.0f MB)" % (get("mem_first_idle_private_mb", mem_pic) or 0),
        first("mem_first_held_private_mb"), mb, 2.0, "≤ 2 MB")
    row("Second right-click: peak working set above idle", first("mem_second_peak_ws_mb"), mb, 2.0, "≤ 2 MB")
    row("&nbsp;&nbsp;committed private bytes above idle", first("mem_second_held_private_mb"), mb, 2.0, "≤ 2 MB")
    row("A right-click after the other steps: peak working set above idle", "mem_repeat_peak_ws_mb", mb, 2.0, "≤ 2 MB")
    row("&nbsp;&nbsp;committed private bytes above idle", "mem_repeat_held_private_mb", mb, 2.0, "≤ 2 MB")
    row("Fitting command (Middle) to 1920x1080", "command_ms", fmt_ms)
    row("&nbsp;&nbsp;of it, LoadPicture (timed alone)", "load_picture_ms", fmt_ms)
    row("&nbsp;&nbsp;of it, MakeWallpaper: crop and resample (timed alone)", "make_wallpaper_ms", fmt_ms)
    row("&nbsp;&nbsp;of it, the rest: JPEG through a temporary file, please-wait window, applying (difference)",
        lambda n: (get("command_ms", n) - get("load_picture_ms", n) - get("make_wallpaper_ms", n))
        if None not in (get("command_ms", n), get("load_picture_ms", n), get("make_wallpaper_ms", n)) else None,
        fmt_ms)
    row("Classic InvokeCommand (Middle), each run beside the new menu's", "classic_invoke_ms", fmt_ms)
    row("New menu's Invoke of the Middle row", "newmenu_invoke_ms", fmt_ms)
    row("New menu's Invoke / classic command (median of the runs' ratios)", "newmenu_invoke_ratio", fmt_ratio,
        1.05, "≤ 1.05x")
    row("The same command on three monitors (1920x1080, 1080x1920, 2560x1440 with a left taskbar)",
        "command_3_monitors_ms", fmt_ms)
    row("Three monitors / one monitor", ratio("command_3_monitors_ms", "command_ms"), fmt_ratio, 3.0, "≤ 3x")
    row("vipsthumbnail fill 1920x1080, Q95 (native)", peer("vips_fill"), fmt_ms)
    row("ImageMagick convert fill 1920x1080, Q95 (native)", peer("convert_fill"), fmt_ms)
    row("Command / vipsthumbnail", ratio("command_ms", peer("vips_fill")), fmt_ratio)
    row("Command / convert", ratio("command_ms", peer("convert_fill")), fmt_ratio)
    row("Peak working set of the command above the level before it", "command_peak_mb", mb)
    row("Peak RSS: vipsthumbnail preview", peer("vips_preview", 1), mb)
    row("Peak RSS: vipsthumbnail fill", peer("vips_fill", 1), mb)
    row("Peak RSS: convert fill", peer("convert_fill", 1), mb)


if __name__ == "__main__":
    main()
