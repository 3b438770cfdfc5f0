#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Usage: scripts/deps.sh build|test|screenshot|fuzz|bench|windows|format
#   test adds GoogleTest, the peers the integration tests talk to (libmodbus, mbpoll) and the
#   packaging tools and Debian's checkers of a package (lintian, appstreamcli,
#   desktop-file-validate, man and col) and headless Chromium with poppler's PDF tools for the
#   printed report; screenshot adds Xvfb; fuzz adds clang's libFuzzer; bench adds libmodbus;
#   windows adds the mingw-w64 cross compiler and wine (with the packages wine recommends), NSIS
#   and zip for the packages, Xvfb for the window tests and ImageMagick for their pictures;
#   format is clang-format 14 alone.
set -euo pipefail

want=(cmake ninja-build g++ pkg-config qt6-base-dev fonts-liberation fonts-dejavu-core nlohmann-json3-dev libcli11-dev)
case "${1:-build}" in
  build) ;;
  test) want+=(libgtest-dev libgmock-dev mbpoll libmodbus-dev dpkg-dev file
               lintian appstream desktop-file-utils man-db groff-base bsdextrautils
               chromium poppler-utils) ;;
  screenshot) want+=(libgtest-dev libgmock-dev xvfb xauth) ;;
  fuzz) want+=(clang-14 libclang-rt-14-dev) ;;
  bench) want+=(libgtest-dev libgmock-dev libmodbus-dev xvfb xauth) ;;
  format) want=(clang-format-14) ;;
  windows) want+=(libgtest-dev libgmock-dev googletest g++-mingw-w64-x86-64-posix wine wine64
                  nsis zip xvfb xauth imagemagick) ;;
  *) echo "usage: $0 build|test|screenshot|fuzz|bench|windows|format" >&2; exit 2 ;;
esac

missing=()
for pkg in "${want[@]}"; do
  [[ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" == *'install ok installed'* ]] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install sudo: apt packages are needed (${missing[*]})." >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
recommends=(--no-install-recommends)
[ "${1:-build}" = windows ] && recommends=()
"${sudo_cmd[@]}" apt-get install -y -q "${recommends[@]}" "${missing[@]}"
