#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Usage: scripts/deps.sh build|test|screenshot
#   test adds GoogleTest and the tools the integration tests drive; screenshot adds Xvfb.
set -euo pipefail

want=(cmake ninja-build g++ pkg-config qt6-base-dev fonts-liberation fonts-dejavu-core)
case "${1:-build}" in
  build) ;;
  test) want+=(libgtest-dev libgmock-dev mbpoll) ;;
  screenshot) want+=(libgtest-dev libgmock-dev xvfb xauth) ;;
  *) echo "usage: $0 build|test|screenshot" >&2; exit 2 ;;
esac

missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
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
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
