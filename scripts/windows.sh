#!/usr/bin/env bash
# Cross-compiles tidepanel.exe and tideedit.exe for 64-bit Windows and packs
# the folder a shop copies, BUILD_DIR/tide-<version>-win64.zip, and the setup
# that installs the same folder, BUILD_DIR/tide-<version>-setup.exe.
#   scripts/windows.sh [BUILD_DIR]      (default build/windows)
# Qt for Windows comes from scripts/windows-qt.sh (unpacked or built once).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
tide_install_packages
scripts/windows-qt.sh

build=${1:-build/windows}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"
cpack --config "$build/CPackConfig.cmake" -B "$build" >/dev/null
cmake --build "$build" --target setup
ls "$build"/tide-*-win64.zip "$build"/tide-*-setup.exe
