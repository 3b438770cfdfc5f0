#!/usr/bin/env bash
# The installer under wine, in a wine prefix of its own: a silent install puts the program, its
# Start-menu entry and its entry in the list of installed programs in place; a silent uninstall
# removes them.
#   installer-test.sh SETUP.EXE
set -euo pipefail
setup="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="$here/build/windows/wineprefix-installer"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/scripts/wine-run.sh" --prepare
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

wine "$setup" /S </dev/null >/dev/null 2>&1
wineserver -w

exe="$(find "$WINEPREFIX/drive_c" -path '*/imconf/imconf.exe' -print -quit)"
[ -n "$exe" ] || fail "no imconf.exe installed"
dir="$(dirname "$exe")"
for f in README.txt LICENSE.txt uninstall.exe; do [ -f "$dir/$f" ] || fail "$f missing"; done
link="$(find "$WINEPREFIX/drive_c" -name imconf.lnk -path '*Start Menu/Programs*' -print -quit)"
[ -n "$link" ] || fail "no Start-menu entry"
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\imconf'
listed() { wine reg query "HKLM\\$key" /v DisplayName >/dev/null 2>&1 || wine reg query "HKCU\\$key" /v DisplayName >/dev/null 2>&1; }
listed || fail "not in the list of installed programs"
echo "installed: ${dir#"$WINEPREFIX/"}, ${link#"$WINEPREFIX/"}"

# The uninstaller copies itself away and returns at once; the wine server's end waits for it.
wine "$dir/uninstall.exe" /S </dev/null >/dev/null 2>&1
wineserver -w
[ ! -e "$exe" ] || fail "imconf.exe still there"
[ ! -e "$link" ] || fail "the Start-menu entry is still there"
! listed || fail "still in the list of installed programs"
