# Settings shared by every wine run of the project: headless, quiet, no Mono or Gecko
# installers, no debugger dialog on a crash. Sourced by the scripts in this folder.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

# The prefix: the caller's WINEPREFIX, else one per user under the temporary folder.
: "${WINEPREFIX:=${TMPDIR:-/tmp}/corvalen-wine-$(id -u)}"
export WINEPREFIX

corvalen_wine64=/usr/lib/wine/wine64
[[ -x $corvalen_wine64 ]] || corvalen_wine64=$(command -v wine64 || command -v wine)

# Creates the prefix if it is missing and leaves a wineserver with its services running:
# until `wineserver -k`, or CORVALEN_WINESERVER_LINGER seconds after its last program ends.
# Every descriptor is detached from the caller: wine's services inherit them and would
# otherwise keep a caller's pipe open long after the program has ended. What wine prints on
# the way goes to a log file beside the prefix, named by corvalen_wine_log.
corvalen_wine_log() { echo "${WINEPREFIX%/}.log"; }
corvalen_wine_ready() {
    local log
    log=$(corvalen_wine_log)
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [[ ! -f $WINEPREFIX/.corvalen-ready ]]; then
            mkdir -p "$WINEPREFIX"
            "$corvalen_wine64" wineboot --init </dev/null >>"$log" 2>&1
            touch "$WINEPREFIX/.corvalen-ready"
        fi
        wineserver "-p${CORVALEN_WINESERVER_LINGER:-}" </dev/null >>"$log" 2>&1
        "$corvalen_wine64" cmd /c exit </dev/null >>"$log" 2>&1
    ) 9>"${WINEPREFIX%/}.lock"
}
