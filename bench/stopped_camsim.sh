#!/bin/sh
# Stops the simulated camera in the middle of a test, as a busy virtual
# machine stops it, and counts how the console's runs end. For each run:
# camsim (default options plus the extra ones given) is started afresh, the
# console runs one test without a window, and once camsim has received the
# test's main command ("DF" or "TW") it is stopped (SIGSTOP) after a delay
# that steps through the reply, for the given milliseconds, then let go on
# (SIGCONT). Prints each run's verdict line and camsim's stall lines, then
# the counts. Figures only; exits 0 unless something could not be started.
#   bench/stopped_camsim.sh [build dir] [runs] [stop ms] [normal|binary] [camsim options...]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
stop_ms=${3:-100}
test=${4:-normal}
[ $# -gt 4 ] && shift 4 || set --
case "$test" in
normal) command=DF reply_ms=2900 ;;
binary) command=TW reply_ms=120 ;;
*)
    echo "usage: $0 [build dir] [runs] [stop ms] [normal|binary] [camsim options...]" >&2
    exit 2
    ;;
esac

. scripts/lib/camsim-xvfb.sh
passed=0 failed=0 stalled=0
run=1
while [ "$run" -le "$runs" ]; do
    rm -f "$work/port1" "$work/commands.log" "$work/camsim.out"
    start_camsim "$build/bin/camsim" --log "$work/commands.log" "$@"
    "$build/bin/camconsole" --run "$test" --driver "$PWD/$build/lib/camconsole/libtarqis.so" >"$work/console.out" 2>&1 &
    console=$!
    # The stop falls at run/(runs+1) of the reply.
    wait_for 20 grep -qx "$command" "$work/commands.log" || fail "camsim never received $command"
    delay=$((reply_ms * run / (runs + 1)))
    sleep "$(printf '0.%03d' "$delay" | sed 's/^0\.\([0-9]\)\([0-9][0-9][0-9]\)$/\1.\2/')"
    kill -STOP "$camsim_pid"
    sleep "$(awk -v ms="$stop_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
    kill -CONT "$camsim_pid"
    status=0
    wait "$console" || status=$?
    verdict=$(grep -E "^camconsole: (normal|binary): " "$work/console.out" | tail -n 1)
    echo "run $run (stopped ${stop_ms} ms at ${delay} ms into the reply): exit $status: $verdict"
    grep "stalled" "$work/camsim.err" | sed 's/^/    /' || true
    if [ "$status" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    grep -q "stalled" "$work/camsim.err" && stalled=$((stalled + 1))
    kill "$camsim_pid" 2>/dev/null || true
    wait "$camsim_pid" 2>/dev/null || true
    run=$((run + 1))
done
echo "stopped_camsim: $test, camsim stopped for $stop_ms ms: $passed passed, $failed failed, camsim reported a stall in $stalled"
