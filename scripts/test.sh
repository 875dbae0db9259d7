#!/usr/bin/env bash
# Builds everything with -Wall -Wextra -Werror, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
tide_install_packages

# Without a Qt for Windows at hand, says in one line how to get one.
scripts/windows-qt.sh --have || true
cmake --preset check >/dev/null
cmake --build --preset check -j "$(nproc)"
ctest --preset check
