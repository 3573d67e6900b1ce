#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine with what the demo needs (the build and render package
# lists, nothing of a foreign architecture), builds the plug-in and the command-line host
# (release preset), renders the built-in demo phrase through Corvalen to demo.wav, printing
# the summary, and draws demo.png: the waveform above a spectrogram of the render.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --for "the demo" build render
cmake --preset release >/dev/null
# The host depends on the plug-in, so this builds both and nothing else.
cmake --build --preset release --target corvalen-render -j "$(nproc)"
build/release/tools/corvalen-render --plugin build/release/synth/Corvalen.so --output demo.wav
scripts/render-picture.sh demo.wav demo.png "Corvalen demo phrase" 2>/dev/null
echo "demo.png: waveform and spectrogram of demo.wav"
