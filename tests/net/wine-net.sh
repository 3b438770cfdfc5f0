#!/usr/bin/env bash
# imconf-cli.exe under wine over a network port (Winsock) against the Linux simulator serving
# the module over TCP on loopback: it reads a module (with network delay and split replies)
# into a file, writes the file into a second module and compares; a port with nobody
# listening is the port error (exit status 3), and a server that takes the connection but
# never answers is a time-out.
#   wine-net.sh SIM CLI
set -euo pipefail
sim="$1" cli="$2"

here="$(cd "$(dirname "$0")/../.." && pwd)"
wine_run="$here/scripts/wine-run.sh"
sample="$here/tools/screens/sample-module.conf"
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

# start_sim NAME [SIM OPTIONS...]: starts a simulator on a free port of 127.0.0.1 (it binds
# port 0 and prints the tcp:// name it got first) and sets url[NAME] to that name. Not run in
# a command substitution: the simulator would belong to a subshell the cleanup never sees.
declare -A url
start_sim() {
  local name="$1"
  shift
  "$sim" --tcp 127.0.0.1:0 "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null &
  local pid=$!
  pids+=("$pid")
  for _ in $(seq 200); do
    if [ -n "$(head -1 "$work/$name.out")" ] && grep -q '^tcp://' "$work/$name.out"; then
      url[$name]="$(head -1 "$work/$name.out")"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the simulator $name did not start:" >&2
  cat "$work/$name.err" >&2
  exit 1
}

# cli ARGS...: imconf-cli.exe, never longer than half a minute, its output in $work/out.txt.
cli() {
  timeout -k 5 30 "$wine_run" "$cli" "$@" >"$work/out.txt" 2>&1
}
expect() {
  local want="$1" what="$2"
  shift 2
  local status=0
  cli "$@" || status=$?
  if [ "$status" -ne "$want" ]; then
    echo "$what: exit status $status, expected $want; its output:" >&2
    cat "$work/out.txt" >&2
    exit 1
  fi
}
has() {
  grep -qF -- "$1" "$work/out.txt" || {
    echo "no line '$1' in:" >&2
    cat "$work/out.txt" >&2
    exit 1
  }
}

start_sim a --address 6 --config "$sample" --net-delay 20 --split 30
start_sim b --address 6 --net-delay 20
file="Z:${work//\//\\}\\module.json"

expect 0 "read" --port "${url[a]}" --address 6 read -o "$file"
expect 0 "write" --port "${url[b]}" --address 6 write "$file"
expect 0 "diff" --port "${url[b]}" --address 6 --quiet diff "$file"

# Nobody listens on the port of a simulator that has ended.
start_sim gone --address 6
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true
expect 3 "refused connection" --port "${url[gone]}" --trace sound-off
has "   : ОШИБКА ОТКРЫТИЯ ПОРТА ${url[gone]}"

# The server takes the connection, and no module answers address 7 behind it.
expect 1 "server that never answers" --port "${url[a]}" --address 7 --trace sound-off
has "   : TIME OUT."
# The module behind it answers its own address: the time-out was the server's silence.
expect 0 "sound-off after the time-out" --port "${url[a]}" --address 6 sound-off
echo "network port under wine: done"
