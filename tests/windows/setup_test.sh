#!/usr/bin/env bash
# The setup, tide-<version>-setup.exe, under Wine on a fresh prefix per case:
# the files, the registry, the Start menu and the log it leaves, and what the
# programs do around it.
#   wine_run.sh --boot PREFIX setup_test.sh CASE SETUP ZIP win_drive.exe
# CASE: install, upgrade, ini, remove, wizard.
set -euo pipefail
case_name=$1
setup=$(realpath "$2")
zip=$(realpath "$3")
drive_exe=$4
scratch=$TIDE_SCRATCH
c=$WINEPREFIX/drive_c
app="$c/Program Files/潮汐面板"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/潮汐面板"
temp=$c/users/$(id -un)/Temp
uninst='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tide'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
version=$(basename "$setup" | sed -E 's/tide-(.*)-setup.exe/\1/')

# shellcheck source-path=SCRIPTDIR source=wine_lib.sh
. "$(dirname "$0")/wine_lib.sh"

fail() {
    echo "FAILED ($case_name): $*" >&2
    for log in "$temp"/tide-*.log; do [ -f "$log" ] && iconv -f UTF-16 "$log" >&2; done
    exit 1
}
log() { iconv -f UTF-16 "$temp/tide-$1.log" 2>/dev/null | tr -d '\r'; }
logged() { log "$1" | grep -qF "$2"; }
# The registry as Wine's reg prints it, in the console's code page 936.
reg_value() { win 60 reg query "$1" /v "$2" 2>/dev/null | iconv -f GBK | tr -d '\r' |
    sed -nE "s/^ +$2 +REG_[A-Z_]+ +//p"; }
# setup [ARGS]: runs the setup; its exit code in $status, its log afresh.
setup() {
    rm -f "$temp/tide-setup.log"
    status=0
    win 300 "$(winpath "$setup")" "$@" || status=$?
}
installed() {
    setup /S "$@"
    [ $status -eq 0 ] || fail "setup $* exited with $status"
}
# The uninstaller hands its work to a copy of itself in %TEMP% and returns.
uninstall() {
    rm -f "$temp/tide-uninstall.log"
    win 60 "$(winpath "$1/uninstall.exe")" /S "${@:2}" || fail "uninstall.exe /S $* exited with $?"
    wait_for 60 "the uninstaller finishes" logged uninstall 卸载完成
}
start() {
    "$TIDE_WINE" "C:\\Program Files\\潮汐面板\\$1.exe" >/dev/null 2>&1 &
}
gbk() { printf '%s' "$1" | iconv -t GBK; }

# Wine says it is Windows 7 until told otherwise: the setup refuses it.
setup /S
[ $status -eq 3 ] || fail "on Windows 7 the setup exited with $status"
logged setup '需要 64 位的 Windows 10（1809 版）' || fail "the refusal does not say why"
[ ! -e "$app" ] || fail "the refused setup left $app"
win 60 reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null

case $case_name in
install)
    installed
    logged setup 安装完成 || fail "the log does not end with 安装完成"
    # The same files as the zip's folder, and the uninstaller.
    diff <(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^潮汐面板/||' | sort) \
        <(cd "$app" && find . -type f ! -name uninstall.exe | sed 's|^\./||' | sort) ||
        fail "the installed files differ from the zip's"
    [ -f "$menu/潮汐面板修改器.lnk" ] && [ -f "$menu/卸载潮汐面板.lnk" ] || fail "Start menu: $(ls "$menu")"
    [ "$(reg_value "$run_key" tidepanel)" = '"C:\Program Files\潮汐面板\tidepanel.exe"' ] ||
        fail "Run value: $(reg_value "$run_key" tidepanel)"
    for pair in "DisplayName=潮汐面板" "DisplayVersion=$version" "Publisher=潮汐面板项目组" \
        'InstallLocation=C:\Program Files\潮汐面板' \
        'DisplayIcon="C:\Program Files\潮汐面板\tidepanel.exe",0' \
        'UninstallString="C:\Program Files\潮汐面板\uninstall.exe"' \
        'QuietUninstallString="C:\Program Files\潮汐面板\uninstall.exe" /S'; do
        [ "$(reg_value "$uninst" "${pair%%=*}")" = "${pair#*=}" ] ||
            fail "${pair%%=*} is \"$(reg_value "$uninst" "${pair%%=*}")\""
    done
    size=$(reg_value "$uninst" EstimatedSize)
    [ $((size)) -ge $(($(du -sk "$app" | cut -f1) / 2)) ] || fail "EstimatedSize $size KB"
    # The setup's own resources: the maker, and a manifest asking for the administrator.
    mapfile -t res < <(drive resources "$(winpath "$setup")" | tr -d '\r')
    [ "${res[0]}" = 潮汐面板项目组 ] && [ "${res[1]}" = '2025-2026 潮汐组' ] ||
        fail "the setup's CompanyName, LegalCopyright: ${res[*]:0:2}"
    grep -qF 'level="requireAdministrator"' <<<"${res[*]:2}" || fail "the setup does not ask for the administrator"
    # A logon starts the panel.
    win 120 wineboot || fail "the logon did not finish (wineboot: $?)"
    wait_for 60 "the panel starts at the logon" drive window Form1
    ;;
upgrade)
    installed
    # The shop's texts, as the editor stores them; both programs running.
    sed -i "s/^Title=.*\r$/Title=$(gbk '本店新名称')\r/" "$app/SysInfo.ini"
    cp "$app/SysInfo.ini" "$scratch/edited.ini"
    start tidepanel
    wait_for 60 "the panel appears" drive window Form1
    start tideedit
    wait_for 60 "the editor appears" drive window '潮汐面板 tideedit器'
    installed
    cmp "$app/SysInfo.ini" "$scratch/edited.ini" || fail "the upgrade changed SysInfo.ini"
    # Both ended by themselves: the panel through Close=End, the editor when closed.
    log setup | grep -qE "^tidepanel.exe（进程 [0-9]+）已退出" || fail "the panel did not end by itself"
    logged setup 修改器已关闭 || fail "the editor was not closed"
    logged setup 强制结束 && fail "a program had to be terminated"
    logged setup 面板已重新启动 || fail "the panel was not started again"
    wait_for 60 "the panel runs again" drive window Form1
    drive window '潮汐面板 tideedit器' && fail "the editor still runs"
    ;;
