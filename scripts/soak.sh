#!/bin/sh
# Soak of the console without a window: camconsole --run normal,binary,dll
# --repeat N (default 300) against camsim --fast, run in one process by
# build/bench/headless_soak, which takes the console's own arguments and
# measures the process between rounds. Prints the run's summary (failures
# per test), the resident memory after the first and the last round (taken
# after the allocator has handed back the free memory it caches, so that the
# figures follow what the console holds) and the open file descriptors
# before and after. Fails on any failed run, on more
# than 1 MiB of memory growth and on a leaked descriptor. The whole log is
# kept in <build dir>/soak.log.
#   ./scripts/soak.sh [repeats] [build dir]
set -eu
cd "$(dirname "$0")/.."
repeats=${1:-300}
build=${2:-build}
cmake --build "$build" -j2 --target headless_soak camsim tarqis >/dev/null

. scripts/lib/camsim-xvfb.sh
start_camsim "$build/bin/camsim" --fast

echo "soak: camconsole --run normal,binary,dll --repeat $repeats against camsim --fast"
status=0
"$build/bench/headless_soak" --port "$work/port1" --driver "$PWD/$build/lib/camconsole/libtarqis.so" \
    --run normal,binary,dll --repeat "$repeats" >"$build/soak.log" 2>"$work/figures" || status=$?
# The summary follows the last log after an empty line.
awk 'summary { print } /^$/ { summary = 1 }' "$build/soak.log"
cat "$work/figures"
[ "$status" -eq 0 ] || echo "soak: the whole log is in $build/soak.log" >&2
exit "$status"
