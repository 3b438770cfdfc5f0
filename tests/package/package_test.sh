#!/usr/bin/env bash
# Builds the Debian package from a build folder, checks its control data and contents,
# unpacks it into a scratch root and starts the unpacked tool offscreen.
# Usage: package_test.sh BUILD_DIR WORK_DIR SANITIZE
# Exits 77 (skipped) in the sanitizer builds: their programs are not what is shipped.
set -euo pipefail
build=$1
work=$2
sanitize=${3:-}
if [ -n "$sanitize" ]; then
  echo "skipped: the package is built from the normal build, not with -fsanitize=$sanitize"
  exit 77
fi

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/run" "$work/cwd"
chmod 700 "$work/run"

# 1. The package, from what this build folder holds.
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack did not build the package"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $work/out, got: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

# 2. Control data: name, section, maintainer and the dependencies the tool needs to start.
info=$(dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Depends)
echo "$info"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = imconf ] || fail "package name"
[ "$(field Section)" = electronics ] || fail "section"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
grep -q '^ Description: ' <<<"$(dpkg-deb -I "$deb")" || fail "no description"
depends=$(field Depends)
# The package names alone, one a line.
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for want in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 fonts-liberation fonts-dejavu-core; do
  grep -qxF "$want" <<<"$names" || fail "Depends lacks $want: $depends"
done

# 3. Contents: the three programs, the desktop entry and the icons; no test, bench or probe.
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for want in ./usr/bin/imconf ./usr/bin/imconf-cli ./usr/bin/imconf-sim ./usr/share/applications/imconf.desktop \
            ./usr/share/icons/hicolor/scalable/apps/imconf.svg \
            ./usr/share/icons/hicolor/48x48/apps/imconf.png; do
  grep -qx "$want" <<<"$contents" || fail "the package lacks $want"
done
programs=$(grep '^\./usr/bin/.' <<<"$contents" | sort | tr '\n' ' ')
[ "$programs" = "./usr/bin/imconf ./usr/bin/imconf-cli ./usr/bin/imconf-sim " ] || fail "unexpected programs: $programs"

# 4. Unpacked into a scratch root, the tool starts from there and takes its picture.
dpkg -x "$deb" "$work/root"
shot="$work/shot.png"
(cd "$work/cwd" &&
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" \
    timeout 30 "$work/root/usr/bin/imconf" --screenshot "$shot" --delay 200) ||
  fail "the installed imconf did not run (exit $?)"
[ -s "$shot" ] || fail "no picture written"
[ "$(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the picture is no PNG"
grep -q '514 x 538' <<<"$(file "$shot")" || fail "unexpected picture: $(file "$shot")"
timeout 10 "$work/root/usr/bin/imconf-sim" --help >/dev/null || fail "the installed imconf-sim did not run"
timeout 10 "$work/root/usr/bin/imconf-cli" --help >/dev/null || fail "the installed imconf-cli did not run"

# 5. The desktop entry.
desktop="$work/root/usr/share/applications/imconf.desktop"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
  [ "$(head -n 1 "$desktop")" = "[Desktop Entry]" ] || fail "the desktop entry does not start with its group"
  for key in Type=Application Name=IMConf Exec=imconf Icon=imconf Terminal=false; do
    grep -qx "$key" "$desktop" || fail "the desktop entry lacks $key"
  done
  grep -Eq '^Categories=([A-Za-z]+;)+$' "$desktop" || fail "Categories must be a ;-terminated list"
  if grep -Ev '^(\[Desktop Entry\]|[A-Za-z0-9-]+(\[[A-Za-z_@]+\])?=.*|#.*|)$' "$desktop"; then
    fail "lines above are no keys"
  fi
fi
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$work/root/usr/bin/$exec_name" ] || fail "Exec names no installed program: $exec_name"
echo "package test passed"
