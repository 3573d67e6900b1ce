#!/usr/bin/env bash
# Plays the LV2 plug-in in Ardour 7, headless: its Lua session tool (ardour7-lua) with the
# "None (Dummy)" audio backend, so no sound card, display or JACK. Not part of CI.
#
#   scripts/render-lv2-with-ardour.sh [BUNDLE_PARENT=build/release/lib/lv2] [RATE=48000]
#                                     [OUT=build/ardour-lv2-RATE.wav] [NOTE=69]
#
# 1. A first ardour7-lua run creates a session at RATE, puts the plug-in on a MIDI track,
#    prints what Ardour loaded (name, maker, URI, ports, controls, latency), applies the preset
#    "05 init5" by its label (after moving every control away from it, so that the preset is
#    seen to act), then sets `level` to 0.5, off the preset, and saves the session.
# 2. A note region is added to the saved session file: NOTE, velocity 100, held 2 s from
#    beat 1 (0.5 s at the new session's 120 bpm).
# 3. A second ardour7-lua run reloads the saved session, checks that the plug-in came back with
#    the preset's label and every control value, and exports the master bus (32-bit float WAV,
#    Ardour's own "BWAV 32float Export" format) from 0 to 0.5 s past the note's end.
# 4. The render's peak, RMS, onset and pitch are printed (the pitch in cents from equal
#    temperament; Corvalen plays A4 about 17 cents sharp at any rate).
#
# LV2_PATH is BUNDLE_PARENT alone, so Ardour sees only the bundles in it. HOME and the XDG
# folders are a temporary folder, removed at the end. Every step runs under `timeout`, in the
# foreground, so nothing is left running. ardour7-lua 7.3 itself now and then aborts while
# adding a track ("Port already exists") or while closing a session: a run that ends without
# finishing is retried, up to 5 times; a crash while closing after the export is only reported.
# Installs ardour and python3 when missing (Debian 12). KEEP=1 keeps the temporary folder.
#
# Exit codes: 0 the session came back whole and the render is a note at about its pitch;
# 1 an unexpected failure (a tool missing or failing); 2 bad arguments or no corvalen.lv2 in
# BUNDLE_PARENT; 3 Ardour did not find or could not instantiate the plug-in; 4 Ardour refused
# to create, load or export the session, or ardour7-lua crashed in every attempt; 5 the preset
# did not apply, or the reloaded session lost the plug-in, its preset or a control value; 6 the
# render is silent, or more than a semitone off the note.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
    sed -n '5,6s/^# \{0,1\}//p' "$0" >&2
    exit 2
}
[[ ${1:-} == -h || ${1:-} == --help ]] && usage
bundles=$(readlink -f "${1:-$root/build/release/lib/lv2}") || usage
rate=${2:-48000}
out=${3:-$root/build/ardour-lv2-$rate.wav}
note=${4:-69}
if ! [[ $rate =~ ^[0-9]+$ && $note =~ ^[0-9]+$ ]] || ((note > 127)); then usage; fi
[[ -f $bundles/corvalen.lv2/manifest.ttl ]] || {
    echo "no corvalen.lv2 in $bundles" >&2
    exit 2
}

uri=urn:velquist:corvalen
preset_label="05 init5"
changed_symbol=level
changed_value=0.5
note_seconds=2
tail_seconds=0.5

