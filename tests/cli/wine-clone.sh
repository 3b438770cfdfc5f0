#!/usr/bin/env bash
# imconf-cli.exe under wine clones one simulated module into another: two simulators serve
# pseudo-terminals that wine sees as COM9 and COM10; the program reads COM9 into a file,
# writes the file into COM10 (with its read-back) and compares.
#   wine-clone.sh SIM SHIM CLI SAMPLE_CONFIG
# SHIM is the preloaded library that gives the pseudo-terminals their modem lines.
set -euo pipefail
sim="$1" shim="$2" cli="$3" sample="$4"

here="$(cd "$(dirname "$0")/../.." && pwd)"
wine_run="$here/scripts/wine-run.sh"
"$wine_run" --prepare
prefix="${WINEPREFIX:-$here/build/windows/wineprefix}"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -f "$prefix/dosdevices/com9" "$prefix/dosdevices/com10"
  rm -rf "$work"
}
trap cleanup EXIT

# start_sim PORT [SIM OPTIONS...]: the simulator's terminal linked as the prefix's COM port.
start_sim() {
  local name="${1,,}"
  local link="$prefix/dosdevices/$name"
  shift
  rm -f "$link"
  "$sim" --no-announce --link "$link" "$@" >"$work/$name.out" &
  pids+=($!)
  for _ in $(seq 200); do
    [ -s "$work/$name.out" ] && [ -L "$link" ] && return 0
    sleep 0.05
  done
  echo "the simulator for $name did not start" >&2
  return 1
}
start_sim COM9 --address 6 --config "$sample"
start_sim COM10 --address 6

cli() { LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" "$wine_run" "$cli" --address 6 "$@"; }
file="Z:${work//\//\\}\\module.json"

cli --port COM9 read -o "$file"
status=0
cli --port COM10 --quiet diff "$file" >/dev/null || status=$?
[ "$status" -eq 1 ] || { echo "diff before the write: exit $status, expected 1 (differs)" >&2; exit 1; }
cli --port COM10 write "$file"
cli --port COM10 --quiet diff "$file"
echo "clone under wine: done"
