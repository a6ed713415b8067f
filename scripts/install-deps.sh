#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build and test the
# project. Idempotent; quiet when everything is already there.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  cmake make python3 python3-pil colord-data libjxr-tools clang-format
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64
  googletest
  wine wine64 wine32:i386 libwine-dev
  fonts-wine xvfb xauth x11-utils
  qemu-user
  msitools wixl fp-utils
  osslsigncode openssl python3-cryptography
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync serves an index newer than its signed release file, and apt
  # refuses it (seen for the i386 security index): without it the i386 libraries cannot
  # match the amd64 ones and wine32 does not install. After a second try, such an index is
  # taken as the mirror serves it, with a warning; the packages are then checked against it.
  update_log=$(mktemp)
  if ! { $SUDO apt-get update -qq 2>&1 || { sleep 20; $SUDO apt-get update -qq 2>&1; }; } >"$update_log"; then
    cat "$update_log" >&2
    grep -oE "Failed to fetch http://[^ ]+/Packages\.xz +File has unexpected size" "$update_log" |
      awk '{print $4}' | sort -u | while read -r url; do
        list=/var/lib/apt/lists/$(echo "${url#http://}" | sed 's|/|_|g; s|\.xz$||')
        echo "warning: using the index as the mirror serves it: $url" >&2
        python3 -c 'import lzma, sys, urllib.request; sys.stdout.buffer.write(lzma.decompress(urllib.request.urlopen(sys.argv[1], timeout=120).read()))' \
          "$url" | $SUDO tee "$list" >/dev/null || $SUDO rm -f "$list"
      done
  fi
  rm -f "$update_log"
  [ ${#missing[@]} -eq 0 ] || $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Signing the .msix needs osslsigncode 2.9 or later (APPX support came in 2.7, the central
# directory order Windows expects in 2.9): Debian 12 has it in bookworm-backports.
if ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' osslsigncode)" ge 2.9; then
  echo "warning: osslsigncode older than 2.9: install it from bookworm-backports" \
       "(apt-get install -t bookworm-backports osslsigncode)" >&2
fi

# 32-bit Wine: run directly where the kernel runs i386 code itself (IA32 emulation), else
# through qemu-user. The project's own binfmt rule catches every i386 ELF before the kernel
# does, so it is switched off before the probe and only brought back when the probe fails.
# FRAMEWISE_I386_MODE=qemu forces the emulated path (to test it on a machine that needs none).
binfmt=/proc/sys/fs/binfmt_misc
rule=$binfmt/framewise-i386
if [ ! -e "$binfmt/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
fi
if [ -e "$rule" ] && [ "${FRAMEWISE_I386_MODE:-}" != qemu ]; then
  echo 0 | $SUDO tee "$rule" >/dev/null || true
fi
if [ "${FRAMEWISE_I386_MODE:-}" != qemu ] && [ "$(bash "$(dirname "$0")/i386-mode.sh")" = native ]; then
  echo "32-bit programs: native (the kernel runs i386 code; no qemu rule)"
elif [ -e "$rule" ]; then
  echo 1 | $SUDO tee "$rule" >/dev/null || true
  echo "32-bit programs: through qemu-user (the project's binfmt rule)"
elif [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
  qemu=/usr/bin/qemu-i386
  [ -x "$qemu" ] || qemu=/usr/bin/qemu-i386-static
  printf '%s' ":framewise-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:${qemu}:OCF" \
    | $SUDO tee "$binfmt/register" >/dev/null || echo "warning: could not register i386 binfmt rule" >&2
  echo "32-bit programs: through qemu-user (the project's binfmt rule, registered now)"
else
  echo "32-bit programs: through the system's qemu-i386 rule"
fi
