#!/usr/bin/env bash
# The package through dpkg: install, upgrade, removal, install again and
# purge, in a throwaway view of this machine (an overlay over / in a private
# mount namespace, entered with chroot), which leaves the machine untouched.
#   lifecycle.sh PACKAGE.deb
# Exits 77 (skipped) where no mount namespace or overlay can be made.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

case ${1:-} in
--chrooted)
    deb=$2 ini=/etc/tidepanel/SysInfo.ini
    # Other packages' triggers (manual pages, icon caches) would take most of the time.
    quick=(--force-unsafe-io --no-triggers)
    is() { [ "$(stat -c '%U:%G %a' "$1")" = "$2" ] || fail "$1 is $(stat -c '%U:%G %a' "$1")"; }
    owners() { grep -q 'Title=owner' $ini || fail "$1 replaced or took the owner's file"; }
    # A machine may have the package installed already: start from none.
    if dpkg-query -W -f='${Status}' tidepanel 2>/dev/null | grep -qv 'not-installed'; then
        dpkg "${quick[@]}" -P tidepanel >/dev/null
    fi
    rm -rf /etc/tidepanel
    dpkg "${quick[@]}" -i "$deb" >/dev/null
    is /etc/tidepanel "root:tidepanel 2775"
    is $ini "root:tidepanel 664"
    cmp -s $ini /usr/share/tidepanel/SysInfo.ini || fail "$ini is not the prepared file"
    [ "$(readlink /usr/lib/tidepanel/SysInfo.ini)" = $ini ] || fail "no link beside the programs"
    printf '[Sysinfo]\r\nTitle=owner\r\n' >$ini
    dpkg "${quick[@]}" -i "$deb" >/dev/null; owners "an upgrade"
    is $ini "root:tidepanel 664"
    dpkg "${quick[@]}" -r tidepanel >/dev/null; owners "a removal"
    [ ! -e /usr/lib/tidepanel ] || fail "removed, yet /usr/lib/tidepanel is there"
    dpkg "${quick[@]}" -i "$deb" >/dev/null; owners "an install after a removal"
    dpkg "${quick[@]}" -P tidepanel >/dev/null
    [ ! -e /etc/tidepanel ] || fail "purged, yet /etc/tidepanel holds $(ls -A /etc/tidepanel)"
    [ ! -e /etc/xdg/autostart/tidepanel.desktop ] || fail "purged, yet the autostart entry is there"
    echo "install, upgrade, removal and purge as expected" ;;
--unshared)
    deb=$2 root=$3/root
    mount -t overlay overlay -o "lowerdir=/,upperdir=$3/upper,workdir=$3/work" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root/run/tide"
    cp "$deb" "$0" "$root/run/tide/"
    exec chroot "$root" /bin/bash "/run/tide/${0##*/}" --chrooted "/run/tide/${deb##*/}" ;;
*)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/upper" "$work/work" "$work/root"
    unshare --mount --propagation private mount -t overlay overlay \
        -o "lowerdir=/,upperdir=$work/upper,workdir=$work/work" "$work/root" 2>/dev/null || {
        echo "no mount namespace with an overlay here (needs root): skipped"
        exit 77
    }
    unshare --mount --propagation private "$0" --unshared "$(realpath "$1")" "$work" ;;
esac
