#!/usr/bin/env bash
# Runs a Windows test program under Wine on a private virtual X server.
#   wine_run.sh --boot PREFIX        make PREFIX afresh (once per test run)
#   wine_run.sh --boot PREFIX SCRIPT ARGS   make it afresh, then run SCRIPT
#   wine_run.sh PREFIX PROGRAM.exe   run one test program in PREFIX
#   wine_run.sh PREFIX SCRIPT ARGS   run a test script here, in the same
#                                    surroundings, that starts Wine programs
#                                    itself ($TIDE_WINE, $TIDE_SCRATCH)
# TIDE_WINE_LOCALE picks the locale, and with it Windows' ANSI code page:
# zh_CN.UTF-8 (936, the default) or hi_IN.UTF-8 (65001, UTF-8).
# The prefix, HOME and XDG folders all live in the build folder, so the real
# user's files are never touched; every process started here is ended here.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=wine_lib.sh
. "$(dirname "$0")/wine_lib.sh"

boot=0
if [ "${1:-}" = "--boot" ]; then
    boot=1
    shift
fi
prefix=$1
program=${2:-}
shift $(($# < 2 ? $# : 2))
root=$(dirname "$prefix")
mkdir -p "$root"

# The locale must exist for Wine to pick it up.
locale=${TIDE_WINE_LOCALE:-zh_CN.UTF-8}
grep -qix "${locale/UTF-8/utf8}" <<<"$(locale -a 2>/dev/null)" || {
    echo "locale $locale is missing: run scripts/packages.sh's tide_install_packages" >&2
    exit 1
}

# The tools CMake found (TIDE_WINE, TIDE_WINESERVER, TIDE_XVFB); by hand,
# Debian's wine64, whose loader and server live outside PATH.
wine=${TIDE_WINE:-}
wineserver=${TIDE_WINESERVER:-}
xvfb=${TIDE_XVFB:-$(command -v Xvfb || true)}
if [ -z "$wine" ]; then
    wine=$(command -v wine64 || true)
    [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
fi
if [ -z "$wineserver" ]; then
    wineserver=$(command -v wineserver || true)
    [ -x /usr/lib/wine/wineserver ] && wineserver=/usr/lib/wine/wineserver
fi
if [ ! -x "$wine" ] || [ ! -x "$wineserver" ]; then
    echo "wine64 is not installed" >&2
    exit 1
fi
if [ ! -x "$xvfb" ]; then
    echo "Xvfb is not installed" >&2
    exit 1
fi

scratch=$(mktemp -d "$root/run.XXXXXX")
xvfb_pid=
cleanup() {
    # Only this prefix's wineserver and this script's X server.
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# The X server picks a free display itself and reports its number.
mkfifo "$scratch/displayfd"
"$xvfb" -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$scratch/displayfd" \
    >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
if ! read -r -t 20 display <"$scratch/displayfd" || [ -z "$display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
fi

mkdir -p "$scratch/home" "$scratch/runtime" "$scratch/config"
chmod 700 "$scratch/runtime"
export DISPLAY=":$display"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No prompts for Mono or Gecko, and no menu entries or file associations on the host.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=$locale LANG=$locale

if [ $boot -eq 1 ]; then
    rm -rf "$prefix"
    timeout 120 "$wine" wineboot -i >"$scratch/wineboot.log" 2>&1 || {
        echo "wineboot failed:" >&2
        cat "$scratch/wineboot.log" >&2
        exit 1
    }
    timeout 60 "$wineserver" -w
    echo "Wine prefix ready: $prefix"
    [ -n "$program" ] || exit 0
fi

if [ ! -f "$prefix/system.reg" ]; then
    echo "no Wine prefix at $prefix (the windows_prefix test makes it)" >&2
    exit 1
fi
status=0
case $program in
*.exe)
    TIDE_EXIT_FILE=$(winpath "$scratch/exit") timeout 120 "$wine" "$program" || status=$?
    status=$(windows_status "$status" "$scratch/exit")
    timeout 30 "$wineserver" -w || true
    ;;
*)
    export TIDE_WINE=$wine TIDE_WINESERVER=$wineserver TIDE_SCRATCH=$scratch
    # Inside CTest's limit, so that what was seen so far is still printed.
    timeout 500 "$program" "$@" || status=$?
    [ "$status" -ne 124 ] || echo "$(basename "$program") $*: still running after 500 s" >&2
    ;;
esac
exit $status
