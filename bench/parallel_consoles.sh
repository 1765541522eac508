#!/bin/sh
# Several cameras at once, as a bench of stations tests them: COUNT camsims
# at the wire's pace and COUNT consoles started together, one per port, each
# naming its unit, keeping failed runs into one shared folder and writing a
# CSV of its own. Prints each console's verdict and "Total Time To Get
# Frame", then the count of whole frames and the range of the times beside
# the wire's 2,987 ms (34,408 bytes at 115,200 baud), and checks that no
# console's file was touched by another: each CSV holds one row, of its own
# unit, and every kept file is named after a unit whose run failed. All files
# go into a fresh folder made by mktemp, removed at the end. Figures only;
# exits 0 unless something could not be started or a file was touched.
#   bench/parallel_consoles.sh [build dir] [count] [normal|dll]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-16}
test=${3:-normal}
work=$(mktemp -d "${TMPDIR:-/tmp}/parallel_consoles.XXXXXX")
camsims=
cleanup() {
    for pid in $camsims; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir "$work/kept"

i=1
while [ "$i" -le "$count" ]; do
    "$build/bin/camsim" --link "$work/port$i" >"$work/camsim$i.out" 2>"$work/camsim$i.err" &
    camsims="$camsims $!"
    i=$((i + 1))
done
i=1
while [ "$i" -le "$count" ]; do
    tries=0
    until [ -e "$work/port$i" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || { echo "parallel_consoles: camsim $i did not start" >&2; exit 1; }
        sleep 0.05
    done
    i=$((i + 1))
done

consoles=
i=1
while [ "$i" -le "$count" ]; do
    "$build/bin/camconsole" --port "$work/port$i" --driver "$PWD/$build/lib/camconsole/libtarqis.so" \
        --run "$test" --unit "station$i" --keep-failed "$work/kept" --csv "$work/station$i.csv" \
        >"$work/console$i.out" 2>"$work/console$i.err" &
    consoles="$consoles $!"
    i=$((i + 1))
done
whole=0 touched=0 min= max=
i=1
for pid in $consoles; do
    status=0
    wait "$pid" || status=$?
    ms=$(sed -n 's/^\(Total Time To Get Frame:\|Image Dump CompleteTotal Ticks to Get Frame: \)\([0-9]*\)$/\2/p' "$work/console$i.out")
    verdict=$(grep "^camconsole: " "$work/console$i.out" | tail -n 1)
    echo "station$i: exit $status, ${ms:-no} ms: $verdict"
    [ "$status" -eq 0 ] && whole=$((whole + 1))
    if [ -n "$ms" ]; then
        { [ -z "$min" ] || [ "$ms" -lt "$min" ]; } && min=$ms
        { [ -z "$max" ] || [ "$ms" -gt "$max" ]; } && max=$ms
    fi
    # One header and one row, of this console's own unit.
    rows=$(wc -l <"$work/station$i.csv")
    units=$(tail -n +2 "$work/station$i.csv" | cut -d, -f1 | tr -d '\r' | sort -u)
    if [ "$rows" -ne 2 ] || [ "$units" != "station$i" ]; then
        echo "station$i.csv: $rows lines, units: $units" >&2
        touched=$((touched + 1))
    fi
    if [ "$status" -eq 0 ] && ls "$work/kept" | grep -q "^station$i-"; then
        echo "station$i passed but has kept files" >&2
        touched=$((touched + 1))
    fi
    i=$((i + 1))
done
kept=$(ls "$work/kept" | wc -l)
echo "parallel_consoles: $count consoles, $test: $whole of $count whole frames, times ${min:-?} to ${max:-?} ms" \
    "(the wire: 2987 ms); $kept kept files; $touched files touched by another console"
[ "$touched" -eq 0 ]
