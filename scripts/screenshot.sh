#!/usr/bin/env bash
# Regenerates docs/window.png: the tool under Xvfb, talking to the simulator announced as COM1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh screenshot
cmake --preset default >/dev/null
cmake --build --preset default --target imconf imconf-sim imconf-screens

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
build/default/tools/sim/imconf-sim --name COM1 >/dev/null &
sim=$!
trap 'kill $sim $xvfb 2>/dev/null || true; rm -rf "$runtime"' EXIT
sleep 1
DISPLAY="$display" build/default/src/qt/imconf --screenshot docs/window.png --delay 1500
DISPLAY="$display" build/default/tools/screens/imconf-screens docs
echo "docs/window.png, docs/master.png and docs/slave.png written"
