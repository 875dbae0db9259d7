#!/usr/bin/env bash
# What Debian's tools say of the package: lintian without errors or warnings
# (informational tags may stay), and its desktop entries and AppStream
# metainfo valid.
#   lint.sh PACKAGE.deb
set -euo pipefail
deb=$1
lintian --fail-on error,warning -I "$deb"
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
dpkg -x "$deb" "$files"
desktop-file-validate "$files"/usr/share/applications/*.desktop \
    "$files"/etc/xdg/autostart/tidepanel.desktop
appstreamcli validate --no-net "$files"/usr/share/metainfo/*.metainfo.xml
