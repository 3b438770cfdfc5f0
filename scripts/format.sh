#!/usr/bin/env bash
# Formats the C++ sources with clang-format 14 and the rules in .clang-format.
# Usage: scripts/format.sh          formats every file in place
#        scripts/format.sh --check  changes nothing; fails and names the files that differ
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh format
mode=(-i)
[ "${1:-}" = --check ] && mode=(--dry-run --Werror)
git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h' \
  'bench/*.cpp' 'bench/*.h' | xargs -0 -r clang-format-14 "${mode[@]}"
