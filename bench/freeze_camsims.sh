#!/bin/sh
# Freezes the simulated cameras running on this machine now and then, as a
# busy virtual machine stops a CPU: every camsim process (not its relays) is
# stopped (SIGSTOP) for the given milliseconds at random moments, one at a
# time, until the given seconds have passed. Run it beside the test suite to
# see that the suite's verdict holds on such a machine:
#   bench/freeze_camsims.sh 600 100 & ctest --test-dir build -L 'unit|integration' -j2
#   bench/freeze_camsims.sh [seconds] [stop ms] [most ms between stops]
set -eu
seconds=${1:-600}
stop_ms=${2:-100}
gap_ms=${3:-700}
stop=$(awk -v ms="$stop_ms" 'BEGIN { printf "%.3f", ms / 1000 }')
end=$(($(date +%s) + seconds))
stops=0
while [ "$(date +%s)" -lt "$end" ]; do
    for pid in $(pgrep -x camsim || true); do
        # A relay is named camsim for a moment after camsim starts it.
        ppid=$(awk '{ print $4 }' "/proc/$pid/stat" 2>/dev/null || true)
        [ "$(cat "/proc/$ppid/comm" 2>/dev/null || true)" = camsim ] && continue
        # One stopped by someone else (a test) is theirs to resume.
        state=$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null || true)
        [ "$state" = "T" ] && continue
        if kill -STOP "$pid" 2>/dev/null; then
            sleep "$stop"
            kill -CONT "$pid" 2>/dev/null || true
            stops=$((stops + 1))
        fi
    done
    sleep "$(awk -v most="$gap_ms" 'BEGIN { srand(); printf "%.3f", (50 + rand() * (most - 50)) / 1000 }')"
done
echo "freeze_camsims: $stops stops of $stop_ms ms"
