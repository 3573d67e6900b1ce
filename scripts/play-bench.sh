#!/usr/bin/env bash
# corvalen-play's cost and xruns (not run in CI; about 2 x MINUTES + 3 minutes):
#  1. the work of one JACK period (bench/play_bench: MIDI in, Corvalen through the rate adapter,
#     the recording ring) against the plug-in's own processReplacing for the same source
#     frames, at 44.1 and 48 kHz in 64- and 256-frame periods;
#  2. at 48 kHz in 64- and 256-frame periods, MINUTES (default 10) of the player sounding
#     (jack_midiseq repeats a phrase into it) beside two reference clients, one idle and one
#     that spins BUSY_US microseconds (default 4) per period, on a private dummy-driver server
#     in real time: the lines of jackd's log that name each as not finished in time, and of
#     those the ones where its callback was still running. This machine drops periods by
#     itself, so only the comparison with the references tells what the player adds.
#
#   [BUSY_US=N] scripts/play-bench.sh [MINUTES [PERIOD...]]   (periods default to 64 256)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
periods=("${@:2}")
[[ ${#periods[@]} -gt 0 ]] || periods=(64 256)
work=$(mktemp -d)
pids=()
# Clients first, the server last; a client that outlives its server (jack_midiseq does) is
# killed outright rather than waited for.
stop_all() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    sleep 1
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    pids=()
}
cleanup() {
    stop_all
    [[ -z ${server:-} ]] || kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cmake --preset bench >/dev/null
cmake --build --preset bench -j 2 --target play_bench Corvalen corvalen-play >/dev/null
# Repetitions interleaved at random: this machine's speed drifts over a run, and the player and
# the plug-in alone are compared with each other.
echo "== cost of one period (ns of CPU time; median of 8, interleaved)"
build/bench/bench/play_bench --benchmark_repetitions=8 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true | grep -E "median" | sort

# The idle reference: a client whose process callback returns at once. It takes the same MIDI
# as the player, so it sits at the same place in the graph (after jack_midiseq): jackd names
# the client still running when a period ends, and later clients have less of the period.
# The same program, spinning BUSY_US microseconds per period (default 4), is a second
# reference that does nothing useful for about as long as the player works: whether being
# named follows the time a client runs, whatever it does.
cat >"$work/reference.c" <<'C'
#include <jack/jack.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
static long spin_ns;
static long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000L + t.tv_nsec;
}
static int process(jack_nframes_t n, void* a) {
    (void)n; (void)a;
    if (spin_ns > 0) {
        const long end = now_ns() + spin_ns;
        while (now_ns() < end) {}
    }
    return 0;
}
/* reference NAME MICROSECONDS */
int main(int argc, char** argv) {
    if (argc != 3) return 2;
    spin_ns = atol(argv[2]) * 1000L;
    jack_client_t* c = jack_client_open(argv[1], JackNoStartServer, 0);
    if (!c) return 1;
    jack_port_register(c, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(c, process, 0);
    jack_activate(c);
    for (;;) pause();
}
C
cc -O2 -o "$work/reference" "$work/reference.c" $(pkg-config --cflags --libs jack)

# Both read $log, the log of the server running now. In jackd's lines, "Running": the client's
# callback had begun and not ended when the period was over. "Triggered": it was due but had
# not been given a processor yet.
named() {
    local all running
    all=$(grep -c "client = $1 was not finished" "$log" || true)
    running=$(grep -c "client = $1 was not finished, state = Running" "$log" || true)
    echo "$1 $all ($running running)"
}
# Most lost periods name several clients at once. Those that name one of two clients and
# not the other are what tells them apart: the player's excess over the idle client.
apart() {
    awk -v a="client = $1 was not finished" -v b="client = $2 was not finished" '
        /was not finished/ { lines = lines "\n" $0 }
        /Process error/ {
            hasA = index(lines, a) > 0; hasB = index(lines, b) > 0
            if (hasA && !hasB) ++onlyA
            if (hasB && !hasA) ++onlyB
            lines = ""
        }
        END { printf "%d naming %s and not %s, %d the other way", onlyA, A, B, onlyB }
    ' A="$1" B="$2" "$log"
}

for period in "${periods[@]}"; do
    export JACK_DEFAULT_SERVER="corvalen-bench-$$-$period" JACK_NO_START_SERVER=1
    log="$work/jackd-$period.log"
    jackd --realtime -d dummy -r 48000 -p "$period" >"$log" 2>&1 &
    server=$!
    until jack_lsp >/dev/null 2>&1; do sleep 0.05; done
    # The player joins between the two references: should the order clients join in matter to
    # jackd, one reference is ahead of the player and one behind it.
    "$work/reference" idle 0 &
    pids+=($!)
    until jack_lsp 2>/dev/null | grep -q idle:midi_in; do sleep 0.05; done
    build/bench/tools/corvalen-play -q --no-connect -n player &
    pids+=($!)
    until jack_lsp 2>/dev/null | grep -q player:midi_in; do sleep 0.05; done
    "$work/reference" busy "${BUSY_US:-4}" &
    pids+=($!)
    until jack_lsp 2>/dev/null | grep -q busy:midi_in; do sleep 0.05; done
    # A note every 0.25 s, held for 0.2 s: the player sounds all the time.
    jack_midiseq seq 12000 0 69 9600 6000 72 9600 >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
    jack_connect seq:out player:midi_in
    jack_connect seq:out idle:midi_in
    jack_connect seq:out busy:midi_in
    sleep $((minutes * 60))
    counts="$(named player), $(named idle), $(named busy)"
    others=$(grep -c "was not finished" "$log" || true)
    echo "== 48000 Hz, $period-frame periods, $minutes min, named as not finished: $counts;" \
        "all clients $others (busy spins ${BUSY_US:-4} us)"
    echo "   lost periods: $(apart player idle); $(apart player busy)"
    stop_all
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
done
