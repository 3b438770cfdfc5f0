#!/usr/bin/env bash
# Measures the tool's performance in one run and prints one markdown table; writes the table,
# with a description of the machine, to docs/performance.md.
#
#   scripts/performance.sh            build (build/bench), measure, print, write the file
#   SWEEP_ONLY=1 scripts/performance.sh   only the sweep's rows, printed (the file stays)
#
# Environment: BUILD_DIR (default build/bench), JOBS (parallel build jobs, default 2),
# OUT (default docs/performance.md), ROUNDS (transactions per master, default 100),
# STARTS (window starts for the start-up time, default 5), IDLE_SECONDS (default 10),
# SWEEP_ONLY (1: the sweep alone), SKIP_BUILD (1: use the programs already built in BUILD_DIR).
#
# Every measurement runs over a pseudo-terminal against imconf-sim with its line pacing on
# (--pace: reply bytes at the line's nominal speed, 10 bits a byte). Run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/bench}
jobs=${JOBS:-2}
out=${OUT:-docs/performance.md}
rounds=${ROUNDS:-100}
starts=${STARTS:-5}
idle=${IDLE_SECONDS:-10}

sweep_only=${SWEEP_ONLY:-0}

# Release build with debug info (the default preset) plus the bench targets, which need
# BUILD_TESTING for their test-support library.
if [ "${SKIP_BUILD:-0}" != 1 ]; then
  scripts/deps.sh bench
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake --preset default -B "$build" -DBUILD_TESTING=ON "${launcher[@]}" >/dev/null
  if [ "$sweep_only" = 1 ]; then
    cmake --build "$build" -j "$jobs" --target imconf-cli imconf-sim
  else
    cmake --build "$build" -j "$jobs" --target imconf imconf-cli imconf-sim engine_bench operations_bench
  fi
fi

work=$(mktemp -d)
chmod 700 "$work"
sim_pid=
sim2_pid=
sim3_pid=
xvfb_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$sim2_pid" ] && kill "$sim2_pid" 2>/dev/null && wait "$sim2_pid" 2>/dev/null
  [ -n "$sim3_pid" ] && kill "$sim3_pid" 2>/dev/null && wait "$sim3_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$4"; }
cli="$build/src/cli/imconf-cli"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Waits until the simulator with process id $1 has announced its port in $2.out (under $work);
# $3 names it in the message when it ends before that.
wait_for_sim() {
  for _ in $(seq 100); do
    [ -s "$work/$2.out" ] && return 0
    kill -0 "$1" 2>/dev/null || { echo "$3 did not start" >&2; cat "$work/$2.err" >&2; exit 1; }
    sleep 0.1
  done
}

