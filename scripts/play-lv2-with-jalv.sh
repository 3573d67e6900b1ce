#!/usr/bin/env bash
# Plays the LV2 plug-in in jalv, a real LV2 host, on a private JACK server with the dummy
# driver (no sound card): lists and applies a preset through jalv's own commands, sends a held
# note from jack_midiseq and records out_1 with jack_capture, then prints what jalv said and the
# recording's level and rough pitch (sox). Not part of CI: it runs in real time and needs JACK.
#
#   scripts/play-lv2-with-jalv.sh [BUNDLE_PARENT=build/release/lib/lv2] [RATE=44100] [NOTE=57]
#
# Installs jackd2, jalv, jack-capture and sox when missing (Debian 12). Exit code 0 when a
# recording was made and is not silent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bundles=$(readlink -f "${1:-$root/build/release/lib/lv2}")
rate=${2:-44100}
note=${3:-57}
[[ -f $bundles/corvalen.lv2/manifest.ttl ]] || { echo "no corvalen.lv2 in $bundles" >&2; exit 2; }

need=()
for tool in jackd:jackd2 jalv:jalv jack_capture:jack-capture sox:sox; do
    command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if ((${#need[@]})); then
    DEBIAN_FRONTEND=noninteractive timeout 900 apt-get install -y -q --no-install-recommends \
        "${need[@]}" >/dev/null
fi

work=$(mktemp -d)
pids=()
finish() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

# A server of our own, invisible to any other.
export JACK_DEFAULT_SERVER=corvalen-jalv-$$ JACK_NO_START_SERVER=1
jackd --realtime -d dummy -r "$rate" -p 256 >"$work/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.05; done
jack_lsp >/dev/null 2>&1 || { cat "$work/jackd.log"; echo "jackd did not start" >&2; exit 1; }

# jalv reads commands on its standard input and exits when it closes: a FIFO held open.
mkfifo "$work/commands"
LV2_PATH=$bundles stdbuf -oL jalv -n corvalen urn:velquist:corvalen <"$work/commands" >"$work/jalv.log" 2>&1 &
pids+=($!)
exec 3>"$work/commands"
for _ in $(seq 100); do jack_lsp | grep -q '^corvalen:' && break; sleep 0.05; done
echo "== jalv's ports"
jack_lsp | grep '^corvalen:' | sed 's/^/   /'

printf 'presets\n' >&3
sleep 0.5
printf 'preset urn:velquist:corvalen#program-05\n' >&3
sleep 0.3
printf 'controls\n' >&3
sleep 0.3

# The note, again and again: on for 0.9 s of every second, so the recording holds whole notes
# whenever the pattern's loop began.
jack_midiseq seq "$rate" 0 "$note" $((rate * 9 / 10)) >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do jack_lsp | grep -q '^seq:' && break; sleep 0.05; done
jack_connect seq:out "$(jack_lsp | grep -m1 '^corvalen:.*midi\|^corvalen:.*event' || echo corvalen:midi_in)"
timeout 20 jack_capture -d 3 -f wav -p corvalen:out_1 "$work/out.wav" >"$work/capture.log" 2>&1 || true

# jalv writes its answers when it exits, which it does when its input closes.
exec 3>&-
for _ in $(seq 50); do kill -0 "${pids[1]}" 2>/dev/null || break; sleep 0.1; done
echo "== jalv's output"
sed 's/^/   /' "$work/jalv.log"
[[ -s $work/out.wav ]] || { cat "$work/capture.log"; echo "no recording" >&2; exit 1; }
echo "== out_1, 3 s at $rate Hz, note $note"
sox "$work/out.wav" -n stat 2>&1 | grep -E 'Maximum amplitude|RMS +amplitude' | sed 's/^/   /'
# The period of the highest autocorrelation peak between 40 and 2000 Hz, over half a second of a
# note (from 0.3 s after the recording first passes 1 %, so within the first whole note): its
# fundamental.
sox "$work/out.wav" -t f32 -c 1 "$work/out.f32" silence 1 1 1% trim 0.3 0.5
python3 - "$work/out.f32" "$rate" <<'PY'
import array, sys
samples = array.array("f", open(sys.argv[1], "rb").read())
rate = int(sys.argv[2])
def correlation(lag):
    return sum(samples[i] * samples[i + lag] for i in range(len(samples) - lag))
lags = range(rate // 2000, rate // 40)
values = [correlation(lag) for lag in lags]
# Past the first negative value, so the peak is a period, not the signal's smoothness.
start = next((i for i, value in enumerate(values) if value < 0), None)
if start is None:
    sys.exit("   no period found: the note is not in the recording")
best = lags[max(range(start, len(values)), key=values.__getitem__)]
print(f"   pitch (autocorrelation): {rate / best:.1f} Hz")
PY
peak=$(sox "$work/out.wav" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}')
awk -v p="$peak" 'BEGIN { exit !(p > 0.001) }' || { echo "the recording is silent" >&2; exit 1; }
