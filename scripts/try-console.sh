#!/bin/sh
# Sets up and builds camconsole, starts the simulated camera on a
# pseudo-terminal and opens the console on it. Extra arguments go to camsim,
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
    echo "No display: opening the console on a virtual X server (Xvfb)." >&2
    start_xvfb
    QT_QPA_PLATFORM=xcb build/bin/camconsole
else
    build/bin/camconsole
fi
