#!/usr/bin/env python3
"""Runs a test program and ends it when it goes quiet.

A program that prints nothing for FRAMEWISE_QUIET_LIMIT seconds (120 by default) is
reported as a hang: the test that was running (from GoogleTest's "[ RUN      ]" lines),
each of its threads' stacks where Wine's debugger can give them, and then its whole
process group is ended with exit code 124, the code `timeout` uses. Otherwise the program's
own exit code is returned and its output passes through unchanged.

Usage: quiet-watch.py PROGRAM [ARGS...]
"""
import os
import re
import select
import signal
import subprocess
import sys
import time

RUN = re.compile(rb"^\[ RUN      \] (\S+)")
DONE = re.compile(rb"^\[ +(OK|FAILED|SKIPPED) +\] (\S+)")
HANG_EXIT = 124


class TestTracker:
    """Follows GoogleTest's progress lines to know which test is running."""

    def __init__(self):
        self.running = None
        self.last_finished = None
        self._partial = b""

    def feed(self, data):
        lines = (self._partial + data).split(b"\n")
        self._partial = lines.pop()
        for line in lines:
            line = line.rstrip(b"\r")
            m = RUN.match(line)
            if m:
                self.running = m.group(1).decode(errors="replace")
                continue
            m = DONE.match(line)
            if m and m.group(2).decode(errors="replace") == self.running:
                self.last_finished, self.running = self.running, None

    def describe(self):
        if self.running:
            return "running test: " + self.running
        if self.last_finished:
            return "between tests, after " + self.last_finished
        return "before the first test"


def wine_stacks(program_name):
    """Backtraces of the hung program's threads from Wine's debugger, or '' when unavailable."""
    loader = os.environ.get("WINELOADER", "/usr/lib/wine/wine64")
    if not os.environ.get("WINEPREFIX") or not os.path.exists(loader):
        return ""
    try:
        out = subprocess.run([loader, "winedbg", "--command", "bt all"], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60).stdout
    except (OSError, subprocess.SubprocessError):
        return ""
    text = out.decode(errors="replace")
    # Keep the blocks of the program's own process: "Backtracing for thread X in process Y (path)".
    keep, kept = False, []
    for line in text.splitlines():
        if line.startswith("Backtracing for thread"):
            keep = program_name.lower() in line.lower()
        if keep:
            kept.append(line)
    return "\n".join(kept)


def program_name(argv):
    """The Windows program's file name: the first argument that names an .exe, else the first."""
    for arg in argv:
        if arg.lower().endswith(".exe"):
            return os.path.basename(arg)
    return os.path.basename(argv[0])


def main(argv):
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    limit = float(os.environ.get("FRAMEWISE_QUIET_LIMIT", "120"))
    child = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, start_new_session=True)
    tracker = TestTracker()
    out = sys.stdout.buffer
    fd = child.stdout.fileno()
    last_output = time.monotonic()
    while True:
        ready, _, _ = select.select([fd], [], [], 1.0)
        if ready:
            data = os.read(fd, 65536)
            if not data:
                break  # the program and everything that shared its output are gone
            out.write(data)
            out.flush()
            tracker.feed(data)
            last_output = time.monotonic()
            continue
        if child.poll() is not None:
            break  # exited; a process it started may still hold the output open
        quiet = time.monotonic() - last_output
        if quiet < limit:
            continue
        out.write(("\n== hang: %s printed nothing for %d s; %s\n"
                   % (program_name(argv), quiet, tracker.describe())).encode())
        stacks = wine_stacks(program_name(argv))
        out.write(((stacks + "\n") if stacks else "== (no thread stacks from Wine's debugger)\n").encode())
        out.flush()
        try:
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        child.wait()
        return HANG_EXIT
    code = child.wait()
    return code if code >= 0 else 128 - code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
