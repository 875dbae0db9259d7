#!/usr/bin/env bash
# Footprint and speed of the real panel on a virtual X server, each figure the
# median of several runs (RUNS, default 5):
#   - time from start to the panel's window being mapped
#   - resident memory after 30 seconds
#   - CPU time per second of running, idle (measured from second 10 to 30)
#   - time from the editor's confirm (Enter on "确定修改") to the panel's repaint,
#     with the shipped SysInfo.ini and with one padded to 1000 KiB (just under the largest file a read accepts)
# A benchmark, not a test: it reports numbers and never fails for being slow.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}
source scripts/packages.sh
tide_install_packages

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null
probe=$root/build/bench/bench/xprobe

work=$(mktemp -d)
cleanup() {
    [ -n "${pids:-}" ] && kill $pids 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A fresh virtual X server with a coloured root window.
start_x() {
    exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null)
    xvfb=$!
    read -r n <&3
    export DISPLAY=":$n" HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/home
    export QT_QPA_PLATFORM=xcb
    mkdir -p "$HOME"; chmod 700 "$HOME"
    xsetroot -solid '#2e6f8e'
}
stop_x() { kill $pids "$xvfb" 2>/dev/null || true; wait 2>/dev/null || true; pids=; xvfb=; }

# A fresh application folder with the release programs and the shipped file,
# padded in front with unrelated sections to $1 bytes.
app_folder() {
    rm -rf "$work/app"
    mkdir -p "$work/app"
    cp build/bench/panel/tidepanel build/bench/editor/tideedit "$work/app/"
    : >"$work/app/SysInfo.ini"
    if [ "$1" -gt 0 ]; then
        head -c "$1" < <(yes $'[Padding]\r\nnote=a line of an unrelated section, padding the file\r') >"$work/app/SysInfo.ini"
        printf '\r\n' >>"$work/app/SysInfo.ini"
    fi
    cat resources/SysInfo.ini >>"$work/app/SysInfo.ini"
}

median() { sort -g | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else printf "%.1f\n", (a[NR/2]+a[NR/2+1])/2}'; }
cpu_ns() { awk '{print $1}' "/proc/$1/schedstat"; }

# Starts the editor, types a new title in its first box, and measures Enter -> repaint.
confirm_latency() {
    local editor title id
    read -r _ editor < <("$probe" mapped '潮汐面板 tideedit器' "$work/app/tideedit")
    pids="$pids $editor"
    id=$(xdotool search --onlyvisible --name '^潮汐面板 tideedit器$' | head -1)
    xdotool windowfocus --sync "$id"
    for k in $(seq 1 "$runs"); do
        title="Run $k $RANDOM"
        xdotool key ctrl+a type --delay 5 "$title"
        # The panel's area on a 1024 x 768 screen: flush right, 30 pixels above the bottom.
        "$probe" repaint 694 559 330 179 3000 xdotool key Return
        sleep 0.3
        xdotool key Return # answers "修改成功"
        sleep 0.3
        xdotool windowfocus --sync "$id"
        # Spread the next confirm over the panel's second.
        sleep "0.$((RANDOM % 10))"
    done
}

maps=(); rss=(); cpu=()
for r in $(seq 1 "$runs"); do
    start_x
    app_folder 0
    read -r ms pid < <("$probe" mapped Form1 "$work/app/tidepanel")
    pids=$pid
    maps+=("$ms")
    sleep 10
    c0=$(cpu_ns "$pid")
    sleep 20
    c1=$(cpu_ns "$pid")
    rss+=("$(awk '/VmRSS/ {print $2 / 1024}' "/proc/$pid/status")")
    cpu+=("$(awk -v a="$c0" -v b="$c1" 'BEGIN {printf "%.3f", (b - a) / 20 / 1e6}')")
    if [ "$r" -eq 1 ]; then
        latency=$(confirm_latency)
    fi
    stop_x
done

start_x
app_folder $((1000 << 10))
read -r _ pid < <("$probe" mapped Form1 "$work/app/tidepanel")
pids=$pid
sleep 2
c0=$(cpu_ns "$pid"); sleep 10; c1=$(cpu_ns "$pid")
cpu_big=$(awk -v a="$c0" -v b="$c1" 'BEGIN {printf "%.3f", (b - a) / 10 / 1e6}')
latency_big=$(confirm_latency)
stop_x

echo "Machine: $(nproc) cores, $(awk '/model name/ {$1=$2=$3=""; print; exit}' /proc/cpuinfo | sed 's/^ *//'), $(free -g | awk '/Mem:/ {print $2}') GiB"
echo "Runs: $runs (medians)"
printf 'start to mapped window:          %s ms\n' "$(printf '%s\n' "${maps[@]}" | median)"
printf 'resident memory after 30 s:      %s MB\n' "$(printf '%s\n' "${rss[@]}" | median)"
printf 'CPU per second, idle:            %s ms\n' "$(printf '%s\n' "${cpu[@]}" | median)"
printf 'confirm to repaint:              median %s ms, mean %s ms (%s)\n' \
    "$(echo "$latency" | median)" "$(echo "$latency" | awk '{s+=$1} END {printf "%.0f", s/NR}')" "$(echo $latency)"
printf 'CPU per second, 1000 KiB file:   %s ms\n' "$cpu_big"
printf 'confirm to repaint, 1000 KiB file: median %s ms, mean %s ms (%s)\n' \
    "$(echo "$latency_big" | median)" "$(echo "$latency_big" | awk '{s+=$1} END {printf "%.0f", s/NR}')" "$(echo $latency_big)"
