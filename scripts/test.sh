#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the native logic under
# sanitizers and both Windows DLLs, and runs every suite (native, Wine x64, Wine x86).
# Usage: scripts/test.sh [--quick]   (--quick skips the 32-bit suite)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
quick=0
[ "${1:-}" = "--quick" ] && quick=1

# Each step's time, printed as it ends and summed up at the end.
step_name="" step_start=$SECONDS times=()
step() {
  [ -z "$step_name" ] || times+=("$step_name $((SECONDS - step_start)) s")
  step_name=$1 step_start=$SECONDS
  [ -z "$1" ] || echo "== $1"
}

step "install"
bash scripts/install-deps.sh
jobs=$(nproc)

step "layers and layout"
bash scripts/check-layers.sh
bash scripts/check-format.sh

step "native build (ASan + UBSan) and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs" >/dev/null
ctest_log=$(mktemp)
trap 'rm -f "$ctest_log"' EXIT
(cd build/native && ctest --output-on-failure) | tee -a "$ctest_log"

archs=(x86_64)
[ $quick -eq 1 ] || archs+=(i686)
for arch in "${archs[@]}"; do
  step "cross build $arch"
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build/$arch" -j"$jobs" >/dev/null
done

step "help file and installer packages"
# The package carries the x86 DLL too: --quick builds just that target.
[ $quick -eq 0 ] || {
  cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/i686 -j"$jobs" --target Framewise >/dev/null
}
# Every shipped binary and package is signed, and each signature verified, on the way.
scripts/package.sh build/x86_64/Framewise.dll build/i686/Framewise.dll build/x86_64/package \
  | grep -F "Signature verification"

step "Wine prefix"
scripts/wine-prefix.sh build/wineprefix
source scripts/wine-session.sh
wine_session_start "$here/build/wineprefix"
trap 'wine_session_stop; rm -f "$ctest_log"' EXIT
status=0
for arch in "${archs[@]}"; do
  step "Wine tests $arch"
  # Under qemu-user (a machine without IA32 emulation) the 32-bit suite is slow: a long limit.
  if ! (cd "build/$arch" && timeout 3000 ctest --output-on-failure --timeout 2900) | tee -a "$ctest_log"; then
    status=1
  fi
done
step ""
echo "== times: ${times[*]/%/;} total $SECONDS s"
# One closing line for every suite: "N tests failed out of T" from each ctest run.
sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\)$/\1 \2/p' "$ctest_log" |
  awk -v status=$status '{ f += $1; t += $2 } END { if (status && !f) f = 1; printf "tests: %d passed, %d failed\n", t - f, f }'
exit $status
