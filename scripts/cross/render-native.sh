#!/usr/bin/env bash
# render-native.sh OUTPUT.raw: renders the cross-target phrase with a native x86-64 release
# build (build/cross-native), the reference that every other target must match.
set -euo pipefail
output=$(realpath -m "$1")
cd "$(dirname "$0")/../.."
timeout 600 cmake -S . -B build/cross-native -DCMAKE_BUILD_TYPE=Release \
    -DCORVALEN_BUILD_TOOLS=OFF -DCORVALEN_BUILD_TESTS=ON >/dev/null
timeout 1200 cmake --build build/cross-native --target corvalen-cross-render -j "$(nproc)" >/dev/null
build/cross-native/tests/cross/corvalen-cross-render "$output"
