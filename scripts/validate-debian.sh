#!/bin/sh
# Runs corvalen-render --validate on every VST 2 plug-in that Debian packages, a few at a time,
# and prints a table: per check, how many plug-ins passed, failed, warned and skipped, then
# every FAIL with its detail. Not part of CI: it installs third-party binaries with apt-get
# (as root) and takes long on a small machine.
#
#   scripts/validate-debian.sh [RESULTS-FOLDER]      (default: validate-debian-results)
#
# Environment: CORVALEN_RENDER (the tool, default build/release/tools/corvalen-render),
# JOBS (plug-ins at a time, default 2), PLUGIN_TIMEOUT (seconds per plug-in, default 1800),
# SKIP_INSTALL=1 to use what is installed, PLUGINS=FILE to validate the libraries listed in
# FILE (one path a line, in that order) instead of every one the packages install.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
tool=${CORVALEN_RENDER:-$root/build/release/tools/corvalen-render}
results=${1:-validate-debian-results}
jobs=${JOBS:-2}
timeout_seconds=${PLUGIN_TIMEOUT:-1800}
packages="dpf-plugins-vst zam-plugins zynaddsubfx-vst amsynth dragonfly-reverb-vst
lsp-plugins-vst iem-plugin-suite-vst"

if [ "${SKIP_INSTALL:-0}" != 1 ]; then
    apt-get install -y --no-install-recommends $packages
fi
[ -x "$tool" ] || { echo "no $tool: build corvalen-render first" >&2; exit 2; }
mkdir -p "$results"

# The packages' VST 2 libraries: every .so they install under a vst or lxvst folder; the
# largest suite (lsp-plugins, 135 libraries) last, so that a sweep cut short still covers
# every other package.
# shellcheck disable=SC2086
if [ -n "${PLUGINS:-}" ]; then
    cp "$PLUGINS" "$results/plugins.txt"
else
    dpkg -L $packages | grep -E '/(vst|lxvst)/.*\.so$' | sort -u > "$results/all.txt"
    { grep -v /lsp-plugins/ "$results/all.txt"; grep /lsp-plugins/ "$results/all.txt"; } \
        > "$results/plugins.txt"
fi
echo "$(wc -l < "$results/plugins.txt") plug-ins" >&2

# One JSON report per plug-in, named after its path; a plug-in already reported is not run
# again, so an interrupted sweep resumes. A plug-in that exceeds the timeout gets a report
# saying so.
export tool results timeout_seconds
xargs -P "$jobs" -I{} sh -c '
    plugin="$1"
    name=$(printf %s "$plugin" | tr / _)
    [ -s "$results/$name.json" ] && exit 0
    timeout -k 10 "$timeout_seconds" nice -n 10 "$tool" --validate --report json "$plugin" \
        > "$results/$name.tmp" 2> "$results/$name.err"
    code=$?
    if [ $code -eq 0 ] || [ $code -eq 1 ]; then
        mv "$results/$name.tmp" "$results/$name.json"
    else
        printf "{\"plugin\": \"%s\", \"exit\": %d, \"checks\": []}\n" "$plugin" $code \
            > "$results/$name.json"
    fi
    echo "done $plugin ($code)" >&2
' _ {} < "$results/plugins.txt"

python3 - "$results" <<'PY'
import glob, json, sys
folder = sys.argv[1]
reports = [json.load(open(path)) for path in sorted(glob.glob(folder + "/*.json"))]
order, counts = [], {}
for report in reports:
    for check in report.get("checks", []):
        if check["name"] not in counts:
            order.append(check["name"])
            counts[check["name"]] = {"PASS": 0, "FAIL": 0, "WARN": 0, "SKIP": 0, "XFAIL": 0}
        counts[check["name"]][check["verdict"]] += 1
unfinished = [r["plugin"] for r in reports if "exit" in r]
failing = sum(1 for r in reports if any(c["verdict"] == "FAIL" for c in r.get("checks", [])))
print(f"{len(reports)} plug-ins; {failing} with at least one FAIL; "
      f"{len(unfinished)} not validated to the end")
print()
print("| check | PASS | FAIL | WARN | SKIP |")
print("|---|---|---|---|---|")
for name in order:
    c = counts[name]
    print(f"| {name} | {c['PASS']} | {c['FAIL']} | {c['WARN']} | {c['SKIP']} |")
for plugin in unfinished:
    print(f"\nnot validated: {plugin}")
print("\nFAIL verdicts:")
for report in reports:
    for check in report.get("checks", []):
        if check["verdict"] == "FAIL":
            print(f"- {report['plugin']}: {check['name']}: {check['detail'][:400]}")
PY
