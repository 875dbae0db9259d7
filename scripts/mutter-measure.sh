#!/usr/bin/env bash
# What the panel looks like to the window system under GNOME's compositor
# (mutter, headless, with XWayland), for the README's platform table: where
# its windows land, whether framed, their states, and the stacking order once
# an ordinary window lies over the notice and the panel was activated. mutter
# is not in scripts/packages.sh: install it (and dbus) for this measurement.
#
#   scripts/mutter-measure.sh [BUILD_DIR]      (default build/check)
set -euo pipefail
build=${1:-build/check}
dir=$(mktemp -d)
mkdir -m 700 "$dir/run"
cp "$build/panel/tidepanel" "$build/editor/tideedit" "$dir/"
as=()
if [ "$(id -u)" -eq 0 ]; then # mutter as an ordinary user, as in a session
    chown -R nobody:nogroup "$dir"
    chmod 755 "$dir"
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
run() { "${as[@]}" env -i HOME="$dir" XDG_RUNTIME_DIR="$dir/run" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
    ASAN_OPTIONS=detect_leaks=0 WAYLAND_DISPLAY=wayland-tide DISPLAY="${display:-}" \
    XAUTHORITY="${auth:-}" "$@"; }
run dbus-run-session -- sh -c "mutter --wayland --headless --virtual-monitor 1024x768 \
    --wayland-display=wayland-tide & echo \$! >$dir/mutter.pid; wait" >"$dir/mutter.log" 2>&1 &
trap 'kill $(cat "$dir/mutter.pid") 2>/dev/null; sleep 1; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
    display=$(grep -o 'Using public X11 display :[0-9]*' "$dir/mutter.log" | grep -o ':[0-9]*' || true)
    [ -n "$display" ] && break
    sleep 0.1
done
auth=$(ls -d "$dir"/run/.mutter-Xwaylandauth.* | head -n 1)
mutter --version | head -n 1
# Both programs end with XWayland, when mutter goes.
run "$dir/tidepanel" &
sleep 5
for title in Form1 配置信息; do
    w=$(run xdotool search --name "^$title\$" | head -n 1)
    run xwininfo -id "$w" -frame | awk -v t="$title" '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {printf "%s: at %d,%d, %dx%d\n", t, x, y, w, h}'
    run xprop -id "$w" _NET_FRAME_EXTENTS _NET_WM_STATE | sed 's/^/    /'
done
run env QT_QPA_PLATFORM=xcb "$dir/tideedit" &
for _ in $(seq 100); do
    editor=$(run xdotool search --onlyvisible --name tideedit | tail -n 1 || true)
    [ -n "$editor" ] && break
    sleep 0.2
done
run xdotool windowmove "$editor" 600 450
run xdotool windowactivate "$(run xdotool search --name '^Form1$' | head -n 1)" 2>/dev/null || true
sleep 1
echo "stacking, bottom first:"
for w in $(run xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*'); do
    echo "    $(run xdotool getwindowname "$((w))")"
done
