#!/usr/bin/env bash
# Builds the tool and runs it. With no module attached it starts the module simulator on a
# pseudo-terminal and talks to it, so everything can be tried without hardware.
#   ./run.sh              simulator at address 247, then one read of its identification register
#   ./run.sh --port NAME  talk to a real port instead (e.g. ttyUSB0), no simulator
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh build

cmake --preset default >/dev/null
cmake --build --preset default --target imconf-sim imconf-probe

bin=build/default/tools
if [ "${1:-}" = "--port" ]; then
  shift
  exec "$bin/probe/imconf-probe" --port "$@"
fi

out=$(mktemp)
"$bin/sim/imconf-sim" --address 247 --pace >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 100); do
  [ -s "$out" ] && break
  kill -0 $sim 2>/dev/null || { echo "The simulator did not start." >&2; exit 1; }
  sleep 0.1
done
pty=$(head -n 1 "$out")
echo "Module simulator at address 247 on $pty (announced as port sim247)"
"$bin/probe/imconf-probe" --port sim247 --address 247 --register 0 --count 1
