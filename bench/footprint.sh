#!/usr/bin/env bash
# Footprint and speed of the real panel beside a reference, bench/reference.cpp
# (a bare xcb client doing only what a tick must do: the same twenty look-ups of
# SysInfo.ini a second, the restacks and the placement, and a redraw and a new
# cut-out only when a text changed). Both start at the same moment, each on a
# virtual X server of its own; every figure is given for both and as the ratio
# tidepanel / reference, the median of several runs (RUNS, default 5):
#   - time from start to the window being mapped
#   - resident memory after 30 seconds, and the private part of it (pages no
#     other process shares, from /proc/PID/smaps_rollup): most resident pages
#     are Qt's libraries, shared with every other Qt program
#   - CPU time per second, idle (from second 10 to 30), of the program (all
#     its threads) and of its X server
#   - time from the editor's confirm (Enter on "确定修改") to the repaint
#     (CONFIRMS of them, default 10): median and 95th percentile
#   - idle CPU and confirm to repaint again with SysInfo.ini padded to 1000 KiB
#     (just under the largest file a read accepts)
#   - from Close=End saved, and from SIGTERM, to the panel's end
#   - system calls per second, idle, reads of SysInfo.ini per second, idle, and
#     the rectangles the X server holds for the programs' cut-outs
# and, from one more start under strace, where tidepanel's start goes.
# A benchmark, not a test: it reports numbers and never fails for being slow.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-5}
confirms=${CONFIRMS:-10} # confirms timed on each side, in the first round
source scripts/packages.sh
tide_install_packages strace fonts-urw-base35 # the reference's letters

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null
probe=$root/build/bench/bench/xprobe

work=$(mktemp -d)
pids=
xservers=
cleanup() {
    kill $pids $xservers 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The two sides: tidepanel and the reference, each with its own folder and X server.
sides=(panel ref)
# PROGRAMS: a folder with another build's tidepanel and tideedit, measured in
# place of this one's (an older commit's, for a before and after).
programs=${PROGRAMS:-}
declare -A program=([panel]=${programs:-build/bench/panel}/tidepanel [ref]=build/bench/bench/reference)
editor_exe=${programs:-build/bench/editor}/tideedit
declare -A display

# A fresh virtual X server with a coloured root window for side $1.
start_x() {
    local fd n
    exec {fd}< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null)
    xservers="$xservers $!"
    read -r n <&"$fd"
    display[$1]=":$n"
    mkdir -p "$work/home-$1"
    chmod 700 "$work/home-$1"
    on "$1" xsetroot -solid '#2e6f8e'
}
stop_all() {
    kill $pids $xservers 2>/dev/null || true
    wait 2>/dev/null || true
    pids=
    xservers=
}
# Runs a command on side $1's X server, with a home of its own.
on() {
    local side=$1
    shift
    DISPLAY=${display[$side]} HOME=$work/home-$side XDG_CONFIG_HOME=$work/home-$side/config \
        XDG_RUNTIME_DIR=$work/home-$side QT_QPA_PLATFORM=xcb "$@"
}
# A fresh application folder for side $1 with its program, the editor and the
# shipped file, padded in front with unrelated sections to $2 bytes.
app_folder() {
    local dir=$work/app-$1
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "${program[$1]}" "$editor_exe" "$dir/"
    : >"$dir/SysInfo.ini"
    if [ "$2" -gt 0 ]; then
        head -c "$2" < <(yes $'[Padding]\r\nnote=a line of an unrelated section, padding the file\r') >"$dir/SysInfo.ini"
        printf '\r\n' >>"$dir/SysInfo.ini"
    fi
    cat resources/SysInfo.ini >>"$dir/SysInfo.ini"
}

# Starts both programs at the same moment; sets started[side]="ms pid".
declare -A started
start_both() {
    local side probes=()
    for side in "${sides[@]}"; do
        on "$side" "$probe" mapped Form1 "$work/app-$side/$(basename "${program[$side]}")" \
            >"$work/mapped-$side" &
        probes+=($!)
    done
    wait "${probes[@]}" || true
    for side in "${sides[@]}"; do
        started[$side]=$(cat "$work/mapped-$side")
        pids="$pids ${started[$side]#* }"
    done
}

