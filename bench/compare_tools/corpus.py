"""Greetings and spoken names in the dead air of real lines, with where the speech is.

The speech is espeak-ng's, resampled to 8 kHz by sox; the air runs under the
whole recording (digital silence, white or pink noise, mains hum, clicks, a
closing '#' key), and the file is stored as 16-bit PCM, u-law or A-law. A seed
picks the words, the voice and every level, so the same seed gives the same
files on every machine and a different seed gives material never tuned on.
"""

import array
import math
import random
import shutil
import subprocess
import sys

RATE = 8000

VOICES = ["en-gb", "en-us", "en-gb-scotland", "en-gb-x-rp", "en-029", "en-gb-x-gbclan",
          "en-gb-x-gbcwmd"]
VARIANTS = ["", "+f2", "+f3", "+f4", "+m2", "+m3", "+m5"]
FIRST = ["Alice", "Ruth", "Keith", "Morris", "Rolf", "Agnes", "Boris", "Claire", "Frances",
         "Hugh", "Lucas", "Marcus", "Sophie", "Thomas", "Beth", "Gareth", "Iris", "Wendy"]
LAST = ["Johnson", "Hughes", "Price", "Fitch", "Marsh", "Dubois", "Keys", "Wolf", "Frost",
        "Nash", "Booth", "Ross", "Graves", "Holmes", "Smith", "Chase", "Walsh", "Pierce"]
GREETINGS = [
    "Hi, you've reached {n}. Please leave a message after the tone.",
    "This is {n}. I'm away from my desk, leave your name and number.",
    "You have reached the voice mail of {n}. Thanks.",
    "Hello, {n} speaking. I can't take your call, so please leave a message.",
    "{n} is out of the office until Monday. For urgent matters press zero.",
]

# name, air, air RMS dBFS, speech peak dBFS range, closing key, clicks
CONDITIONS = [
    ("digital silence", "zero", None, (-12, -1), False, False),
    ("white -60", "white", -60, (-12, -1), False, False),
    ("white -50", "white", -50, (-12, -1), False, False),
    ("white -40", "white", -40, (-9, -1), False, False),
    ("pink -60", "pink", -60, (-12, -1), False, False),
    ("pink -50", "pink", -50, (-12, -1), False, False),
    ("pink -40", "pink", -40, (-9, -1), False, False),
    ("hum -45", "hum", -45, (-12, -1), False, False),
    ("quiet speaker", "white", -55, (-30, -30), False, False),
    ("clicks", "any", None, (-12, -1), False, True),
    ("closing key", "any", None, (-12, -1), True, False),
]
# The air behind clicks and keys: the quiet half of the line kinds.
ANY_AIR = [("zero", None), ("white", -60), ("white", -50), ("pink", -50), ("hum", -45)]
ENCODINGS = ["pcm", "ulaw", "alaw"]

# Speech is where the clean voice is within this of its own peak.
SPEECH_EDGE_DB = -50.0


def db(v):
    return 32767.0 * 10 ** (v / 20.0)


def speak(text, voice, speed, pitch):
    """espeak-ng's voice at 8 kHz, 16-bit samples."""
    wav = subprocess.run(["espeak-ng", "-v", voice, "-s", str(speed), "-p", str(pitch),
                          "--stdout", text], check=True, stdout=subprocess.PIPE).stdout
    raw = subprocess.run([shutil.which("sox"), "-V1", "-D", "-t", "wav", "-", "-r", str(RATE), "-t",
                          "raw", "-e", "signed", "-b", "16", "-c", "1", "-L", "-"], input=wav,
                         check=True, stdout=subprocess.PIPE).stdout
    a = array.array("h")
    a.frombytes(raw)
    if sys.byteorder != "little":
        a.byteswap()
    return list(a)


def white(rng, n, rms):
    return [rng.gauss(0.0, rms) for _ in range(n)]


def pink(rng, n, rms):
    # Three first-order sections approximate a -3 dB/octave slope over the band.
    b0 = b1 = b2 = 0.0
    out = []
    for _ in range(n):
        w = rng.gauss(0.0, 1.0)
        b0 = 0.99765 * b0 + w * 0.0990460
        b1 = 0.96300 * b1 + w * 0.2965164
        b2 = 0.57000 * b2 + w * 1.0526913
        out.append(b0 + b1 + b2 + w * 0.1848)
    return scaled(out, rms)


def hum(rng, n, rms):
    mains = rng.choice([50, 60])
    parts = [(k, a, rng.uniform(0, 2 * math.pi))
             for k, a in ((1, 1.0), (2, 0.25), (3, 0.5), (4, 0.1), (5, 0.3), (7, 0.15))]
    out = [sum(a * math.sin(2 * math.pi * mains * k * i / RATE + ph) for k, a, ph in parts)
           for i in range(n)]
    return scaled(out, rms)


