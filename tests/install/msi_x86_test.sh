#!/usr/bin/env bash
# The 32-bit package (Framewise-x86.msi) under Wine, in a copy of the test prefix, with the
# 32-bit registry view that a 32-bit install writes:
#  - per machine: the files in the 32-bit program folder, the registry rows equal what the
#    32-bit regsvr32 writes for the installed DLL, the registered class makes a wallpaper
#    for a 32-bit client, and removing leaves the registry as it was;
#  - per user: the user's programs folder and classes, nothing per machine;
#  - an older package upgraded by the current one leaves one set of files and keys.
# Usage: msi_x86_test.sh PACKAGE_DIR HOST_X86_EXE X64_DLL X86_DLL
# Exit 77 (skipped) when the package has not been built (scripts/package.sh).
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
package=$(realpath -m "$1"); host=$(realpath "$2"); x64_dll=$(realpath "$3"); x86_dll=$(realpath "$4")
[ -f "$package/Framewise-x86.msi" ] || { echo "no package in $package: run scripts/package.sh"; exit 77; }

source "$here/tests/install/msi_common.sh"
REG_VIEW=32
W32=/usr/lib/wine/wine
install_dir() { echo "$WINEPREFIX/drive_c/Program Files (x86)/Wrenfly Framewise"; }
user_dir() { echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/Wrenfly Framewise"; }
msi_path=$(win_path "$package/Framewise-x86.msi")
machine_class() { wine reg query "HKLM\\Software\\Classes\\CLSID\\$CLSID" "$@" >/dev/null 2>&1; }

baseline=$(dump HKLM\\Software\\Classes)

echo "== per machine"
check "msiexec /i per machine" msi /i "$msi_path"
dir=$(install_dir)
check "files installed" test -f "$dir/Framewise.dll" -a -f "$dir/Framewise.chm"
check "nothing in the 64-bit program folder" test ! -e "$WINEPREFIX/drive_c/Program Files/Wrenfly Framewise"
check "installed DLL is the package's signed copy" cmp -s "$dir/Framewise.dll" "$package/wix/x86/Framewise.dll"
signing_root="$package/signing/signing.pem"
if [ -f "$signing_root" ]; then
  check "installed DLL's signature verifies" env FRAMEWISE_SIGN_CAFILE="$signing_root" bash "$here/scripts/sign.sh" verify "$dir/Framewise.dll"
fi
check "listed among installed programs" test "$(product_count)" -eq 1
dump HKLM\\Software\\Classes > "$tmp/msi-machine.txt"
grep -qF "$(win_path "$dir/Framewise.dll")" "$tmp/msi-machine.txt" || fail "InprocServer32 names the installed DLL"
check "class in the 32-bit view" machine_class /reg:32
check "no class in the 64-bit view" not machine_class /reg:64

# The registered class through COM, as a 32-bit program's file dialog creates it.
wallpaper="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Wrenfly Framewise/Desktop Background.jpg"
rm -f "$wallpaper"
cp "$here/samples/wide-lake.jpg" "$tmp/photo.jpg"
timeout 120 "$W32" "$host" "$(win_path "$tmp/photo.jpg")" --invoke Middle </dev/null >"$tmp/host.log" 2>&1 \
  || { cat "$tmp/host.log"; fail "32-bit host through CoCreateInstance"; }
check "wallpaper made by the registered class" test -s "$wallpaper"

check "msiexec /x" msi /x "$msi_path"
check "files removed" test ! -e "$dir"
check "registry back to what it was" test "$(dump HKLM\\Software\\Classes)" = "$baseline"
check "no longer listed" test "$(product_count)" -eq 0

echo "== the 32-bit regsvr32 of the same file, for comparison"
mkdir -p "$dir"
cp "$x86_dll" "$dir/Framewise.dll"
dll=$(win_path "$dir/Framewise.dll")
check "regsvr32" timeout 120 "$W32" regsvr32 /s "$dll"
dump HKLM\\Software\\Classes > "$tmp/regsvr32-machine.txt"
if diff "$tmp/regsvr32-machine.txt" "$tmp/msi-machine.txt" >"$tmp/diff.txt"; then
  echo "ok: package rows equal regsvr32's"
else
  cat "$tmp/diff.txt"; fail "package rows equal regsvr32's"
fi
check "regsvr32 /u" timeout 120 "$W32" regsvr32 /s /u "$dll"
rm -rf "$dir"

echo "== per user"
check "msiexec /i per user" msi /i "$msi_path" MSIINSTALLPERUSER=1
udir=$(user_dir)
check "files in the user's programs folder" test -f "$udir/Framewise.dll" -a -f "$udir/Framewise.chm"
check "nothing in the program folder" test ! -e "$(install_dir)"
check "no machine class" not machine_class /reg:32
user_class() { wine reg query "HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32" /ve | grep -qF 'Programs\Wrenfly Framewise\Framewise.dll'; }
check "user's class names the user's DLL" user_class
check "msiexec /x per user" msi /x "$msi_path" MSIINSTALLPERUSER=1
check "per-user files removed" test ! -e "$udir/Framewise.dll"
check "per-user rows removed" test -z "$(dump HKCU\\Software\\Classes)"

echo "== upgrade"
FRAMEWISE_NATIVE_BUILD=${FRAMEWISE_NATIVE_BUILD:-} bash "$here/scripts/package.sh" "$x64_dll" "$x86_dll" "$tmp/old" 0.9.0 >/dev/null \
  || fail "older package built"
check "older version installed" msi /i "$(win_path "$tmp/old/Framewise-x86.msi")"
check "current version over it" msi /i "$msi_path"
check "one product listed" test "$(product_count)" -eq 1
check "one set of files" test "$(find "$(install_dir)" -type f | wc -l)" -eq 2
check "one set of keys" diff -q "$tmp/msi-machine.txt" <(dump HKLM\\Software\\Classes)
check "msiexec /x after upgrade" msi /x "$msi_path"
check "registry clean after upgrade" test "$(dump HKLM\\Software\\Classes)" = "$baseline"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
