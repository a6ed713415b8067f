#!/usr/bin/env bash
# Runs a 32-bit test program (through qemu-user) and runs it once more when the emulator,
# not the program, failed (up to three runs in all): qemu's own "uncaught target signal" (Wine's signal handling
# broke inside the emulator), a Wine client that lost its server connection, or a process
# that went quiet past the limit (its threads blocked on server replies that qemu did not
# deliver; a real hang is ended earlier by the suite's own watchdog, exit code 3).
# A test failure or a crash that Wine reported ends the run at once with its exit code.
# Usage: emulated-retry.sh LIMIT_SECONDS PROGRAM [ARGS...]
set -uo pipefail
limit=$1; shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
rc=1
attempts=3
for attempt in $(seq $attempts); do
  timeout --kill-after=10 "$limit" "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  [ "$rc" -eq 0 ] && exit 0
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] || grep -q -e 'qemu: uncaught target signal' -e 'wine client error' "$log"; then
    echo "== attempt $attempt of $attempts ended by the emulator, not the program (exit code $rc)"
    # A client that lost its server may have left the server in a bad state: the next run
    # starts with a fresh one for the same prefix.
    if [ -n "${WINEPREFIX:-}" ] && [ "$attempt" -lt "$attempts" ]; then
      /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
      /usr/lib/wine/wineserver -p 60 </dev/null >/dev/null 2>&1 || true
      /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
    fi
    continue
  fi
  exit "$rc"
done
exit "$rc"
