# Shared by the shell tests of the Windows programs; sourced after the script
# has set drive_exe and defined fail.

# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds.
wait_for() {
    local limit=$1 what=$2 end=$((SECONDS + $1))
    shift 2
    until "$@"; do
        [ $SECONDS -lt $end ] || fail "$what (waited ${limit} s)"
        sleep 0.2
    done
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# drive COMMAND...: win_drive.exe, with its Windows exit code even when
# Wine's SIGKILL of its lingering Linux side reaches us first (137).
drive() {
    local file=$TIDE_SCRATCH/exit.$BASHPID status=0
    rm -f "$file"
    TIDE_EXIT_FILE=$(winpath "$file") "$TIDE_WINE" "$drive_exe" "$@" || status=$?
    if [ $status -eq 137 ] && [ -s "$file" ]; then
        status=$(tr -d '\r\n' <"$file")
    fi
    rm -f "$file"
    return "$status"
}
no_window() { ! drive window "$1"; }
# win SECONDS PROGRAM ARG...: a Windows program (a Windows path, or a name on
# its search path) and its exit code, 124 if it outlived SECONDS.
win() { drive run "$@"; }
