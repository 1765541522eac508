#!/bin/bash
# Checks camconsole on a fresh minimal Debian release, as a new user's
# machine would be: debootstraps the release into a scratch root, copies the
# source tree into it and runs, inside a chroot with a bare environment (no
# LANG, as under cron and systemd), the README's two commands without the
# window: the test command without the sanitized suite and the fuzzers
# (./scripts/run-tests.sh --no-sanitizers), then the console command, which
# with no display runs the three tests against the simulated camera.
#
#   scripts/check-on-debian.sh trixie      # Debian 13
#   scripts/check-on-debian.sh bookworm    # Debian 12
#   scripts/check-on-debian.sh trixie -- ./scripts/build.sh   # another command
#
# Needs root (debootstrap, chroot, mounts) and Debian's mirror (or the one in
# CAMCONSOLE_DEBIAN_MIRROR). The root is made in build-roots/RELEASE, anew on
# every run unless CAMCONSOLE_KEEP_ROOT is set, in which case an earlier root
# of the same release is used again (quicker while working on a fix). Exits
# with the status of the commands run inside.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: $0 bookworm|trixie [-- COMMAND...]" >&2
    exit 2
}
[ $# -ge 1 ] || usage
release=$1
shift
case "$release" in
bookworm | trixie) ;;
*) usage ;;
esac
if [ $# -gt 0 ]; then
    [ "$1" = "--" ] || usage
    shift
fi
if [ $# -gt 0 ]; then
    command="$*"
else
    command="./scripts/run-tests.sh --no-sanitizers && ./scripts/try-console.sh"
fi

say() {
    echo "check-on-debian ($release): $*"
}
if [ "$(id -u)" -ne 0 ]; then
    echo "check-on-debian: needs root (debootstrap, chroot and mounts)" >&2
    exit 1
fi
if ! command -v debootstrap >/dev/null 2>&1; then
    say "installing debootstrap"
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null ||
        { env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null &&
            env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null; }
fi

mirror=${CAMCONSOLE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
root="$PWD/build-roots/$release"
source_dir=/src/camconsole

unmount_all() {
    for point in dev/shm dev/pts dev sys proc; do
        if mountpoint -q "$root/$point" 2>/dev/null; then
            umount -l "$root/$point" || true
        fi
    done
}
trap unmount_all EXIT
trap 'exit 130' INT TERM

unmount_all
if [ -z "${CAMCONSOLE_KEEP_ROOT:-}" ] || [ ! -x "$root/usr/bin/apt-get" ]; then
    rm -rf "$root"
    mkdir -p "$root"
    say "debootstrap --variant=minbase $release from $mirror"
    started=$(date +%s)
    if ! debootstrap --variant=minbase "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1; then
        tail -n 20 "$root.debootstrap.log" >&2
        echo "check-on-debian: debootstrap failed (log: $root.debootstrap.log)" >&2
        exit 1
    fi
    say "root ready in $(($(date +%s) - started)) s"
fi

# The tree as it is now, committed or not, without build outputs.
rm -rf "${root:?}$source_dir"
mkdir -p "$root$source_dir"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
    tar --null -T - -cf - | tar -xf - -C "$root$source_dir"
# The checks list the sources with git: the copy gets an index of its own.
git -C "$root$source_dir" init -q
git -C "$root$source_dir" add -A

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
# The host's devices, pseudo-terminals (camsim serves on one) and shared
# memory.
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount --bind /dev/shm "$root/dev/shm"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

say "running: $command"
started=$(date +%s)
status=0
chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    /bin/sh -c "cd $source_dir && $command" || status=$?
say "finished in $(($(date +%s) - started)) s with status $status"
exit "$status"
