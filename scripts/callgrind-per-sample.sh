#!/usr/bin/env bash
# Instructions per sample of the plug-in path and of the instrument alone, counted by callgrind.
#
# Instruction counts repeat exactly from run to run, where seconds on a shared machine do not.
# Each figure is the difference between a 5-second render and a zero-length one (same loading,
# construction and note-on), divided by the samples rendered, so set-up costs drop out.
#
#   scripts/callgrind-per-sample.sh [--check] [build dir]   (default build/bench: cmake --preset bench)
#
# --check also holds the plug-in to its targets at 512-frame blocks and exits 1 when one is
# missed: a sustained note within 130 instructions per sample, Mod Gain on within 1.3 times
# that, and the release tail no dearer than the sustained note.
#
# The build needs -DCORVALEN_BUILD_BENCHMARKS=ON (target corvalen-perf-probe) and should be a
# Release build. Prints one line per configuration. CORVALEN_PLUGIN_PATH=<library> counts another
# build of the plug-in (the instrument lines always count this build's sound units).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
check=0
if [[ ${1:-} == --check ]]; then
    check=1
    shift
fi
build=${1:-$root/build/bench}
probe=$build/bench/corvalen-perf-probe
seconds=${SECONDS_TO_RENDER:-5}

if ! command -v valgrind >/dev/null; then
    echo "valgrind is not installed (apt-get install valgrind)" >&2
    exit 2
fi
if [[ ! -x $probe ]]; then
    cmake --build "$build" --target corvalen-perf-probe -j2 >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Total instructions of one probe run; prints "<instructions> <samples>".
count() {
    local out=$work/callgrind.out
    local samples
    samples=$(valgrind --tool=callgrind --callgrind-out-file="$out" "$probe" "$@" 2>/dev/null |
        awk '/^samples/ {print $2}')
    local instructions
    instructions=$(awk '/^summary:/ {print $2}' "$out")
    rm -f "$out"
    echo "$instructions $samples"
}

# Instructions per sample of `probe <mode> <seconds> <args...>` minus `probe <mode> 0 <args...>`;
# the figure is also left in $figure.
figure=0
per_sample() {
    local label=$1 mode=$2
    shift 2
    read -r long_ir long_samples < <(count "$mode" "$seconds" "$@")
    read -r short_ir short_samples < <(count "$mode" 0 "$@")
    figure=$(awk -v a="$long_ir" -v b="$short_ir" -v n="$long_samples" -v m="$short_samples" \
        'BEGIN { printf "%.2f", (a - b) / (n - m) }')
    printf '%-44s %8s instructions/sample (%d samples)\n' "$label" "$figure" \
        $((long_samples - short_samples))
}

per_sample "instrument computeSample, modulation off" instrument
per_sample "plug-in entry point, 512-frame blocks" plugin 512
sustained=$figure
per_sample "plug-in entry point, 32-frame blocks" plugin 32
per_sample "plug-in entry point, 1-frame blocks" plugin 1
per_sample "instrument computeSample, modulation on" instrument 1
per_sample "plug-in entry point, 512 frames, Mod Gain" plugin 512 0.03125
modulated=$figure
per_sample "plug-in entry point, 32 frames, Mod Gain" plugin 32 0.03125
per_sample "plug-in entry point, 1 frame, Mod Gain" plugin 1 0.03125
per_sample "plug-in, release tail 30 s on, 512 frames" tail 512
tail=$figure

if [[ $check -eq 1 ]]; then
    awk -v s="$sustained" -v m="$modulated" -v t="$tail" 'BEGIN {
        printf "sustained %.2f (target 130 or less): %s\n", s, s <= 130 ? "met" : "MISSED"
        printf "Mod Gain %.2f = %.3f x sustained (target 1.3 or less): %s\n", m, m / s,
            m <= 1.3 * s ? "met" : "MISSED"
        printf "release tail %.2f (target: sustained or less): %s\n", t, t <= s ? "met" : "MISSED"
        exit (s <= 130 && m <= 1.3 * s && t <= s) ? 0 : 1
    }'
fi
