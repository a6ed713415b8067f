#!/usr/bin/env bash
# The main job, end to end under Wine: builds the x64 DLL, registers it in the project's
# Wine prefix with regsvr32, right-clicks a picture through the host program (which creates
# the registered class through COM, as the shell does), photographs the open submenu and
# applies a fitting mode.
# Usage: scripts/demo.sh [PICTURE] [MODE]    (defaults: samples/wide-lake.jpg Middle)
# Leaves in out/: menu.png (the submenu), Desktop Background.jpg, Wrenfly Framewise.ini.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
picture=$(realpath "${1:-samples/wide-lake.jpg}")
mode=${2:-Middle}

bash scripts/install-deps.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target Framewise framewise_host >/dev/null
scripts/wine-prefix.sh build/wineprefix
source scripts/wine-session.sh
wine_session_start "$here/build/wineprefix"
trap wine_session_stop EXIT

mkdir -p out
dll=$(WINEPREFIX=$WINEPREFIX /usr/lib/wine/wine64 winepath -w "$here/build/x86_64/Framewise.dll" 2>/dev/null)
/usr/lib/wine/wine64 regsvr32 /s "$dll" </dev/null >/dev/null 2>&1
echo "registered: $dll"
scripts/wine-exec.sh build/x86_64/framewise_host.exe "$picture" \
  --screenshot "Z:${here//\//\\}\\out\\menu.png" --invoke "$mode"
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Wrenfly Framewise"
[ -d "$data" ] || data=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/"Wrenfly Framewise" | head -1)
cp "$data/Desktop Background.jpg" "$data/Wrenfly Framewise.ini" out/
echo "out/: menu.png, Desktop Background.jpg, Wrenfly Framewise.ini"
