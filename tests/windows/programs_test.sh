#!/usr/bin/env bash
# The real tidepanel.exe and tideedit.exe of the Windows zip under Wine, as a
# shop owner meets them: screenshots of the virtual X desktop, SysInfo.ini,
# the registry, message boxes read through the clipboard.
#   wine_run.sh PREFIX programs_test.sh CASE ZIP win_drive.exe
# CASE: panel, empty, editor, together, session, folder, and dpi120, dpi144,
# dpi192 (the panel at 125, 150 and 200 %). Every wait is for a condition,
# with a generous limit, never a fixed pause.
set -euo pipefail
case_name=$1
zip=$(realpath "$2")
drive_exe=$3
scratch=$TIDE_SCRATCH
app=$scratch/app
editor_title="潮汐面板 tideedit器"
key_colour=FEFEFE
desk_colour=3060A0
shots=0

# shellcheck source-path=SCRIPTDIR source=wine_lib.sh
. "$(dirname "$0")/wine_lib.sh"

fail() {
    echo "FAILED ($case_name): $*" >&2
    local kept
    kept=$(dirname "$scratch")/$case_name-failed.png
    import -window root "$kept" 2>/dev/null && echo "desktop at the failure: $kept" >&2
    # What the programs said and which windows there were: a failure seen once
    # in many runs leaves more than a picture.
    for log in "$scratch"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log"):" && tail -n 20 "$log"; } >&2
    done
    xwininfo -root -children 2>/dev/null | grep -F '"' >&2 || true
    exit 1
}
# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds.

