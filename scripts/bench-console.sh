#!/bin/sh
# Times the console's direct and driver-library frame dumps in a real window
# under a virtual X server (Xvfb), against camsim at 115200-baud pace, and
# prints the logged figures with their share of the frame's wire time.
# Then runs the decoder micro-benchmarks and times the frame inspector.
#   ./scripts/bench-console.sh [runs]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-3}
cmake --build build -j2 --target console_timing decode_bench inspector_timing camsim tarqis >/dev/null

workdir=$(mktemp -d)
cleanup() {
    [ -n "${camsim_pid:-}" ] && kill "$camsim_pid" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

build/bin/camsim --link "$workdir/port1" >"$workdir/camsim.out" &
camsim_pid=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -e "$workdir/port1" ] && break
    sleep 0.2
done

export CAMCONSOLE_PORT1="$workdir/port1"
export CAMCONSOLE_DRIVER="$PWD/build/lib/camconsole/libtarqis.so"
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 800x600x24" build/bench/console_timing "$runs"
echo
build/bench/decode_bench --benchmark_min_time=0.2
echo
xvfb-run -a -s "-screen 0 1920x1200x24" build/bench/inspector_timing
