#!/usr/bin/env bash
# Builds the help file, the sparse package and the installer packages: Framewise.chm,
# Framewise.msix (Windows 11's context-menu entry: the manifest and logos; the files it
# names are the install folder's), Framewise.msi (64-bit Windows: the x64 DLL, Framewise.exe,
# the .msix and the x86 DLL for 32-bit hosts) and Framewise-x86.msi (32-bit Windows). The
# registry rows come from the DLL's registration scripts through the native tool
# registry_wix, so the package writes what the DLL's own registration writes.
# Everything shipped is signed (scripts/sign.sh): the PE files before they go into a
# package, the packages once built; each signature is then verified.
# Usage: scripts/package.sh X64_DLL X86_DLL OUT_DIR [VERSION]
#   VERSION defaults to the project's version; the upgrade test builds an older one.
# Environment: FRAMEWISE_NATIVE_BUILD (default build/native), where the native tools are
#   built; FRAMEWISE_EXE (default: Framewise.exe beside X64_DLL); the signing variables of
#   scripts/sign.sh. Without FRAMEWISE_SIGN_PFX a throwaway self-signed certificate is made
#   in OUT_DIR/signing, as CI does.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
x64_dll=$(realpath "$1"); x86_dll=$(realpath "$2"); out=$(realpath -m "$3")
version=${4:-$(sed -n 's/^project(Framewise VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")}
native=${FRAMEWISE_NATIVE_BUILD:-$here/build/native}
exe=$(realpath -m "${FRAMEWISE_EXE:-$(dirname "$x64_dll")/Framewise.exe}")
[ -f "$exe" ] || { echo "package.sh: no $exe (the Framewise.exe target of the x64 build)" >&2; exit 1; }
app_id='{4613C8E4-E712-441C-BAC2-1372D7E8F939}'
python=/usr/bin/python3
sign="$here/scripts/sign.sh"

cmake -S "$here" -B "$native" >/dev/null
cmake --build "$native" --target registry_wix package_manifest >/dev/null
tool="$native/registry_wix"

if [ -z "${FRAMEWISE_SIGN_PFX:-}" ]; then
  eval "export $("$sign" certificate "$out/signing")"
fi

work="$out/wix"
rm -rf "$work"
mkdir -p "$work/help"

# The help file: chmcmd writes it beside the project file.
cp -r "$here/resources/help/." "$work/help/"
(cd "$work/help" && chmcmd framewise.hhp >/dev/null 2>&1) || { echo "chmcmd failed" >&2; exit 1; }
cp "$work/help/Framewise.chm" "$out/Framewise.chm"

scripts=("$here/resources/appid.rgs" "$here/resources/imagefilecontextmenu.rgs")
# rows ARCH FILE_ID DIRECTORY_ID: the includes of one DLL's component.
rows() {
  local arch=$1 file=$2 dir=$3
  "$tool" --root HKCR --wix-root HKMU --key-prefix 'Software\Classes\' --id-prefix "Classes_$arch" \
    --define "APPID=$app_id" --formatted "MODULE=[#$file]" -o "$work/classes-$arch.wxi" "${scripts[@]}"
  "$tool" --root HKLM --wix-root HKLM --id-prefix "Machine_$arch" \
    --define "APPID=$app_id" --formatted "MODULE=[#$file]" -o "$work/machine-$arch.wxi" "${scripts[@]}"
  "$tool" --root HKCR --wix-root HKMU --key-prefix 'Software\Classes\' --id-prefix "TypeLib_$arch" \
    --formatted "MODULE=[#$file]" --formatted "MODULEDIR=[$dir]" \
    -o "$work/typelib-$arch.wxi" "$here/installer/typelib.rgs"
}
rows x64 Framewise64.dll INSTALLDIR
rows x86 Framewise86.dll INSTALLDIR86

# wixl finds the files by names relative to its working directory.
mkdir -p "$work/x64" "$work/x86" "$work/Assets"
cp "$x64_dll" "$work/x64/Framewise.dll"
cp "$x86_dll" "$work/x86/Framewise.dll"
cp "$exe" "$work/x64/Framewise.exe"
cp "$out/Framewise.chm" "$work/Framewise.chm"
cp "$here/installer/Framewise.wxs" "$work/"
"$sign" sign "$work/x64/Framewise.dll" "$work/x86/Framewise.dll" "$work/x64/Framewise.exe"

# The sparse package: its Publisher is the signing certificate's subject, as Windows
# writes it; the same logos go into the package and beside the program (the external
# location), where Windows looks for what a sparse package names.
"$sign" subject "$work/signing.pem"
publisher=$("$python" "$here/scripts/msix.py" publisher "$work/signing.pem")
"$native/package_manifest" --version "$version.0" --publisher "$publisher" \
  -o "$work/AppxManifest.xml" "$here/installer/AppxManifest.xml.in"
logos=()
echo '<Include>' > "$work/assets.wxi"
for logo in "$here"/resources/package/*.png; do
  name=$(basename "$logo")
  cp "$logo" "$work/Assets/"
  logos+=("Assets/$name=$logo")
  echo "  <File Id=\"Asset_${name%.png}\" Name=\"$name\" Source=\"Assets/$name\"/>" >> "$work/assets.wxi"
done
echo '</Include>' >> "$work/assets.wxi"
"$python" "$here/scripts/msix.py" pack "$work/Framewise.msix" "$work/AppxManifest.xml" "${logos[@]}"
"$sign" sign "$work/Framewise.msix"
cp "$work/Framewise.msix" "$out/Framewise.msix"

# build ARCH MSI_NAME
build() {
  local arch=$1 msi="$out/$2"
  rm -f "$msi"
  (cd "$work" && wixl -a "$arch" -I . -D Arch="$arch" -D Version="$version" \
    -D Dll64=x64/Framewise.dll -D Dll86=x86/Framewise.dll -D Chm=Framewise.chm \
    -D Exe=x64/Framewise.exe -D Msix=Framewise.msix -o "$msi" Framewise.wxs)
  # wixl writes root 4 for HKMU, which Windows Installer does not know: -1 is "HKLM for a
  # per-machine install, HKCU for a per-user one". It has no component conditions either:
  # the approved-extensions list is written only per machine.
  msibuild "$msi" -q "UPDATE \`Registry\` SET \`Root\` = -1 WHERE \`Root\` = 4"
  local component
  for component in Approved64 Approved86; do
    msibuild "$msi" -q "UPDATE \`Component\` SET \`Condition\` = 'ALLUSERS' WHERE \`Component\` = '$component'"
  done
  # The shell is told that associations changed once the rows are written (install) or
  # removed (uninstall, while the DLL is still there): a deferred call (type 17 + 1024) of
  # the installed DLL's NotifyShellOfAssociations, between the registry and file steps.
  local dll_key=Framewise64.dll
  [ "$arch" = x64 ] || dll_key=Framewise86.dll
  msibuild "$msi" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('NotifyShellInstalled', 1041, '$dll_key', 'NotifyShellOfAssociations')"
  msibuild "$msi" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('NotifyShellRemoved', 1041, '$dll_key', 'NotifyShellOfAssociations')"
  msibuild "$msi" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('NotifyShellRemoved', 'REMOVE=\"ALL\"', 2650)"
  msibuild "$msi" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('NotifyShellInstalled', 'NOT REMOVE', 5050)"
  # An older version goes before this one is installed (wixl puts RemoveExistingProducts
  # after InstallFinalize and has no Schedule attribute): one product's files and
  # registrations at a time.
  msibuild "$msi" -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1410 WHERE \`Action\` = 'RemoveExistingProducts'"
  [ "$arch" = x64 ] && package_actions "$msi"
  "$sign" sign "$msi"
}

# The sparse package (x64 only, Windows 11 only: the DLL decides) is registered after the
# files are in place and removed while they still are, by deferred calls of the installed
# DLL: type 17 + 1024, + 64 so that a failure never fails the install (the DLL logs it),
# + 2048 per machine so that it runs as the system, which provisioning needs; the user's
# registration runs as the user who installs, per user and per machine alike (provisioning
# reaches an account only when Windows next prepares its apps). In an upgrade the old product is removed first; its package stays
# (UPGRADINGPRODUCTCODE is set then) until the new version's registration replaces it, so
# a failed new registration still leaves a working entry.
package_actions() {
  local msi=$1 row
  for row in "RegisterPackageForMachine 3153 ALLUSERS AND NOT REMOVE 5060" \
             "RegisterPackageForUser 1105 NOT REMOVE 5061" \
             "RemovePackageForMachine 3153 ALLUSERS AND REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE 2640" \
             "RemovePackageForUser 1105 NOT ALLUSERS AND REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE 2641"; do
    local action=${row%% *} rest=${row#* }
    local type=${rest%% *} condition=${rest#* }
    local sequence=${condition##* }; condition=${condition% *}
    msibuild "$msi" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('$action', $type, 'Framewise64.dll', '$action')"
    msibuild "$msi" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('$action', '$condition', $sequence)"
  done
}
build x64 Framewise.msi
build x86 Framewise-x86.msi

# Every signature, as a user's Windows would check it (CI: against the throwaway root).
"$sign" verify "$work/x64/Framewise.dll" "$work/x86/Framewise.dll" "$work/x64/Framewise.exe" \
  "$out/Framewise.msix" "$out/Framewise.msi" "$out/Framewise-x86.msi"
echo "$out: Framewise.msi Framewise-x86.msi Framewise.msix Framewise.chm (version $version)"
