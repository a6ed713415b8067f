#!/usr/bin/env bash
# Installer tests under Wine, in a copy of the test prefix so that installs never touch the
# registry the other suites use:
#  - per machine: the registry rows equal what regsvr32 writes for the installed DLL, the
#    files are in place, the registered class makes a wallpaper through CoCreateInstance,
#    and uninstalling removes everything but what other programs own under shared keys;
#  - per user: the class rows under HKEY_CURRENT_USER\Software\Classes equal what
#    "regsvr32 /n /i:user" writes, nothing below HKEY_LOCAL_MACHINE;
#  - a user who is not an administrator gets the per-user install without asking;
#  - an older package upgraded by the current one leaves one set of files and keys;
#  - the sparse package: on a Windows 11 build (and only there) installing, regsvr32 and
#    removal run its registration with the install folder, per machine or per user, through
#    a stand-in PowerShell that records its command line; a failing one fails nothing;
#  - the installed program files and packages carry verified signatures.
# Usage: msi_test.sh PACKAGE_DIR HOST_EXE X64_DLL X86_DLL AS_STANDARD_USER_EXE POWERSHELL_STAND_IN
# Exit 77 (skipped) when the package has not been built (scripts/package.sh).
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
package=$(realpath -m "$1"); host=$(realpath "$2"); x64_dll=$(realpath "$3"); x86_dll=$(realpath "$4")
as_user=$(realpath "$5"); stand_in=$(realpath "$6")
[ -f "$package/Framewise.msi" ] || { echo "no package in $package: run scripts/package.sh"; exit 77; }

