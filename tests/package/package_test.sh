#!/usr/bin/env bash
# Builds the Debian package from a build folder, checks its control data and contents, runs
# Debian's checkers over it (lintian, appstreamcli, desktop-file-validate, man), unpacks it
# into a scratch root and starts the unpacked tool offscreen.
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
for tool in lintian appstreamcli desktop-file-validate man col; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps.sh test installs it)"
done

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

# 3. Contents: the three programs, the desktop entry, the AppStream metadata, the icons, the
# copyright and the changelog; no test, bench or probe. (The manual pages: step 6.)
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for want in ./usr/bin/imconf ./usr/bin/imconf-cli ./usr/bin/imconf-sim \
            ./usr/share/applications/imconf.desktop \
            ./usr/share/metainfo/org.imconf.imconf.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/imconf.svg \
            ./usr/share/icons/hicolor/48x48/apps/imconf.png \
            ./usr/share/doc/imconf/copyright ./usr/share/doc/imconf/changelog.Debian.gz; do
  grep -qx "$want" <<<"$contents" || fail "the package lacks $want"
done
programs=$(grep '^\./usr/bin/.' <<<"$contents" | sort | tr '\n' ' ')
[ "$programs" = "./usr/bin/imconf ./usr/bin/imconf-cli ./usr/bin/imconf-sim " ] || fail "unexpected programs: $programs"

# 4. Debian's package checker: no error and no warning.
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian"; }

dpkg -x "$deb" "$work/root"
share="$work/root/usr/share"

# 5. The changelog and the AppStream release are those of this version.
version=$(field Version)
latest=$(zcat "$share/doc/imconf/changelog.Debian.gz" | sed -n 1p)
[[ "$latest" == "imconf ($version) "* ]] || fail "the changelog's latest entry is not $version: $latest"
metainfo="$share/metainfo/org.imconf.imconf.metainfo.xml"
grep -q "<release version=\"${version%-*}\"" "$metainfo" || fail "no AppStream release ${version%-*}"
appstreamcli validate --no-net --strict "$metainfo" || fail "appstreamcli validate"

# 6. Manual pages: every program has one that renders without a warning and lists exactly the
# options its --help shows.
options() { grep -oE -- '(^|[][ ,(])--?[A-Za-z][A-Za-z-]*' | sed 's/^[^-]*//' | sort -u; }
for bin in "$work/root/usr/bin/"*; do
  program=$(basename "$bin")
  page="$share/man/man1/$program.1.gz"
  [ -f "$page" ] || fail "no manual page for $program"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $program.1: $warnings"
  in_page=$(LC_ALL=C MANWIDTH=1000 man -l "$page" 2>/dev/null | col -bx | options)
  # A program with subcommands: its own options and those of each subcommand.
  help=$(timeout 10 "$bin" --help)
  for sub in $(sed -n '/^Subcommands:/,/^$/p' <<<"$help" | awk 'NR > 1 && NF {print $1}'); do
    help+=$'\n'$(timeout 10 "$bin" "$sub" --help)
  done
  in_help=$(options <<<"$help")
  [ -n "$in_help" ] || fail "$program --help lists no option"
  [ "$in_page" = "$in_help" ] ||
    fail "$program.1 and $program --help differ in their options:"$'\n'"$(diff <(echo "$in_page") <(echo "$in_help"))"
done

# 7. Unpacked into a scratch root, the tool starts from there and takes its picture.
shot="$work/shot.png"
(cd "$work/cwd" &&
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" \
    timeout 30 "$work/root/usr/bin/imconf" --screenshot "$shot" --delay 200) ||
  fail "the installed imconf did not run (exit $?)"
[ -s "$shot" ] || fail "no picture written"
[ "$(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the picture is no PNG"
grep -q '514 x 538' <<<"$(file "$shot")" || fail "unexpected picture: $(file "$shot")"

# 8. The desktop entry.
desktop="$share/applications/imconf.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$work/root/usr/bin/$exec_name" ] || fail "Exec names no installed program: $exec_name"
echo "package test passed"
