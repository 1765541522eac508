#!/bin/sh
# Sets up and builds camconsole, starts the simulated camera on a
# pseudo-terminal and opens the console on it. With no display (neither
# DISPLAY nor WAYLAND_DISPLAY) it runs the three tests without a window
# instead, prints their logs and the summary, saves each test's whole frame
# as a PNG file in build/frames/ and exits. Extra arguments go to camsim,
# for example: ./scripts/try-console.sh --pattern checker
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target camconsole camsim tarqis

. scripts/lib/camsim-xvfb.sh
start_camsim build/bin/camsim "$@"
echo "camsim is serving on $(head -n 1 "$work/camsim.out")"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the three tests without a window (camconsole --run normal,binary,dll)."
    unset QT_QPA_PLATFORM
    status=0
    build/bin/camconsole --run normal,binary,dll || status=$?
    # A frame is saved from a run of one test: one more run of each.
    frames="$PWD/build/frames"
    mkdir -p "$frames"
    echo
    echo "Saving each test's whole frame in $frames (one more run of each test)..."
    for test in normal binary dll; do
        build/bin/camconsole --run "$test" --save-frame "$frames/$test.png" >/dev/null || status=$?
    done
    echo "Saved normal.png, binary.png and dll.png in $frames"
    exit "$status"
else
    build/bin/camconsole
fi