# The X window of a Wine window, by title: "WIDTH HEIGHT X Y", empty if none.
geometry() {
    xwininfo -root -children | grep -F "\"$1\":" | head -n 1 |
        sed -E 's/.*  ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+  \+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/'
}
shot() {
    # Wine's desktop process blackens the root window when it starts.
    xsetroot -solid "#$desk_colour"
    shots=$((shots + 1))
    last_shot=$scratch/shot$shots.png
    import -window root "$last_shot"
}
# Pixels of COLOUR in the window TITLE on the last screenshot.
count() {
    local g
    read -r -a g <<<"$(geometry "$1")"
    [ ${#g[@]} -eq 4 ] || { echo 0 && return; }
    convert "$last_shot" -crop "${g[0]}x${g[1]}+${g[2]}+${g[3]}" +repage \
        -format %c histogram:info:- | { grep -i "#$2 " || true; } | sed -E 's/^ *([0-9]+):.*/\1/' |
        awk '{n += $1} END {print n + 0}'
}
# Pixels of the window TITLE on the last screenshot that are neither the
# desktop nor a colour of the panel's lettering: the key, or a blend with it.
strays() {
    local g
    read -r -a g <<<"$(geometry "$1")"
    [ ${#g[@]} -eq 4 ] || { echo 0 && return; }
    convert "$last_shot" -crop "${g[0]}x${g[1]}+${g[2]}+${g[3]}" +repage \
        -format %c histogram:info:- |
        { grep -v -i -e "#$desk_colour " -e '#FF8080 ' -e '#FF0000 ' -e '#0000FF ' -e '#C0C0C0 ' || true; } |
        sed -E 's/^ *([0-9]+):.*/\1/' | awk '{n += $1} END {print n + 0}'
}
# The window shows lettering on the bare desktop, and not one pixel of the key.
see_through() {
    shot
    local key desk blue
    key=$(count "$1" $key_colour)
    desk=$(count "$1" $desk_colour)
    blue=$(count "$1" 0000FF)
    [ "$key" -eq 0 ] || fail "$1 shows $key pixels of the colour key &HFEFEFE"
    [ "$desk" -gt 0 ] && [ "$blue" -gt 0 ] || fail "$1 shows no desktop ($desk) or no lettering ($blue)"
}
painted() {
    shot
    [ "$(count "$1" 0000FF)" -gt 0 ]
}
# Whether the window TITLE looks different from the screenshot FILE.
changed_from() {
    shot
    local g
    read -r -a g <<<"$(geometry "$1")"
    local crop="${g[0]}x${g[1]}+${g[2]}+${g[3]}"
    convert "$2" -crop "$crop" +repage "$scratch/was.png"
    convert "$last_shot" -crop "$crop" +repage "$scratch/is.png"
    local status=0
    compare -metric AE "$scratch/was.png" "$scratch/is.png" null: 2>/dev/null || status=$?
    [ $status -eq 1 ] # 0: the same, 2: trouble
}
region_now() {
    shot
    cp "$last_shot" "$scratch/$2.png"
}

# SysInfo.ini's value of KEY (the first KEY= line), as stored.
# Byte by byte: the file is in the ANSI code page, whatever this locale says.
stored() { LC_ALL=C grep -a -m 1 "^$1=" "$app/SysInfo.ini" | LC_ALL=C sed -e "s/^$1=//" -e 's/\r$//'; }
# Sets the first KEY= line, replacing the file at once as the editor does.
store() {
    local cr=$'\r'
    LC_ALL=C sed -i -e "0,/^$1=/s/^$1=[^$cr]*/$1=$2/" "$app/SysInfo.ini"
}
close_is() { [ "$(stored Close)" = "$1" ]; }
# Text in the file's encoding: the ANSI code page of this run.
ansi() {
    if [ "$(drive acp | tr -d '\r\n')" = 65001 ]; then printf '%s' "$1"; else printf '%s' "$1" | iconv -t GBK; fi
}

start() {
    "$TIDE_WINE" "$app/$1.exe" >"$scratch/$1.log" 2>&1 &
    eval "${1}_pid=$!"
}
running() { kill -0 "$1" 2>/dev/null; }
gone() { ! running "$1"; }

# A message box's text (Ctrl+C copies it on Windows, with its buttons), then
# its default button, or the key KEY.
message_box() {
    wait_for 30 "the message box \"$1\" appears" drive window "$1"
    drive send "$1" ctrl+c
    local text
    text=$(drive clip)
    drive send "$1" "${2:-Enter}"
    wait_for 30 "the message box \"$1\" closes" no_window "$1"
    printf '%s' "$text"
}
# Types TEXT into the editor's focused line and checks what landed there;
# again while the window is still taking the keyboard back from a closed box.
typed() {
    drive send "$editor_title" ctrl+a "text:$1" ctrl+a ctrl+c
    [ "$(drive clip)" = "$1" ]
}
type_checked() {
    wait_for 30 "typing \"$1\" reaches the field" typed "$1"
}
type_and_confirm() {
    type_checked "$1"
    drive send "$editor_title" End Enter
}

# The zip holds one folder, as it goes under Program Files.
folder=潮汐面板
mkdir -p "$app"
cmake -E chdir "$scratch" cmake -E tar xf "$zip"
cp -r "$scratch/$folder/." "$app/"

case $case_name in
panel)
    start tidepanel
    wait_for 60 "the panel shows its lettering" painted Form1
    wait_for 30 "the info window shows its lettering" painted 配置信息
    see_through Form1
    see_through 配置信息
    read -r w h x y <<<"$(geometry Form1)"
    [ $((x + w)) -eq 1024 ] && [ $((y + h)) -eq $((768 - 30)) ] ||
        fail "Form1 at ${w}x${h}+$x+$y, not at the lower right"
    read -r w h x y <<<"$(geometry 配置信息)"
    [ $((x + w)) -eq 1024 ] && [ "$y" -eq 0 ] || fail "配置信息 at ${w}x${h}+$x+$y, not at the upper right"

    run=$(win 60 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v tidepanel |
        tr -d '\r')
    grep -qF "\"$(winpath "$app/tidepanel.exe")\"" <<<"$run" || fail "Run value, quoted: $run"

    # New captions and info texts: repainted, still see-through.
    region_now Form1 before
    store Title "$(ansi '新的标题')"
    wait_for 10 "the panel shows the new title" changed_from Form1 "$scratch/before.png"
    see_through Form1
    region_now 配置信息 before
    store CPU "$(ansi '新的处理器 8 核')"
    wait_for 10 "the info window shows the new text" changed_from 配置信息 "$scratch/before.png"
    see_through 配置信息

    # A window mapped later lies above it; raised, it is back below within a tick.
    start tideedit
    wait_for 60 "the editor appears" drive window "$editor_title"
    top=$(xwininfo -root -children | grep -m 1 -F -e '"Form1"' -e "\"$editor_title\"")
    grep -qF "$editor_title" <<<"$top" || fail "the editor mapped later is below the panel"
    drive raise Form1
    wait_for 5 "the panel goes back below the editor" drive below Form1 "$editor_title"

    # A second copy ends at once and touches nothing.
    before=$(md5sum <"$app/SysInfo.ini")$(stat -c %Y "$app/SysInfo.ini")
    win 60 "$(winpath "$app/tidepanel.exe")" || fail "the second copy did not end cleanly"
    [ "$(md5sum <"$app/SysInfo.ini")$(stat -c %Y "$app/SysInfo.ini")" = "$before" ] ||
        fail "the second copy touched SysInfo.ini"
    [ "$(xwininfo -root -children | grep -c '"Form1"')" -eq 1 ] || fail "two panels"

    store Close End
    wait_for 10 "Close=End ends the panel" gone "$tidepanel_pid"
    drive close "$editor_title"
    wait_for 30 "the editor ends" gone "$tideedit_pid"
    ;;
empty)
    rm "$app/SysInfo.ini"
    start tidepanel
    wait_for 60 "the panel appears on an empty folder" drive window Form1
    shot
    [ "$(count Form1 $key_colour)" -eq 0 ] || fail "the panel shows the colour key"
    drive close Form1
    wait_for 10 "closing the panel writes Close=Start" close_is Start
    ;;
editor)
    # Both code pages: the shipped file is in 936, so 65001 starts without one.
    [ "$(drive acp | tr -d '\r\n')" = 65001 ] && rm "$app/SysInfo.ini"
    start tideedit
    wait_for 60 "the editor appears" drive window "$editor_title"
    title='潮汐电脑 Shop 一号店'
    # An empty lock file, as a writer killed while making it leaves one.
    : >"$app/SysInfo.ini.lock"
    type_and_confirm "$title"
    box=$(message_box 信息)
    grep -q 修改成功 <<<"$box" || fail "after Enter: $box"
    # Qt's own button, in Chinese.
    grep -q 确定 <<<"$box" || fail "the box's button is not 确定: $box"
    [ "$(stored Title)" = "$(ansi "$title")" ] || fail "Title stored as $(stored Title | od -c)"
    read_back=$(drive profile "$(winpath "$app/SysInfo.ini")" Sysinfo Title)
    [ "$read_back" = "$title" ] || fail "GetPrivateProfileStringA reads \"$read_back\""

    # Read-only as Windows sees it: refused for lack of rights, the box offers
    # the administrator; declined (Escape: 否), the file is as it was.
    chmod a-w "$app/SysInfo.ini"
    before=$(md5sum <"$app/SysInfo.ini")
    type_and_confirm '不该保存'
    box=$(message_box 错误： Escape)
    for said in '无法写入配置文件 SysInfo.ini,修改未保存!' 以管理员身份重新启动修改器 是 否; do
        grep -qF "$said" <<<"$box" || fail "refused write, no \"$said\": $box"
    done
    [ "$(md5sum <"$app/SysInfo.ini")" = "$before" ] || fail "the refused write changed the file"
    grep -qF '原因：没有写入该文件的权限。' <<<"$box" || fail "no reason given: $box"
    running "$tideedit_pid" || fail "declining the administrator ended the editor"
    chmod u+w "$app/SysInfo.ini"

    # Another user's program holding the lock file, then the file itself: the
    # save fails within a second and says why, and the file is as it was.
    for held in SysInfo.ini.lock SysInfo.ini; do
        touch "$app/$held"
        coproc holder { exec "$TIDE_WINE" "$drive_exe" hold "$(winpath "$app/$held")"; }
        read -r -t 30 line <&"${holder[0]}" && [ "${line%$'\r'}" = held ] || fail "cannot hold $held"
        type_checked '不该保存'
        start_ms=$(date +%s%3N)
        drive send "$editor_title" End Enter
        box=$(message_box 错误：)
        took=$(($(date +%s%3N) - start_ms))
        grep -qF '原因：另一个程序正占用该文件' <<<"$box" || fail "$held held: $box"
        [ "$(md5sum <"$app/SysInfo.ini")" = "$before" ] || fail "$held held: the file changed"
        # Measured here with Wine starting a process for each look at the screen.
        echo "$held held: the error box after $took ms"
        # Only a hang fails here: the figure includes Wine starting a process
        # for each look at the screen, on a machine shared with other tests.
        [ "$took" -lt 15000 ] || fail "$held held: the error box came after $took ms"
        kill "$holder_PID"
        wait "$holder_PID" 2>/dev/null || true
    done
    rm -f "$app/SysInfo.ini.lock"

    drive send "$editor_title" alt+a
    wait_for 30 "the about box opens" drive window 关于
    shot
    cp "$last_shot" "$(dirname "$scratch")/editor-about.png"
    # Its picture (a JPEG) shows: the top of the box is the picture's blue sky,
    # not the plain face of a box whose image plugin is missing.
    read -r -a g <<<"$(geometry 关于)"
    sky=$(convert "$last_shot" -crop "${g[0]}x40+${g[2]}+${g[3]}" +repage -resize 1x1\! \
        -format '%[fx:int(255*(b-r))]' info:)
    [ "${sky:-0}" -gt 60 ] || fail "the about box shows no picture (blue over red: ${sky:-none})"
    drive send 关于 Enter
    wait_for 30 "the about box closes" no_window 关于
    drive close "$editor_title"
    wait_for 30 "the editor ends when closed" gone "$tideedit_pid"
    close_is Start || fail "closing the editor left Close=$(stored Close)"
    # Opened again, it shows the title as typed.
    start tideedit
    wait_for 60 "the editor appears again" drive window "$editor_title"
    drive send "$editor_title" ctrl+a ctrl+c
    [ "$(drive clip)" = "$title" ] || fail "opened again, the editor shows \"$(drive clip)\""

    # Refused again, accepted (Enter: 是): this editor ends and one started
    # through the shell's "runas" takes its place (Wine, without UAC, just
    # starts it).
    chmod a-w "$app/SysInfo.ini"
    type_and_confirm '以管理员保存'
    message_box 错误： >/dev/null
    wait_for 30 "the editor ends for the one started as the administrator" gone "$tideedit_pid"
    wait_for 60 "the editor started as the administrator appears" drive window "$editor_title"
    chmod u+w "$app/SysInfo.ini"
    drive close "$editor_title"
    wait_for 30 "the restarted editor ends" no_window "$editor_title"
    ;;
together)
    start tidepanel
    wait_for 60 "the panel shows its lettering" painted Form1
    start tideedit
    wait_for 60 "the editor appears" drive window "$editor_title"
    region_now Form1 before
    type_checked 一秒之内
    sent=$(date +%s%N)
    drive send "$editor_title" End Enter
    wait_for 5 "the panel shows the editor's title" changed_from Form1 "$scratch/before.png"
    took=$((($(date +%s%N) - sent) / 1000000))
    echo "confirm to the panel's repaint: $took ms (screenshots included)"
    see_through Form1
    message_box 信息 >/dev/null
    ;;
