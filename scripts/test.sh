#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the native logic under
# sanitizers and both Windows DLLs, and runs every suite (native, Wine x64, Wine x86).
# Usage: scripts/test.sh [--quick]   (--quick skips the 32-bit suite)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
quick=0
[ "${1:-}" = "--quick" ] && quick=1

bash scripts/install-deps.sh
jobs=$(nproc)

echo "== layers"
bash scripts/check-layers.sh

echo "== native build (ASan + UBSan)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs" >/dev/null
(cd build/native && ctest --output-on-failure)

archs=(x86_64)
[ $quick -eq 1 ] || archs+=(i686)
for arch in "${archs[@]}"; do
  echo "== cross build $arch"
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build/$arch" -j"$jobs" >/dev/null
done

echo "== help file and installer packages"
# The package carries the x86 DLL too: --quick builds just that target.
[ $quick -eq 0 ] || {
  cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/i686 -j"$jobs" --target Framewise >/dev/null
}
# Every shipped binary and package is signed, and each signature verified, on the way.
scripts/package.sh build/x86_64/Framewise.dll build/i686/Framewise.dll build/x86_64/package \
  | grep -F "Signature verification"

echo "== Wine tests"
scripts/wine-prefix.sh build/wineprefix
source scripts/wine-session.sh
wine_session_start "$here/build/wineprefix"
trap wine_session_stop EXIT
status=0
for arch in "${archs[@]}"; do
  # The 32-bit suite runs through qemu-user: slow to start, so one process and a long limit.
  (cd "build/$arch" && timeout 3000 ctest --output-on-failure --timeout 2900) || status=1
done
exit $status
