#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Sourced by the run and test commands; as root, or through sudo.
set -euo pipefail

tide_packages=(
    cmake g++ make pkg-config
    qt6-base-dev libgl-dev libxcb-shape0-dev libx11-xcb-dev libxcb1-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb x11-utils x11-xserver-utils xdotool xclip imagemagick openbox
    fonts-wqy-zenhei
    qt6-wayland qt6-wayland-dev libwayland-dev wayland-protocols
    sway grim weston xwayland
    clang
    dpkg-dev lintian desktop-file-utils appstream qt6-translations-l10n
    g++-mingw-w64-x86-64 wine64 locales xz-utils nsis
    strace acl
)

# The panel's Wayland layer: KDE's LayerShellQt where the release packages
# it, else an integration of our own on Qt's private headers (Debian 12).
case $(. /etc/os-release && echo "${VERSION_ID:-}") in
12) tide_packages+=(qt6-base-private-dev) ;;
*) tide_packages+=(liblayershellqtinterface-dev) ;;
esac

tide_install_packages() {
    local missing=()
    for p in "${tide_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && { tide_install_locale; return 0; }
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
    tide_install_locale
}

# The Windows tests run Wine under zh_CN.UTF-8, so that its ANSI code page is
# 936, and under hi_IN.UTF-8, a locale whose ANSI code page is UTF-8 (65001).
tide_install_locale() {
    local sudo=() name
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    for name in zh_CN hi_IN; do
        grep -qix "$name.utf8" <<<"$(locale -a 2>/dev/null)" && continue
        echo "Generating the $name.UTF-8 locale"
        "${sudo[@]}" localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
}

# Makes Debian's source package of this version available to apt-get source,
# from the same Debian archive as the binary ones.
tide_source_packages() {
    local package=$1 version=$2 sudo=() uri
    apt-cache showsrc "$package" 2>/dev/null | grep -q "^Version: $version" && return 0
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    . /etc/os-release
    uri=$(tide_archive_uri) || return 1
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$uri" "$VERSION_CODENAME" | "${sudo[@]}" tee /etc/apt/sources.list.d/tide-qt-src.sources >/dev/null
    "${sudo[@]}" apt-get update -qq
}

# The Debian archive the machine already installs from (not its security one).
tide_archive_uri() {
    local uri
    uri=$({ grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
            awk '$1 == "deb" {print $2}' /etc/apt/sources.list 2>/dev/null || true; } |
        grep -v security | head -n 1)
    [ -n "$uri" ] || { echo "No Debian archive found in the apt sources" >&2; return 1; }
    echo "$uri"
}
