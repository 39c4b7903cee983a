#!/usr/bin/env python3
"""Writes the fixed set of benchmark recordings into one folder.

The audio is a synthetic voice: phrases of a pitch-gliding, formant-shaped
harmonic source with syllable-rate loudness and short noise bursts, separated
by pauses, with a noise floor (about -68 dBFS RMS, far below a -45 dB
threshold) before, between and after the phrases. It is deterministic, so
every run and every machine measures the same bytes.

Usage: make_recordings.py OUTDIR

Writes OUTDIR/<name>.wav and OUTDIR/recordings.tsv (name, encoding, length in
samples, where the speech starts and ends in samples). Files that exist with
the same generator version are kept.
"""

import array
import math
import os
import random
import struct
import subprocess
import sys

RATE = 8000
VERSION = "3"

# name, seconds, lead silence s, trail silence s, floor ("noise" or "zero"), encoding
RECORDINGS = [
    ("s5_pcm", 5, 1.20, 0.95, "noise", "pcm"),
    ("s5_zero", 5, 1.20, 0.95, "zero", "pcm"),
    ("s5_ulaw", 5, 1.20, 0.95, "noise", "ulaw"),
    ("s60_pcm", 60, 1.60, 2.10, "noise", "pcm"),
    ("s60_ulaw", 60, 1.60, 2.10, "noise", "ulaw"),
    ("s60_gsm", 60, 1.60, 2.10, "noise", "gsm"),
    ("m60_pcm", 3600, 1.60, 2.10, "noise", "pcm"),
]


def make_period_table(size=2048):
    """One period of a glottal-like source shaped by vowel-ish formants."""
    table = [0.0] * size
    for h in range(1, 40):
        # A glottal pulse falls off with frequency; lift it around two formants
        # (harmonic numbers assume a mid f0 of about 150 Hz).
        f = 150.0 * h
        gain = 1.0 / h
        gain *= 1.0 + 4.0 * math.exp(-(((f - 650.0) / 180.0) ** 2))
        gain *= 1.0 + 2.5 * math.exp(-(((f - 1700.0) / 260.0) ** 2))
        if f > 3600.0:
            break
        ph = 0.7 * h
        for i in range(size):
            table[i] += gain * math.sin(2.0 * math.pi * h * i / size + ph)
    peak = max(abs(v) for v in table)
    return [v / peak for v in table]


def floor_noise(rng, n, kind):
    if kind == "zero":
        return [0.0] * n
    g = rng.gauss
    return [g(0.0, 12.0) for _ in range(n)]


def speech(rng, n, table):
    """n samples of phrases and pauses; pauses are floor noise."""
    out = []
    size = len(table)
    g = rng.gauss
    while len(out) < n:
        left = n - len(out)
        phrase = int(RATE * rng.uniform(1.2, 3.8))
        # Leave room for a pause and a phrase, or end on this phrase.
        if left - phrase < RATE:
            phrase = left
        f0 = rng.uniform(110.0, 210.0)
        syl_rate = rng.uniform(3.5, 5.5)
        phase = 0.0
        syl_phase = rng.uniform(0.0, 0.3)
        loud = rng.uniform(6000.0, 12000.0)
        fric_at = set(int(rng.uniform(0.1, 0.9) * phrase) for _ in range(int(phrase / RATE * 1.5)))
        fric_left = 0
        buf = [0.0] * phrase
        ramp = int(0.015 * RATE)
        for i in range(phrase):
            t = i / RATE
            # Intonation: slow glide plus a little vibrato.
            f = f0 * (1.0 + 0.12 * math.sin(2.0 * math.pi * 0.6 * t)) * (
                1.0 + 0.01 * math.sin(2.0 * math.pi * 5.5 * t))
            phase += f / RATE
            if phase >= 1.0:
                phase -= 1.0
            v = table[int(phase * size)]
            # Syllables: loudness between about -26 dB and full, never a gap
            # that reads as silence.
            s = math.sin(math.pi * (syl_phase + syl_rate * t))
            env = 0.12 + 0.88 * s * s
            if i in fric_at:
                fric_left = int(RATE * rng.uniform(0.04, 0.09))
            x = v * env * loud
            if fric_left > 0:
                x = 0.3 * x + g(0.0, 0.25 * loud)
                fric_left -= 1
            # Soft phrase edges, as a voice starts and stops.
            if i < ramp:
                x *= i / ramp
            elif phrase - i < ramp:
                x *= (phrase - i) / ramp
            buf[i] = x
        out.extend(buf)
        left = n - len(out)
        if left <= 0:
            break
        pause = int(RATE * rng.uniform(0.12, 0.65))
        out.extend(floor_noise(rng, pause, "noise"))
    return out[:n]


