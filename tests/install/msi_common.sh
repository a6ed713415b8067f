# Sourced by the installer tests: a copy of the test prefix for the installs (so they never
# touch the registry the other suites use), the check helpers and the registration's keys.
# Expects: here (the checkout). Sets: WINEPREFIX, W (the 64-bit loader), tmp, failures.
# REG_VIEW=32 makes dump read the 32-bit registry view.
source_prefix=${WINEPREFIX:-$here/build/wineprefix}
export WINEPREFIX="$source_prefix-msi" WINELOADER=/usr/lib/wine/wine64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=${DISPLAY:-:91}
W=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
cp -a "$source_prefix" "$WINEPREFIX"
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX" "$tmp"' EXIT
/usr/lib/wine/wineserver -p 30 </dev/null >/dev/null 2>&1 || true
tmp=$(mktemp -d)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }
wine() { timeout 120 "$W" "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
win_path() { wine winepath -w "$1"; }

CLSID='{9E98A0EF-181B-4833-950B-95810A938222}'
APPID='{4613C8E4-E712-441C-BAC2-1372D7E8F939}'
LIBID='{63685362-1E83-4D50-AC29-EE4E7F96C829}'
IID='{A7799CA2-F25B-4D21-990E-D07E416F0388}'
APPROVED='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
HANDLERS='SystemFileAssociations\image\ShellEx\ContextMenuHandlers'
# The class keys the registration writes, below a classes root.
class_keys=("AppID\\$APPID" 'AppID\Framewise.DLL' 'Framewise.ImageFileContextMenu.1'
  'Framewise.ImageFileContextMenu' "CLSID\\$CLSID" "$HANDLERS" "TypeLib\\$LIBID" "Interface\\$IID")
# The extensions the entry is registered for one by one (those Windows does not mark as
# pictures), as the registration script names them: each one's whole key below
# SystemFileAssociations is compared, read with one query of that key.
own_types=$(grep -oP "^\t\t'\K\.[a-z0-9]+(?=')" "$here/resources/imagefilecontextmenu.rgs" | tr '\n' ' ')

# dump ROOT: the registration's keys and values below a classes root, plus our approved
# value, as "key | value" lines with the root's name taken out. With REG_VIEW=32 each key
# is read from the 32-bit view, or from the shared one where it is not there: Wine's
# installer writes a 32-bit package's ProgIDs below Wow6432Node, its registry functions
# those of a 32-bit regsvr32 in the shared keys (as Windows shares them), so a key is
# compared wherever the one registry of either kind keeps it.
query_view() {
  wine reg query "$1" /s ${REG_VIEW:+/reg:$REG_VIEW} ||
    { [ "${REG_VIEW:-}" = 32 ] && wine reg query "$1" /s /reg:64; }
}
dump() {
  local root=$1 key
  for key in "${class_keys[@]}"; do
    query_view "$root\\$key" | sed -e "s|^HKEY_[A-Z_]*\\\\[^\\\\]*\\\\Classes\\\\||" -e '/^$/d' -e '/^reg: /d'
  done
  query_view "$root\\SystemFileAssociations" |
    sed -e "s|^HKEY_[A-Z_]*\\\\[^\\\\]*\\\\Classes\\\\||" -e '/^$/d' -e '/^reg: /d' |
    awk -v types="$own_types" 'BEGIN { n = split(types, t, " "); for (i = 1; i <= n; i++) own[t[i]] = 1 }
      /^SystemFileAssociations\\/ { split($0, part, "\\"); keep = (tolower(part[2]) in own) }
      keep'
  wine reg query "$APPROVED" /v "$CLSID" ${REG_VIEW:+/reg:$REG_VIEW} | grep -F "$CLSID"
}
not() { ! "$@"; }
msi() { wine msiexec "$@" /qn; }
product_count() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s ${REG_VIEW:+/reg:$REG_VIEW} | grep -c 'DisplayName.*Wrenfly Framewise'; }
