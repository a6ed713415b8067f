# Sourced by the test scripts: an Xvfb screen and a warm wineserver for one test run.
# wine_session_start PREFIX; wine_session_stop.
wine_session_start() {
  export WINEPREFIX=$1 WINEDEBUG=-all DISPLAY=${FRAMEWISE_DISPLAY:-:91}
  export WINELOADER=/usr/lib/wine/wine64
  if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    FRAMEWISE_XVFB_PID=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
  fi
  # A persistent wineserver and a booted prefix make each test process start fast, and
  # keep Wine's helper processes from holding CTest's output pipe open.
  /usr/lib/wine/wineserver -p 60 </dev/null >/dev/null 2>&1 || true
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
  for p in "$WINEPREFIX" "$WINEPREFIX"-dpi*; do
    [ -d "$p" ] && WINEPREFIX=$p /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  done
  if [ -n "${FRAMEWISE_XVFB_PID:-}" ]; then kill "$FRAMEWISE_XVFB_PID" 2>/dev/null || true; fi
}
