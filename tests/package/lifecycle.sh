#!/usr/bin/env bash
# The package's life on a real dpkg: install, upgrade, removal and purge, in a
# throwaway copy-on-write view of this machine (an overlay over / in a private
# mount namespace, entered with chroot), so the machine itself is not touched.
#   lifecycle.sh PACKAGE.deb
# Exits 77 (skipped) where no mount namespace or overlay can be made.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
# owner:group mode of a path
status() { stat -c '%U:%G %a' "$1"; }

if [ "${1:-}" = --chrooted ]; then
    deb=$2
    ini=/etc/tidepanel/SysInfo.ini
    dpkg -i "$deb" >/dev/null
    getent group tidepanel >/dev/null || fail "no group tidepanel"
    [ "$(status /etc/tidepanel)" = "root:root 755" ] || fail "/etc/tidepanel is $(status /etc/tidepanel)"
    [ "$(status $ini)" = "root:tidepanel 664" ] || fail "$ini is $(status $ini)"
    cmp -s $ini /usr/share/tidepanel/SysInfo.ini || fail "$ini is not the prepared file"
    [ "$(readlink /usr/lib/tidepanel/SysInfo.ini)" = $ini ] || fail "no link beside the programs"
    [ -x /usr/bin/tidepanel ] && [ -x /usr/bin/tideedit ] || fail "no programs in /usr/bin"

    printf '[Sysinfo]\r\nTitle=owner\r\n' >$ini
    dpkg -i "$deb" >/dev/null
    grep -q 'Title=owner' $ini || fail "an upgrade replaced the owner's file"
    [ "$(status $ini)" = "root:tidepanel 664" ] || fail "an upgrade changed $ini to $(status $ini)"

    dpkg -r tidepanel >/dev/null
    [ ! -e /usr/bin/tidepanel ] || fail "removed, yet /usr/bin/tidepanel is there"
    grep -q 'Title=owner' $ini || fail "a removal took the owner's file"

    dpkg -i "$deb" >/dev/null
    grep -q 'Title=owner' $ini || fail "an install after a removal replaced the owner's file"
    dpkg -P tidepanel >/dev/null
    [ ! -e /etc/tidepanel ] || fail "purged, yet /etc/tidepanel is there: $(ls -A /etc/tidepanel)"
    [ ! -e /etc/xdg/autostart/tidepanel.desktop ] || fail "purged, yet the autostart entry is there"
    echo "install, upgrade, removal and purge as expected"
    exit 0
fi

if [ "${1:-}" = --unshared ]; then
    deb=$2 work=$3
    root=$work/root
    mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/work" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root/run/tide"
    cp "$deb" "$0" "$root/run/tide/"
    exec chroot "$root" /bin/bash "/run/tide/$(basename "$0")" --chrooted \
        "/run/tide/$(basename "$deb")"
fi

deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/upper" "$work/work" "$work/root"
if ! unshare --mount --propagation private \
    mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/work" \
    "$work/root" 2>/dev/null; then
    echo "no mount namespace with an overlay here (needs root): skipped"
    exit 77
fi
unshare --mount --propagation private "$0" --unshared "$deb" "$work"
