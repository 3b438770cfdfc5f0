#!/usr/bin/env bash
# Runs a Windows program of the cross build under wine, in the build's own wine prefix
# (created on first use), with wine's own diagnostics silenced.
#   scripts/wine-run.sh PROGRAM [ARGS...]
#   scripts/wine-run.sh --prepare     only creates the prefix
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
[ "${1:-}" = --prepare ] && exit 0
exec wine "$@"
