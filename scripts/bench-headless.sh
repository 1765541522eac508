#!/bin/bash
# Overhead of a run without a window: the wall time of
# `camconsole --run normal` against camsim at 115200-baud pace, less the
# test's own waits: the 100 ms settle after opening the port, the 50 ms ping
# wait and the dump's reception ("Total Time To Get Frame:", the reply's
# wire time plus the pause that ends it, during which the console only reads
# and sleeps). What is left is start-up, decode and exit (target: at most
# 50 ms). Prints each run's figures beside its total, and the CPU time the
# process used; then the start-up and exit alone (camconsole --version),
# most of which is the dynamic loader binding Qt. Figures only; nothing is
# asserted.
#   ./scripts/bench-headless.sh [runs]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-5}
cmake --build build -j2 --target camconsole camsim >/dev/null

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
    echo "$overhead" >>"$work/overheads"
    printf "run %d: total %5d ms, reception %5d ms, overhead %4d ms (target 50 ms), CPU %3d ms\n" \
        "$run" "$total" "$reception" "$overhead" "$cpu"
done
# Start-up and exit alone, for comparison: camconsole --version.
for _ in $(seq "$runs"); do
    { time build/bin/camconsole --version >/dev/null; } 2>>"$work/version-times"
done
awk '{ printf "%d\n", $1 * 1000 }' "$work/version-times" | sort -n | awk '{ v[NR] = $1 } END {
    printf "start-up and exit alone (camconsole --version): min %d ms, median %d ms\n", v[1], v[int((NR + 1) / 2)] }'
# Other load on the machine only ever adds time: the minimum is the figure.
sort -n "$work/overheads" | awk '{ v[NR] = $1 } END {
    printf "overhead: min %d ms, median %d ms, max %d ms over %d runs (load average %s)\n",
        v[1], v[int((NR + 1) / 2)], v[NR], NR, load }' load="$(cut -d' ' -f1 /proc/loadavg)"
