#!/usr/bin/env bash
# corvalen-play's cost and xruns (not run in CI; about 2 x MINUTES + 5 minutes):
#  1. the work of one JACK period (bench/play_bench: MIDI in, Corvalen through the rate adapter,
#     the recording ring) against the plug-in's own processReplacing for the same source
#     frames, at 44.1 and 48 kHz in 64- and 256-frame periods;
#  2. at 48 kHz in 64- and 256-frame periods, MINUTES (default 10) of the player sounding
#     (jack_midiseq repeats a phrase into it) beside two reference clients, one idle and one
#     that spins BUSY_US microseconds (default 9) per period, on a private dummy-driver server
#     in real time: the lines of jackd's log that name each as late, and how long the player's
#     callback took in each round (the bench build times it). This machine drops periods by
#     itself, so only the comparison with the references tells what the player adds.
#
# jackd wakes the clients in the order they joined, and on this 2-core VM the place in that
# order changes how often a client is caught by a late processor. So the minutes are played
# in one-minute rounds, and the player and the idle client swap places from one round to the
# next: each holds each place for half of the time. Only the rounds' steady minutes count,
# not the clients joining and leaving between them.
#
#   [BUSY_US=N] [LOGS=DIR] scripts/play-bench.sh [MINUTES [PERIOD...]]
# The periods default to 64 and 256. LOGS keeps jackd's logs in DIR, each period's whole log
# and its rounds (jackd-PERIOD.log; rounds-PERIOD.log, and by order idle-first-PERIOD.log and
# player-first-PERIOD.log).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
periods=("${@:2}")
[[ ${#periods[@]} -gt 0 ]] || periods=(64 256)
work=$(mktemp -d)
pids=()
sequencer=()
# SIGTERM, then SIGKILL for a client still there a second later (jack_midiseq outlives its
# server).
stop() {
    local pid
    for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
    sleep 1
    for pid in "$@"; do kill -9 "$pid" 2>/dev/null || true; done
}
cleanup() {
    stop "${pids[@]}" "${sequencer[@]}"
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
# as the player, so it sits at the same place in the graph (after jack_midiseq).
# The same program, spinning BUSY_US microseconds per period (default 9), is a second
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

# Both read $1, a log of jackd's. A client is late when the period ends before it has been
# given a processor ("Triggered"), while its callback runs ("Running"), or when it finishes
# after the next period has begun ("finished after current callback"): all three name it.
named() {
    local all running late
    all=$(grep -cE "client = $2 was not finished|client $2 finished after" "$1" || true)
    running=$(grep -c "client = $2 was not finished, state = Running" "$1" || true)
    late=$(grep -c "client $2 finished after" "$1" || true)
    echo "$2 $all ($running running, $late finishing late)"
}
# Most lost periods name several clients at once. Those that name one of two clients and
# not the other are what tells them apart: the player's excess over a reference.
apart() {
    awk -v a="$2" -v b="$3" '
        function names(c) { return index(lines, "client = " c " was not") || index(lines, "client " c " finished") }
        /was not finished|finished after/ { lines = lines "\n" $0 }
        /Process error/ {
            hasA = names(a); hasB = names(b)
            if (hasA && !hasB) ++onlyA
            if (hasB && !hasA) ++onlyB
            lines = ""
        }
        END { printf "%d naming %s and not %s, %d the other way", onlyA, a, b, onlyB }
    ' "$1"
}
# join NAME COMMAND...: starts a client, its messages to $work/NAME.err, and waits until its
# MIDI input is there.
join() {
    local name=$1
    shift
    "$@" 2>>"$work/$name.err" &
    pids+=($!)
    until jack_lsp 2>/dev/null | grep -q "^$name:midi_in\$"; do sleep 0.05; done
}

for period in "${periods[@]}"; do
    export JACK_DEFAULT_SERVER="corvalen-bench-$$-$period" JACK_NO_START_SERVER=1
    log="$work/jackd-$period.log"
    jackd --realtime -d dummy -r 48000 -p "$period" >"$log" 2>&1 &
    server=$!
    until jack_lsp >/dev/null 2>&1; do sleep 0.05; done
    # A note every 0.25 s, held for 0.2 s: the player sounds all the time. The sequencer joins
    # first and stays, ahead of the others in the graph and in the order jackd wakes clients in.
    jack_midiseq seq 12000 0 69 9600 6000 72 9600 >/dev/null 2>&1 &
    sequencer=($!)
    until jack_lsp 2>/dev/null | grep -q "^seq:out\$"; do sleep 0.05; done
    : >"$work/player-first" && : >"$work/idle-first" && : >"$work/rounds" && : >"$work/player.err"
    callbacks=()
    idle=(idle "$work/reference" idle 0)
    player=(player build/bench/tools/corvalen-play -q --no-connect -n player)
    for ((round = 0; round < minutes; ++round)); do
        if ((round % 2 == 0)); then
            order=idle-first
            join "${idle[@]}"
            join "${player[@]}"
        else
            order=player-first
            join "${player[@]}"
            join "${idle[@]}"
        fi
        join busy "$work/reference" busy "${BUSY_US:-9}"
        # All three take the same MIDI, so they sit at the same place in the graph.
        for client in player idle busy; do jack_connect seq:out "$client:midi_in"; done
        sleep 1
        from=$(wc -l <"$log")
        sleep 60
        to=$(wc -l <"$log")
        sed -n "$((from + 1)),${to}p" "$log" | tee -a "$work/rounds" >>"$work/$order"
        stop "${pids[@]}"
        pids=()
        # The bench build times the player's callback and says so when it stops.
        callbacks+=("player, round $((round + 1)) ($order): $(grep "callback time" "$work/player.err" |
            tail -n 1 | sed 's/^corvalen-play: //')")
    done
    rounds="$work/rounds"
    echo "== 48000 Hz, $period-frame periods, $minutes one-minute rounds, named as late:" \
        "$(named "$rounds" player), $(named "$rounds" idle), $(named "$rounds" busy);" \
        "all clients $(grep -cE "was not finished|finished after" "$rounds" || true)" \
        "(busy spins ${BUSY_US:-9} us)"
    for order in idle-first player-first; do
        echo "   rounds $order: $(named "$work/$order" player), $(named "$work/$order" idle)," \
            "$(named "$work/$order" busy)"
    done
    echo "   lost periods: $(apart "$rounds" player idle); $(apart "$rounds" player busy)"
    printf '   %s\n' "${callbacks[@]}"
    if [[ -n ${LOGS:-} ]]; then
        mkdir -p "$LOGS"
        cp "$log" "$LOGS/jackd-$period.log"
        cp "$rounds" "$LOGS/rounds-$period.log"
        cp "$work/idle-first" "$LOGS/idle-first-$period.log"
        cp "$work/player-first" "$LOGS/player-first-$period.log"
    fi
    stop "${sequencer[@]}"
    sequencer=()
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
done
