#!/bin/sh
# Sets up and builds camconsole, starts the simulated camera on a
# pseudo-terminal and opens the console on it. Extra arguments go to camsim,
# for example: ./scripts/try-console.sh --pattern checker
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target camconsole camsim tarqis

workdir=$(mktemp -d)
cleanup() {
    [ -n "${camsim_pid:-}" ] && kill "$camsim_pid" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

build/bin/camsim --link "$workdir/port1" "$@" >"$workdir/camsim.out" &
camsim_pid=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -e "$workdir/port1" ] && break
    sleep 0.2
done
echo "camsim is serving on $(head -n 1 "$workdir/camsim.out")"

export CAMCONSOLE_PORT1="$workdir/port1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: opening the console on a virtual X server (xvfb-run)." >&2
    xvfb-run -a build/bin/camconsole
else
    build/bin/camconsole
fi
