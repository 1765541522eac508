# shellcheck shell=sh
# Shared by the scripts that run the console against the simulated camera:
# a scratch directory, camsim on a pseudo-terminal, a virtual X server and the
# console's window, each waited for before the script goes on, and all of it
# stopped and removed when the script exits. Source it (POSIX sh):
#
#   . scripts/lib/camsim-xvfb.sh
#   start_camsim build/bin/camsim --fast     # exports CAMCONSOLE_PORT1
#   start_xvfb                               # exports DISPLAY
#   build/bin/camconsole & track_pid $!
#   wait_for_window                          # sets $window
#
# $work is the scratch directory (kept when keep_work is set non-empty);
# camsim writes its device path to $work/camsim.out and its errors to
# $work/camsim.err, Xvfb to $work/xvfb.log.

script_name=$(basename "$0" .sh)
work=$(mktemp -d)
keep_work=${keep_work:-}
tracked_pids=""

# fail <message>: prints "<script>: FAIL: <message>" and exits with status 1.
fail() {
    echo "$script_name: FAIL: $*" >&2
    exit 1
}

# track_pid <pid>: the process is killed when the script exits.
track_pid() {
    tracked_pids="$tracked_pids $1"
}

camsim_xvfb_cleanup() {
    for pid in $tracked_pids; do
        kill "$pid" 2>/dev/null || true
    done
    if [ -n "$keep_work" ]; then
        echo "$script_name: kept $work"
    else
        rm -rf "$work"
    fi
}
trap camsim_xvfb_cleanup EXIT
trap 'exit 130' INT TERM

# wait_for <seconds> <command> [args]: runs the command every 0.1 s until it
# succeeds (status 0) or the seconds have passed (status 1).
wait_for() {
    tries=$(($1 * 10))
    shift
    while [ "$tries" -gt 0 ]; do
        "$@" && return 0
        tries=$((tries - 1))
        sleep 0.1
    done
    return 1
}

# start_camsim <camsim executable> [camsim arguments]: starts camsim with
# its link at $work/port1, waits until the link is there and camsim has
# printed its device path, and exports CAMCONSOLE_PORT1 pointing at the link.
# Fails when the link does not appear. camsim runs with --realtime, so a busy
# machine leaves no gap in its replies (real-time scheduling where the system
# allows it, as for root; a higher nice priority or none elsewhere).
start_camsim() {
    camsim=$1
    shift
    "$camsim" --realtime --link "$work/port1" "$@" >"$work/camsim.out" 2>"$work/camsim.err" &
    camsim_pid=$!
    track_pid "$camsim_pid"
    if ! wait_for 20 camsim_serving; then
        cat "$work/camsim.err" >&2
        fail "camsim's link $work/port1 did not appear"
    fi
    CAMCONSOLE_PORT1="$work/port1"
    export CAMCONSOLE_PORT1
}

camsim_serving() {
    [ -e "$work/port1" ] && [ -s "$work/camsim.out" ]
}

# start_xvfb [WIDTHxHEIGHT]: starts a virtual X server (800x600 unless given,
# 24 bits) on a free display, waits until it accepts clients and exports
# DISPLAY. There is no window manager: a window's client area stands at 0,0
# of the screen.
start_xvfb() {
    command -v Xvfb >/dev/null 2>&1 || fail "Xvfb is not installed (scripts/setup.sh installs it)"
    Xvfb -displayfd 3 -screen 0 "${1:-800x600}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    track_pid $!
    wait_for 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY
}

# wait_for_window: waits until the console's window is on the X display and
# sets window to its id. Fails when it does not appear.
wait_for_window() {
    window=
    wait_for 20 find_console_window || fail "the console's window did not appear"
}

find_console_window() {
    window=$(xdotool search --name '^Form1$' 2>/dev/null | head -n 1)
    [ -n "$window" ]
}
