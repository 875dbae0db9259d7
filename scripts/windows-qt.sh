#!/usr/bin/env bash
# Qt 6.4.2 for 64-bit Windows, for the cross build of both programs: qtbase
# (Core, Gui, Widgets, the windows platform plugin and its styles) built with
# Debian's mingw-w64 from Debian's own qt6-base source, installed once into
# ~/.cache/qt6-mingw-6.4.2. A second run does nothing.
#
#   scripts/windows-qt.sh              make sure it is there (unpack or build)
#   scripts/windows-qt.sh --have       exit 0 when it is there or can be unpacked,
#                                      else say how to get it
#   scripts/windows-qt.sh --configure  fetch, patch and configure only
#
# A prebuilt copy made by this recipe, ../shared/windows/qt6-mingw-6.4.2.tar.xz
# beside the checkout (or TIDE_QT_ARCHIVE), is unpacked instead of building:
# the build takes about an hour on 2 cores.
set -euo pipefail
cd "$(dirname "$0")/.."

version=6.4.2
# The windows preset looks for it there too.
cache=$HOME/.cache
prefix=${TIDE_QT_WINDOWS:-$cache/qt6-mingw-$version}
archive=${TIDE_QT_ARCHIVE:-../shared/windows/qt6-mingw-$version.tar.xz}
work=$cache/qt6-mingw-$version-build
mode=${1:-}

have() { [ -f "$prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ] &&
    [ -f "$prefix/plugins/platforms/qwindows.dll" ]; }

# The host tools (moc, rcc, uic) come from the machine's Qt and must be of the
# same version as the Qt for Windows: moc's output of one version does not
# compile against another's headers.
host_tools() {
    local host_version
    host_version=$(cat /usr/lib/x86_64-linux-gnu/cmake/Qt6CoreTools/Qt6CoreToolsConfigVersion*.cmake \
        2>/dev/null | sed -n 's/^ *set(PACKAGE_VERSION "\([0-9.]*\)")$/\1/p' | head -n 1)
    [ "$host_version" = "$version" ] && return 0
    echo "Qt for Windows $version needs Qt's host tools (moc, rcc, uic) of $version, this machine's" \
        "qt6-base-dev-tools are ${host_version:-not installed}: they are $version on Debian 12," \
        "so the tests of the Windows programs are skipped here" >&2
    return 1
}

if have || [ -f "$archive" ]; then
    host_tools
    have && exit 0
    [ "$mode" = --have ] && exit 0
    echo "Unpacking Qt for Windows from $archive into $prefix"
    # Unpacked beside and renamed: an interrupted unpack leaves no half copy.
    mkdir -p "$cache"
    tmp=$(mktemp -d "$cache/qt6-mingw-unpack.XXXXXX")
    tar -C "$tmp" -xJf "$archive"
    rm -rf "$prefix"
    mv "$tmp/qt6-mingw-$version" "$prefix"
    rm -rf "$tmp"
    exit 0
fi
if [ "$mode" = --have ]; then
    host_tools
    echo "No Qt for Windows: scripts/windows-qt.sh builds one (about an hour), or put" \
        "qt6-mingw-$version.tar.xz into ../shared/windows/, so the tests of the Windows programs are skipped" >&2
    exit 1
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
source scripts/packages.sh
tide_install_packages qt6-base-dev-tools ninja-build xz-utils
host_tools

tide_source_packages qt6-base "$version"

mkdir -p "$work"
cd "$work"
src=$work/qtbase-everywhere-src-$version
if [ ! -d "$src" ]; then
    apt-get source --download-only qt6-base >/dev/null
    tar xf qt6-base_$version*.orig.tar.xz
fi

# With OpenGL off, 6.4.2's windows plugin still asks QOpenGLStaticContext
# whether OpenGL is software in isSoftwareGl(): without OpenGL it is not.
window=$src/src/plugins/platforms/windows/qwindowswindow.cpp
if ! grep -q 'tide: no OpenGL' "$window"; then
    perl -0pi -e 's/(static inline bool isSoftwareGl\(\)\n\{\n)#if QT_CONFIG\(dynamicgl\)/$1#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl) \/\/ tide: no OpenGL/' \
        "$window"
    grep -q 'tide: no OpenGL' "$window" || {
        echo "windows-qt.sh: isSoftwareGl() not found in $window" >&2
        exit 1
    }
fi

cat >"$work/toolchain.cmake" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC

# Only what the programs use. Debian strips the tablet (wintab) headers from
# the source: tablet support off.
staging=$work/qt6-mingw-$version
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$staging" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_icu=OFF -DFEATURE_fontconfig=OFF
[ "$mode" = --configure ] && exit 0

ninja -C "$work/build" -j"$(nproc)"
ninja -C "$work/build" install
find "$staging" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} \;
rm -rf "$staging/doc" "$prefix"
mv "$staging" "$prefix"
rm -rf "$work"
echo "Qt for Windows is in $prefix"