def to_pcm16(samples):
    a = array.array("h", (max(-32768, min(32767, int(round(v)))) for v in samples))
    if sys.byteorder != "little":
        a.byteswap()
    return a.tobytes()


def write_wav(path, data):
    hdr = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    hdr += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16)
    hdr += b"data" + struct.pack("<I", len(data))
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(hdr)
        f.write(data)
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    stamp = os.path.join(outdir, "recordings.tsv")
    if os.path.exists(stamp):
        with open(stamp) as f:
            first = f.readline().strip()
        if first == "# version " + VERSION and all(
                os.path.exists(os.path.join(outdir, r[0] + ".wav")) for r in RECORDINGS):
            return 0

    table = make_period_table()
    rows = []
    bodies = {}
    for name, secs, lead_s, trail_s, floor, enc in RECORDINGS:
        # The same speech with either floor, so the variants differ only there.
        rng = random.Random(name.split("_")[0])
        floor_rng = random.Random(name.split("_")[0] + "-" + floor)
        n = secs * RATE
        lead = int(lead_s * RATE)
        trail = int(trail_s * RATE)
        key = (secs, lead_s, trail_s, floor)
        if key not in bodies:
            mid = n - lead - trail
            if secs > 600:
                # A long recording is a minute of speech over and over,
                # joined by pauses; generating an hour sample by sample
                # would take longer than all the measuring.
                unit = speech(random.Random("long"), 60 * RATE - RATE // 2, table)
                unit_pcm = to_pcm16(unit)
                gap = to_pcm16(floor_noise(random.Random("gap"), RATE // 2, "noise"))
                body = bytearray()
                while len(body) < 2 * mid:
                    body += unit_pcm + gap
                # The cut falls inside a unit, so the speech ends on speech.
                rem = mid % ((len(unit_pcm) + len(gap)) // 2)
                assert 0 < rem <= len(unit_pcm) // 2
                body = bytes(body[: 2 * mid])
            else:
                body = to_pcm16(speech(rng, mid, table))
            pcm = (to_pcm16(floor_noise(floor_rng, lead, floor)) + body
                   + to_pcm16(floor_noise(floor_rng, trail, floor)))
            bodies[key] = pcm
        pcm = bodies[key]
        path = os.path.join(outdir, name + ".wav")
        if enc == "pcm":
            write_wav(path, pcm)
        else:
            src = os.path.join(outdir, name + ".src.wav")
            write_wav(src, pcm)
            e = {"ulaw": "u-law", "gsm": "gsm-full-rate"}[enc]
            subprocess.run(["sox", src, "-e", e, path], check=True)
            os.remove(src)
        rows.append((name, enc, n, lead, n - trail))

    with open(stamp + ".tmp", "w") as f:
        f.write("# version " + VERSION + "\n")
        f.write("# name\tencoding\tsamples\tspeech_start\tspeech_end\n")
        for r in rows:
            f.write("\t".join(str(x) for x in r) + "\n")
    os.replace(stamp + ".tmp", stamp)
    return 0


if __name__ == "__main__":
    sys.exit(main())
