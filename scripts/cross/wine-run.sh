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
"$corvalen_wine64" "$@" </dev/null >"$output" 2>&1
status=$?
tr -d '\r' <"$output"
exit $status
