#!/usr/bin/env bash
# Sets up a fresh machine, builds every configuration and runs all tests: native release and
# sanitizer builds, the Debian package from the release build, the speed targets counted by
# callgrind, ThreadSanitizer on the multi-threaded suites, the fuzz targets for a minute each,
# the cross targets (32-bit Linux under qemu, Windows under wine) and their packages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
SECONDS=0
timings=()
took() { timings+=("$(printf '%-10s %4ds' "$1" "$SECONDS")"); }

for preset in release asan; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
    took "$preset"
    if [[ $preset == release ]]; then
        # The Debian package, made from the release build just tested, and its contents.
        echo "== package"
        rm -rf build/release/packages
        (cd build/release && cpack -G DEB >/dev/null)
        scripts/check-packages.sh build/release/packages/corvalen_*.deb
        took package
        # The speed targets, as instruction counts: they repeat exactly, where times on a
        # shared machine do not.
        echo "== perf"
        cmake --preset bench >/dev/null
        cmake --build --preset bench -j "$jobs" --target Corvalen corvalen-perf-probe
        scripts/callgrind-per-sample.sh --check build/bench
        took perf
    fi
done

# ThreadSanitizer: only the suites that drive the plug-in from several threads.
echo "== tsan"
cmake --preset tsan >/dev/null
tsan_suites=(synth/corvalen_synth_tests reliability/corvalen_reliability_tests)
cmake --build --preset tsan -j "$jobs" --target "${tsan_suites[@]#*/}"
for suite in "${tsan_suites[@]}"; do
    TSAN_OPTIONS="halt_on_error=1" "build/tsan/tests/$suite" --gtest_brief=1
done
took tsan

echo "== fuzz"
scripts/fuzz.sh 60
took fuzz

echo "== cross"
scripts/test-cross.sh
took cross

# The packages of the cross targets just tested: the 32-bit Linux plug-in's .deb and the
# Windows archives.
echo "== archives"
for target in linux-i386 windows-i686 windows-x64; do
    rm -rf "build/cross-$target/packages"
    (cd "build/cross-$target" && cpack >/dev/null)
done
scripts/check-packages.sh build/cross-linux-i386/packages/corvalen_*_i386.deb \
    build/cross-windows-*/packages/Corvalen-*.zip
took archives

echo "== all tests passed; elapsed time at the end of each stage:"
printf '   %s\n' "${timings[@]}"
