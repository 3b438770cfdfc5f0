#!/usr/bin/env bash
# Builds imconf.exe and the Windows packages from Linux, with Debian's mingw-w64 and NSIS:
#   dist/imconf-VERSION-win64.zip     imconf.exe, imconf-cli.exe, README.txt, LICENSE.txt
#   dist/imconf-VERSION-setup.exe     the installer (per user, or all users as administrator)
# Usage: scripts/package-windows.sh   (installs the Debian packages it needs first)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
# The Windows build folder of ./test.sh windows; only the programs and the packages are built
# here (after the tests, CI finds them made already). The programs go in stripped.
cmake --preset windows >/dev/null
cmake --build --preset windows --target windows_packages
version="$(sed -n 's/^project(imconf VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
mkdir -p dist
cp "build/windows/imconf-$version-win64.zip" "build/windows/imconf-$version-setup.exe" dist/
ls -l "dist/imconf-$version-win64.zip" "dist/imconf-$version-setup.exe"