median() { sort -g | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else printf "%.1f\n", (a[NR/2]+a[NR/2+1])/2}'; }
mean() { awk '{s+=$1} END {printf "%.0f", s/NR}'; }
# CPU time of every thread of process $1 (Qt reads X events on a thread of its own).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f\n", s}'; }
# CPU per second over $1 seconds of each side's program and X server; sets cpu[side], xcpu[side].
declare -A cpu xcpu xserver
measure_cpu() {
    local side
    local -A c0=() x0=()
    for side in "${sides[@]}"; do
        c0[$side]=$(cpu_ns "${started[$side]#* }")
        x0[$side]=$(cpu_ns "${xserver[$side]}")
    done
    sleep "$1"
    for side in "${sides[@]}"; do
        cpu[$side]=$(awk -v a="${c0[$side]}" -v b="$(cpu_ns "${started[$side]#* }")" -v s="$1" \
            'BEGIN {printf "%.3f", (b - a) / s / 1e6}')
        xcpu[$side]=$(awk -v a="${x0[$side]}" -v b="$(cpu_ns "${xserver[$side]}")" -v s="$1" \
            'BEGIN {printf "%.3f", (b - a) / s / 1e6}')
    done
}

# Starts the editor of side $1, types a new title in its first box, and
# measures Enter -> repaint of the lower right, where both programs show it.
confirm_latency() {
    local side=$1 editor title id
    read -r _ editor < <(on "$side" "$probe" mapped '潮汐面板 tideedit器' "$work/app-$side/tideedit")
    pids="$pids $editor"
    id=$(on "$side" xdotool search --onlyvisible --name '^潮汐面板 tideedit器$' | head -1)
    on "$side" xdotool windowfocus --sync "$id"
    for k in $(seq 1 "$confirms"); do
        title="Run $k $RANDOM"
        on "$side" xdotool key ctrl+a type --delay 5 "$title"
        # The panel's area on a 1024 x 768 screen: flush right, 30 pixels above the bottom.
        on "$side" "$probe" repaint 694 559 330 179 3000 xdotool key Return
        sleep 0.3
        on "$side" xdotool key Return # answers "修改成功"
        sleep 0.3
        on "$side" xdotool windowfocus --sync "$id"
        # Spread the next confirm over the program's second.
        sleep "0.$((RANDOM % 10))"
    done
}

# One round: both X servers and folders, both programs started together.
begin_round() {
    local side
    for side in "${sides[@]}"; do
        start_x "$side"
        xserver[$side]=${xservers##* }
        app_folder "$side" "$1"
    done
    start_both
}

# Private memory of process $1 in MB: its clean and dirty pages that no other process maps.
private_mb() { awk '/^Private_(Clean|Dirty):/ {s += $2} END {printf "%.1f", s / 1024}' "/proc/$1/smaps_rollup"; }

declare -A maps rss private cpus xcpus latency rects calls reads
for r in $(seq 1 "$runs"); do
    begin_round 0
    sleep 10
    measure_cpu 20
    for side in "${sides[@]}"; do
        maps[$side]="${maps[$side]:-} ${started[$side]% *}"
        rss[$side]="${rss[$side]:-} $(awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/${started[$side]#* }/status")"
        private[$side]="${private[$side]:-} $(private_mb "${started[$side]#* }")"
        cpus[$side]="${cpus[$side]:-} ${cpu[$side]}"
        xcpus[$side]="${xcpus[$side]:-} ${xcpu[$side]}"
    done
    if [ "$r" -eq 1 ]; then
        for side in "${sides[@]}"; do
            # System calls of ten idle seconds, counted by strace (after the CPU figures).
            timeout -s INT 10 strace -c -f -p "${started[$side]#* }" -o "$work/calls-$side" 2>/dev/null || true
            calls[$side]=$(awk '$NF == "total" {printf "%.0f", $4 / 10}' "$work/calls-$side" 2>/dev/null || true)
            # Reads of the file in ten idle seconds: tidepanel reads it with
            # pread (nothing else of it does), the reference opens it for each read.
            timeout -s INT 10 strace -f -e trace=openat,pread64 -p "${started[$side]#* }" \
                -o "$work/reads-$side" 2>/dev/null || true
            reads[$side]=$(awk '/pread64\(/ || /openat\(.*SysInfo\.ini/ {n++} END {printf "%.1f", n / 10}' \
                "$work/reads-$side" 2>/dev/null || true)
            rects[$side]=$(on "$side" "$probe" rects)
            latency[$side]=$(confirm_latency "$side")
        done
    fi
    stop_all
done

begin_round $((1000 << 10))
sleep 10
measure_cpu 20
declare -A cpu_big xcpu_big latency_big
for side in "${sides[@]}"; do
    cpu_big[$side]=${cpu[$side]}
    xcpu_big[$side]=${xcpu[$side]}
    latency_big[$side]=$(confirm_latency "$side")
done
stop_all

# How soon the panel ends: from Close=End saved (by a rename, as a save does)
# to its end, a tick at most; and from SIGTERM to its end, which unloads the
# window. In ms, median of $runs; the reference has neither.
ms_until_gone() { # pid, start in ns
    # Gone, or a zombie: ended, whoever reaps it.
    while [ -e "/proc/$1" ] && [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" != Z ]; do
        sleep 0.002
    done
    awk -v a="$2" -v b="$(date +%s%N)" 'BEGIN {printf "%.1f", (b - a) / 1e6}'
}
declare -A ends
for r in $(seq 1 "$runs"); do
    begin_round 0
    sleep 2
    ini=$work/app-panel/SysInfo.ini
    sed 's/^Close=Start/Close=End/' "$ini" >"$ini.new" && mv "$ini.new" "$ini"
    ends[close]="${ends[close]:-} $(ms_until_gone "${started[panel]#* }" "$(date +%s%N)")"
    stop_all
    begin_round 0
    sleep 2
    start_ns=$(date +%s%N)
    kill -TERM "${started[panel]#* }"
    ends[term]="${ends[term]:-} $(ms_until_gone "${started[panel]#* }" "$start_ns")"
    stop_all
done

# Where tidepanel's start goes: one start under strace (which slows every
# system call, so these times run longer than the unobserved ones above).
start_x panel
app_folder panel 0
on panel strace -f -ttt -e trace=execve,openat,connect,writev -o "$work/start.trace" \
    "$work/app-panel/tidepanel" >/dev/null 2>&1 &
pids="$pids $!"
sleep 4
split=$(awk '
    { t = $2 }
    NR == 1 { exec = t }
    /openat\(/ && !main && !/\.so(\.[0-9]+)*"/ && !/ld\.so\.cache/ { main = t }
    /openat\(.*\.so(\.[0-9]+)*"/ && !/ENOENT/ && !map { libs++ }
    /openat\(.*fonts\.conf"/ && !fonts { fonts = t }
    /openat\(.*(fontconfig|\/fonts\/)/ && !map { fontsDone = t }
    /writev\(.*iov_base="\\10\\0\\2\\0/ && !map { map = t }
    END {
        printf "  libraries, up to main():          %6.1f ms (%d libraries opened before the map)\n", (main - exec) * 1000, libs
        printf "  Qt, its plugins, the X connection: %6.1f ms\n", (fonts - main) * 1000
        printf "  fonts (fontconfig set-up):         %6.1f ms\n", (fontsDone - fonts) * 1000
        printf "  windows and first paint, to map:   %6.1f ms\n", (map - fontsDone) * 1000
        printf "  in all, under strace:              %6.1f ms\n", (map - exec) * 1000
    }' "$work/start.trace" 2>/dev/null || true)
stop_all

row() { # what, tidepanel, reference
    printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" \
        "$(awk -v a="$2" -v b="$3" 'BEGIN {a += 0; b += 0; if (b > 0) printf "%.1f", a / b; else print "-"}')"
}
med() { printf '%s\n' $1 | median; }
p95() { sort -g | awk '{a[NR]=$1} END {i = int(NR * 0.95 + 0.999); print a[i < 1 ? 1 : i]}'; }
lat() { printf 'median %s, 95th percentile %s' "$(echo "$1" | median)" "$(echo "$1" | p95)"; }
ratio_of_means() { awk -v a="$(echo "$1" | mean)" -v b="$(echo "$2" | mean)" 'BEGIN {printf "%.1f", a / b}'; }

echo "Machine: $(nproc) cores, $(awk '/model name/ {$1=$2=$3=""; print; exit}' /proc/cpuinfo | sed 's/^ *//'), $(free -g | awk '/Mem:/ {print $2}') GiB"
echo "Runs: $runs (medians); tidepanel and the reference side by side, each on its own Xvfb"
echo
echo "| what | tidepanel | reference | ratio |"
echo "|---|---|---|---|"
row "start to the window being mapped (ms)" "$(med "${maps[panel]}")" "$(med "${maps[ref]}")"
row "resident memory after 30 s (MB)" "$(med "${rss[panel]}")" "$(med "${rss[ref]}")"
row "private memory after 30 s (MB)" "$(med "${private[panel]}")" "$(med "${private[ref]}")"
row "CPU per second, idle (ms)" "$(med "${cpus[panel]}")" "$(med "${cpus[ref]}")"
row "X server CPU per second it causes, idle (ms)" "$(med "${xcpus[panel]}")" "$(med "${xcpus[ref]}")"
printf '| confirm to repaint (ms) | %s | %s | %s |\n' "$(lat "${latency[panel]}")" \
    "$(lat "${latency[ref]}")" "$(ratio_of_means "${latency[panel]}" "${latency[ref]}")"
row "CPU per second, idle, 1000 KiB SysInfo.ini (ms)" "${cpu_big[panel]}" "${cpu_big[ref]}"
row "X server CPU per second, 1000 KiB SysInfo.ini (ms)" "${xcpu_big[panel]}" "${xcpu_big[ref]}"
printf '| confirm to repaint, 1000 KiB SysInfo.ini (ms) | %s | %s | %s |\n' \
    "$(lat "${latency_big[panel]}")" "$(lat "${latency_big[ref]}")" \
    "$(ratio_of_means "${latency_big[panel]}" "${latency_big[ref]}")"
row "Close=End saved to the panel's end (ms)" "$(med "${ends[close]}")" "-"
row "SIGTERM to the panel's end (ms)" "$(med "${ends[term]}")" "-"
row "system calls per second, idle" "${calls[panel]}" "${calls[ref]}"
row "reads of SysInfo.ini per second, idle" "${reads[panel]}" "${reads[ref]}"
row "rectangles of the cut-outs held by the X server" "${rects[panel]}" "${rects[ref]}"
echo
echo "Confirm to repaint, each confirm: tidepanel $(echo ${latency[panel]}); reference $(echo ${latency[ref]})"
echo
echo "Where tidepanel's start goes (one start under strace):"
echo "$split"
