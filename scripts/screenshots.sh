#!/usr/bin/env bash
# Regenerates the README's pictures in docs/: both programs on a virtual X
# server with a window manager and a coloured desktop, in a fresh application
# folder holding the shipped SysInfo.ini.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/packages.sh
tide_install_packages

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
work=$(mktemp -d)
cmake --install build/release --prefix "$work/app" >/dev/null

exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null)
xvfb=$!
read -r n <&3
export DISPLAY=":$n" HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb
chmod 700 "$work"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
pids=()
cleanup() { kill "${pids[@]}" "$wm" "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
sleep 1
xsetroot -solid '#2e6f8e'

window() { # waits for a window by its exact title and prints its id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
    echo "no window titled $1" >&2
    return 1
}
shot() { # the window with its frame, as a person sees it
    import -frame -window "$1" "$2"
}

(cd "$work/app" && exec ./tidepanel) & pids+=($!)
window Form1 >/dev/null
sleep 1.5
(cd "$work/app" && exec ./tideedit) & pids+=($!)
editor=$(window '潮汐面板 tideedit器')
# A normal window partly covering the panel's lettering.
xdotool windowmove "$editor" 380 590
sleep 1.5
import -window root docs/desktop.png
echo "docs/desktop.png"

xdotool windowmove "$editor" 100 100
xdotool windowactivate --sync "$editor"
sleep 0.5
shot "$editor" docs/editor-main.png
echo "docs/editor-main.png"

open_and_shoot() { # menu keys, window title, file
    xdotool windowactivate --sync "$editor"
    xdotool key --delay 80 $1
    local id
    id=$(window "$2")
    sleep 0.6
    shot "$id" "$3"
    echo "$3"
}
open_and_shoot "alt+m a" '高级设置' docs/editor-adset.png
open_and_shoot "alt+m p" '电脑配置设置' docs/editor-peizhi.png
open_and_shoot "alt+h h" '使用帮助' docs/editor-help.png

# The about box has no frame: the screen area it covers.
xdotool windowactivate --sync "$editor"
xdotool key alt+a
about=$(window '关于')
sleep 0.6
eval "$(xdotool getwindowgeometry --shell "$about")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" docs/editor-about.png
echo "docs/editor-about.png"
