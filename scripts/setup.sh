#!/bin/sh
# Installs what camconsole needs to build, test and run, on Debian 12
# (bookworm) or Debian 13 (trixie). Every name below is a package of both
# releases: the unversioned clang packages follow each release's default
# clang (14 on Debian 12, 19 on Debian 13).
# Safe to run again: packages already present are left alone.
set -eu

PACKAGES="build-essential cmake pkg-config git
qt6-base-dev qt6-serialport-dev libgl-dev
libgtest-dev libgmock-dev libbenchmark-dev
clang libclang-rt-dev clang-format clang-tidy
xvfb xauth x11-apps xdotool imagemagick fonts-liberation fonts-dejavu-core
file dpkg-dev appstream man-db"

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $package"
    fi
done

if [ -z "$missing" ]; then
    echo "setup: all packages present"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "setup: these packages are missing and installing them needs root:$missing" >&2
    exit 1
fi

echo "setup: installing$missing"
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
