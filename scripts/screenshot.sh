#!/usr/bin/env bash
# Regenerates every picture of the user guide (docs/guide/*.png) from the running tool.
#
# Starts its own X server (Xvfb) and two module simulators on pseudo-terminals: "COM1", a
# module at address 6 with the sample configuration tools/screens/sample-module.conf, and
# "COM2", a module in its bootloader. imconf-screens then drives the tool through its own
# input paths (search, read, node menu, tabs, address and speed, block, sound off, port menu,
# firmware upgrade) and saves a picture after each step.
#
#   scripts/screenshot.sh              builds in build/default
#   IMCONF_BUILD_DIR=DIR scripts/screenshot.sh   uses an already configured build folder
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh screenshot

build="${IMCONF_BUILD_DIR:-build/default}"
if [ -z "${IMCONF_BUILD_DIR:-}" ]; then
  cmake --preset default >/dev/null
fi
cmake --build "$build" --target imconf imconf-sim imconf-screens

work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# The simulators announce their ports here, and only the tool started below looks here.
export XDG_RUNTIME_DIR="$work"

# A free display number.
n=$((90 + RANDOM % 100))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)

sim="$build/tools/sim/imconf-sim"
"$sim" --config tools/screens/sample-module.conf --name COM1 --pace >"$work/com1" &
pids+=($!)
"$sim" --bootloader --name COM2 --pace >"$work/com2" &
pids+=($!)

for _ in $(seq 100); do
  [ -S "/tmp/.X11-unix/X$n" ] && [ -s "$work/com1" ] && [ -s "$work/com2" ] && break
  sleep 0.1
done
[ -S "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
[ -s "$work/com1" ] && [ -s "$work/com2" ] || { echo "The simulators did not start." >&2; exit 1; }

mkdir -p docs/guide
rm -f docs/guide/*.png
# The toolkit's own dialogs and look, whatever the desktop of the caller.
DISPLAY=":$n" QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= LC_ALL=C.UTF-8 \
  timeout 180 "$build/tools/screens/imconf-screens" docs/guide
echo "Pictures written to docs/guide:"
ls docs/guide/*.png
