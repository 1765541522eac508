#!/bin/bash
# Overhead of a run without a window: the wall time of
# `camconsole --run normal` against camsim at 115200-baud pace, less the
# test's own waits: the 100 ms settle after opening the port, the 50 ms ping
# wait and the dump's reception ("Total Time To Get Frame:", the reply's
# wire time plus the pause that ends it, during which the console only reads
# and sleeps). What is left is start-up, decode and exit (target: at most
# 50 ms). Prints each run's figures beside its total, and the CPU time the
# process used; then the start-up and exit alone (camconsole --version),
# most of which is the dynamic loader binding Qt, beside the CPU time of a
# program that only starts QtCore and QtSerialPort (bench/qt_core_baseline;
# target: the console within 1.3 times that). Figures only; nothing is
# asserted.
#   ./scripts/bench-headless.sh [runs]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-5}
cmake --build build -j2 --target camconsole camsim qt_core_baseline >/dev/null

. scripts/lib/camsim-xvfb.sh
start_camsim build/bin/camsim

settle_ms=100
ping_wait_ms=50
echo "camconsole --run normal against camsim at wire pace (waits: ${settle_ms} ms settle, ${ping_wait_ms} ms ping, the reception)"
for run in $(seq "$runs"); do
    TIMEFORMAT='%3R %3U %3S'
    { time (
        unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
        build/bin/camconsole --port "$work/port1" --run normal >"$work/log"
    ); } 2>"$work/time"
    total=$(awk '{ printf "%d", $1 * 1000 }' "$work/time")
    cpu=$(awk '{ printf "%d", ($2 + $3) * 1000 }' "$work/time")
    reception=$(sed -n 's/^Total Time To Get Frame://p' "$work/log")
    overhead=$((total - settle_ms - ping_wait_ms - reception))
    # A run during which camsim reported that the machine stalled it
    # measures the machine: it is shown but not counted.
    stalls=$(grep -c "^camsim: stalled" "$work/camsim.err" || true)
    note=""
    if [ "$stalls" -gt "${stalls_before:-0}" ]; then
        note=" (inconclusive: the machine stalled camsim)"
    else
        echo "$overhead" >>"$work/overheads"
    fi
    stalls_before=$stalls
    printf "run %d: total %5d ms, reception %5d ms, overhead %4d ms (target 50 ms), CPU %3d ms%s\n" \
        "$run" "$total" "$reception" "$overhead" "$cpu" "$note"
done
# Start-up and exit alone, for comparison: camconsole --version, and a
# program on QtCore and QtSerialPort alone. Each is run 20 times per round
# and timed as a whole, so the CPU time is above the clock's resolution.
TIMEFORMAT='%3R %3U %3S'
for _ in $(seq "$runs"); do
    { time (for _ in $(seq 20); do build/bin/camconsole --version >/dev/null; done); } 2>>"$work/version-times"
    { time (for _ in $(seq 20); do build/bench/qt_core_baseline >/dev/null; done); } 2>>"$work/baseline-times"
done
median() {
    awk "{ printf \"%.1f\\n\", $1 / 20 }" "$2" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
version_ms=$(median '$1 * 1000' "$work/version-times")
version_cpu=$(median '($2 + $3) * 1000' "$work/version-times")
baseline_ms=$(median '$1 * 1000' "$work/baseline-times")
baseline_cpu=$(median '($2 + $3) * 1000' "$work/baseline-times")
printf "start-up and exit alone (camconsole --version): median %s ms, CPU %s ms\n" "$version_ms" "$version_cpu"
printf "QtCore and QtSerialPort alone (bench/qt_core_baseline): median %s ms, CPU %s ms\n" "$baseline_ms" "$baseline_cpu"
awk -v c="$version_cpu" -v b="$baseline_cpu" 'BEGIN { printf "camconsole --version CPU: %.2f x the baseline (target at most 1.3)\n", c / b }'
# Other load on the machine only ever adds time: the minimum is the figure.
sort -n "$work/overheads" | awk '{ v[NR] = $1 } END {
    printf "overhead: min %d ms, median %d ms, max %d ms over %d runs (load average %s)\n",
        v[1], v[int((NR + 1) / 2)], v[NR], NR, load }' load="$(cut -d' ' -f1 /proc/loadavg)"
