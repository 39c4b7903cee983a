#!/usr/bin/env python3
"""How well each trimming tool keeps the speech and drops the dead air, per line condition.

Called by bench/quality (which installs the tools), and by the tests with
--check, which fails unless the automatic trim meets its targets on every file.
Truth is where the corpus put the speech; a file's result is where its output
lies in its input (wavalign.locate).
"""

import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

import corpus
from compare import ffmpeg_filter, FFMPEG_CODEC, LEVEL, MIN_SILENCE_MS, PAD_MS, WINDOW_MS
from wavalign import locate

CUT_SLACK_MS = 5      # speech cut by more than this counts as cut
UNTRIMMED_MS = 1000   # more dead air than this beyond the padding counts as untrimmed
TARGET_MEAN_MS = 50   # the automatic trim's mean dead air beyond the padding


def commands(tool, sndprobe, src, enc):
    if tool == "fixed":
        return [sndprobe, src, "-silence:%s,%d,%d" % (LEVEL, MIN_SILENCE_MS, WINDOW_MS),
                "-strip:out.wav,3,%d" % PAD_MS]
    if tool == "auto":
        return [sndprobe, src, "-silence:auto,%d,%d" % (MIN_SILENCE_MS, WINDOW_MS), "-dtmf",
                "-strip:out.wav,11,%d" % PAD_MS]
    if tool == "sox":
        s = ["silence", "1", "%g" % (MIN_SILENCE_MS / 1000), LEVEL[:-1]]
        return [shutil.which("sox"), src, "out.wav"] + s + ["reverse"] + s + ["reverse"]
    return [shutil.which("ffmpeg"), "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-i",
            src, "-af", ffmpeg_filter(), "-c:a", FFMPEG_CODEC[enc], "out.wav"]


def score(tool, sndprobe, truth, work):
    """One tool on one recording: (speech cut, dead air left beyond the padding, key gone)."""
    cwd = tempfile.mkdtemp(dir=work)
    try:
        src = os.path.abspath(truth["file"])
        argv = commands(tool, sndprobe, src, truth["encoding"])
        run = subprocess.run(argv, cwd=cwd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        out = os.path.join(cwd, "out.wav")
        if run.returncode != 0 or not os.path.exists(out):
            return True, 0.0, False
        start, end, _ = locate(src, out)
    finally:
        shutil.rmtree(cwd, ignore_errors=True)
    if start is None:
        return True, 0.0, False
    s, e = truth["speech_start"], truth["speech_end"]
    cut = start > s + CUT_SLACK_MS or end < e - CUT_SLACK_MS
    left = max(0.0, s - start - PAD_MS) + max(0.0, end - e - PAD_MS)
    key_gone = truth["key_start"] is None or end <= truth["key_start"]
    return cut, left, key_gone


class Tally:
    def __init__(self):
        self.files = self.cut = self.untrimmed = self.keys = self.keys_kept = 0
        self.left = 0.0

    def add(self, truth, result):
        cut, left, key_gone = result
        self.files += 1
        self.cut += cut
        self.untrimmed += left > UNTRIMMED_MS
        self.left += left
        if truth["key_start"] is not None:
            self.keys += 1
            self.keys_kept += not key_gone

    def cell(self):
        return "%d / %d / %d" % (self.cut, self.untrimmed, round(self.left / max(1, self.files)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sndprobe", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--seed", type=int, default=2026)
    ap.add_argument("--count", type=int, default=200)
    ap.add_argument("--tools", default="fixed,auto,sox,ffmpeg")
    ap.add_argument("--check", action="store_true",
                    help="exit 1 unless the automatic trim meets its targets on every file")
    ap.add_argument("--markdown", action="store_true")
    args = ap.parse_args()
    tools = args.tools.split(",")
    sndprobe = os.path.abspath(args.sndprobe)
    folder = os.path.join(args.work, "quality-%d-%d" % (args.seed, args.count))
    os.makedirs(folder, exist_ok=True)
    truths = corpus.corpus(args.seed, args.count, folder)

    jobs = [(t, tr) for tr in truths for t in tools]
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        results = list(pool.map(lambda j: score(j[0], sndprobe, j[1], args.work), jobs))

    names = [c[0] for c in corpus.CONDITIONS]
    table = {(t, n): Tally() for t in tools for n in names + ["all"]}
    failures = []
    for (tool, truth), result in zip(jobs, results):
        table[(tool, truth["condition"])].add(truth, result)
        table[(tool, "all")].add(truth, result)
        cut, left, key_gone = result
        if tool == "auto" and (cut or left > UNTRIMMED_MS or not key_gone):
            failures.append("%s (%s, %s, %s): %s" % (
                truth["file"], truth["condition"], truth["encoding"], truth["voice"],
                "speech cut" if cut else "key kept" if not key_gone else "%.0f ms left" % left))

    head = ["condition", "files"] + tools
    rows = [[n, str(table[(tools[0], n)].files)] + [table[(t, n)].cell() for t in tools]
            for n in names + ["all"]]
    rows.append(["closing key kept", str(table[(tools[0], "all")].keys)] +
                ["%d" % table[(t, "all")].keys_kept for t in tools])
    print("Trim quality on %d recordings (seed %d), per cell: files with speech cut / files "
          "untrimmed (over %d ms of dead air beyond the %d ms padding) / mean dead air beyond "
          "the padding in ms" % (len(truths), args.seed, UNTRIMMED_MS, PAD_MS))
    if args.markdown:
        print("\n| " + " | ".join(head) + " |\n|" + "---|" * len(head))
        for r in rows:
            print("| " + " | ".join(r) + " |")
    else:
        widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
        for r in [head] + rows:
            print("  ".join(c.ljust(w) for c, w in zip(r, widths)))
    for f in failures:
        print("auto missed: " + f)
    if "auto" in tools:
        a = table[("auto", "all")]
        mean = a.left / max(1, a.files)
        met = not failures and mean <= TARGET_MEAN_MS
        print("auto targets (0 cut, 0 untrimmed, mean <= %d ms, every key gone): %s (mean %.1f ms)"
              % (TARGET_MEAN_MS, "met" if met else "NOT met", mean))
        if args.check and not met:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
