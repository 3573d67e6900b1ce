#!/usr/bin/env bash
# Builds every configuration and runs all tests, each stage installing first what it needs
# (scripts/setup.sh with the stage's package lists): native release and sanitizer builds, the
# Debian package from the release build, the speed targets counted by callgrind,
# ThreadSanitizer on the multi-threaded suites, the fuzz targets for a minute each, the cross
# targets (32-bit Linux under qemu, Windows under wine) and their packages.
#
# A stage that fails, or whose packages cannot be installed, does not stop the others; the run
# then ends non-zero and names it. The one exception: a stage whose only missing packages are
# of a foreign architecture, when that architecture's package lists fail to download, is
# skipped without failing the run (the package source is at fault, not the project), and the
# last lines say so with apt's error.
#
#   scripts/test.sh [STAGE...]     the stages named (see the list at the end), or all of them
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
CORVALEN_APT_STATE=$(mktemp -d)
export CORVALEN_APT_STATE
trap 'rm -rf "$CORVALEN_APT_STATE"' EXIT
SECONDS=0
source scripts/stages.sh
stages_only "$@"

# The live player is required, not left out when libjack is missing.
build_and_test() {
    cmake --preset "$1" -DCORVALEN_BUILD_PLAYER=ON >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    # The live player's tests run against a JACK server in real time, which a loaded machine
    # can starve; a test that fails is run once more alone, and one that then passes is named
    # as flaky in the log rather than hidden. Failing twice fails the stage.
    if ! ctest --preset "$1" -j "$jobs"; then
        echo "== $1: running the failed tests once more, alone"
        ctest --preset "$1" --rerun-failed --output-on-failure
        echo "== $1: FLAKY: the tests above failed once and passed alone"
    fi
}
run_release() { build_and_test release; }
run_asan() { build_and_test asan; }

# The Debian package, made from the release build just tested, and its contents.
run_package() {
    rm -rf build/release/packages
    (cd build/release && cpack -G DEB >/dev/null)
    scripts/check-packages.sh build/release/packages/corvalen_*.deb
}

# The speed targets, as instruction counts: they repeat exactly, where times on a shared
# machine do not. The timed benchmarks are built too, so that they keep compiling, but not run.
run_perf() {
    cmake --preset bench >/dev/null
    cmake --build --preset bench -j "$jobs" --target Corvalen corvalen-perf-probe dsp_bench \
        plugin_bench rate_bench
    scripts/callgrind-per-sample.sh --check build/bench
}

# ThreadSanitizer: only the suites that drive the plug-in from several threads.
run_tsan() {
    local suites=(synth/corvalen_synth_tests reliability/corvalen_reliability_tests) suite
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$jobs" --target "${suites[@]#*/}"
    for suite in "${suites[@]}"; do
        TSAN_OPTIONS="halt_on_error=1" "build/tsan/tests/$suite" --gtest_brief=1
    done
}

run_fuzz() { scripts/fuzz.sh 60; }

run_cross_linux_i386() { scripts/test-cross.sh linux-i386; }
run_cross_windows_x64() { scripts/test-cross.sh windows-x64; }
run_cross_windows_i686() { scripts/test-cross.sh windows-i686; }

# The package of a cross target just tested: the 32-bit Linux .deb or a Windows archive.
package_cross() {
    rm -rf "build/cross-$1/packages"
    (cd "build/cross-$1" && cpack >/dev/null)
    # shellcheck disable=SC2086 # $2 is a pattern
    scripts/check-packages.sh build/cross-$1/packages/$2
}
run_archive_linux_i386() { package_cross linux-i386 'corvalen_*_i386.deb'; }
run_archive_windows_x64() { package_cross windows-x64 'Corvalen-*.zip'; }
run_archive_windows_i686() { package_cross windows-i686 'Corvalen-*.zip'; }

stage release "build render test live" run_release
stage package "build package" run_package release
stage perf "build render perf" run_perf
stage asan "build render test live" run_asan
stage tsan "build render" run_tsan
stage fuzz "build render fuzz" run_fuzz
stage cross-linux-i386 "build cross-linux" run_cross_linux_i386
stage cross-windows-x64 "build cross-windows" run_cross_windows_x64
# 32-bit wine runs under qemu-i386 where i386 programs do not run natively.
stage cross-windows-i686 "build cross-linux cross-windows cross-wine32" run_cross_windows_i686
stage archive-linux-i386 "build package package-i386" run_archive_linux_i386 cross-linux-i386
stage archive-windows-x64 "build package" run_archive_windows_x64 cross-windows-x64
stage archive-windows-i686 "build package" run_archive_windows_i686 cross-windows-i686

stages_report
