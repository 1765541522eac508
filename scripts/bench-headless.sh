#!/bin/sh
# Overhead of a run without a window: the wall time of
# `camconsole --run normal` against camsim at 115200-baud pace, less the
# test's own waits: the 100 ms settle after opening the port, the 50 ms ping
# wait and the dump's reception ("Total Time To Get Frame:", the reply's
# wire time plus the pause that ends it, during which the console only reads
# and sleeps). What is left is start-up, decode and exit (target: at most
# 50 ms). Prints each run's figures beside its total, and the CPU time the
# process used. Figures only; nothing is asserted.
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
    start=$(date +%s%N)
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/time -f "%U %S" -o "$work/cpu" \
        build/bin/camconsole --port "$work/port1" --run normal >"$work/log"
    end=$(date +%s%N)
    total=$(((end - start) / 1000000))
    reception=$(sed -n 's/^Total Time To Get Frame://p' "$work/log")
    cpu=$(awk '{ printf "%d", ($1 + $2) * 1000 }' "$work/cpu")
    printf "run %d: total %5d ms, reception %5d ms, overhead %4d ms (target 50 ms), CPU %3d ms\n" \
        "$run" "$total" "$reception" $((total - settle_ms - ping_wait_ms - reception)) "$cpu"
done
