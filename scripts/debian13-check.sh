#!/usr/bin/env bash
# Tries the project as a newcomer on a fresh Debian 13 (trixie):
#
#   scripts/debian13-check.sh [FOLDER]      (default build/debian13)
#
# makes a clean Debian 13 system in FOLDER with debootstrap, clones this
# repository's checked-out commit into it with ../shared beside it, and runs
# the README's two commands there as root through chroot: scripts/run.sh, then
# scripts/test.sh. It downloads a system, so it is not part of the test
# command. The debootstrapped base is kept in ~/.cache/tide-debootstrap/ and
# copied, so a second run downloads only the project's packages. Everything
# runs in a mount and process namespace of its own: the mounts and every
# process left over end with the script. The log is FOLDER.log, and its last
# lines sum up the times and the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
suite=${TIDE_CHECK_SUITE:-trixie}
target=$(realpath -m "${1:-build/debian13}")
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tide-debootstrap/$suite
log=$target.log

[ "$(id -u)" -eq 0 ] || exec sudo -E "$0" "$@"

# Once: into namespaces of our own, where the mounts and processes can
# not outlive the script.
if [ -z "${TIDE_CHECK_NS:-}" ] && unshare --mount --pid --fork true 2>/dev/null; then
    mkdir -p "$(dirname "$log")"
    TIDE_CHECK_NS=1 exec unshare --mount --pid --fork --propagation private "$0" "$@" 2>&1 |
        tee "$log"
    exit "${PIPESTATUS[0]}"
fi
if [ -z "${TIDE_CHECK_NS:-}" ]; then
    mkdir -p "$(dirname "$log")"
    exec > >(tee "$log") 2>&1
    echo "No mount namespace here: the mounts are undone at the end instead."
fi

mounts=()
unmount() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -R -l "${mounts[i]}" 2>/dev/null || true; done
    mounts=()
}
trap unmount EXIT
mount_in() { # TYPE-OR-BIND SOURCE PATH-IN-ROOT
    mkdir -p "$target$3"
    if [ "$1" = bind ]; then mount --rbind "$2" "$target$3"; else mount -t "$1" "$2" "$target$3"; fi
    mounts+=("$target$3")
}

source scripts/packages.sh
command -v debootstrap >/dev/null || tide_install_packages debootstrap
archive=$(tide_archive_uri)

if [ ! -e "$cache/.complete" ]; then
    echo "Making a Debian $suite base with debootstrap from the machine's archive into $cache"
    rm -rf --one-file-system "$cache"
    mkdir -p "$cache"
    debootstrap --include=git,ca-certificates "$suite" "$cache" "$archive" >"$cache.debootstrap.log" 2>&1 ||
        { tail -n 20 "$cache.debootstrap.log"; exit 1; }
    touch "$cache/.complete"
fi

# A fresh copy of the base; never through a mount of an earlier run.
if [ -e "$target" ]; then
    if findmnt -rn -o TARGET | grep -q "^$target/"; then
        echo "Something is still mounted under $target; not removing it." >&2
        exit 1
    fi
    rm -rf --one-file-system "$target"
fi
cp -a "$cache" "$target"
rm "$target/.complete"
cp -L /etc/resolv.conf "$target/etc/resolv.conf"
# What systemd-tmpfiles makes at boot: the X servers' socket folder, which a
# compositor started as another user cannot make itself.
install -d -m 1777 "$target/tmp/.X11-unix"
# No services start inside the chroot.
printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
chmod 755 "$target/usr/sbin/policy-rc.d"

# The project as a newcomer gets it: a clone, ../shared beside it.
mkdir -p "$target/root/tide"
git bundle create "$target/root/tide.bundle" HEAD $(git symbolic-ref -q HEAD || true) 2>/dev/null
[ -d ../shared ] && cp -a ../shared "$target/root/tide/shared"
echo "Checking $(git log -1 --format='%h %s' | cut -c1-72)"

# The root a mount point of its own, as a booted system's is: the tests make
# namespaces of their own there, which needs it.
mount --bind "$target" "$target"
mounts+=("$target")
mount_in proc proc /proc
mount_in sysfs sys /sys
mount_in bind /dev /dev # with /dev/pts
mount_in tmpfs tmpfs /dev/shm
mount_in tmpfs tmpfs /run
install -d -m 1777 "$target/run/lock"

# Runs one command of the README in the clone, as root with a clean
# environment and no display; prints its status and seconds.
inside() {
    chroot "$target" /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
}
step() {
    local started status
    started=$(date +%s)
    status=0
    inside "cd /root/tide/tidepanel && $1" || status=$?
    echo "$1: exit $status after $(($(date +%s) - started)) s" >>"$target.summary"
}
rm -f "$target.summary"
inside "cd /root/tide && git -c init.defaultBranch=main clone -q /root/tide.bundle tidepanel"
step scripts/run.sh
step scripts/test.sh

. "$target/etc/os-release"
echo
echo "== Debian $VERSION_ID ($VERSION_CODENAME) in $target"
cat "$target.summary"
sed -n -e '/tests passed, .* tests failed out of/p' -e '/^Total Test time/p' "$log" 2>/dev/null | tail -n 2
# ctest's lists of the tests that did not run and that failed.
awk '/^The following tests (did not run|FAILED):/ {on = 1; print; next}
     on && /^\t/ {print; next} {on = 0}' "$log" 2>/dev/null | tail -n 40
