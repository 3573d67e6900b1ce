#!/usr/bin/env python3
"""Writes a format 1 MIDI file of MINUTES minutes (default 60) for timing long renders:
a melody of detached and legato notes at 120 bpm, a controller sweep and a tempo change
every 32 bars."""
import struct
import sys


def vlq(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(groups))


def track(events):
    body = b"".join(vlq(delta) + data for delta, data in events) + b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def main():
    minutes = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    division = 480
    beats = int(minutes * 120)
    tempo_events = []
    for bar in range(0, beats // 4, 32):
        tempo = 500000 if (bar // 32) % 2 == 0 else 480000
        tempo_events.append((0 if bar == 0 else 32 * 4 * division, b"\xff\x51\x03" + tempo.to_bytes(3, "big")))
    notes = []
    scale = [55, 57, 59, 60, 62, 64, 66, 67, 69, 71, 72, 74, 76]
    pending = 0
    for beat in range(beats):
        note = scale[(beat * 5) % len(scale)]
        notes.append((pending, bytes([0x90, note, 90])))
        notes.append((division // 4, bytes([0xB0, 1, (beat * 7) % 128])))
        # Every fourth note is legato: the next starts before this one ends.
        length = division if beat % 4 == 3 else division * 3 // 4
        notes.append((length - division // 4, bytes([0x80, note, 64])))
        pending = division - length
    data = b"MThd" + struct.pack(">IHHH", 6, 1, 2, division)
    data += track(tempo_events) + track(notes)
    with open(sys.argv[1], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
