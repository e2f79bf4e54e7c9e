#!/usr/bin/env python3
"""Writes the test phrases: NAME.mid and NAME.notes for each phrase below.

Both files come from the one table, so the notes list is always the truth
about what the MIDI file plays. The output is byte-for-byte deterministic.

    python3 assets/phrases/make-phrases.py [OUTDIR]    (default: this folder)
"""
import os
import struct
import sys

# One tick is one millisecond: 500 ticks per quarter at 120 bpm (500000 us per
# quarter). Every time in the table is then exact in the MIDI file.
TICKS_PER_QUARTER = 500
TEMPO_US_PER_QUARTER = 500_000

# The tracker reports MIDI notes 38..93 only; the phrases stay inside what it
# can see, with a margin, so every note is one the tests may expect back.
RANGES = {"guitar": (40, 84), "bass": (40, 60)}

# name: (GM program, 0-based; kind; end of file in ms; notes)
# notes: (onset ms, duration ms, MIDI note, velocity)
PHRASES = {
    "nylon-guitar": (24, "guitar", 6800, [
        (400, 350, 57, 90),
        (800, 350, 60, 85),
        (1200, 300, 64, 95),
        (1500, 400, 69, 100),   # legato: starts as E4 stops
        (1950, 200, 67, 80),
        (2200, 200, 67, 80),    # repeated G4
        (2450, 600, 64, 88),
        (3100, 250, 62, 76),
        (3400, 250, 60, 84),
        (3650, 300, 59, 92),    # legato
        (4000, 800, 45, 110),
        (4850, 160, 40, 72),    # short low E, the lowest guitar string
        (5050, 700, 52, 98),
    ]),
    "steel-guitar": (25, "guitar", 6500, [
        (350, 250, 55, 95),
        (650, 250, 59, 88),
        (950, 250, 62, 90),
        (1250, 450, 67, 105),
        (1750, 150, 71, 78),
        (1930, 150, 74, 82),
        (2080, 500, 79, 110),   # legato
        (2650, 300, 84, 100),   # top of the guitar range
        (3000, 300, 83, 92),
        (3300, 350, 81, 86),    # legato
        (3700, 200, 76, 74),
        (3950, 200, 76, 74),    # repeated E5
        (4200, 750, 72, 96),
        (5000, 400, 43, 112),   # leap of almost three octaves down
    ]),
    "clean-electric": (27, "guitar", 6700, [
        (300, 200, 64, 92),
        (540, 200, 66, 86),
        (780, 200, 68, 90),
        (1020, 600, 71, 104),
        (1680, 180, 69, 80),
        (1860, 180, 68, 84),    # legato run of three
        (2040, 400, 66, 96),
        (2500, 150, 64, 70),
        (2690, 150, 64, 76),    # repeated E4, three times, short gaps
        (2880, 150, 64, 82),
        (3080, 800, 76, 115),
        (3950, 300, 59, 88),
        (4300, 300, 52, 94),
        (4650, 250, 47, 100),
        (4950, 700, 40, 108),
    ]),
    "finger-bass": (33, "bass", 6400, [
        (500, 400, 40, 100),
        (950, 200, 40, 90),     # repeated E2
        (1200, 200, 43, 88),
        (1450, 350, 45, 96),
        (1800, 300, 47, 92),    # legato
        (2150, 600, 52, 105),
        (2800, 180, 50, 80),
        (3020, 180, 48, 84),
        (3250, 450, 55, 98),
        (3750, 250, 57, 90),
        (4000, 500, 60, 110),   # legato, top of the bass range
        (4550, 800, 45, 100),
    ]),
    "picked-bass": (34, "bass", 6700, [
        (300, 150, 45, 95),
        (500, 150, 45, 85),     # repeated A2, three eighths
        (700, 150, 45, 90),
        (900, 300, 52, 105),
        (1250, 300, 50, 100),
        (1550, 300, 48, 92),    # legato
        (1900, 500, 43, 110),
        (2450, 200, 55, 82),
        (2700, 200, 57, 86),
        (2900, 600, 59, 96),    # legato
        (3550, 250, 60, 78),
        (3850, 350, 53, 88),
        (4250, 800, 41, 115),
        (5100, 500, 40, 104),
    ]),
}