source "$here/tests/install/msi_common.sh"
install_dir() { echo "$WINEPREFIX/drive_c/Program Files/Wrenfly Framewise"; }
user_dir() { echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/Wrenfly Framewise"; }

msi_path=$(win_path "$package/Framewise.msi")

# The sparse package's registration step: Windows PowerShell's stand-in records each run.
ps_dir="$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0"
mkdir -p "$ps_dir"
cp "$stand_in" "$ps_dir/powershell.exe"
calls="$ps_dir/calls.log"
call_count() { [ -f "$calls" ] && grep -c . "$calls" || echo 0; }
# The script of call N (1-based), decoded from -EncodedCommand.
script_of() { sed -n "${1}p" "$calls" | sed 's/.*-EncodedCommand //' | tr -d '\r\n' | base64 -d | iconv -f UTF-16LE -t UTF-8; }
last_script() { script_of "$(call_count)"; }
last_script_has() { last_script | grep -qF -- "$1"; }
call_has() { script_of "$1" | grep -qF -- "$2"; }
last_script_lacks() { ! last_script | grep -qF -- "$1"; }
# The version Wine reports: Wine 8's table of names ends at "win10" (a Version of
# "win11" under HKCU\Software\Wine is ignored), and without a Version it reads
# CurrentVersion and CurrentBuildNumber below HKLM\...\Windows NT\CurrentVersion, which
# RtlGetVersion then returns (measured: "10.0" and 22000 give 10.0.22000).
windows_build() {
  local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
  wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
  wine reg add "$key" /v CurrentVersion /d "$1" /f >/dev/null
  wine reg add "$key" /v CurrentBuildNumber /d "$2" /f >/dev/null
  wine reg add "$key" /v CurrentBuild /d "$2" /f >/dev/null
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true   # processes read it when they start
  /usr/lib/wine/wineserver -p 30 </dev/null >/dev/null 2>&1 || true
}
windows_10() { windows_build 10.0 19045; }
windows_11() { windows_build 10.0 22000; }
windows_7() { windows_build 6.1 7601; }
windows_10

# Other programs' entries under the shared keys: uninstalling must keep them.
wine reg add "HKLM\\Software\\Classes\\$HANDLERS\\Other Handler" /ve /d '{00000000-0000-0000-0000-000000000001}' /f >/dev/null
wine reg add "$APPROVED" /v '{00000000-0000-0000-0000-000000000001}' /d 'Other' /f >/dev/null
baseline=$(dump HKLM\\Software\\Classes)

echo "== per machine"
log="$WINEPREFIX/drive_c/framewise-install.log"
check "msiexec /i per machine" msi /i "$msi_path" /l*v "$(win_path "$log")"
# The shell is told of the new handler by the installed DLL, after the rows are written.
# The log may be ANSI or UTF-16: search both readings.
logged() {
  { cat "$log"; iconv -f UTF-16LE -t UTF-8 "$log" 2>/dev/null; } > "$log.txt" || true
  grep -aq "$1" "$log.txt"
}
check "shell notified after install" logged "NotifyShellInstalled"
rm -f "$log"
dir=$(install_dir)
check "files installed" test -f "$dir/Framewise.dll" -a -f "$dir/Framewise.chm" -a -f "$dir/x86/Framewise.dll" -a -f "$dir/x86/Framewise.chm" \
  -a -f "$dir/Framewise.exe" -a -f "$dir/Framewise.msix" -a -f "$dir/Assets/Square44x44Logo.png"
check "installed DLL is the package's signed copy" cmp -s "$dir/Framewise.dll" "$package/wix/x64/Framewise.dll"
# CI signs with a throwaway certificate (package.sh), a release with a real one.
signing_root="$package/signing/signing.pem"
if [ -f "$signing_root" ]; then
  check "installed files' signatures verify" env FRAMEWISE_SIGN_CAFILE="$signing_root" bash "$here/scripts/sign.sh" verify \
    "$dir/Framewise.dll" "$dir/x86/Framewise.dll" "$dir/Framewise.exe" "$dir/Framewise.msix"
fi
check "no package step before Windows 11" test "$(call_count)" -eq 0
check "listed among installed programs" test "$(product_count)" -eq 1
dump HKLM\\Software\\Classes > "$tmp/msi-machine.txt"
check "x86 class in the 32-bit view" bash -c "$(declare -f wine); W=$W; wine reg query 'HKLM\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32' /ve /reg:32 | grep -qF 'Wrenfly Framewise\\x86\\Framewise.dll'"
grep -qF "$(win_path "$dir/Framewise.dll")" "$tmp/msi-machine.txt" || fail "InprocServer32 names the installed DLL"

# The registered class through COM, as the shell creates it: it makes a wallpaper.
wallpaper="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Wrenfly Framewise/Desktop Background.jpg"
rm -f "$wallpaper"
cp "$here/samples/wide-lake.jpg" "$tmp/photo.jpg"
timeout 120 "$W" "$host" "$(win_path "$tmp/photo.jpg")" --invoke Middle </dev/null >"$tmp/host.log" 2>&1 \
  || { cat "$tmp/host.log"; fail "host through CoCreateInstance"; }
check "wallpaper made by the registered class" test -s "$wallpaper"

check "msiexec /x" msi /x "$msi_path" /l*v "$(win_path "$log")"
check "shell notified after removal" logged "NotifyShellRemoved"
check "files removed" test ! -e "$dir"
check "registry back to what it was" test "$(dump HKLM\\Software\\Classes)" = "$baseline"
check "others' handler kept" wine reg query "HKLM\\Software\\Classes\\$HANDLERS\\Other Handler"
check "others' approval kept" wine reg query "$APPROVED" /v '{00000000-0000-0000-0000-000000000001}'
check "no longer listed" test "$(product_count)" -eq 0

echo "== regsvr32 of the same file, for comparison"
mkdir -p "$dir"
cp "$x64_dll" "$dir/Framewise.dll"
dll=$(win_path "$dir/Framewise.dll")
check "regsvr32" wine regsvr32 /s "$dll"
dump HKLM\\Software\\Classes > "$tmp/regsvr32-machine.txt"
if diff "$tmp/regsvr32-machine.txt" "$tmp/msi-machine.txt" >"$tmp/diff.txt"; then
  echo "ok: package rows equal regsvr32's"
else
  cat "$tmp/diff.txt"; fail "package rows equal regsvr32's"
fi
check "regsvr32 /u" wine regsvr32 /s /u "$dll"

echo "== per user"
check "regsvr32 /n /i:user" wine regsvr32 /s /n /i:user "$dll"
dump HKCU\\Software\\Classes > "$tmp/regsvr32-user.txt"
check "no approval per user (regsvr32)" bash -c "! grep -qF '$CLSID    REG_SZ' '$tmp/regsvr32-user.txt'"
check "no machine class (regsvr32)" bash -c "! $W reg query 'HKLM\\Software\\Classes\\CLSID\\$CLSID' >/dev/null 2>&1"
check "regsvr32 /u /n /i:user" wine regsvr32 /s /u /n /i:user "$dll"
rm -rf "$dir"
# Asked for on the command line as on Windows: the package's own scope choice turns
# MSIINSTALLPERUSER=1 into an empty ALLUSERS (Wine's installer does not know the property).
check "msiexec /i per user" msi /i "$msi_path" MSIINSTALLPERUSER=1
udir=$(user_dir)
check "files in the user's programs folder" test -f "$udir/Framewise.dll" -a -f "$udir/Framewise.chm"
check "nothing in Program Files" test ! -e "$(install_dir)"
dump HKCU\\Software\\Classes > "$tmp/msi-user.txt"
check "no machine class (package)" bash -c "! $W reg query 'HKLM\\Software\\Classes\\CLSID\\$CLSID' >/dev/null 2>&1"
# Same rows as regsvr32 /i:user, the path aside. Wine keeps one view of the user's classes
# (Windows keeps 32-bit CLSID keys apart), so there the x86 DLL's InprocServer32 row lands
# on the x64 one's: that line is left out of the comparison.
sed "s|$(win_path "$udir/Framewise.dll" | sed 's/[\\.]/\\&/g')|MODULE|; s|$(win_path "$udir" | sed 's/[\\.]/\\&/g')\\\\|DIR\\\\|" "$tmp/msi-user.txt" > "$tmp/a.txt"
sed "s|$(win_path "$(install_dir)/Framewise.dll" | sed 's/[\\.]/\\&/g')|MODULE|; s|$(win_path "$(install_dir)" | sed 's/[\\.]/\\&/g')\\\\|DIR\\\\|" "$tmp/regsvr32-user.txt" > "$tmp/b.txt"
sed -i '/DIR\\x86\\Framewise.dll/d' "$tmp/a.txt"; sed -i '/REG_SZ    MODULE$/d' "$tmp/a.txt" "$tmp/b.txt"
if diff "$tmp/b.txt" "$tmp/a.txt" >"$tmp/diff.txt"; then echo "ok: per-user rows equal regsvr32 /i:user's"; else cat "$tmp/diff.txt"; fail "per-user rows equal regsvr32 /i:user's"; fi
check "msiexec /x per user" msi /x "$msi_path" MSIINSTALLPERUSER=1
check "per-user files removed" test ! -e "$udir/Framewise.dll"
left=$(dump HKCU\\Software\\Classes)
[ -z "$left" ] || echo "$left"
check "per-user rows removed" test -z "$left"

echo "== a user who is not an administrator"
# Wine runs everyone as an administrator: the helper runs the package as Windows does for a
# standard user (AdminUser unset), and the package must choose a per-user install itself.
standard_user() { timeout 120 "$W" "$as_user" "$msi_path" "$1" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
check "install as a standard user" standard_user install
check "installed per user" test -f "$udir/Framewise.dll" -a ! -e "$(install_dir)"
check "same rows as asked-for per user" diff "$tmp/msi-user.txt" <(dump HKCU\\Software\\Classes)
check "nothing per machine" bash -c "! $W reg query 'HKLM\\Software\\Classes\\CLSID\\$CLSID' >/dev/null 2>&1 && ! $W reg query '$APPROVED' /v '$CLSID' >/dev/null 2>&1"
check "remove as a standard user" standard_user remove
check "standard user's install removed" test ! -e "$udir/Framewise.dll" -a -z "$(dump HKCU\\Software\\Classes)"

echo "== Windows 11: the sparse package"
windows_11
installed="$(win_path "$(install_dir)")"; installed=${installed%\\}
before=$(call_count)
check "msiexec /i per machine (Windows 11)" msi /i "$msi_path" /l*v "$(win_path "$log")"
check "registered for the machine and the installing user" test "$(call_count)" -eq $((before + 2))
check "the installing user gets it now" last_script_has "Add-AppxPackage -Path '$installed\\Framewise.msix' -ExternalLocation '$installed'"
script_of $((before + 1)) > "$tmp/script.txt"
check "staged from the installed package" grep -qF "StagePackageByUriAsync([Uri]'$installed\\Framewise.msix', \$options)" "$tmp/script.txt"
check "external location: the install folder" grep -qF "ExternalLocationUri = [Uri]'$installed'" "$tmp/script.txt"
check "provisioned for every user" grep -qF 'ProvisionPackageForAllUsersAsync' "$tmp/script.txt"
check "registration logged" logged "the package step succeeded"
rm -f "$log"
check "msiexec /x per machine (Windows 11)" msi /x "$msi_path"
check "one removal per machine" test "$(call_count)" -eq $((before + 3))
check "removed for every user" last_script_has "Get-AppxPackage -AllUsers -Name 'Wrenfly.Framewise' | Remove-AppxPackage -AllUsers"

check "msiexec /i per user (Windows 11)" msi /i "$msi_path" MSIINSTALLPERUSER=1
user_installed="$(win_path "$(user_dir)")"; user_installed=${user_installed%\\}
check "per-user registration with the user's folder" last_script_has "Add-AppxPackage -Path '$user_installed\\Framewise.msix' -ExternalLocation '$user_installed'"
check "msiexec /x per user (Windows 11)" msi /x "$msi_path" MSIINSTALLPERUSER=1
check "per-user removal" last_script_has "Get-AppxPackage -Name 'Wrenfly.Framewise' | Remove-AppxPackage"
check "per-user removal leaves other users alone" last_script_lacks "AllUsers"

# A folder whose name has an apostrophe, registered by regsvr32 for the user: the path
# reaches PowerShell quoted.
odd="$WINEPREFIX/drive_c/O'Brien Apps"
mkdir -p "$odd"
cp "$package/wix/x64/Framewise.dll" "$package/Framewise.msix" "$odd/"
odd_win="$(win_path "$odd")"; odd_win=${odd_win%\\}
check "regsvr32 /n /i:user (Windows 11)" wine regsvr32 /s /n /i:user "$odd_win\\Framewise.dll"
odd_quoted=${odd_win//\'/\'\'}
check "regsvr32 registers with the folder quoted" last_script_has "Add-AppxPackage -Path '$odd_quoted\\Framewise.msix' -ExternalLocation '$odd_quoted'"
before=$(call_count)
check "regsvr32 /u /n /i:user (Windows 11)" wine regsvr32 /s /u /n /i:user "$odd_win\\Framewise.dll"
check "regsvr32 removes it" test "$(call_count)" -eq $((before + 1))
rm -rf "$odd"

echo "== a failing registration step"
touch "$ps_dir/fail"
check "install succeeds anyway" msi /i "$msi_path" /l*v "$(win_path "$log")"
check "failure logged with PowerShell's words" logged "0x80073CF3"
check "failure logged" logged "the package step failed"
check "classic entry registered" wine reg query "HKLM\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32"
rm -f "$log"
check "removal succeeds anyway" msi /x "$msi_path"
check "files removed after a failing step" test ! -e "$dir"
rm -f "$ps_dir/fail"

echo "== Windows 7: nothing changes"
windows_7
before=$(call_count)
check "msiexec /i (Windows 7)" msi /i "$msi_path"
check "msiexec /x (Windows 7)" msi /x "$msi_path"
check "no package step on Windows 7" test "$(call_count)" -eq "$before"
windows_11

echo "== upgrade"
FRAMEWISE_NATIVE_BUILD=${FRAMEWISE_NATIVE_BUILD:-} bash "$here/scripts/package.sh" "$x64_dll" "$x86_dll" "$tmp/old" 0.9.0 >/dev/null \
  || fail "older package built"
check "older version installed" msi /i "$(win_path "$tmp/old/Framewise.msi")"
before=$(call_count)
check "current version over it" msi /i "$msi_path"
# The old product goes first and the new version's registration comes last. Windows sets
# UPGRADINGPRODUCTCODE while it removes the old product, which then keeps its package
# until the new registration replaces it; Wine's installer does not set it (measured: the
# removal step runs), so a removal may come before.
registrations=0
for n in $(seq $((before + 1)) "$(call_count)"); do
  script_of "$n" | grep -qF StagePackageByUriAsync && registrations=$((registrations + 1))
done
check "upgrade registers the new package once" test "$registrations" -eq 1
check "the upgrade ends with the machine's registration" call_has $(($(call_count) - 1)) StagePackageByUriAsync
check "and the installing user's" last_script_has "Add-AppxPackage -Path"
check "one product listed" test "$(product_count)" -eq 1
check "one set of files" test "$(find "$(install_dir)" -type f | wc -l)" -eq 9
dump HKLM\\Software\\Classes > "$tmp/upgraded.txt"
check "one set of keys" diff -q "$tmp/msi-machine.txt" "$tmp/upgraded.txt"
check "msiexec /x after upgrade" msi /x "$msi_path"
check "registry clean after upgrade" test "$(dump HKLM\\Software\\Classes)" = "$baseline"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
