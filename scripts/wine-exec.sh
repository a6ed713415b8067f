#!/usr/bin/env bash
# Runs one Windows program of the build under Wine: the test prefix, the Xvfb display,
# and the loader of the program's architecture (the 32-bit one runs through qemu-user).
# Environment: WINEPREFIX (default: build/wineprefix of this checkout), DISPLAY (default :91),
# FRAMEWISE_WINE_LOADER (default: chosen from the program's PE header), FRAMEWISE_DPI.
set -euo pipefail
exe=$1; shift
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export DISPLAY=${DISPLAY:-:91}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
loader=${FRAMEWISE_WINE_LOADER:-}
if [ -z "$loader" ]; then
  # PE machine field: 0x8664 for x64, 0x14c for x86.
  off=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
  machine=$(od -An -tx2 -j$((off + 4)) -N2 "$exe" | tr -d ' ')
  if [ "$machine" = "8664" ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
fi
export WINELOADER=$loader
if [ -n "${FRAMEWISE_DPI:-}" ]; then
  # A copy of the prefix with another screen resolution, made once per value.
  dpi_prefix="$WINEPREFIX-dpi$FRAMEWISE_DPI"
  if [ ! -f "$dpi_prefix/.framewise-ready" ]; then
    rm -rf "$dpi_prefix"
    cp -a "$WINEPREFIX" "$dpi_prefix"
    WINEPREFIX=$dpi_prefix /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$FRAMEWISE_DPI" /f >/dev/null 2>&1
    WINEPREFIX=$dpi_prefix /usr/lib/wine/wine64 reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels /t REG_DWORD /d "$FRAMEWISE_DPI" /f >/dev/null 2>&1
    WINEPREFIX=$dpi_prefix /usr/lib/wine/wineserver -w
  fi
  export WINEPREFIX=$dpi_prefix
fi
exec "$loader" "$exe" "$@"
