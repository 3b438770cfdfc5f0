#!/usr/bin/env bash
# imconf-cli.exe under wine over a network port (Winsock): the simulator serves a module over
# TCP on loopback, with network delay and split replies; the program reads it into a file,
# writes the file into a second one over TCP, compares, and meets a refused connection.
#   wine-net.sh SIM CLI
set -euo pipefail
sim="$1" cli="$2"

here="$(cd "$(dirname "$0")/../.." && pwd)"
wine_run="$here/scripts/wine-run.sh"
"$wine_run" --prepare
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# start_sim NAME [SIM OPTIONS...]: prints the simulator's tcp:// name.
start_sim() {
  local name="$1"
  shift
  "$sim" --tcp 0 "$@" >"$work/$name.out" &
  pids+=($!)
  for _ in $(seq 200); do
    [ -s "$work/$name.out" ] && { head -1 "$work/$name.out"; return 0; }
    sleep 0.05
  done
  echo "the simulator $name did not start" >&2
  return 1
}
a="$(start_sim a --address 6 --net-delay 20 --split 30)"
b="$(start_sim b --address 6 --net-delay 20)"

cli() { "$wine_run" "$cli" --address 6 "$@"; }
file="Z:${work//\//\\}\\module.json"

cli --port "$a" read -o "$file"
cli --port "$b" write "$file"
cli --port "$b" --quiet diff "$file"
status=0
cli --port tcp://127.0.0.1:1 --trace sound-off >"$work/refused.txt" 2>&1 || status=$?
[ "$status" -eq 3 ] || { echo "refused connection: exit $status, expected 3" >&2; exit 1; }
grep -q "tcp://127.0.0.1:1" "$work/refused.txt"
echo "network port under wine: done"
