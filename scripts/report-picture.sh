#!/usr/bin/env bash
# Makes the user guide's picture of the printable report (docs/guide/report.png): imconf-cli
# report of a sample configuration, shown by headless Chromium at the size of an A4 page.
# Usage: scripts/report-picture.sh [BUILD_DIR]   (default build/ci; imconf-cli built there)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/ci}"
command -v chromium >/dev/null || { echo "chromium is missing (apt-get install chromium)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
links=""
for i in $(seq 0 23); do
  case $i in
    1) v='"0x0205"' ;; 2) v='"0x1205"' ;; 3) v='"0x2217"' ;; 4) v='"0x3203"' ;;
    5) v='"0x4203"' ;; 6) v='"0x0A05"' ;; 7) v='"0x0105"' ;; 23) v='"0xFFFF"' ;; *) v=$i ;;
  esac
  links+="${links:+, }{\"value\": $v}"
done
cat >"$work/site.json" <<JSON
{"format": "imconf-configuration", "version": 1,
 "read": {"time": "2026-12-10T11:20:00Z", "port": "ttyUSB0", "address": 6, "baud": 9600},
 "links": [$links],
 "nodes": [{"type": 22, "address": 1}, {"type": 8, "address": 5},
           {"type": 9, "address": 7}, {"type": 9, "address": 9}]}
JSON
"$build/src/cli/imconf-cli" report "$work/site.json" -o "$work/site.html"
HOME="$work" timeout 120 chromium --headless --no-sandbox --disable-gpu \
  --user-data-dir="$work/profile" --no-first-run --no-default-browser-check \
  --disable-extensions --disable-background-networking --proxy-server=socks5://127.0.0.1:9 \
  --hide-scrollbars --window-size=794,1123 --screenshot="$PWD/docs/guide/report.png" \
  "file://$work/site.html" >/dev/null 2>&1
echo "docs/guide/report.png"
