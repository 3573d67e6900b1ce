#!/usr/bin/env bash
# Builds every release artifact of this checkout into one folder (default: dist/):
#   corvalen_<version>_amd64.deb            the plug-in and corvalen-render, 64-bit Debian 12
#   Corvalen-<version>-windows-x64.zip      Corvalen.dll for 64-bit Windows hosts
#   corvalen_<version>_i386.deb             the plug-in alone, for 32-bit hosts on Debian 12
#   Corvalen-<version>-windows-i686.zip     Corvalen.dll for 32-bit Windows hosts
#   SHA256SUMS
# The version is the project's (CMakeLists.txt). Each target is built afresh in a folder of its
# own (build/dist-*) without tests, so nothing left in the tree by other builds goes in; run
# the tests with scripts/test.sh. The artifacts are then checked (scripts/check-packages.sh).
#
#   scripts/release.sh [OUTPUT-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$(realpath -m "${1:-dist}")
jobs=$(nproc)

if [[ -n $(git status --porcelain 2>/dev/null) ]]; then
    echo "release: warning: the working tree has uncommitted changes; they go into the artifacts"
fi
# Dates inside the packages (the Debian changelog) are the last commit's, so the same commit
# gives the same changelog.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH

scripts/setup.sh
rm -rf "$dist"
mkdir -p "$dist"
for preset in release linux-i386 windows-x64 windows-i686; do
    dir=build/dist-$preset
    echo "== $preset"
    rm -rf "$dir"
    # The amd64 package holds corvalen-play: required, never silently left out.
    cmake --preset "$preset" -B "$dir" -DCORVALEN_BUILD_TESTS=OFF -DCORVALEN_BUILD_PLAYER=ON >/dev/null
    cmake --build "$dir" -j "$jobs" >/dev/null
    (cd "$dir" && cpack >/dev/null)
    find "$dir/packages" -maxdepth 1 \( -name '*.deb' -o -name '*.zip' \) -exec cp -t "$dist" {} +
done

(cd "$dist" && sha256sum -- *.deb *.zip >SHA256SUMS)
echo "== check"
scripts/check-packages.sh "$dist"/*.deb "$dist"/*.zip
echo "== $dist"
(cd "$dist" && ls -l && cat SHA256SUMS)
