#!/usr/bin/env bash
# Runs a Windows test program under wine against the module simulator: the simulator serves a
# pseudo-terminal that wine sees as the COM port PORT, and the program finds that name in
# IMCONF_WINE_PORT.
#   with-sim.sh SIM SHIM PORT [SIM OPTIONS...] -- PROGRAM [ARGS...]
# SHIM is the preloaded library that gives the pseudo-terminal its modem lines.
set -euo pipefail
sim="$1" shim="$2" port="$3"
shift 3
sim_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do sim_args+=("$1"); shift; done
[ $# -gt 1 ] || { echo "usage: $0 SIM SHIM PORT [SIM OPTIONS...] -- PROGRAM [ARGS...]" >&2; exit 2; }
shift

here="$(cd "$(dirname "$0")/../.." && pwd)"
wine_run="$here/scripts/wine-run.sh"
"$wine_run" --prepare
prefix="${WINEPREFIX:-$here/build/windows/wineprefix}"
link="$prefix/dosdevices/${port,,}"
rm -f "$link"

out="$(mktemp)"
"$sim" --no-announce --link "$link" "${sim_args[@]}" >"$out" &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -f "$out"
}
trap cleanup EXIT

# The simulator prints its terminal's path once the link is in place.
for _ in $(seq 200); do
  [ -s "$out" ] && [ -L "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "the simulator did not start" >&2; exit 1; }
  sleep 0.05
done
[ -L "$link" ] || { echo "the simulator gave no terminal" >&2; exit 1; }

IMCONF_WINE_PORT="$port" LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" "$wine_run" "$@"
