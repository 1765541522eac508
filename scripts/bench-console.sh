#!/bin/sh
# Times the console's direct and driver-library frame dumps in a real window
# under a virtual X server (Xvfb), against camsim at 115200-baud pace, and
# prints the logged figures with their share of the frame's wire time (and
# says when camsim reported that the machine stalled it meanwhile).
# Then runs the decoder micro-benchmarks and times the frame inspector.
#   ./scripts/bench-console.sh [runs]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-3}
cmake --build build -j2 --target console_timing decode_bench inspector_timing camsim tarqis >/dev/null

. scripts/lib/camsim-xvfb.sh
start_camsim build/bin/camsim
start_xvfb 1920x1200 # room for the frame inspector's largest window

export CAMCONSOLE_DRIVER="$PWD/build/lib/camconsole/libtarqis.so"
QT_QPA_PLATFORM=xcb build/bench/console_timing "$runs"
# Runs during which camsim reported that the machine stalled it measure the
# machine, not the console.
if grep "^camsim: stalled" "$work/camsim.err"; then
    echo "bench-console: inconclusive: the machine stalled camsim during the runs above (see the lines above)"
fi
echo
build/bench/decode_bench --benchmark_min_time=0.2
echo
QT_QPA_PLATFORM=xcb build/bench/inspector_timing
