#!/usr/bin/env bash
# Builds the tool and runs it.
#
#   ./run.sh            also starts the module simulator with a sample configuration
#                       (tools/sim/demo-module.conf: five nodes, link entries of every kind)
#                       and announces it as the port COM1, which the tool chooses at start:
#                       everything works without hardware, and the first ЧТЕНИЕ КОНФИГА
#                       fills both tabs. Real serial ports are listed in Connection > Port.
#   ./run.sh --empty    the same with a blank module (no nodes, the link table as at start).
#   ./run.sh --no-sim   only the tool, for a module on a real port.
set -euo pipefail
cd "$(dirname "$0")"
case "${1:-}" in
  ""|--empty|--no-sim) ;;
  *) echo "usage: $0 [--empty|--no-sim]" >&2; exit 2 ;;
esac
scripts/deps.sh build

cmake --preset default >/dev/null
# The programs and what installing them takes besides (the compressed manual pages).
cmake --build --preset default --target imconf imconf-sim packaging_files

bin=build/default
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "Run ./run.sh from a desktop session, or scripts/screenshot.sh for a picture of the window." >&2
  exit 1
fi

if [ "${1:-}" != "--no-sim" ]; then
  module=(--config tools/sim/demo-module.conf)
  what="the sample module"
  if [ "${1:-}" = "--empty" ]; then
    module=()
    what="a blank module"
  fi
  out=$(mktemp)
  "$bin/tools/sim/imconf-sim" "${module[@]}" --address 247 --name COM1 --pace >"$out" &
  sim=$!
  trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$out"' EXIT
  for _ in $(seq 100); do
    [ -s "$out" ] && break
    kill -0 $sim 2>/dev/null || { echo "The simulator did not start." >&2; exit 1; }
    sleep 0.1
  done
  echo "Module simulator ($what) at address 247 on $(head -n 1 "$out"), listed as port COM1"
fi
"$bin/src/qt/imconf"
