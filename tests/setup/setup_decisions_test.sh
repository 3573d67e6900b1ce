#!/usr/bin/env bash
# scripts/setup.sh and the stage runner of scripts/test.sh, driven against stand-ins for
# apt-get, dpkg, dpkg-query and sudo on PATH: an update that fails, fails only for the foreign
# architecture, or succeeds; a package apt refuses. Usage: setup_decisions_test.sh SCRIPTS_DIR
set -uo pipefail
# A run of scripts/test.sh shares its apt state with every set-up it starts: not with these.
unset CORVALEN_APT_STATE
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $case_name: $*"; failures=$((failures + 1)); }

# The stand-ins read and write files in $STUB: installed, arches, refused, calls (the log), and
# update: ok; fail (a native index arrives broken); fail-foreign (an i386 index does); or
# unreachable (a source cannot be reached: apt warns and exits 0). sources.list is the apt
# source file setup reads.
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB/calls"
if [[ $* == *update* ]]; then
    case $(cat "$STUB/update") in
        ok) exit 0 ;;
        fail) echo "E: Failed to fetch http://mirror/debian/dists/bookworm/main/binary-amd64/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"; exit 100 ;;
        fail-foreign) echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"; exit 100 ;;
        unreachable)
            echo "W: Failed to fetch http://bogus/debian/dists/bookworm/InRelease  Could not connect to bogus"
            echo "W: Some index files failed to download. They have been ignored, or old ones used instead."
            exit 0 ;;
    esac
fi
pkgs=()
for arg in "$@"; do [[ $arg == -* || $arg == install ]] || pkgs+=("$arg"); done
for pkg in "${pkgs[@]}"; do
    if grep -qx "$pkg" "$STUB/refused" 2>/dev/null; then
        echo "E: Unable to correct problems, you have held broken packages. ($pkg)"
        exit 100
    fi
done
[[ $* == *--simulate* ]] || printf '%s\n' "${pkgs[@]}" >>"$STUB/installed"
STUB
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
grep -qx "${!#}" "$STUB/installed" 2>/dev/null && printf 'install ok installed' && exit 0
exit 1
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB/calls"
case $1 in
    --print-architecture) echo amd64 ;;
    --print-foreign-architectures) cat "$STUB/arches" ;;
    --add-architecture) echo "$2" >>"$STUB/arches" ;;
esac
STUB
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# A copy of setup.sh with package lists of its own.
mkdir -p "$work/scripts/packages"
cp "$scripts/setup.sh" "$work/scripts/"
printf 'lib-a\nlib-b  # a comment\n' >"$work/scripts/packages/native.list"
printf 'tool-w\nwine-w:i386\n' >"$work/scripts/packages/foreign.list"

# start NAME UPDATE REFUSED...: a fresh machine with nothing installed.
start() {
    case_name=$1
    export STUB=$work/stub-$1
    mkdir -p "$STUB"
    : >"$STUB/installed" >"$STUB/arches" >"$STUB/calls" >"$STUB/refused" >"$STUB/sources.list"
    echo "$2" >"$STUB/update"
    shift 2
    for pkg in "$@"; do echo "$pkg" >>"$STUB/refused"; done
}
setup() {
    PATH=$work/bin:$PATH CORVALEN_APT_PAUSE=0 CORVALEN_APT_SOURCES=${sources:-$STUB/sources.list} \
        "$work/scripts/setup.sh" --for "stage $case_name" "$@" \
        >"$STUB/out" 2>&1
}
installed() { grep -qx "$1" "$STUB/installed"; }
said() { grep -q -- "$1" "$STUB/out" || fail "expected '$1' in: $(cat "$STUB/out")"; }
updates() { grep -c 'apt-get update' "$STUB/calls"; }

start update-fails-but-lists-suffice fail
setup native; rc=$?
[[ $rc -eq 0 ]] || fail "exit $rc: $(cat "$STUB/out")"
installed lib-a && installed lib-b || fail "packages not installed"
[[ $(updates) -eq 3 ]] || fail "update tried $(updates) times, not 3"
! grep -q add-architecture "$STUB/calls" || fail "added a foreign architecture for native packages"

start one-package-refused ok lib-b
setup native; rc=$?
[[ $rc -eq 1 ]] || fail "exit $rc, not 1"
said "for stage one-package-refused, cannot install: lib-b;"
said "held broken packages"
! grep -q "cannot install: lib-a" "$STUB/out" || fail "named an installable package"

start foreign-index-broken fail-foreign wine-w:i386
setup foreign; rc=$?
[[ $rc -eq 75 ]] || fail "exit $rc, not 75: $(cat "$STUB/out")"
grep -qx i386 "$STUB/arches" || fail "i386 architecture not added"
installed tool-w || fail "the native package was not installed"
said "cannot install wine-w:i386: the package lists of their architecture failed to download"
said "Mirror sync in progress"

