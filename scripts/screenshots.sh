#!/bin/sh
# Takes the README's screenshots: runs the console from a built tree
# (default: build/) on a virtual X server against camsim, clicks each test
# button with xdotool and saves the window after the test as a small PNG
# under docs/. Needs Xvfb, xdotool and ImageMagick (scripts/setup.sh).
# Extra arguments go to camsim, for example --pattern checker.
set -eu
cd "$(dirname "$0")/.."
build=build
if [ $# -gt 0 ] && [ -d "$1" ]; then
    build=$1
    shift
fi

. scripts/lib/camsim-xvfb.sh
start_xvfb
start_camsim "$build/bin/camsim" "$@"

QT_QPA_PLATFORM=xcb "$build/bin/camconsole" 2>"$work/console.log" &
track_pid $!
wait_for_window
sleep 1

mkdir -p docs
# shot <name> <x> <y> <seconds>: clicks the button centred at x,y (window
# coordinates), waits for the test to end, moves the pointer off the window
# and saves the window.
shot() {
    xdotool mousemove --window "$window" "$2" "$3" click 1
    sleep "$4"
    xdotool mousemove 700 550
    sleep 0.3
    import -window root -crop 375x295+0+0 +repage "$work/$1.png"
    convert "$work/$1.png" -strip -define png:compression-level=9 -define png:compression-filter=5 \
        "docs/$1.png"
    echo "screenshots: docs/$1.png, $(wc -c <"docs/$1.png") bytes"
}

# A frame dump takes about 3.1 s at 115200 baud.
shot screenshot-dll 224 44 5
shot screenshot-binary 320 44 4
shot screenshot-normal 224 100 5
