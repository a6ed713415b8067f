#!/usr/bin/env bash
# Creates the Wine prefix used by the tests of one build tree, once; later calls reuse it.
# Usage: wine-prefix.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "$1")
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER=/usr/lib/wine/wine64
if [ ! -f "$prefix/.framewise-ready" ]; then
  mkdir -p "$prefix"
  /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  # Wine started as wine64 does not see the fonts of Debian's package: give it Tahoma.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/tahoma*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  touch "$prefix/.framewise-ready"
fi
# Without a window manager under Xvfb, Wine waits two seconds for every managed window
# (a dialog frame, say) to be withdrawn when it closes: let Wine place windows itself.
if [ ! -f "$prefix/.framewise-unmanaged" ]; then
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$prefix/.framewise-unmanaged"
fi
# A crashing test program must end at once: without this Wine starts its debugger, which
# under qemu-user never finishes, and the suite would sit out its whole time limit.
if [ ! -f "$prefix/.framewise-nodebugger" ]; then
  for view in 64 32; do
    /usr/lib/wine/wine64 reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /f /reg:$view </dev/null >/dev/null 2>&1 || true
  done
  /usr/lib/wine/wineserver -w
  touch "$prefix/.framewise-nodebugger"
fi

