#!/usr/bin/env bash
# Runs a Windows program of the cross build under wine, in the build's own wine prefix
# (created on first use), with wine's own diagnostics silenced.
#   scripts/wine-run.sh PROGRAM [ARGS...]
#   scripts/wine-run.sh --prepare     only creates the prefix
#   scripts/wine-run.sh --start       also starts the prefix's wine server and services, to
#                                     stay until --stop, so that each program starts fast
#   scripts/wine-run.sh --stop        stops them
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  # wine has neither Courier New nor Microsoft Sans Serif: the Liberation fonts stand in, as
  # they do for the Linux window.
  for pair in "Courier New=Liberation Mono" "Microsoft Sans Serif=Liberation Sans"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || true
  done
  wineserver -w || true
fi
case "${1:-}" in
  --prepare) exit 0 ;;
  --start)
    # Away from the caller's output: the server and the services wine starts with the first
    # program would otherwise hold a test runner's pipes open as long as they live.
    wineserver -p </dev/null >/dev/null 2>&1 || true  # already running: fine
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    exit 0
    ;;
  --stop) wineserver -k >/dev/null 2>&1 || true; exit 0 ;;
esac
exec wine "$@"
