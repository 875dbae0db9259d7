#!/usr/bin/env bash
# Builds both programs (Release), installs them into build/app/ beside a
# prepared SysInfo.ini (kept when the folder already has one), and starts them.
# Without an X display it starts a virtual one, takes a screenshot of that
# desktop and ends the programs again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/packages.sh
tide_install_packages

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
cmake --install build/release --prefix "$root/build/app" >/dev/null
app=$root/build/app

programs=()
for p in tidepanel tideedit; do
    if [ -x "$app/$p" ]; then
        programs+=("$p")
    else
        echo "$p is not built yet; it would start as $app/$p"
    fi
done

virtual=
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    echo "No X display: starting a virtual one (Xvfb :$n, 1280x800)."
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    virtual=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    xsetroot -solid '#2e6f8e'
fi

pids=()
for p in "${programs[@]}"; do
    (cd "$app" && exec "./$p") &
    pids+=($!)
    echo "Started $app/$p (process $!)."
    sleep 0.5
done

if [ -n "$virtual" ]; then
    sleep 3
    shot=$root/build/desktop.png
    import -window root "$shot"
    echo "Screenshot of the virtual desktop: $shot"
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait "${pids[@]}" 2>/dev/null || true
    kill "$virtual" 2>/dev/null || true
    echo "Ended the programs and the virtual display."
fi