ini)
    # Any encoding the programs read: here UTF-8 with a byte-order mark.
    printf '\xef\xbb\xbf[Sysinfo]\r\nTitle=连锁店统一名称\r\nClose=Start\r\n' >"$scratch/shop.ini"
    setup /S /INI=Z:\\nowhere\\shop.ini
    [ $status -eq 5 ] && logged setup '找不到 /INI= 指定的设置文件' || fail "a missing /INI= file: $status"
    installed
    sed -i "s/^Title=.*\r$/Title=$(gbk '别的名称')\r/" "$app/SysInfo.ini"
    installed "/INI=Z:${scratch//\//\\}\\shop.ini"
    cmp "$app/SysInfo.ini" "$scratch/shop.ini" || fail "/INI= did not replace SysInfo.ini as it was"
    # A folder of the shop's own choice, /D= last as NSIS wants it.
    installed "/INI=Z:${scratch//\//\\}\\shop.ini" '/D=C:\店里的软件\潮汐'
    cmp "$c/店里的软件/潮汐/SysInfo.ini" "$scratch/shop.ini" || fail "/D= with /INI="
    [ -f "$c/店里的软件/潮汐/tidepanel.exe" ] || fail "/D= did not install there"
    ;;
remove)
    installed
    start tidepanel
    wait_for 60 "the panel appears" drive window Form1
    uninstall "$app"
    wait_for 10 "the uninstaller ends the panel" no_window Form1
    [ "$(ls -A "$app")" = SysInfo.ini ] || fail "left in the folder: $(ls -A "$app")"
    [ ! -e "$menu" ] || fail "the Start menu folder remains"
    [ -z "$(reg_value "$run_key" tidepanel)" ] || fail "the Run value remains"
    win 60 reg query "$uninst" >/dev/null 2>&1 && fail "the installed-apps entry remains"
    grep -q '^Close=Start' "$app/SysInfo.ini" || fail "the panel was left told to end"
    installed
    uninstall "$app" /PURGE
    [ ! -e "$app" ] || fail "/PURGE left $(ls -A "$app")"
    # A folder the setup did not make stays, with what else it holds.
    mkdir -p "$c/工具"
    echo mine >"$c/工具/note.txt"
    installed '/D=C:\工具'
    uninstall "$c/工具" /PURGE
    [ "$(ls -A "$c/工具")" = note.txt ] || fail "the shop's own folder holds $(ls -A "$c/工具")"
    ;;
wizard)
    title="潮汐面板 $version 安装"
    "$TIDE_WINE" "$setup" >/dev/null 2>&1 &
    wizard=$!
    wait_for 60 "the wizard appears" drive window "$title"
    texts=$(drive texts "$title")
    grep -qF "欢迎使用" <<<"$texts" || fail "the first page is not in Chinese: $texts"
    xsetroot -solid '#3060A0'
    import -window root "$(dirname "$scratch")/setup-wizard.png"
    # A second setup meanwhile is refused at once.
    setup /S
    [ $status -eq 4 ] && logged setup '另一个潮汐面板安装或卸载程序正在运行' || fail "a second setup: $status"
    kill "$wizard"
    ;;
*)
    fail "no such case"
    ;;
esac
echo "$case_name: passed"
