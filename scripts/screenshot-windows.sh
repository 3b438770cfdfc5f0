#!/usr/bin/env bash
# Regenerates the user guide's pictures of the Windows window (docs/guide/windows-*.png): the
# window tests run under wine on an Xvfb display of their own against the simulator's sample
# module, and save the window after the read (master tab) and after an edit (slave tab).
#   scripts/screenshot-windows.sh       (after ./test.sh windows, which builds what it needs)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
cmake --preset ci >/dev/null
cmake --build --preset ci --target imconf-sim
cmake --preset windows -DIMCONF_HOST_SIM="$PWD/build/ci/tools/sim/imconf-sim" >/dev/null
cmake --build --preset windows --target win_window_tests wine_ptymodem

work="$(mktemp -d)"
n=$((100 + RANDOM % 100))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

DISPLAY=":$n" IMCONF_WINDOW_PICTURES="Z:$work" tests/wine/with-sim.sh build/ci/tools/sim/imconf-sim \
  build/windows/tests/wine/ptymodem.so COM12 --config tools/screens/sample-module.conf --strict-baud \
  -- build/windows/tests/win/win_window_tests.exe --gtest_filter=WinWindowSim.*
for picture in "$work"/*.bmp; do
  name="$(basename "$picture" .bmp)"
  convert "$picture" -strip "docs/guide/$name.png"
  echo "docs/guide/$name.png"
done
