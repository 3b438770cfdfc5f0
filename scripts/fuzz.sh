#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang 14 with ASan + UBSan) and runs each one
# for SECONDS (default 60) on a copy of its seed corpus in tests/fuzz/corpus, so the
# committed corpus never grows. Fails when any target finds a crash, a leak, undefined
# behaviour or a hang, and prints where the input that did it was written.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

targets=(fuzz_receive fuzz_upgrade_image fuzz_image_builder fuzz_comports fuzz_trace fuzz_config_file
  fuzz_network_ports)
# The file targets need room for a whole upgrade image and a little more.
declare -A extra=(
  [fuzz_upgrade_image]="-max_len=17000"
  [fuzz_image_builder]="-max_len=15500"
)

work="$PWD/build/fuzz/run"
rm -rf "$work"
failed=()
for target in "${targets[@]}"; do
  dir="$work/$target"
  mkdir -p "$dir/corpus" "$dir/crashes"
  cp -r "tests/fuzz/corpus/$target/." "$dir/corpus/"
  log="$dir/fuzz.log"
  echo "== $target: ${seconds}s"
  # shellcheck disable=SC2086
  if build/fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$dir/crashes/" ${extra[$target]:-} "$dir/corpus" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || tail -1 "$log"
  else
    failed+=("$target")
    echo "!! $target failed; the end of its log ($log):"
    tail -40 "$log"
    echo "!! inputs that failed:"
    ls -1 "$dir/crashes/"* 2>/dev/null || echo "   (none written)"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: ${#targets[@]} targets ran ${seconds}s each without a failure"
