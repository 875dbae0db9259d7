#!/usr/bin/env bash
# The few private headers of Qt's Wayland client library that a shell
# integration needs, which Debian 12 does not package: taken from Debian's own
# qt6-wayland source package of the installed version, once, into
# ~/.cache/qt6-wayland-private-VERSION/QtWaylandClient/private.
#
#   scripts/qtwayland-headers.sh VERSION    prints the folder to add to the include path
set -euo pipefail
cd "$(dirname "$0")/.."

version=$1
dest=$HOME/.cache/qt6-wayland-private-$version
headers=(shellintegration/qwaylandshellintegration_p.h
    shellintegration/qwaylandshellintegrationplugin_p.h qwaylandshellsurface_p.h)

if [ ! -f "$dest/QtWaylandClient/private/qwaylandshellsurface_p.h" ]; then
    source scripts/packages.sh
    tide_source_packages qt6-wayland "$version" >&2
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get source --download-only "qt6-wayland" >/dev/null 2>&1) || {
        echo "qtwayland-headers.sh: cannot fetch Debian's qt6-wayland source package" >&2
        exit 1
    }
    tarball=$(ls "$work"/qt6-wayland_"$version"*.orig.tar.* 2>/dev/null | head -n 1)
    [ -n "$tarball" ] || { echo "qtwayland-headers.sh: no qt6-wayland $version source" >&2; exit 1; }
    top=qtwayland-everywhere-src-$version/src/client
    tar -C "$work" -xf "$tarball" "${headers[@]/#/$top/}"
    # Unpacked beside and renamed: an interrupted run leaves no half copy.
    mkdir -p "$work/out/QtWaylandClient/private"
    cp "${headers[@]/#/$work/$top/}" "$work/out/QtWaylandClient/private/"
    mkdir -p "$(dirname "$dest")"
    rm -rf "$dest"
    mv "$work/out" "$dest"
fi
echo "$dest"