CHANNEL = 0  # MIDI channel 1; channel 10 would be drums


def check(name, kind, end_ms, notes):
    """Refuses a table that would make a misleading reference."""
    lo, hi = RANGES[kind]
    problems = []
    if not 10 <= len(notes) <= 20:
        problems.append(f"{len(notes)} notes, want 10..20")
    if notes[0][0] < 300:
        problems.append("less than 0.3 s of silence before the first note")
    last_off = notes[-1][0] + notes[-1][1]
    if end_ms - last_off < 1000:
        problems.append("less than 1 s of silence after the last note")
    if not 4000 <= end_ms <= 8000:
        problems.append(f"length {end_ms} ms, want 4..8 s")
    legato = repeated = 0
    for i, (on, dur, note, vel) in enumerate(notes):
        if not lo <= note <= hi:
            problems.append(f"note {i}: {note} outside {lo}..{hi}")
        if not 70 <= vel <= 115:
            problems.append(f"note {i}: velocity {vel} outside 70..115")
        if not 150 <= dur <= 800:
            problems.append(f"note {i}: duration {dur} ms outside 150..800")
        if i:
            p_on, p_dur, p_note, _ = notes[i - 1]
            gap = on - (p_on + p_dur)
            if gap < 0:
                problems.append(f"note {i}: overlaps the note before")
            elif gap == 0:
                legato += 1
            elif gap < 30:
                problems.append(f"note {i}: gap {gap} ms, want 0 or >= 30")
            # a repeat straight after a legato note would be one long note
            if note == p_note:
                repeated += 1
                if gap == 0:
                    problems.append(f"note {i}: repeated note with no gap")
    if legato < 2:
        problems.append("fewer than two legato (gap 0) notes")
    if repeated < 1:
        problems.append("no repeated note")
    if problems:
        sys.exit(f"make-phrases: {name}: " + "; ".join(problems))


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def midi_file(name, program, end_ms, notes):
    events = []  # (tick, order, bytes); at one tick a note-off goes first
    for on, dur, note, vel in notes:
        events.append((on, 1, bytes([0x90 | CHANNEL, note, vel])))
        events.append((on + dur, 0, bytes([0x80 | CHANNEL, note, 64])))
    events.sort(key=lambda e: (e[0], e[1]))

    title = name.encode("ascii")
    track = bytearray()
    track += vlq(0) + b"\xff\x03" + vlq(len(title)) + title
    track += vlq(0) + b"\xff\x51\x03" + TEMPO_US_PER_QUARTER.to_bytes(3, "big")
    track += vlq(0) + bytes([0xC0 | CHANNEL, program])
    now = 0
    for tick, _, data in events:
        track += vlq(tick - now) + data
        now = tick
    # The end of track sets the file's length, and so the silence at the end.
    track += vlq(end_ms - now) + b"\xff\x2f\x00"

    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS_PER_QUARTER)
    return header + b"MTrk" + struct.pack(">I", len(track)) + bytes(track)


def notes_file(name, program, end_ms, notes):
    lines = [f"# onset_s duration_s midi_note velocity; {name}, GM program "
             f"{program} (0-based), channel 1, file length {end_ms / 1000:.4f} s"]
    for on, dur, note, vel in notes:
        lines.append(f"{on / 1000:.4f} {dur / 1000:.4f} {note} {vel}")
    return "\n".join(lines) + "\n"


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out_dir, exist_ok=True)
    for name, (program, kind, end_ms, notes) in PHRASES.items():
        check(name, kind, end_ms, notes)
        with open(os.path.join(out_dir, name + ".mid"), "wb") as f:
            f.write(midi_file(name, program, end_ms, notes))
        with open(os.path.join(out_dir, name + ".notes"), "w", newline="\n") as f:
            f.write(notes_file(name, program, end_ms, notes))
        print(f"{name}: {len(notes)} notes, MIDI {min(n[2] for n in notes)}..{max(n[2] for n in notes)}")


if __name__ == "__main__":
    main()