def scaled(x, rms):
    have = math.sqrt(sum(v * v for v in x) / max(1, len(x))) or 1.0
    return [v * rms / have for v in x]


def air(rng, kind, level, n):
    if kind == "zero":
        return [0.0] * n
    return {"white": white, "pink": pink, "hum": hum}[kind](rng, n, db(level))


def add_click(x, at, rng):
    """A line pop: a few ms of a decaying ring."""
    peak = db(rng.uniform(-20, -6))
    freq = rng.uniform(300, 2500)
    for i in range(int(RATE * rng.uniform(0.001, 0.008))):
        if at + i < len(x):
            x[at + i] += peak * math.exp(-i / 12.0) * math.sin(2 * math.pi * freq * i / RATE)


def add_key(x, at, n, level):
    for i in range(n):
        t = i / RATE
        x[at + i] += db(level) * (math.sin(2 * math.pi * 941 * t) + math.sin(2 * math.pi * 1477 * t))


def store(path, samples, enc):
    pcm = array.array("h", (max(-32768, min(32767, int(round(v)))) for v in samples))
    if sys.byteorder != "little":
        pcm.byteswap()
    fmt = {"pcm": ["-e", "signed", "-b", "16"], "ulaw": ["-e", "u-law", "-b", "8"],
           "alaw": ["-e", "a-law", "-b", "8"]}[enc]
    subprocess.run([shutil.which("sox"), "-V1", "-D", "-t", "raw", "-r", str(RATE), "-e", "signed", "-b",
                    "16", "-c", "1", "-L", "-"] + fmt + [path], input=pcm.tobytes(), check=True)


def make(rng, condition, enc, path):
    """Writes one recording; returns its truth: speech start and end, key start (ms or None)."""
    name, kind, level, peak_range, key, clicks = condition
    if kind == "any":
        kind, level = rng.choice(ANY_AIR)
    person = "%s %s" % (rng.choice(FIRST), rng.choice(LAST))
    text = person if rng.random() < 0.4 else rng.choice(GREETINGS).format(n=person)
    voice = rng.choice(VOICES) + rng.choice(VARIANTS)
    speech = speak(text, voice, rng.randint(130, 190), rng.randint(30, 70))
    top = max(1, max(abs(v) for v in speech))
    gain = db(rng.uniform(*peak_range)) / top
    speech = [v * gain for v in speech]
    edge = db(SPEECH_EDGE_DB) * top * gain / 32767.0
    heard = [i for i, v in enumerate(speech) if abs(v) >= edge]
    speech = speech[heard[0]:heard[-1] + 1]

    lead = int(RATE * rng.uniform(0.4, 3.0))
    tail = int(RATE * rng.uniform(0.4, 3.0))
    x = [0.0] * lead + speech + [0.0] * tail
    s_end = lead + len(speech)
    key_at = None
    if key:
        key_at = s_end + int(RATE * rng.uniform(0.3, 1.0))
        key_n = int(RATE * rng.uniform(0.07, 0.25))
        x += [0.0] * max(0, key_at + key_n + int(RATE * rng.uniform(0.2, 1.5)) - len(x))
        add_key(x, key_at, key_n, rng.uniform(-13, -7))
    if clicks:
        spots = [(int(0.05 * RATE), lead - int(0.15 * RATE)),
                 (s_end + int(0.15 * RATE), len(x) - int(0.05 * RATE))]
        for lo, hi in spots:
            for _ in range(rng.randint(1, 3)):
                if hi > lo:
                    add_click(x, rng.randrange(lo, hi), rng)
    noise = air(rng, kind, level, len(x))
    store(path, [a + b for a, b in zip(x, noise)], enc)
    ms = 1000.0 / RATE
    return {"file": path, "condition": name, "encoding": enc, "air": kind, "text": text,
            "voice": voice, "speech_start": lead * ms, "speech_end": s_end * ms,
            "key_start": None if key_at is None else key_at * ms}


def corpus(seed, count, folder, encodings=None):
    """count recordings in folder, the conditions in turn; a list of their truths."""
    rng = random.Random(seed)
    encs = encodings or ENCODINGS
    out = []
    for i in range(count):
        cond = CONDITIONS[i % len(CONDITIONS)]
        enc = encs[(i // len(CONDITIONS)) % len(encs)]
        out.append(make(rng, cond, enc, "%s/r%03d_%s.wav" % (folder, i, enc)))
    return out
