#!/usr/bin/env bash
# Installs from Debian the packages of the named lists that this machine lacks. The lists are
# scripts/packages/LIST.list, one package per line (comments start with #), split by purpose:
# the demo needs build and render, each test stage names its own.
#
#   scripts/setup.sh [--for WHAT] [LIST...]    no LIST: every list (a full developer set-up)
#
# WHAT names the purpose in messages ("the demo", "stage asan"). Quiet when nothing is missing.
# A foreign architecture (the i386 of "wine32:i386") is added only when one of its packages is
# wanted. A package source that fails to update stops nothing by itself: `apt-get update` is
# tried a few times, and then the packages are installed if apt can still install them from
# the lists it has, which `apt-get install --simulate` tells.
#
# Exit status:
#   0   every wanted package is installed
#   1   some cannot be installed: one message names them, what they were for, and apt's error
#   2   usage
#   75  only packages of a foreign architecture cannot be installed, and the package lists of
#       that architecture failed to download (a fault of the package source, not of the
#       project); the native packages were installed
#
# Environment: CORVALEN_APT_STATE=DIR lets the calls of one run share one `apt-get update`
# (scripts/test.sh sets it); CORVALEN_APT_SOURCES lists apt's source files (the tests set it); CORVALEN_APT_TRIES (default 3) and CORVALEN_APT_PAUSE (seconds,
# default 10) set how often and how patiently the update is tried.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
readonly foreign_fault=75

purpose="the set-up"
lists=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --for)
            [[ $# -ge 2 ]] || { echo "setup: --for needs a purpose" >&2; exit 2; }
            purpose=$2
            shift 2
            ;;
        -*) echo "usage: $0 [--for WHAT] [LIST...]" >&2; exit 2 ;;
        *) lists+=("$1"); shift ;;
    esac