start foreign-only-source-unreachable unreachable wine-w:i386
echo "deb [arch=i386 signed-by=/k.gpg] http://bogus/debian/ bookworm main" >"$STUB/sources.list"
setup foreign; rc=$?
[[ $rc -eq 75 ]] || fail "exit $rc, not 75: an unreachable i386-only source is the foreign fault"
[[ $(updates) -eq 3 ]] || fail "update tried $(updates) times, not 3"

start deb822-foreign-source-unreachable unreachable wine-w:i386
printf 'Types: deb\nURIs: http://bogus/debian\nSuites: bookworm\nArchitectures: i386\n' \
    >"$STUB/bogus.sources"
sources=$STUB/bogus.sources setup foreign; rc=$?
[[ $rc -eq 75 ]] || fail "exit $rc, not 75: $(cat "$STUB/out")"

start native-source-unreachable unreachable wine-w:i386
echo "deb http://bogus/debian bookworm main" >"$STUB/sources.list"
setup foreign; rc=$?
[[ $rc -eq 1 ]] || fail "exit $rc, not 1: a source of every architecture is not the foreign fault"

start native-index-broken fail wine-w:i386
setup foreign; rc=$?
[[ $rc -eq 1 ]] || fail "exit $rc, not 1: a native fault is not the package source's foreign fault"
said "cannot install: wine-w:i386"

start foreign-refused-lists-fine ok wine-w:i386
setup foreign; rc=$?
[[ $rc -eq 1 ]] || fail "exit $rc, not 1: the lists downloaded, so the refusal is real"

start nothing-missing ok
printf 'lib-a\nlib-b\n' >"$STUB/installed"
setup native; rc=$?
[[ $rc -eq 0 && ! -s $STUB/calls ]] || fail "exit $rc, calls: $(cat "$STUB/calls")"

start one-update-per-run fail
export CORVALEN_APT_STATE=$work/state
setup native && setup foreign; rc=$?
[[ $rc -eq 0 ]] || fail "exit $rc: $(cat "$STUB/out")"
# The foreign architecture added by the second call makes its lists new: one more update round.
[[ $(updates) -eq 6 ]] || fail "update tried $(updates) times, not 3 + 3"
setup native; [[ $(updates) -eq 6 ]] || fail "a third call updated again"

# The stage runner: a failed stage and one whose packages cannot be installed fail the run; a
# stage skipped for the foreign fault, and what builds on it, do not.
case_name=stage-runner
export STUB=$work/stub-stages
mkdir -p "$STUB"
cat >"$work/bin/fake-setup" <<'STUB'
#!/usr/bin/env bash
case $2 in
    "stage unavailable") echo "setup: for stage unavailable, cannot install: lib-x; apt said: E: gone" >&2; exit 1 ;;
    "stage foreign") echo "setup: E: i386 lists failed" >&2; exit 75 ;;
esac
STUB
chmod +x "$work/bin/fake-setup"
run_stages() {
    (
        CORVALEN_SETUP=$work/bin/fake-setup
        source "$scripts/stages.sh"
        # shellcheck disable=SC2086 # a list of names
        stages_only ${selected:-}
        ok() { true; }
        broken() { false; echo "ran on after a failure" >&2; }
        for s in "$@"; do
            case $s in
                after-foreign) stage after-foreign "" ok foreign ;;
                after-broken) stage after-broken "" ok broken ;;
                broken) stage broken "" broken ;;
                *) stage "$s" "" ok ;;
            esac
        done
        stages_report
    ) >"$STUB/out" 2>&1
}
run_stages fine foreign after-foreign; rc=$?
[[ $rc -eq 0 ]] || fail "a foreign-fault skip failed the run: $(cat "$STUB/out")"
said "after-foreign          skipped"
said "i386 lists failed"
run_stages fine unavailable broken after-broken; rc=$?
[[ $rc -ne 0 ]] || fail "a failed stage passed the run"
said "FAILED or not run: unavailable (not run) broken (failed) after-broken (not run)"
said "cannot install: lib-x"
! grep -q "ran on after a failure" "$STUB/out" || fail "a stage went on after a failing command"
# Only the stages asked for run; one that builds on a stage left out does not, and says so.
selected="after-foreign fine" run_stages fine foreign after-foreign; rc=$?
[[ $rc -ne 0 ]] || fail "a stage that could not run passed the run"
! grep -q "== foreign" "$STUB/out" || fail "ran a stage not asked for"
said "after-foreign          not run"
run_stages fine unavailable broken after-broken; rc=$?
[[ $rc -ne 0 ]] || fail "a failed stage passed the run"
said "FAILED or not run: unavailable (not run) broken (failed) after-broken (not run)"
said "cannot install: lib-x"
! grep -q "ran on after a failure" "$STUB/out" || fail "a stage went on after a failing command"

[[ $failures -eq 0 ]] && echo "all set-up decisions as expected"
exit $((failures > 0))
