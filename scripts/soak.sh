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
# kept in <build dir>/soak.log. When runs failed while camsim reported that
# the machine stalled it (it did not run camsim for longer than camsim's
# lead), the failures say nothing about the console: the soak says so and
# runs once more; failing again beside a stall, it is inconclusive (exit 77).
#   ./scripts/soak.sh [repeats] [build dir]
set -eu
cd "$(dirname "$0")/.."
repeats=${1:-300}
build=${2:-build}
cmake --build "$build" -j2 --target headless_soak camsim tarqis >/dev/null

. scripts/lib/camsim-xvfb.sh
start_camsim "$build/bin/camsim" --fast

soak_once() {
    echo "soak: camconsole --run normal,binary,dll --repeat $repeats against camsim --fast"
    cp "$work/camsim.err" "$work/camsim.err.before"
    status=0
    "$build/bench/headless_soak" --port "$work/port1" --driver "$PWD/$build/lib/camconsole/libtarqis.so" \
        --run normal,binary,dll --repeat "$repeats" >"$build/soak.log" 2>"$work/figures" || status=$?
    # The summary follows the last log after an empty line.
    awk 'summary { print } /^$/ { summary = 1 }' "$build/soak.log"
    cat "$work/figures"
    # camsim's stall reports during this soak.
    stalls=$(diff "$work/camsim.err.before" "$work/camsim.err" | sed -n 's/^> \(camsim: stalled .*\)/\1/p')
}

soak_once
if [ "$status" -ne 0 ] && [ -n "$stalls" ]; then
    printf '%s\n' "$stalls"
    echo "soak: the machine stalled the simulated camera during the soak, so its failed runs say nothing about the console; once more:"
    soak_once
    if [ "$status" -ne 0 ] && [ -n "$stalls" ]; then
        printf '%s\n' "$stalls"
        echo "soak: inconclusive: the machine stalled the simulated camera again (the whole log is in $build/soak.log)" >&2
        exit 77
    fi
fi
[ "$status" -eq 0 ] || echo "soak: the whole log is in $build/soak.log" >&2
exit "$status"