done
if [[ ${#lists[@]} -eq 0 ]]; then
    for file in "$here"/packages/*.list; do lists+=("$(basename "$file" .list)"); done
fi

wanted=()
for list in "${lists[@]}"; do
    file=$here/packages/$list.list
    [[ -f $file ]] || { echo "setup: no package list '$list' ($file)" >&2; exit 2; }
    wanted+=($(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$file" | grep -v '^$' || true))
done

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
state=${CORVALEN_APT_STATE:-$(mktemp -d)}
mkdir -p "$state"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; [[ -n ${CORVALEN_APT_STATE:-} ]] || rm -rf "$state"' EXIT

native_arch=$(dpkg --print-architecture)
native=()
foreign=()
for pkg in "${missing[@]}"; do
    if [[ $pkg == *:* && ${pkg##*:} != "$native_arch" ]]; then foreign+=("$pkg"); else native+=("$pkg"); fi
done

# A newly added architecture has no package lists yet, so an earlier update no longer counts.
for arch in $(printf '%s\n' "${foreign[@]}" | sed -n 's/.*://p' | sort -u); do
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "setup: adding the $arch architecture for ${purpose}"
        $sudo dpkg --add-architecture "$arch"
        rm -f "$state/update.failed"
    fi
done

# The addresses an update could not fetch. apt-get exits 0 when an index merely cannot be
# reached (a warning) and 100 when one arrives broken, so both count.
failed_fetches() { sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$1" | sort -u; }

# Refreshes the package lists once per run, however many calls ask. Leaves apt's complaints
# in $state/update.err and the addresses it could not fetch in $state/update.failed.
update_lists() {
    [[ -f $state/update.failed ]] && return 0
    local tries=${CORVALEN_APT_TRIES:-3} pause=${CORVALEN_APT_PAUSE:-10} try rc
    for ((try = 1; try <= tries; try++)); do
        rc=0
        $sudo apt-get update -q >"$scratch/update.out" 2>&1 || rc=$?
        failed_fetches "$scratch/update.out" >"$scratch/update.failed"
        [[ $rc -eq 0 && ! -s $scratch/update.failed ]] && break
        [[ -s $scratch/update.failed ]] || echo "apt-get update exited with $rc" >"$scratch/update.failed"
        echo "setup: apt-get update failed (try $try of $tries)"
        ((try < tries)) && sleep "$pause"
    done
    grep -E '^(E|W|Err):' "$scratch/update.out" >"$state/update.err" || true
    [[ -s $state/update.err ]] || tail -n 5 "$scratch/update.out" >"$state/update.err"
    mv "$scratch/update.failed" "$state/update.failed"
}
update_failed() { [[ -s $state/update.failed ]]; }

# The architectures each source at BASE for SUITE is limited to, a line a source ("*" for a
# source of every architecture), from the one-line and the deb822 source files.
source_architectures() {
    local base=$1 suite=$2
    # shellcheck disable=SC2086 # a list of patterns
    local files=(${CORVALEN_APT_SOURCES:-/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources})
    local existing=() file
    for file in "${files[@]}"; do [[ -f $file ]] && existing+=("$file"); done
    [[ ${#existing[@]} -gt 0 ]] || return 0
    awk -v base="$base" -v suite="$suite" '
        function norm(u) { sub(/\/+$/, "", u); return u }
        function has(list, item,   n, a, i) {
            n = split(list, a, /[ \t,]+/)
            for (i = 1; i <= n; i++) if (a[i] != "" && norm(a[i]) == item) return 1
            return 0
        }
        function flush() {
            if (has(types, "deb") && has(uris, base) && has(suites, suite)) print (arches == "" ? "*" : arches)
            types = uris = suites = arches = ""
        }
        function value() { return substr($0, index($0, ":") + 1) }
        FNR == 1 { flush() }
        FILENAME ~ /\.sources$/ {
            if ($0 ~ /^[ \t]*$/) flush()
            else if (tolower($1) == "types:") types = value()
            else if (tolower($1) == "uris:") uris = value()
            else if (tolower($1) == "suites:") suites = value()
            else if (tolower($1) == "architectures:") arches = value()
            next
        }
        $1 == "deb" {
            i = 2; options = ""
            if ($2 ~ /^\[/) while (i <= NF) { options = options " " $i; if ($(i++) ~ /\]$/) break }
            gsub(/[][]/, "", options)
            n = split(options, option, " "); a = ""
            for (k = 1; k <= n; k++) if (option[k] ~ /^arch=/) a = substr(option[k], 6)
            if (norm($i) == base && $(i + 1) == suite) print (a == "" ? "*" : a)
        }
        END { flush() }' "${existing[@]}" | sed 's/^[[:space:]]*//'
}

# Whether a fetch that failed was of a foreign architecture's lists: a foreign index
# (".../binary-i386/Packages.xz"), or the release file of a source limited to foreign
# architectures (apt fetches that whatever architectures it is asked for).
fetch_is_foreign() {
    local url=$1 arch line
    [[ $url == */binary-*/* ]] && {
        arch=${url##*/binary-}
        arch=${arch%%/*}
        [[ $arch != "$native_arch" && $arch != all ]]
        return
    }
    [[ $url == */dists/* ]] || return 1
    local base=${url%%/dists/*} rest=${url#*/dists/}
    local lines
    lines=$(source_architectures "$base" "${rest%%/*}")
    [[ -n $lines ]] || return 1
    while read -r line; do
        [[ $line != "*" ]] || return 1
        for arch in ${line//,/ }; do [[ $arch != "$native_arch" ]] || return 1; done
    done <<<"$lines"
}

# Whether the foreign architecture's lists are among those the update failed to fetch.
foreign_lists_failed() {
    local url
    while read -r url; do fetch_is_foreign "$url" && return 0; done <"$state/update.failed"
    return 1
}

can_install() { $sudo apt-get install --simulate -y --no-install-recommends "$@" >"$scratch/simulate.out" 2>&1; }

install() {
    echo "setup: installing for ${purpose}: $*"
    if ! $sudo apt-get install -y -qq --no-install-recommends "$@" >"$scratch/install.out" 2>&1; then
        echo "setup: for ${purpose}, installing $* failed; apt said:" >&2
        tail -n 15 "$scratch/install.out" | sed 's/^/    /' >&2
        exit 1
    fi
}

# Names the packages apt refuses, each tried alone, with apt's error for all of them together.
report_refused() {
    local refused=() pkg
    for pkg in "$@"; do can_install "$pkg" || refused+=("$pkg"); done
    [[ ${#refused[@]} -gt 0 ]] || refused=("$@")
    can_install "$@" || true
    {
        echo "setup: for ${purpose}, cannot install: ${refused[*]}; apt said:"
        grep -v '^\(Reading\|Building\|NOTE\)' "$scratch/simulate.out" | tail -n 15 | sed 's/^/    /'
        if update_failed; then
            echo "  and apt-get update had failed:"
            sed 's/^/    /' "$state/update.err"
        fi
    } >&2
}

update_lists
if can_install "${missing[@]}"; then
    install "${missing[@]}"
    exit 0
fi

if [[ ${#foreign[@]} -gt 0 ]] && update_failed && foreign_lists_failed &&
    { [[ ${#native[@]} -eq 0 ]] || can_install "${native[@]}"; }; then
    [[ ${#native[@]} -eq 0 ]] || install "${native[@]}"
    {
        echo "setup: for ${purpose}, cannot install ${foreign[*]}: the package lists of their" \
            "architecture failed to download (a fault of the package source); apt said:"
        sed 's/^/    /' "$state/update.err"
    } >&2
    exit $foreign_fault
fi

report_refused "${missing[@]}"
exit 1