# --- imconf-cli: the sweep over every address at every speed ----------------------------------
# No module on the line: one foreign device at address 1 (9600 baud), which the simulator only
# hears at its own speed. The floor is the requests on the line alone: 247 requests of 8 bytes
# at each speed, 10 bits a byte. Each speed by its own (`search --all --baud B`), then all eight
# in one run.
sweep_speeds="1200 2400 4800 9600 14400 19200 38400 57600"
# The line floor of 247 requests at baud $1, in ms.
sweep_floor_ms() { awk -v b="$1" 'BEGIN { printf "%.0f", 247 * 8 * 10 * 1000 / b }'; }
# Wall time of one imconf-cli sweep in ms; the sweep must end with no module found (status 1).
sweep_ms() {
  local t0 t1 status=0
  t0=$(date +%s%N)
  "$cli" --port COM3 search --all "$@" >"$work/sweep.out" 2>"$work/sweep.err" || status=$?
  t1=$(date +%s%N)
  [ "$status" = 1 ] || { echo "search --all $* ended with status $status:" >&2; cat "$work/sweep.out" "$work/sweep.err" >&2; return 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.0f\n", (b - a) / 1e6 }'
}
measure_sweep() {
  "$build/tools/sim/imconf-sim" --address 1 --id 7 --name COM3 --pace >"$work/sim3.out" 2>"$work/sim3.err" &
  sim3_pid=$!
  wait_for_sim "$sim3_pid" sim3 "the third simulator"
  echo "== imconf-cli: search --all at each speed, then --all-speeds, over a line without a module" >&2
  : >"$work/sweep-speeds.md"
  for b in $sweep_speeds; do
    ms=$(sweep_ms --baud "$b")
    floor=$(sweep_floor_ms "$b")
    echo "sweep at $b baud (ms): $ms; line floor $floor" >&2
    printf '| %s baud | %s ms | %s ms | %s |\n' "$b" "$ms" "$floor" "$(ratio "$ms" "$floor")" >>"$work/sweep-speeds.md"
  done
  sweep_all_ms=$(sweep_ms --all-speeds)
  grep -q "foreign device" "$work/sweep.out" ||
    { echo "the sweep did not list the foreign device:" >&2; cat "$work/sweep.out" >&2; exit 1; }
  sweep_all_floor=0
  for b in $sweep_speeds; do
    sweep_all_floor=$((sweep_all_floor + $(sweep_floor_ms "$b")))
  done
  echo "sweep at all speeds (ms): $sweep_all_ms; line floor $sweep_all_floor" >&2
}
sweep_row() {
  row "Sweep of addresses 1..247 at all eight speeds by imconf-cli (\`search --all-speeds --all\`), no module on the line" \
    "$sweep_all_ms ms" "line floor $sweep_all_floor ms (the requests)" "$(ratio "$sweep_all_ms" "$sweep_all_floor")"
}
sweep_table() {
  echo "| Sweep at one speed (\`search --all --baud B\`), no module on the line | Measured | Line floor (the requests) | Ratio |"
  echo "|---|---|---|---|"
  cat "$work/sweep-speeds.md"
}

if [ "$sweep_only" = 1 ]; then
  measure_sweep
  echo
  echo "| Measurement | Measured | Reference | Ratio |"
  echo "|---|---|---|---|"
  sweep_row
  echo
  sweep_table
  exit 0
fi

# --- Benchmarks of the engine and of whole operations ----------------------------------------
echo "== engine_bench $rounds" >&2
"$build/bench/engine_bench" "$rounds" | tee "$work/engine.txt" >&2
echo "== operations_bench" >&2
"$build/bench/operations_bench" | tee "$work/operations.txt" >&2

# Field N (1-based, after the name) of the engine table's row that starts with NAME.
engine_field() { awk -v name="$1" -v n="$2" 'index($0, name) == 1 { s = substr($0, length(name) + 1); split(s, f, " "); print f[n]; exit }' "$work/engine.txt"; }
# Field N of operations_bench's row NAME: 1 ms, 2 floor ms, 3 ratio; 4 the last trace line.
ops_field() {
  awk -v name="$1" -v n="$2" 'index($0, name) == 1 {
      s = substr($0, 45); split(s, f, " ");
      if (n < 4) print f[n]; else { sub(/^ *[^ ]+ +[^ ]+ +[^ ]+  /, "", s); print s }
      exit }' "$work/operations.txt"
}

tool_p50=$(awk '$1 == "imconf" && $2 == "engine" { print $3; exit }' "$work/engine.txt")
peer_p50=$(awk '$1 == "libmodbus" && $2 ~ /^[0-9.]+$/ { print $2; exit }' "$work/engine.txt")
floor_read=$(engine_field "read 32 registers (fn 3)" 4)
[ -n "$tool_p50" ] && [ -n "$peer_p50" ] || { echo "engine_bench printed no libmodbus comparison" >&2; exit 1; }

# --- The window: start-up, memory after a configuration read, idle CPU -----------------------
"$build/tools/sim/imconf-sim" --address 247 --name COM1 --pace --think 1 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
wait_for_sim "$sim_pid" sim "the simulator"

