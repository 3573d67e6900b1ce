#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`) and runs each for a fixed time.
#
#   scripts/fuzz.sh [seconds-per-target]      default 60
#
# Each target starts from a copy of its seed corpus in fuzz/corpus/<target>/ (the crash
# reproducers found so far are part of it), so the checkout stays clean; what a run adds to
# the corpus is thrown away. A crash, leak, sanitizer report or broken invariant fails the run;
# the input that caused it is kept in build/fuzz/artifacts/<target>/ (add it to the seed corpus
# and write a regression test for it once fixed). Prints runs and executions per second.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [[ "$seconds" -lt 1 ]]; then
    echo "usage: $0 [seconds-per-target]" >&2
    exit 2
fi
targets=(corvalen_fuzz_events corvalen_fuzz_dispatcher corvalen_fuzz_midi_file)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=build/fuzz/artifacts
failed=()
for target in "${targets[@]}"; do
    corpus="$work/$target"
    cp -r "fuzz/corpus/$target" "$corpus"
    mkdir -p "$artifacts/$target"
    log="$work/$target.log"
    echo "== $target: ${seconds} s"
    status=0
    # -timeout: one input running for 10 s counts as a hang. -rss_limit_mb: the default 2 GB
    # leaves room for AddressSanitizer's quarantine.
    "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target/" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "   runs ${runs:-?}, ${rate:-?} exec/s, corpus $(ls "$corpus" | wc -l) inputs"
    if [[ $status -ne 0 ]]; then
        grep -E 'ERROR|SUMMARY|corvalen fuzz check failed|Test unit written' "$log" | head -20 || true
        echo "   FAILED (exit $status); reproducer in $artifacts/$target/"
        failed+=("$target")
    fi
done

if [[ ${#failed[@]} -ne 0 ]]; then
    echo "fuzzing found faults in: ${failed[*]}"
    exit 1
fi
echo "fuzzing: no faults"
