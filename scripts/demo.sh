#!/usr/bin/env bash
# Sets up a fresh machine, builds the plug-in and the command-line host, and renders the
# demo phrase through Corvalen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
echo "The instrument is not there yet: nothing to render."