display_kind=offscreen
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
fi
if [ -s "$work/display" ]; then
  export DISPLAY=":$(head -n 1 "$work/display")"
  export QT_QPA_PLATFORM=xcb
  display_kind="Xvfb (X11)"
else
  export QT_QPA_PLATFORM=offscreen
fi

imconf="$build/src/qt/imconf"
# One start: the time from just before exec to the end of the first paint, in ms.
start_once() {
  local text t0 paint
  text=$( (t0=$(date +%s%N); echo "t0: $t0"; exec timeout 60 "$imconf" --first-paint) )
  t0=$(awk '$1 == "t0:" { print $2 }' <<<"$text")
  paint=$(awk '$1 == "first-paint-epoch-us:" { print $2 }' <<<"$text")
  [ -n "$t0" ] && [ -n "$paint" ] || { echo "imconf --first-paint printed: $text" >&2; return 1; }
  awk -v a="$t0" -v b="$paint" 'BEGIN { printf "%.1f\n", b / 1000 - a / 1e6 }'
}
echo "== window start-up, $starts starts ($display_kind)" >&2
start_once >/dev/null  # warms the file cache and the font cache
: >"$work/starts"
for _ in $(seq "$starts"); do
  start_once >>"$work/starts"
done
paint_p50=$(sort -n "$work/starts" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
paint_all=$(sort -n "$work/starts" | paste -sd' ')
echo "first paint (ms): $paint_all" >&2

echo "== window: configuration read, then $idle s idle" >&2
timeout $((idle + 90)) "$imconf" --measure "$idle" | tee "$work/measure.txt" >&2
measure() { awk -v key="$1:" '$1 == key { sub(/^[^:]+: /, ""); print; exit }' "$work/measure.txt"; }
read_ms=$(measure read-ms)
read_outcome=$(measure read-outcome)
rss_kb=$(measure vmrss-kb)
hwm_kb=$(measure vmhwm-kb)
idle_cpu_ms=$(measure idle-cpu-ms)
idle_wall_ms=$(measure idle-wall-ms)
[ -n "$idle_cpu_ms" ] || { echo "imconf --measure did not finish" >&2; exit 1; }

# --- imconf-cli: a configuration read, and a clone into a second module -----------------------
# The second module holds something else, so that the write changes it.
printf 'node_count = 1\nnode_type[0] = 24\nnode_address[0] = 9\nlink[0] = 0x0205 0x1205\n' >"$work/other.conf"
"$build/tools/sim/imconf-sim" --address 247 --name COM2 --pace --think 1 --config "$work/other.conf" \
  >"$work/sim2.out" 2>"$work/sim2.err" &
sim2_pid=$!
wait_for_sim "$sim2_pid" sim2 "the second simulator"
# Wall time of one imconf-cli run (start, the operation, exit) in ms; fails with the run.
cli_ms() {
  local t0 t1
  t0=$(date +%s%N)
  "$cli" --quiet "$@" >/dev/null 2>"$work/cli.err" || { echo "imconf-cli $*:" >&2; cat "$work/cli.err" >&2; return 1; }
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.0f\n", (b - a) / 1e6 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "== imconf-cli: read, and clone (read COM1 into a file, write it into COM2 and read back), $starts runs" >&2
: >"$work/cli-read"
: >"$work/cli-clone"
for _ in $(seq "$starts"); do
  r=$(cli_ms --port COM1 read -o "$work/clone.json")
  w=$(cli_ms --port COM2 write "$work/clone.json")
  echo "$r" >>"$work/cli-read"
  echo $((r + w)) >>"$work/cli-clone"
done
cli_read_ms=$(median <"$work/cli-read")
cli_clone_ms=$(median <"$work/cli-clone")
echo "imconf-cli read (ms): $(sort -n "$work/cli-read" | paste -sd' '); clone: $(sort -n "$work/cli-clone" | paste -sd' ')" >&2

measure_sweep

# --- The table --------------------------------------------------------------------------------
# Targets of our own where nothing else gives a reference.
target_paint_ms=1000
target_mem_kb=$((100 * 1024))
target_idle_cpu_ms=$((idle * 10))  # 1 % of one core

ops_row() {  # label, bench row name, reference text
  local ms floor
  ms=$(ops_field "$2" 1)
  floor=$(ops_field "$2" 2)
  row "$1" "$ms ms (\`$(ops_field "$2" 4 | sed 's/^ *//')\`)" "$3 $floor ms" "$(ratio "$ms" "$floor")"
}

{
  echo "| Measurement | Measured | Reference | Ratio |"
  echo "|---|---|---|---|"
  row "One transaction: read of 32 registers at 9600 baud, p50 of $rounds" "imconf engine $tool_p50 ms" \
    "libmodbus master $peer_p50 ms (line floor $floor_read ms)" "$(ratio "$tool_p50" "$peer_p50")"
  ops_row "Configuration read at 9600 baud" "configuration read at 9600" "floor"
  ops_row "Configuration write at 9600 baud" "configuration write at 9600" "floor"
  ops_row "Configuration read at 57600 baud" "configuration read at 57600" "floor"
  ops_row "Configuration write at 57600 baud" "configuration write at 57600" "floor"
  ops_row "Firmware upgrade at 19200 baud (28 pages, 32 EEPROM blocks, block 31, closing frame)" \
    "firmware upgrade at 19200, 32 EEPROM blocks" "floor"
  ops_row "Bus sweep 1..247, Search Delay 100 ms, empty line" "bus sweep, 100 ms delay" "247 × 105 ms ="
  row "Configuration read at 9600 baud in the window (Qt event loop)" \
    "$(printf '%.0f' "$read_ms") ms (\`$(sed 's/^ *//' <<<"$read_outcome")\`)" \
    "floor $(ops_field "configuration read at 9600" 2) ms" \
    "$(ratio "$read_ms" "$(ops_field "configuration read at 9600" 2)")"
  read_floor=$(ops_field "configuration read at 9600" 2)
  write_floor=$(ops_field "configuration write at 9600" 2)
  row "Configuration read at 9600 baud by imconf-cli (start, read, file written, exit), median of $starts" \
    "$cli_read_ms ms" "floor $read_floor ms" "$(ratio "$cli_read_ms" "$read_floor")"
  clone_floor=$(awk -v r="$read_floor" -v w="$write_floor" 'BEGIN { printf "%.1f", 2 * r + w }')
  row "Clone at 9600 baud by imconf-cli: read one module into a file, write it into another, read back; median of $starts" \
    "$cli_clone_ms ms" "floor $clone_floor ms (2 reads + 1 write)" "$(ratio "$cli_clone_ms" "$clone_floor")"
  sweep_row
  row "Window start-up to first paint, median of $starts ($display_kind)" "$paint_p50 ms" \
    "target $target_paint_ms ms" "$(ratio "$paint_p50" "$target_paint_ms")"
  row "Resident memory after a configuration read (VmRSS)" "$((rss_kb / 1024)) MiB ($rss_kb kB)" \
    "target 100 MiB" "$(ratio "$rss_kb" "$target_mem_kb")"
  row "Peak resident memory after the read (VmHWM)" "$((hwm_kb / 1024)) MiB ($hwm_kb kB)" \
    "target 100 MiB" "$(ratio "$hwm_kb" "$target_mem_kb")"
  row "CPU time, window idle for $idle s (port closed)" "$idle_cpu_ms ms in $idle_wall_ms ms" \
    "target $target_idle_cpu_ms ms (1 % of a core)" "$(ratio "$idle_cpu_ms" "$target_idle_cpu_ms")"
} >"$work/table.md"

# --- The machine ------------------------------------------------------------------------------
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
[ -n "$cpu" ] || cpu=$(uname -m)
debian=$( . /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}")
[ -r /etc/debian_version ] && debian="$debian ($(cat /etc/debian_version))"
qt=$(pkg-config --modversion Qt6Core 2>/dev/null || dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)
compiler=$(c++ --version 2>/dev/null | head -n 1)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

{
  echo "# Performance"
  echo
  echo "Written by \`scripts/performance.sh\`; run it again to"
  echo "regenerate this file. All measurements talk to \`imconf-sim\` over a pseudo-terminal with"
  echo "its line pacing on (\`--pace\`: reply bytes at the line's nominal speed, 10 bits a byte)."
  echo
  echo "## Machine"
  echo
  echo "- CPU: $cpu, $(nproc) cores"
  echo "- Kernel: $(uname -sr)"
  echo "- Debian: $debian"
  echo "- Qt: $qt"
  echo "- Compiler: $compiler; build type RelWithDebInfo (\`$build\`)"
  echo "- Load average: $load_before before the run, $load_after after it"
  echo "- Date: $(date '+%Y-%m-%d %H:%M %Z')"
  echo
  echo "## Results"
  echo
  cat "$work/table.md"
  echo
  sweep_table
  echo
  echo "## How each row is measured"
  echo
  echo "- One transaction: \`engine_bench\` times the engine's function-3 read of 32 registers"
  echo "  (8-byte request, 69-byte reply) from the send to the dispatch of the reply, and a"
  echo "  libmodbus RTU master (\`modbus_read_registers\`) doing the same read against the same"
  echo "  simulator, in alternating blocks of 10. The engine opens and closes the port for every"
  echo "  transaction and finds the end of a reply by its 5 ms end-of-reply timer; libmodbus keeps"
  echo "  the port open and returns on the last byte. The line floor is the request and reply at"
  echo "  10 bits a byte."
  echo "- Configuration read and write, firmware upgrade, bus sweep: \`operations_bench\` runs the"
  echo "  window's own handlers (headless) over the real serial component. The floor of a read or"
  echo "  write is its bytes on the wire plus the fixed pauses the tool must take (5 ms after each"
  echo "  reply, 20 ms before each step); the upgrade's floor is its frames and acknowledgements on"
  echo "  the wire; the sweep's floor is 247 × (100 ms + 5 ms) over a line with no module (one"
  echo "  foreign device at address 1). The last trace line of each operation is in brackets."
  echo "- Start-up: \`imconf --first-paint\` prints the moment its window's first paint has been"
  echo "  flushed; the row is the time from just before exec to that moment ($starts starts after"
  echo "  one warm-up start; all: $paint_all ms)."
  echo "- Read in the window, memory and idle CPU: \`imconf --measure $idle\` (the real window, its"
  echo "  Qt event loop and the port chosen at start, the simulator announced as COM1) clicks the"
  echo "  configuration read button, waits for the read to end (checked every millisecond), reads"
  echo "  VmRSS and VmHWM from /proc/self/status, then stays idle with the port closed and reports"
  echo "  the user + system CPU time of all its threads over that time."
  echo "- imconf-cli: the program's wall time from start to exit, over the simulators announced as"
  echo "  COM1 and COM2: \`read -o FILE\` of COM1, and the clone, \`read -o FILE\` of COM1 followed"
  echo "  by \`write FILE\` into COM2 (which writes, reads back and compares). The floors are those"
  echo "  of the window's read and write above: two reads and one write for the clone."
  echo "- The sweep: \`imconf-cli search --all --baud B\` at each speed and \`search --all-speeds"
  echo "  --all\` over the simulator announced as COM3 holding only a foreign device at address 1 (it"
  echo "  answers at 9600 baud). The line floor is the 247 requests of 8 bytes at each speed. The"
  echo "  sweep gives each address a short window (the request, a reply's first byte and 3 ms) and,"
  echo "  at 4800 baud and below, the silence that ends a frame (3.5 characters) before the next"
  echo "  request; only bytes that come after their window cost a re-probe with the full wait."
  echo "- The start-up, memory and idle targets are our own; the other references are floors set"
  echo "  by the line or the peer master."
} >"$out"

echo
cat "$work/table.md"
echo
sweep_table
echo
echo "written to $out"