session)
    # Log-off: each program's main window unloads and writes Close=Start.
    # --shutdown ends the session without starting the next one, whose Run
    # value would start the panel again while the test looks.
    for program in tidepanel tideedit; do
        store Close Idle
        start $program
        title=Form1
        [ $program = tideedit ] && title=$editor_title
        wait_for 60 "$program appears" drive window "$title"
        win 60 wineboot --end-session --shutdown || fail "the session's end did not finish (wineboot: $?)"
        wait_for 20 "$program writes Close=Start at the session's end" close_is Start
        pid_var=${program}_pid
        wait_for 30 "$program ends with the session" gone "${!pid_var}"
    done
    ;;
folder)
    # Nothing beside the one folder; in it, the readme and Qt's translation.
    [ "$(unzip -Z1 "$zip" | cut -d/ -f1 | sort -u)" = "$folder" ] ||
        fail "the zip holds more than the folder $folder: $(unzip -Z1 "$zip" | cut -d/ -f1 | sort -u)"
    [ -f "$app/translations/qtbase_zh_CN.qm" ] || fail "no translations/qtbase_zh_CN.qm"
    readme=$app/说明.txt
    [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "说明.txt has no byte-order mark"
    for said in 'Windows 10（1809 版）' 'C:\Program Files\潮汐面板' SysInfo.ini '以管理员身份' 'setup.exe /S' \
        'reg delete "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run" /v tidepanel'; do
        grep -qF "$said" "$readme" || fail "说明.txt does not say $said"
    done
    # Without Qt's platform plugin the program says so in Chinese, and ends.
    rm -r "$app/platforms"
    start tideedit
    wait_for 60 "the box of the missing plugin appears" drive window tideedit
    box=$(drive texts tideedit)
    grep -qF '缺少 platforms\qwindows.dll' <<<"$box" || fail "missing plugin: $box"
    drive send tideedit Enter
    wait_for 30 "the editor without its plugin ends" gone "$tideedit_pid"

    # Both programs: the about box's maker and copyright, and a manifest.
    for program in tidepanel tideedit; do
        mapfile -t res < <(drive resources "$(winpath "$app/$program.exe")" | tr -d '\r')
        [ "${res[0]}" = 潮汐面板项目组 ] || fail "$program CompanyName: ${res[0]}"
        [ "${res[1]}" = '2025-2026 潮汐组' ] || fail "$program LegalCopyright: ${res[1]}"
        manifest=$(printf '%s\n' "${res[@]:2}")
        for said in 'level="asInvoker"' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' \
            '>PerMonitorV2</dpiAwareness>' '>true/pm</dpiAware>'; do
            grep -qF "$said" <<<"$manifest" || fail "$program's manifest lacks $said"
        done
    done
    ;;
dpi*)
    # The display at 125, 150 or 200 %, set before the programs start.
    dpi=${case_name#dpi}
    win 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    # The prefix is shared with the next test, at 96 dpi.
    trap '"$TIDE_WINE" reg delete "HKCU\Control Panel\Desktop" /v LogPixels /f >/dev/null 2>&1' EXIT
    start tidepanel
    wait_for 60 "the panel shows its lettering" painted Form1
    wait_for 30 "the info window shows its lettering" painted 配置信息
    region_now Form1 before
    store Title "$(ansi '示例电脑服务部 Shop')"
    wait_for 10 "the panel shows the new title" changed_from Form1 "$scratch/before.png"
    for title in Form1 配置信息; do
        see_through $title
        n=$(strays $title)
        [ "$n" -eq 0 ] || fail "$title shows $n pixels that are neither desktop nor lettering at $dpi dpi"
        read -r w h x y <<<"$(geometry $title)"
        # Wholly on the screen, at most two scaled pixels short of its right edge.
        [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ] ||
            fail "$title at ${w}x${h}+$x+$y is not wholly on the 1024x768 screen"
        [ $(((1024 - x - w) * 96)) -lt $((2 * dpi)) ] || fail "$title at ${w}x${h}+$x+$y is off the right edge"
    done
    # Scaled: bigger than at 96 dpi (330 pixels).
    read -r w h x y <<<"$(geometry Form1)"
    [ $((w * 96)) -ge $((330 * dpi - 96)) ] || fail "Form1 is $w pixels wide at $dpi dpi"
    store Close End
    wait_for 10 "Close=End ends the panel" gone "$tidepanel_pid"
    ;;
*)
    fail "no such case"
    ;;
esac
echo "$case_name: passed"
