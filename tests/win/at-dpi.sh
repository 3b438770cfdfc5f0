#!/usr/bin/env bash
# Runs a Windows program under wine at another system DPI: in a wine prefix of its own (next
# to the build's), whose LogPixels says DPI.
#   at-dpi.sh DPI PROGRAM [ARGS...]
set -euo pipefail
dpi="$1"
shift
here="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="$here/build/windows/wineprefix-$dpi"
export WINEDEBUG=-all
"$here/scripts/wine-run.sh" --prepare
if ! grep -q "\"LogPixels\"=dword:$(printf '%08x' "$dpi")" "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w
fi
status=0
"$here/scripts/wine-run.sh" "$@" || status=$?
wineserver -k >/dev/null 2>&1 || true
exit "$status"
