# Shared by the shell tests of the Windows programs (which set drive_exe and
# define fail before they call these) and by wine_run.sh.

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

# windows_status STATUS FILE: the Windows exit code a program of ours left
# in FILE (exit_file.h) where the shell saw Wine's SIGKILL of its lingering
# Linux side (137), else STATUS.
windows_status() {
    if [ "$1" -eq 137 ] && [ -s "$2" ]; then tr -d '\r\n' <"$2"; else echo "$1"; fi
}
# drive COMMAND...: win_drive.exe, with its Windows exit code.
drive() {
    local file=$TIDE_SCRATCH/exit.$BASHPID status=0 limit=60
    # Bounded, so that a hung Wine fails a wait_for instead of stopping it;
    # "run SECONDS" bounds its program itself, and gets longer.
    [ "$1" = run ] && limit=$(($2 + 30))
    rm -f "$file"
    TIDE_EXIT_FILE=$(winpath "$file") timeout "$limit" "$TIDE_WINE" "$drive_exe" "$@" || status=$?
    status=$(windows_status "$status" "$file")
    rm -f "$file"
    return "$status"
}
no_window() { ! drive window "$1"; }
# win SECONDS PROGRAM ARG...: a Windows program (a Windows path, or a name on
# its search path) and its exit code, 124 if it outlived SECONDS.
win() { drive run "$@"; }
