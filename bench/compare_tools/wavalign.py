"""Where a trimmed copy lies in its source: by its bytes, by its decoded
samples, or for a lossy re-encoding by overlaying its first and last sound."""

import array
import shutil
import subprocess
import sys

ULAW = []
for _b in range(256):
    _u = ~_b & 0xFF
    _t = (((_u & 0x0F) << 3) + 0x84) << ((_u & 0x70) >> 4)
    ULAW.append((0x84 - _t) if _u & 0x80 else (_t - 0x84))
ALAW = []
for _b in range(256):
    _a = _b ^ 0x55
    _t = (_a & 0x0F) << 4
    _s = (_a & 0x70) >> 4
    _t = _t + 8 if _s == 0 else ((_t + 0x108) << (_s - 1))
    ALAW.append(_t if _a & 0x80 else -_t)


def read_wav(path):
    """(format tag, channels, rate, bits, average bytes per second, data bytes)."""
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise ValueError("%s: not a WAV file" % path)
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(blob):
        cid = blob[pos:pos + 4]
        size = int.from_bytes(blob[pos + 4:pos + 8], "little")
        body = blob[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = body
        elif cid == b"data":
            data = body
        pos += 8 + size + (size & 1)
    tag = int.from_bytes(fmt[0:2], "little")
    ch = int.from_bytes(fmt[2:4], "little")
    rate = int.from_bytes(fmt[4:8], "little")
    avg = int.from_bytes(fmt[8:12], "little")
    bits = int.from_bytes(fmt[14:16], "little")
    if tag == 0xFFFE and len(fmt) >= 26:
        tag = int.from_bytes(fmt[24:26], "little")
    return tag, ch, rate, bits, avg, data


def decode16(path):
    """Mono 16-bit samples (array 'h') and the sample rate."""
    tag, ch, rate, bits, _, data = read_wav(path)
    if tag == 1 and bits == 16 and ch == 1:
        a = array.array("h")
        a.frombytes(data[:len(data) // 2 * 2])
        if sys.byteorder != "little":
            a.byteswap()
        return a, rate
    if tag in (6, 7) and ch == 1:
        table = ULAW if tag == 7 else ALAW
        return array.array("h", (table[b] for b in data)), rate
    raw = subprocess.run([shutil.which("sox"), "-V1", path, "-t", "raw", "-e", "signed", "-b", "16",
                          "-c", "1", "-L", "-"], check=True, stdout=subprocess.PIPE).stdout
    a = array.array("h")
    a.frombytes(raw)
    if sys.byteorder != "little":
        a.byteswap()
    return a, rate


def first_above(a, thr):
    for i, v in enumerate(a):
        if v > thr or v < -thr:
            return i
    return None


def last_above(a, thr):
    for i in range(len(a) - 1, -1, -1):
        if a[i] > thr or a[i] < -thr:
            return i
    return None


def best_lag(x, y, yi, guess, reach=400, seg=480):
    """Lag (x index - y index) that best overlays y[yi:yi+seg] on x."""
    seg = min(seg, len(y) - yi)
    best, best_err = guess, None
    ys = y[yi:yi + seg]
    for lag in range(guess - reach, guess + reach + 1):
        xi = yi + lag
        if xi < 0 or xi + seg > len(x):
            continue
        xs = x[xi:xi + seg]
        err = 0
        for k in range(0, seg, 2):
            d = xs[k] - ys[k]
            err += d * d
            if best_err is not None and err >= best_err:
                break
        if best_err is None or err < best_err:
            best, best_err = lag, err
    return best


def locate(src_path, out_path):
    """Kept audio as (start ms, end ms, how): where the output lies in the input."""
    tag_in, _, rate, _, avg, raw_in = read_wav(src_path)
    tag_out, _, _, _, _, raw_out = read_wav(out_path)
    if not raw_out:
        return None, None, "empty"
    # A byte copy of the stored encoding is found as it stands.
    if tag_in == tag_out:
        at = raw_in.find(raw_out)
        if at >= 0:
            return at * 1000 / avg, (at + len(raw_out)) * 1000 / avg, "bytes"
    x, rate = decode16(src_path)
    y, _ = decode16(out_path)
    xb, yb = x.tobytes(), y.tobytes()
    at = xb.find(yb)
    if at >= 0 and at % 2 == 0:
        s = at // 2
        return s * 1000 / rate, (s + len(y)) * 1000 / rate, "samples"
    # Lossy re-encoding: overlay the first and the last sound of the output.
    thr = 2000
    xo, yo = first_above(x, thr), first_above(y, thr)
    xl, yl = last_above(x, thr), last_above(y, thr)
    if None in (xo, yo, xl, yl):
        return None, None, "no sound"
    head = best_lag(x, y, yo, xo - yo)
    tail = best_lag(x, y, max(0, yl - 480), xl - yl)
    return head * 1000 / rate, (tail + len(y)) * 1000 / rate, "aligned"
