#!/bin/sh
# Sets up and builds camconsole, starts the simulated camera on a
# pseudo-terminal and opens the console on it. With no display (neither
# DISPLAY nor WAYLAND_DISPLAY) it runs the three tests without a window
# instead, prints their logs and the summary, saves each test's whole frame
# as a PNG file in build/frames/ and exits: 0 when every run passed, else the
# failing run's status, after naming the test and its verdict (and saying
# when camsim reported that the machine stalled it meanwhile). Extra arguments go to camsim,
# for example: ./scripts/try-console.sh --pattern checker
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target camconsole camsim tarqis

. scripts/lib/camsim-xvfb.sh
start_camsim build/bin/camsim "$@"
echo "camsim is serving on $(head -n 1 "$work/camsim.out")"

# stalls_since <lines>: camsim's stall reports after the first <lines> lines
# of its errors.
stalls_since() {
    tail -n "+$(($1 + 1))" "$work/camsim.err" | grep "^camsim: stalled" || true
}

# explain_failure <what> <lines>: what a failure meant, when camsim reported
# that the machine stalled it meanwhile.
explain_failure() {
    stalls=$(stalls_since "$2")
    if [ -n "$stalls" ]; then
        printf '%s\n' "$stalls" >&2
        echo "try-console: $1 failed while the machine stalled the simulated camera: the failure says nothing about the console or the camera" >&2
    fi
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the three tests without a window (camconsole --run normal,binary,dll)."
    unset QT_QPA_PLATFORM
    status=0
    seen=$(wc -l <"$work/camsim.err")
    build/bin/camconsole --run normal,binary,dll || {
        status=$?
        explain_failure "a test" "$seen"
    }
    # A frame is saved from a run of one test: one more run of each.
    frames="$PWD/build/frames"
    mkdir -p "$frames"
    echo
    echo "Saving each test's whole frame in $frames (one more run of each test)..."
    saved=""
    for test in normal binary dll; do
        rm -f "$frames/$test.png"
        seen=$(wc -l <"$work/camsim.err")
        if build/bin/camconsole --run "$test" --save-frame "$frames/$test.png" >"$work/$test.log" 2>&1; then
            saved="$saved $test.png"
        else
            run_status=$?
            [ "$status" -ne 0 ] || status=$run_status
            # The run's verdict line (or its error) says why.
            grep "^camconsole: " "$work/$test.log" >&2 || tail -n 3 "$work/$test.log" >&2
            if [ -e "$frames/$test.png" ]; then
                echo "try-console: $test.png holds only what arrived in that failed run" >&2
            fi
            explain_failure "$test" "$seen"
        fi
    done
    if [ -n "$saved" ]; then
        echo "Saved whole:$saved in $frames"
    fi
    [ "$status" -eq 0 ] || echo "try-console: a test failed (exit status $status); see above" >&2
    exit "$status"
else
    build/bin/camconsole
fi
