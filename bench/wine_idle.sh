#!/usr/bin/env bash
# The real tidepanel.exe of the Windows zip, idle under Wine on a virtual X
# server: CPU time per second of its process and of the wineserver, from
# second 10 to 30 of running. A benchmark, not a test.
#   bench/wine_idle.sh [ZIP]      (default build/windows/tide-*-win64.zip)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${TIDE_SCRATCH:-}" ]; then
    zip=$(realpath "${1:-$(ls build/windows/tide-*-win64.zip)}")
    prefix=$(mktemp -d)/prefix
    tests/windows/wine_run.sh --boot "$prefix" >/dev/null
    status=0
    tests/windows/wine_run.sh "$prefix" "$PWD/bench/wine_idle.sh" "$zip" || status=$?
    rm -rf "$(dirname "$prefix")"
    exit $status
fi

# Inside wine_run.sh: the prefix, the X server and the locale are set up.
cmake -E chdir "$TIDE_SCRATCH" cmake -E tar xf "$1"
app=$(echo "$TIDE_SCRATCH"/tide-*-win64)
"$TIDE_WINE" "$app/tidepanel.exe" >/dev/null 2>&1 &
panel=$!
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
sleep 10
# This prefix's server: other Wine sessions may run on the machine.
server=
for pid in $(pgrep wineserver); do
    grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && server=$pid
done
p0=$(ticks $panel) s0=$(ticks "$server")
sleep 20
p1=$(ticks $panel) s1=$(ticks "$server")
per_second() { awk -v t="$1" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t * 1000 / hz / 20 }'; }
echo "idle CPU per second: tidepanel.exe $(per_second $((p1 - p0))) ms, wineserver $(per_second $((s1 - s0))) ms"
kill $panel
