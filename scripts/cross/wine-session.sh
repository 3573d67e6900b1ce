# Sourced by the cross test script: a fresh wine prefix under a temporary folder for this
# run, its wineserver started before the tests and stopped, with the prefix removed, on exit.
here_wine_session=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/corvalen-wine.XXXXXX")/prefix
export WINEPREFIX
source "$here_wine_session/wine-env.sh"

corvalen_wine_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$(dirname "$WINEPREFIX")"
}
trap corvalen_wine_stop EXIT
