#!/bin/sh
# Takes the README's screenshots: runs the console from a built tree
# (default: build/) on a virtual X server against camsim, clicks each test
# button with xdotool and saves the window after the test as a small PNG
# under docs/; then runs the direct test again against camsim's "flip" fault,
# opens the frame inspector from the picture's menu and saves its compare
# page. Needs Xvfb, xdotool and ImageMagick (scripts/setup.sh).
# Extra arguments go to camsim, for example --pattern checker.
set -eu
cd "$(dirname "$0")/.."
build=build
if [ $# -gt 0 ] && [ -d "$1" ]; then
    build=$1
    shift
fi

. scripts/lib/camsim-xvfb.sh
start_xvfb 1280x800 # room for the frame inspector
start_camsim "$build/bin/camsim" "$@"

# The driver library by a short path, as the inspector shows it.
ln -s "$PWD/$build/lib/camconsole/libtarqis.so" "$work/libtarqis.so"
CAMCONSOLE_DRIVER="$work/libtarqis.so" QT_QPA_PLATFORM=xcb "$build/bin/camconsole" 2>"$work/console.log" &
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

# The frame inspector's compare page after the driver dump and a direct dump
# with camsim's "flip" fault (seven camera pixels changed): camsim starts
# again on the same link with the fault for its next frame dump only.
kill "$camsim_pid"
wait_for 10 test ! -e "$work/port1" || fail "camsim's link $work/port1 stayed"
start_camsim "$build/bin/camsim" --fault DF=flip --fault-times 1 "$@"
xdotool mousemove --window "$window" 224 100 click 1
sleep 5
# "Inspect Frames..." is the picture menu's third item.
xdotool mousemove --window "$window" 80 80 click 3
sleep 0.5
xdotool key Down Down Down Return
find_frames_window() {
    frames=$(xdotool search --name '^camconsole: Frames$' 2>/dev/null | head -n 1)
    [ -n "$frames" ]
}
wait_for 20 find_frames_window || fail "the frame inspector did not appear"
xdotool windowsize "$frames" 1060 560
sleep 0.5
xdotool key ctrl+Tab ctrl+Tab ctrl+Tab
xdotool mousemove 1200 780
sleep 0.5
import -window "$frames" "$work/screenshot-compare.png"
convert "$work/screenshot-compare.png" -strip -define png:compression-level=9 -define png:compression-filter=5 \
    docs/screenshot-compare.png
echo "screenshots: docs/screenshot-compare.png, $(wc -c <docs/screenshot-compare.png) bytes"
