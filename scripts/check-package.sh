#!/bin/sh
# Builds the .deb from a built tree (default: build/) and checks it as an
# installation would see it: package metadata and dependencies, the file
# list, the layout extracted into a scratch root, no unresolved libraries,
# no RPATH in the installed binaries but the console's own, which name only
# lib/camconsole/ relative to themselves, the driver library's exports, the
# AppStream metadata (appstreamcli validate --no-net), the manual pages
# (formatted without warnings), the console's --version with no display, and
# a run of the extracted console's driver test against camsim on a virtual
# X server (skipped when Xvfb or xdotool is missing).
set -eu
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
keep_work=${CHECK_PACKAGE_KEEP:-}
. scripts/lib/camsim-xvfb.sh

echo "check-package: building the .deb"
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/out/camconsole_*.deb)
echo "check-package: $(basename "$deb"), $(wc -c <"$deb") bytes"

# Metadata: name, section, and the Qt libraries found by dpkg-shlibdeps.
dpkg-deb -I "$deb" >"$work/info"
for field in "Package: camconsole" "Section: electronics" "Maintainer: " "Description: "; do
    grep -q "^ *$field" "$work/info" || fail "control field '$field' missing"
done
depends=$(sed -n 's/^ *Depends: //p' "$work/info")
for library in libc6 libstdc++6 libqt6widgets6 libqt6serialport6; do
    echo "$depends" | grep -q "$library" || fail "Depends lacks $library: $depends"
done

# File list: exactly these files, under /usr.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/camconsole
./usr/bin/camsim
./usr/include/tarqis/tarqis.h
./usr/lib/camconsole/libcamconsole_cli.so
./usr/lib/camconsole/libcamconsole_core.so
./usr/lib/camconsole/libcamconsole_image.so
./usr/lib/camconsole/libcamconsole_qt_io.so
./usr/lib/camconsole/libcamconsole_window.so
./usr/lib/camconsole/libtarqis.so
./usr/share/applications/camconsole.desktop
./usr/share/icons/hicolor/scalable/apps/camconsole.svg
./usr/share/man/man1/camconsole.1.gz
./usr/share/man/man1/camsim.1.gz
./usr/share/metainfo/org.example.camconsole.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" || fail "unexpected file list"

root="$work/root"
dpkg -x "$deb" "$root"

# Installed binaries: every library resolves, the system's from the system.
# camsim and the driver library carry no RPATH; the console and its own
# libraries find the console's libraries in lib/camconsole/ through a
# RUNPATH relative to themselves, and nothing else through it.
runpath_of() { readelf -d "$root/$1" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p'; }
for path in "$root"/usr/bin/camconsole "$root"/usr/bin/camsim "$root"/usr/lib/camconsole/*.so; do
    binary=${path#"$root"/}
    if ldd "$root/$binary" | grep -q "not found"; then
        ldd "$root/$binary" >&2
        fail "$binary: unresolved libraries"
    fi
    case "$binary" in
    usr/bin/camconsole) expected='$ORIGIN/../lib/camconsole' ;;
    usr/lib/camconsole/libcamconsole_*.so) expected='$ORIGIN' ;;
    *) expected= ;;
    esac
    [ "$(runpath_of "$binary")" = "$expected" ] || fail "$binary has the RUNPATH '$(runpath_of "$binary")'"
done

# The driver library exports its five CAM_ entries and nothing else of its own.
exports=$(nm -D --defined-only "$root/usr/lib/camconsole/libtarqis.so" | awk '{ print $3 }' | sort | tr '\n' ' ')
[ "$exports" = "CAM_ClosePort CAM_DumpFrame CAM_Init CAM_LastError CAM_Ping " ] || fail "libtarqis.so exports: $exports"

if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$root/usr/share/applications/camconsole.desktop" || fail "desktop entry"
fi
grep -q "^Exec=camconsole$" "$root/usr/share/applications/camconsole.desktop" || fail "desktop entry Exec"
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/camconsole.svg" || fail "icon is not an SVG"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.camconsole.metainfo.xml" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "AppStream metainfo"; }
# The manual pages format without warnings.
for page in camconsole camsim; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l -Tutf8 "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page $page: $warnings"
done

"$root/usr/bin/camsim" --help >/dev/null || fail "camsim --help"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/camconsole" --version | grep -q "^camconsole " ||
    fail "camconsole --version without a display"

if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
    echo "check-package: no Xvfb or xdotool, the run of the extracted console is skipped"
    echo "check-package: OK"
    exit 0
fi

# The extracted console, clicked on "DF --> DLL (RGB)", must load the
# extracted window library and driver (found beside its own executable, with
# no CAMCONSOLE_DRIVER; the core's library loads both) and the driver must
# ping the camera and dump a frame.
start_xvfb
start_camsim "$root/usr/bin/camsim" --log "$work/commands" --fast

unset CAMCONSOLE_DRIVER
QT_QPA_PLATFORM=xcb LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld" "$root/usr/bin/camconsole" 2>"$work/console.log" &
console_pid=$!
track_pid "$console_pid"
wait_for_window
sleep 0.5
xdotool mousemove --window "$window" 224 44 click 1
sent_df() { grep -q "^DF$" "$work/commands" 2>/dev/null; }
wait_for 20 sent_df || fail "the driver test sent no DF (camsim log: $(cat "$work/commands" 2>/dev/null))"
grep -hq "file=$root/usr/lib/camconsole/libcamconsole_window.so .*dynamically loaded by $root/usr/.*libcamconsole_core.so" \
    "$work"/ld.* || fail "the console did not load $root/usr/lib/camconsole/libcamconsole_window.so"
grep -hq "file=$root/usr/lib/camconsole/libtarqis.so .*dynamically loaded by $root/usr/.*libcamconsole_core.so" \
    "$work"/ld.* || fail "the console did not load $root/usr/lib/camconsole/libtarqis.so"
kill "$console_pid" 2>/dev/null || true
wait "$console_pid" 2>/dev/null || true

echo "check-package: OK"
