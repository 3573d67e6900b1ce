#!/usr/bin/env bash
# Draws a rendered WAV file as one picture: the waveform (first channel) above a spectrogram.
# Usage: scripts/render-picture.sh IN.wav OUT.png [TITLE]
# Needs sox, gnuplot and ImageMagick (scripts/packages/render.list).
set -euo pipefail
if [[ $# -lt 2 ]]; then
    echo "usage: $0 IN.wav OUT.png [TITLE]" >&2
    exit 2
fi
in=$1
out=$2
title=${3:-$(basename "$in")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The spectrogram sets the picture's width; the waveform is drawn to match it.
sox "$in" -n remix 1 spectrogram -x 1400 -y 420 -z 100 -t "$title: spectrogram (first channel)" \
    -o "$work/spectrogram.png"
width=$(identify -format '%w' "$work/spectrogram.png")
duration=$(soxi -D "$in")
# sox puts the spectrogram's time axis 58 pixels from the left and makes it 1400 pixels long;
# the waveform's axis goes in the same place so that the two line up.
left=$(awk -v w="$width" 'BEGIN { printf "%.5f", 58 / w }')
right=$(awk -v w="$width" 'BEGIN { printf "%.5f", 1458 / w }')

# Time and first channel as text; gnuplot draws every sample, so the envelope is exact.
sox "$in" -t dat - remix 1 | grep -v '^;' > "$work/samples.dat"
gnuplot <<GNUPLOT
set terminal pngcairo size ${width},300 background rgb 'black' font 'sans,10'
set output '$work/waveform.png'
set title '$title: waveform (first channel)' textcolor rgb 'white'
set border lc rgb 'white'
set key off
set xlabel 'seconds' textcolor rgb 'white'
set yrange [-1:1]
set grid lc rgb '#404040'
set lmargin at screen $left
set rmargin at screen $right
set xrange [0:$duration]
plot '$work/samples.dat' using 1:2 with lines lc rgb '#ffb030'
GNUPLOT

convert "$work/waveform.png" "$work/spectrogram.png" -background black -append "$out"
