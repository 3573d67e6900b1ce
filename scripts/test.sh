#!/usr/bin/env bash
# Sets up a fresh machine, builds every configuration and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
SECONDS=0

for preset in release asan; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

# ThreadSanitizer: only the suites that drive the plug-in from several threads.
echo "== tsan"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target corvalen_synth_tests
ctest --preset tsan -j "$jobs"

echo "== done in ${SECONDS}s"
scripts/test-cross.sh