need=()
command -v ardour7-lua >/dev/null || need+=(ardour)
command -v python3 >/dev/null || need+=(python3)
if ((${#need[@]})); then
    echo "== installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    timeout 300 apt-get update -q >/dev/null
    timeout 900 apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

work=$(mktemp -d /tmp/corvalen-ardour-XXXXXX)
finish() {
    if [[ -n ${KEEP:-} ]]; then echo "(kept $work)"; else rm -rf "$work"; fi
}
trap finish EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export XDG_DATA_HOME=$work/data LV2_PATH=$bundles
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ardour7/export" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
session=$work/session # the folder's name is the snapshot's: "session"

# An export preset of our own naming Ardour's shipped 32-bit float WAV format.
export_preset=3c1e2b7a-41d5-4c8e-9a60-c0a7e1e0a001
cat >"$XDG_CONFIG_HOME/ardour7/export/corvalen.preset" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="$export_preset" name="corvalen">
  <ExportFormat id="20b4ab09-6452-4cb3-bd66-b921cdbd2942"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="timespan" enabled="1"/>
  </ExportFilename>
</ExportPreset>
EOF

# The bundle's own facts, from its ttl: port index of every control input by symbol, and the
# preset's values ("INDEX=VALUE,..." for the Lua scripts).
read -r changed_port preset_values < <(python3 - "$bundles/corvalen.lv2" "$preset_label" \
    "$changed_symbol" <<'PY'
import re, sys
bundle, label, changed = sys.argv[1:]
plugin = open(bundle + "/corvalen.ttl").read()
index = {s: i for i, s in re.findall(r'lv2:index (\d+) ;\s*lv2:symbol "(\w+)"', plugin)}
presets = open(bundle + "/presets.ttl").read()
block = next((b for b in presets.split("\n\n") if f'rdfs:label "{label}"' in b), None)
if block is None or changed not in index:
    sys.exit(f"no preset {label!r} or no port {changed!r} in the bundle")
values = re.findall(r'lv2:symbol "(\w+)" ;\s*pset:value ([-+0-9.eE]+)', block)
print(index[changed], ",".join(f"{index[s]}={v}" for s, v in values))
PY
)
[[ -n ${preset_values:-} ]] || exit 1

cat >"$work/common.lua" <<'EOF'
-- Shared by both runs: finding the instrument and printing what Ardour holds.
function parse_values(text)
  local values = {}
  for port, value in text:gmatch("(%d+)=([^,]+)") do values[tonumber(port)] = tonumber(value) end
  return values
end

function fail(what)  -- a finding, not a crash: the script does not retry it
  print("FAIL " .. what)
  io.stdout:flush()
  error(what)
end

-- Ardour's Lua reaches controls by their number among the controls, not by port index.
function control_number(plugin, port)
  local n = 0
  while true do
    local p, ok = plugin:nth_parameter(n)
    if not ok[2] then return nil end
    if p == port then return n end
    n = n + 1
  end
end

function control_value(insert, plugin, port)
  local n = control_number(plugin, port)
  return n and ARDOUR.LuaAPI.get_plugin_insert_param(insert, n)
end

function set_control(insert, plugin, port, value)
  local n = control_number(plugin, port) or fail("no control on port " .. port)
  ARDOUR.LuaAPI.set_plugin_insert_param(insert, n, value)
end

function describe(route, insert, plugin)
  local info = plugin:get_info()
  print(string.format("   track %q, plug-in %q by %q, URI %s, type LV2=%s, instrument=%s",
    route:name(), plugin:name(), plugin:maker(), plugin:unique_id(),
    tostring(info.type == ARDOUR.PluginType.LV2), tostring(info:is_instrument())))
  print(string.format("   insert: %d MIDI in, %d audio out; latency %d frames",
    insert:input_streams():n_midi(), insert:output_streams():n_audio(), insert:signal_latency()))
  for port = 0, plugin:parameter_count() - 1 do
    local kind = plugin:parameter_is_control(port) and "control" or "port"
    local dir = plugin:parameter_is_input(port) and "in " or "out"
    local line = string.format("     %d %s %-7s %-9s", port, dir, kind, plugin:parameter_label(port))
    if plugin:parameter_is_control(port) then
      local _, refs = plugin:get_parameter_descriptor(port, ARDOUR.ParameterDescriptor())
      local d = refs[2]
      line = line .. string.format(" range %g..%g default %g value %.6g", d.lower, d.upper,
        d.normal, control_value(insert, plugin, port))
    end
    print(line)
  end
  local preset = plugin:last_preset()
  print(string.format("   last preset: %s", preset.valid and (preset.label .. " (" .. preset.uri .. ")") or "none"))
end

function check_values(insert, plugin, expected, what)
  for port, value in pairs(expected) do
    local got = control_value(insert, plugin, port)
    if got == nil or math.abs(got - value) > 1e-6 then
      fail(string.format("%s: %s is %s, not %g", what, plugin:parameter_label(port), tostring(got), value))
    end
  end
end

function the_instrument(uri)
  for route in Session:get_routes():iter() do
    local track = route:to_track()
    if not track:isnil() then
      local processor = route:nth_plugin(0)
      if processor:isnil() then fail("restore: the track has no plug-in") end
      local insert = processor:to_insert()
      local plugin = insert:plugin(0)
      if plugin:unique_id() ~= uri then fail("restore: the track's plug-in is " .. plugin:unique_id()) end
      return route, track, insert, plugin
    end
  end
  fail("restore: no track in the session")
end
EOF

cat >"$work/create.lua" <<'EOF'
local common, folder, rate, uri, label, preset_text, changed_port, changed_value = table.unpack(arg)
dofile(common)
rate, changed_port, changed_value = tonumber(rate), tonumber(changed_port), tonumber(changed_value)
AudioEngine:set_backend("None (Dummy)", "", "")
if not create_session(folder, "session", rate) then fail("session: create_session refused") end
print(string.format("   session at %d Hz", Session:nominal_sample_rate()))
local elsewhere = ARDOUR.LuaAPI.new_plugin_info("urn:ardour:a-fluidsynth", ARDOUR.PluginType.LV2)
print("   Ardour's own a-fluidsynth (outside LV2_PATH) visible: " .. tostring(not elsewhere:isnil()))
local info = ARDOUR.LuaAPI.new_plugin_info(uri, ARDOUR.PluginType.LV2)
if info:isnil() then fail("load: Ardour does not know " .. uri) end
local tracks = Session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
  ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1, "Corvalen",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
assert(tracks:size() == 1, "new_midi_track")  -- the known crash shows up here: retried
local route = tracks:front()
if route:nth_plugin(0):isnil() then fail("load: the plug-in was not instantiated") end
local insert = route:nth_plugin(0):to_insert()
local plugin = insert:plugin(0)
print("== loaded")
describe(route, insert, plugin)

-- Move every preset control away from the preset's value, then let the preset bring it back.
local preset_values = parse_values(preset_text)
for port, value in pairs(preset_values) do
  set_control(insert, plugin, port, value < 0.5 and value + 0.25 or value - 0.25)
end
local preset = plugin:preset_by_label(label)
if not preset.valid then fail("preset: no preset labelled " .. label) end
if not plugin:load_preset(preset) then fail("preset: load_preset refused " .. preset.uri) end
check_values(insert, plugin, preset_values, "preset " .. label)
print(string.format("   preset %q (%s) applied: every control at its value", label, preset.uri))
set_control(insert, plugin, changed_port, changed_value)
check_values(insert, plugin, {[changed_port] = changed_value}, "set")
print(string.format("   then %s set to %g", plugin:parameter_label(changed_port), changed_value))

-- The outputs connect to the master bus on their own, but not always before a save.
local master = Session:master_out():input()
for _ = 1, 40 do
  if route:output():audio(0):connected_to(master:audio(0):name()) then break end
  ARDOUR.LuaAPI.usleep(50000)
end
for c = 0, 1 do
  local port = master:audio(c):name()
  if not route:output():audio(c):connected_to(port) then route:output():audio(c):connect(port) end
end
Session:save_state("", false, false, false, false, false)
print("SAVED")
io.stdout:flush()
close_session()
EOF

cat >"$work/render.lua" <<'EOF'
local common, folder, uri, label, preset_text, changed_port, changed_value, frames = table.unpack(arg)
dofile(common)
changed_port, changed_value, frames = tonumber(changed_port), tonumber(changed_value), tonumber(frames)
AudioEngine:set_backend("None (Dummy)", "", "")
if not load_session(folder, "session") then fail("session: load_session refused") end
local route, track, insert, plugin = the_instrument(uri)
print("== reloaded")
describe(route, insert, plugin)
local preset = plugin:last_preset()
if not preset.valid or preset.label ~= label then fail("restore: the last preset is not " .. label) end
local expected = parse_values(preset_text)
expected[changed_port] = changed_value
check_values(insert, plugin, expected, "restore")
print("   the preset's label and every control value came back")
for region in track:playlist():region_list():iter() do
  local midi = region:to_midiregion()
  for n in ARDOUR.LuaAPI.note_list(midi:model()):iter() do
    print(string.format("NOTE %d, velocity %d, in a region at frame %d of %d frames", n:note(),
      n:velocity(), region:position():samples(), region:length():samples()))
  end
end
local master = Session:master_out():input()
for c = 0, 1 do
  if not route:output():audio(c):connected_to(master:audio(c):name()) then
    fail("restore: output " .. c .. " is not connected to the master bus")
  end
end
local export = Session:simple_export()
export:set_folder(folder .. "/export")
export:set_name("render")
export:set_range(0, frames)
if not export:set_preset("3c1e2b7a-41d5-4c8e-9a60-c0a7e1e0a001") then fail("session: no export preset") end
if not export:check_outputs() then fail("session: nothing to export") end
if not export:run_export() then fail("session: the export failed") end
print("EXPORTED")
io.stdout:flush()
close_session()
print("CLOSED")
EOF

# run_lua NAME MARKER TIMEOUT FRESH ARGS...: runs a Lua script until it prints MARKER, removing
# the folder FRESH before each attempt; a run that reports FAIL is a finding, not repeated.
run_lua() {
    local name=$1 marker=$2 limit=$3 fresh=$4 attempt rc
    shift 4
    for attempt in 1 2 3 4 5; do
        rm -rf "$fresh"
        rc=0
        timeout -k 10 "$limit" ardour7-lua "$work/$name.lua" "$work/common.lua" "$@" \
            >"$work/$name.log" 2>&1 || rc=$?
        grep -Ev '^\s*$|^(SAVED|EXPORTED|CLOSED|NOTE )|Butler drops|midi-audition|Reasonable Synth|encoder is not available|direct dispatch' \
            "$work/$name.log" || true
        grep -q "^$marker" "$work/$name.log" && return 0
        if grep -q '^FAIL load' "$work/$name.log"; then exit 3; fi
        if grep -q '^FAIL session' "$work/$name.log"; then exit 4; fi
        if grep -q '^FAIL' "$work/$name.log"; then exit 5; fi
        echo "   (ardour7-lua ended with $rc before $marker, attempt $attempt)"
    done
    echo "ardour7-lua crashed in every attempt" >&2
    exit 4
}

echo "== Ardour 7 headless, LV2_PATH=$bundles, $rate Hz"
run_lua create SAVED 120 "$session" "$session" "$rate" "$uri" "$preset_label" "$preset_values" \
    "$changed_port" "$changed_value"

# The note: a Standard MIDI File in the session's MIDI folder and a region on the track's
# playlist, one beat in, so that the plug-in has run before the note.
python3 - "$session" "$note" "$note_seconds" <<'PY'
import struct, sys, xml.etree.ElementTree as ET
folder, note, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
ppqn = 1920  # Ardour's ticks per beat
path = folder + "/session.ardour"
tree = ET.parse(path)
session = tree.getroot()
tempo = session.find("TempoMap/Tempos/Tempo")
held = round(seconds * float(tempo.get("npm")) / 60 * ppqn)

def varlen(n):
    out = bytes([n & 0x7F])
    while n > 0x7F:
        n >>= 7
        out = bytes([n & 0x7F | 0x80]) + out
    return out

events = b"\0" + bytes([0x90, note, 100]) + varlen(held) + bytes([0x80, note, 64]) + b"\0\xff\x2f\0"
smf = b"MThd" + struct.pack(">IHHH", 6, 0, 1, ppqn) + b"MTrk" + struct.pack(">I", len(events)) + events
open(f"{folder}/interchange/session/midifiles/note.mid", "wb").write(smf)

next_id = int(session.get("id-counter"))
source_id, whole_id, used_id = (str(next_id + k) for k in range(3))
session.set("id-counter", str(next_id + 3))
ET.SubElement(session.find("Sources"), "Source",
              {"name": "note.mid", "type": "midi", "id": source_id, "flags": "", "take-id": ""})
region = {"type": "midi", "start": "b0", "length": f"b{held}@b{ppqn}", "source-0": source_id,
          "master-source-0": source_id}
ET.SubElement(session.find("Regions"), "Region", dict(region, name="note", id=whole_id, **{"whole-file": "1"}))
playlist = next(p for p in session.iter("Playlist") if p.get("type") == "midi")
ET.SubElement(playlist, "Region", dict(region, name="note.1", id=used_id))
tree.write(path, xml_declaration=True, encoding="UTF-8")
state = next(session.iter("lv2"))
print("== the saved session holds")
print("   " + " ".join(f'{k}="{v}"' for k, v in state.attrib.items()))
print("   " + " ".join(f'{p.get("symbol")}={p.get("value")}' for p in state.iter("Port")))
PY

lead=$((rate / 2))
frames=$(python3 -c "print(round($rate * (0.5 + $note_seconds + $tail_seconds)))")
run_lua render EXPORTED 300 "$session/export" "$session" "$uri" "$preset_label" "$preset_values" \
    "$changed_port" "$changed_value" "$frames"
grep -q '^CLOSED' "$work/render.log" ||
    echo "   (ardour7-lua crashed while closing the session, after the export)"
grep '^NOTE' "$work/render.log" | sed 's/^/   /'
note_at=$(sed -n 's/^NOTE.* at frame \([0-9]*\) .*/\1/p' "$work/render.log" | head -1)
[[ $note_at == "$lead" ]] || echo "   (the region starts at frame $note_at, not $lead)"

mkdir -p "$(dirname "$out")"
wavs=("$session"/export/*.wav)
cp "${wavs[0]}" "$out"
echo "== $out"
python3 - "$out" "$note" "$note_at" "$note_seconds" <<'PY'
import array, math, operator, struct, sys
path, note, note_at, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
data = open(path, "rb").read()
chunks, at = {}, 12
while at + 8 <= len(data):
    size = struct.unpack_from("<I", data, at + 4)[0]
    chunks[data[at:at + 4]] = data[at + 8:at + 8 + size]
    at += 8 + size + (size & 1)
tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", chunks[b"fmt "])
if bits != 32 or tag not in (3, 0xFFFE):
    sys.exit(f"not a 32-bit float WAV: format {tag}, {bits} bits")
samples = array.array("f", chunks[b"data"])
left, right = samples[0::channels], samples[channels - 1::channels]
held = left[note_at:note_at + int(seconds * rate)]
db = lambda v: 20 * math.log10(v) if v > 0 else float("-inf")
peak = max(map(abs, samples))
rms = math.sqrt(sum(v * v for v in held) / len(held))
print(f"   {len(left)} frames, {channels} channels, {rate} Hz")
print(f"   peak {peak:.4f} ({db(peak):.1f} dBFS); RMS of the held note {rms:.4f} ({db(rms):.1f} dBFS);"
      f" left and right differ by at most {max(map(abs, map(operator.sub, left, right))):.2g}")
onset = next((i for i, v in enumerate(left) if abs(v) > 1e-4), None)
if onset is None or peak < 1e-3:
    print("   the render is silent")
    sys.exit(6)
print(f"   first sample above -80 dBFS: frame {onset}, {onset - note_at} after the note-on")

# Pitch: the autocorrelation's peak at one period (searched within half an octave of the note),
# then at 2, 4, 8... periods, each found to a fraction of a frame by a parabola through its
# three highest values: the lag of many periods gives the period to a small fraction of a frame.
nominal = 440 * 2 ** ((note - 69) / 12)
start, window, longest = onset + rate // 2, rate // 2, int(0.4 * rate)
x = left[start:start + window + longest + 3]
r = lambda lag: sum(map(operator.mul, x[:window], x[lag:lag + window]))
lags = range(int(rate / nominal / 2 ** 0.5), int(rate / nominal * 2 ** 0.5) + 1)
period = float(max(lags, key=r))
periods = 1
while 2 * periods * period + 3 < longest:
    periods *= 2
    centre = round(periods * period)
    values = {lag: r(lag) for lag in range(centre - 3, centre + 4)}
    best = max(range(centre - 2, centre + 3), key=values.get)
    a, b, c = values[best - 1], values[best], values[best + 1]
    period = (best + 0.5 * (a - c) / (a - 2 * b + c)) / periods
pitch = rate / period
cents = 1200 * math.log2(pitch / nominal)
print(f"   pitch {pitch:.2f} Hz over {periods} periods: {cents:+.1f} cents from {nominal:.2f} Hz")
if abs(cents) > 100:
    print("   more than a semitone off the note")
    sys.exit(6)
PY
