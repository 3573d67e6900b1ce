#!/usr/bin/env bash
# Runs a Windows program under wine for CTest: wine-run.sh PROGRAM.exe [ARGS...]
#
# The program's output goes through a file rather than a pipe, because wine's services
# inherit the descriptors of the first wine process and would hold a pipe open. Carriage
# returns are dropped so that CTest and GoogleTest's test discovery read plain lines. The
# exit status is the program's.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

# Outside a test session (scripts/cross/wine-session.sh) nobody stops the server, so it
# goes a minute after the last program.
[[ -f $WINEPREFIX/.corvalen-ready ]] || CORVALEN_WINESERVER_LINGER=60 corvalen_wine_ready

output=$(mktemp)
trap 'rm -f "$output"' EXIT
# wine64 starts 32-bit programs too, through the 32-bit loader of the same (WoW64) prefix.
run_once() {
    "$corvalen_wine64" "$@" </dev/null >"$output" 2>&1
}
run_once "$@"
status=$?
# GoogleTest prints and flushes a line before it starts a test, so a failure with no output
# at all means the program never reached its test. Wine has, rarely, failed to start a
# program that way (once in a CI run; 850 starts here did not reproduce it). Such a start is
# tried once more and reported; a test that ran and failed is never run again.
if [[ $status -ne 0 && ! -s $output ]]; then
    echo "wine-run: $(basename "$1") ended with status $status before printing anything; starting it again" >&2
    run_once "$@"
    status=$?
fi
tr -d '\r' <"$output"
exit $status
