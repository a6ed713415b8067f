#!/usr/bin/env bash
# Builds the help file and the installer packages: Framewise.chm, Framewise.msi (64-bit
# Windows: the x64 DLL and the x86 DLL for 32-bit hosts) and Framewise-x86.msi (32-bit
# Windows). The registry rows come from the DLL's registration scripts through the native
# tool registry_wix, so the package writes what the DLL's own registration writes.
# Usage: scripts/package.sh X64_DLL X86_DLL OUT_DIR [VERSION]
#   VERSION defaults to the project's version; the upgrade test builds an older one.
# Environment: FRAMEWISE_NATIVE_BUILD (default build/native), where registry_wix is built.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
x64_dll=$(realpath "$1"); x86_dll=$(realpath "$2"); out=$(realpath -m "$3")
version=${4:-$(sed -n 's/^project(Framewise VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")}
native=${FRAMEWISE_NATIVE_BUILD:-$here/build/native}
app_id='{4613C8E4-E712-441C-BAC2-1372D7E8F939}'

cmake -S "$here" -B "$native" >/dev/null
cmake --build "$native" --target registry_wix >/dev/null
tool="$native/registry_wix"

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
mkdir -p "$work/x64" "$work/x86"
cp "$x64_dll" "$work/x64/Framewise.dll"
cp "$x86_dll" "$work/x86/Framewise.dll"
cp "$out/Framewise.chm" "$work/Framewise.chm"
cp "$here/installer/Framewise.wxs" "$work/"

# build ARCH MSI_NAME
build() {
  local arch=$1 msi="$out/$2"
  rm -f "$msi"
  (cd "$work" && wixl -a "$arch" -I . -D Arch="$arch" -D Version="$version" \
    -D Dll64=x64/Framewise.dll -D Dll86=x86/Framewise.dll -D Chm=Framewise.chm -o "$msi" Framewise.wxs)
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
}
build x64 Framewise.msi
build x86 Framewise-x86.msi
echo "$out: Framewise.msi Framewise-x86.msi Framewise.chm (version $version)"
