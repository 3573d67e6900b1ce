#!/bin/bash
# Renders the MIDI files of some Debian packages through corvalen-render and a few of Debian's
# VST 2 plug-ins, and tallies the outcomes: exit codes, warnings, silent and clipped renders.
# The third-party files are installed from Debian here, never kept in the repository.
#
#   scripts/render-real-files.sh [--install] [BUILD_DIR] [PLUGIN...]
# With plug-in names, only those are tried ("Corvalen" for the one built).
set -u
if [ "${1:-}" = "--install" ]; then
    shift
    apt-get install -y --no-install-recommends openttd-openmsx planetblupi-music-midi \
        dpf-plugins-vst zam-plugins amsynth lsp-plugins-vst iem-plugin-suite-vst >/dev/null
fi
build=${1:-build/release}
shift || true
wanted=("$@")
tool=${CORVALEN_RENDER:-$build/tools/corvalen-render}
out=$(mktemp -d /dev/shm/corvalen-real-XXXXXX)
trap 'rm -rf "$out"' EXIT

mapfile -t files < <(find /usr/share/games/openttd/baseset/openmsx /usr/share/planetblupi/music \
    /usr/share/ardour7/media -iname '*.mid' 2>/dev/null | sort)
echo "${#files[@]} MIDI files"

tally() {  # tally NAME PLUGIN-ARGS...
    local name=$1
    shift
    local ok=0 failed=0 warned=0 silent=0 clipped=0 start end seconds=0
    start=$(date +%s.%N)
    for file in "${files[@]}"; do
        local log=$out/log
        if "$tool" "$@" --tail 2 -o "$out/o.flac" "$file" >"$log" 2>&1; then
            ok=$((ok + 1))
            seconds=$(echo "$seconds + $(sed -n 's/^.*o.flac: \([0-9.]*\) s,.*/\1/p' "$log")" | bc)
        else
            failed=$((failed + 1))
            echo "  $name: $file: $(tail -1 "$log")"
        fi
        grep -q "warning: .*: the file\|warning: .*running status\|warning: .*RMID\|warning: .*header announces" "$log" &&
            warned=$((warned + 1))
        grep -q "is silent" "$log" && silent=$((silent + 1))
        grep -q "were clipped" "$log" && clipped=$((clipped + 1))
    done
    end=$(date +%s.%N)
    printf '%-20s %3d rendered, %d failed, %d with MIDI warnings, %d silent, %d clipped; %.0f s of audio in %.1f s\n' \
        "$name" "$ok" "$failed" "$warned" "$silent" "$clipped" "$seconds" "$(echo "$end - $start" | bc)"
}

wants() {
    [ ${#wanted[@]} -eq 0 ] && return 0
    local name
    for name in "${wanted[@]}"; do [ "$name" = "$1" ] && return 0; done
    return 1
}

wants Corvalen && tally Corvalen -p "$build/synth/Corvalen.so"
for plugin in Kars Nekobi amsynth_vst ZynAddSubFX; do
    wants "$plugin" && [ -n "$(find /usr/lib/vst /usr/lib/lxvst -name "$plugin*.so" 2>/dev/null | head -1)" ] &&
        tally "$plugin" -p "$plugin"
done
wants MVerb && tally "MVerb (an effect)" -p MVerb
