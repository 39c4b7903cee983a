#!/usr/bin/env python3
"""Times sndprobe, sox and ffmpeg on the same trimming job and shows where each cut.

Called by bench/compare, which installs the tools and makes the recordings.
Every run of every tool is a fresh process, started with posix_spawn and
reaped with wait4; wall time is taken around both with a monotonic clock.
The tools take turns round by round, so a change in machine load hits all of
them alike. Peak memory is read from one extra run under /usr/bin/time -v.
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

from wavalign import locate

LEVEL = "-45dB"
MIN_SILENCE_MS = 300
WINDOW_MS = 20
PAD_MS = 250

SOX_NOTE = ("sox: 'silence 1 0.3 -45d' around 'reverse' for both ends; it cannot keep "
            "audio from before the first sound, so its cuts have no padding")
FFMPEG_NOTE = ("ffmpeg: silenceremove (rms, 20 ms window) around areverse for both ends, "
               "start_silence=0.25 keeps 250 ms of the removed audio at each cut; "
               "output re-encoded in the input's encoding")
SNDPROBE_NOTE = ("sndprobe: -silence:-45dB,300,20 -strip:out.wav,3,250 (copies the kept "
                 "bytes in the source's own encoding)")


def ffmpeg_filter():
    one = ("silenceremove=start_periods=1:start_duration=%g:start_threshold=%s:"
           "start_silence=%g:window=%g" % (MIN_SILENCE_MS / 1000, LEVEL, PAD_MS / 1000,
                                           WINDOW_MS / 1000))
    return ",".join([one, "areverse", one, "areverse"])


# ffmpeg writes 16-bit PCM unless told; give every tool's output the input's encoding.
FFMPEG_CODEC = {"pcm": "pcm_s16le", "ulaw": "pcm_mulaw", "alaw": "pcm_alaw", "gsm": "libgsm_ms"}


def tool_commands(sndprobe, src, enc):
    return {
        "sndprobe": [sndprobe, src, "-silence:%s,%d,%d" % (LEVEL, MIN_SILENCE_MS, WINDOW_MS),
                     "-strip:out.wav,3,%d" % PAD_MS],
        "sox": [shutil.which("sox"), src, "out.wav", "silence", "1", "%g" % (MIN_SILENCE_MS / 1000),
                LEVEL[:-1], "reverse", "silence", "1", "%g" % (MIN_SILENCE_MS / 1000), LEVEL[:-1],
                "reverse"],
        "ffmpeg": [shutil.which("ffmpeg"), "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                   "-i", src, "-af", ffmpeg_filter(), "-c:a", FFMPEG_CODEC[enc], "out.wav"],
    }


# ---------------------------------------------------------------- running

def run_once(argv, cwd, env):
    """Wall nanoseconds and ru_maxrss (KiB) of one run; raises on failure."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        old = os.getcwd()
        os.chdir(cwd)
        try:
            # Brevita deletes the output before every run; replacing an existing
            # file would also make ext4 flush it (auto_da_alloc) inside the timing.
            try:
                os.unlink("out.wav")
            except FileNotFoundError:
                pass
            t0 = time.perf_counter_ns()
            pid = os.posix_spawn(argv[0], argv, env, file_actions=[
                (os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)])
            _, status, usage = os.wait4(pid, 0)
            t1 = time.perf_counter_ns()
        finally:
            os.chdir(old)
    finally:
        os.close(devnull)
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError("%s exited with %d" % (" ".join(argv), code))
    return t1 - t0, usage.ru_maxrss


def peak_rss_kib(argv, cwd, env):
    """Maximum resident set size as /usr/bin/time -v reports it."""
    try:
        os.unlink(os.path.join(cwd, "out.wav"))
    except FileNotFoundError:
        pass
    r = subprocess.run(["/usr/bin/time", "-v"] + argv, cwd=cwd, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        raise RuntimeError("%s failed under /usr/bin/time: %s" % (argv[0], r.stderr[-400:]))
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr)
    return int(m.group(1)) if m else None


def time_side_by_side(cmds, cwds, env, runs, warmup):
    """Median wall ms per tool; the tools alternate, starting order rotating."""
    names = list(cmds)
    samples = {n: [] for n in names}
    for r in range(warmup + runs):
        order = names[r % len(names):] + names[:r % len(names)]
        for n in order:
            ns, _ = run_once(cmds[n], cwds[n], env)
            if r >= warmup:
                samples[n].append(ns / 1e6)
    return samples


# ---------------------------------------------------------------- report

def med(v):
    return statistics.median(v)


def quart(v):
    if len(v) < 4:
        return min(v), max(v)
    q = statistics.quantiles(v, n=4)
    return q[0], q[2]


def fmt_ms(v):
    return "%.2f" % v if v < 100 else "%.0f" % v


def load_avg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def run_gbench(binary, filt):
    if not binary or not os.access(binary, os.X_OK):
        return []
    r = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=0.3",
                        "--benchmark_filter=" + filt], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, text=True)
    if r.returncode != 0:
        return []
    out = []
    for b in json.loads(r.stdout).get("benchmarks", []):
        if "bytes_per_second" in b:
            out.append((b["name"], b["bytes_per_second"]))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sndprobe", required=True)
    ap.add_argument("--hello", required=True)
    ap.add_argument("--recordings", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--runs", type=int, default=21, help="runs per tool, short recordings")
    ap.add_argument("--long-runs", type=int, default=5, help="runs per tool, 60 min recording")
    ap.add_argument("--startup-runs", type=int, default=301)
    ap.add_argument("--only", help="comma-separated recording names")
    ap.add_argument("--variant", action="append", default=[], metavar="LABEL=PATH",
                    help="another sndprobe build, timed beside the main one")
    ap.add_argument("--build-type", default="unknown", help="CMake build type of sndprobe")
    ap.add_argument("--gbench-dir", help="folder with bench_detect and bench_wavread")
    args = ap.parse_args()

    sndprobe = os.path.abspath(args.sndprobe)
    variants = [(v.split("=", 1)[0], os.path.abspath(v.split("=", 1)[1])) for v in args.variant]
    work = os.path.abspath(args.work)
    env = dict(os.environ)
    # sndprobe keeps its trace level in a file; keep ours apart from the user's.
    env["SNDPROBE_TRACE_INI"] = os.path.join(work, "trace.ini")
    env["LC_ALL"] = "C.UTF-8"

    recs = []
    with open(os.path.join(args.recordings, "recordings.tsv")) as f:
        for line in f:
            if line.startswith("#"):
                continue
            name, enc, n, s0, s1 = line.split("\t")
            recs.append((name, enc, int(n), int(s0), int(s1)))
    if args.only:
        keep = set(args.only.split(","))
        recs = [r for r in recs if r[0] in keep]

    print("machine: %s, %d cores, load %s at start" % (
        os.uname().machine, os.cpu_count(), load_avg()))
    print("sndprobe: %s (%s build)" % (sndprobe, args.build_type))
    print(SNDPROBE_NOTE)
    print(SOX_NOTE)
    print(FFMPEG_NOTE)
    print()

    # Start-up first, while nothing else of ours has run for a while.
    startup_dir = os.path.join(work, "run", "startup")
    os.makedirs(startup_dir, exist_ok=True)
    st_cmds = {"sndprobe (no arguments)": [sndprobe]}
    for label, path in variants:
        st_cmds["sndprobe[%s] (no arguments)" % label] = [path]
    st_cmds.update({"C++ hello": [os.path.abspath(args.hello)],
               "/bin/true": ["/bin/true"]})
    st = time_side_by_side(st_cmds, {t: startup_dir for t in st_cmds}, env, args.startup_runs, 20)

    rows = []
    cuts = []
    failed = []
    for name, enc, n, s0, s1 in recs:
        src = os.path.join(os.path.abspath(args.recordings), name + ".wav")
        cwds = {}
        for t in ("sndprobe", "sox", "ffmpeg"):
            cwds[t] = os.path.join(work, "run", t)
            os.makedirs(cwds[t], exist_ok=True)
        # Every tool gets the input by the same relative path: the run
        # folders are siblings, and the command lines stay short and alike.
        rel = os.path.relpath(src, cwds["sndprobe"])
        cmds = tool_commands(sndprobe, rel, enc)
        for label, path in variants:
            t = "sndprobe[%s]" % label
            cwds[t] = os.path.join(work, "run", "variant-" + label)
            os.makedirs(cwds[t], exist_ok=True)
            cmds[t] = [path] + cmds["sndprobe"][1:]
        long = n > 600 * 8000
        runs = args.long_runs if long else args.runs
        # A tool that fails on a recording is reported and left out of it.
        for t in list(cmds):
            try:
                run_once(cmds[t], cwds[t], env)
            except RuntimeError as e:
                failed.append((name, t, str(e)))
                del cmds[t]
        samples = time_side_by_side(cmds, cwds, env, runs, 1 if long else 2)
        base = med(samples["sndprobe"]) if "sndprobe" in samples else None
        for t in cmds:
            rss = peak_rss_kib(cmds[t], cwds[t], env)
            m = med(samples[t])
            lo, hi = quart(samples[t])
            rows.append((name, t, m, lo, hi, rss, m / base if base else None, len(samples[t])))
            start, end, how = locate(src, os.path.join(cwds[t], "out.wav"))
            cuts.append((name, t, start, end, how))
        cuts.append((name, "(speech)", s0 * 1000 / 8000, s1 * 1000 / 8000, "made"))
        sys.stdout.write(".")
        sys.stdout.flush()
    print("\n")

    print("| recording | tool | median ms | p25-p75 ms | peak RSS MiB | time / sndprobe | runs |")
    print("|---|---|---:|---:|---:|---:|---:|")
    for name, t, m, lo, hi, rss, ratio, k in rows:
        print("| %s | %s | %s | %s-%s | %.1f | %s | %d |" % (
            name, t, fmt_ms(m), fmt_ms(lo), fmt_ms(hi), (rss or 0) / 1024,
            "-" if ratio is None else "%.2f" % ratio, k))
    print()
    for name, t, why in failed:
        print("FAILED: %s on %s: %s" % (t, name, why))
    if failed:
        print()

    print("Where each tool cut (kept audio, ms from the start of the input):")
    print()
    print("| recording | tool | kept from ms | kept to ms | found by |")
    print("|---|---|---:|---:|---|")
    for name, t, a, b, how in cuts:
        fa = "-" if a is None else "%.1f" % a
        fb = "-" if b is None else "%.1f" % b
        print("| %s | %s | %s | %s | %s |" % (name, t, fa, fb, how))
    print()

    print("| start-up | median ms | p25-p75 ms | runs |")
    print("|---|---:|---:|---:|")
    for t, v in st.items():
        lo, hi = quart(v)
        print("| %s | %.3f | %.3f-%.3f | %d |" % (t, med(v), lo, hi, len(v)))
    print()

    gb = []
    if args.gbench_dir:
        gb += run_gbench(os.path.join(args.gbench_dir, "bench_detect"), "Silence")
        gb += run_gbench(os.path.join(args.gbench_dir, "bench_wavread"), ".")
    if gb:
        print("| analysis benchmark | MB/s |")
        print("|---|---:|")
        for bname, bps in gb:
            print("| %s | %.0f |" % (bname, bps / 1e6))
        print()

    # Targets of the issue, judged on this run's medians.
    print("Targets:")
    by = {(r[0], r[1]): r for r in rows}
    for name, enc, n, s0, s1 in recs:
        if (name, "sndprobe") not in by or by[(name, "sndprobe")][6] is None:
            print("  %-9s sndprobe failed: NOT MET" % name)
            continue
        snd = by[(name, "sndprobe")]
        long = n > 600 * 8000
        if enc in ("pcm", "ulaw", "alaw") and not long:
            for peer, want in (("sox", 2.5), ("ffmpeg", 20.0)):
                if (name, peer) not in by:
                    continue
                got = by[(name, peer)][6]
                # What a program that only starts and exits would reach.
                ceiling = by[(name, peer)][2] / med(st["/bin/true"])
                print("  %-9s %-6s %6.2fx faster (want >= %.1fx; /bin/true would be %.1fx)  %s" % (
                    name, peer, got, want, ceiling, "met" if got >= want else "NOT MET"))
        if long and (name, "sox") in by:
            got = by[(name, "sox")][6]
            print("  %-9s %-6s %6.2fx faster (want >= 3.0x)  %s" % (
                name, "sox", got, "met" if got >= 3.0 else "NOT MET"))
            decoded_mb = n * 2 / (1024 * 1024)
            limit = 1.5 * decoded_mb + 10
            rss = (snd[5] or 0) / 1024
            print("  %-9s peak RSS %.1f MiB (want <= %.1f MiB = 1.5 x %.1f + 10)  %s" % (
                name, rss, limit, decoded_mb, "met" if rss <= limit else "NOT MET"))
    s = med(st["sndprobe (no arguments)"])
    ratio = s / med(st["/bin/true"])
    print("  start-up  %.3f ms, %.2fx /bin/true (want <= 1.15x; C++ hello %.3f ms)  %s" % (
        s, ratio, med(st["C++ hello"]), "met" if ratio <= 1.15 else "NOT MET"))
    for bname, bps in gb:
        if "ilence" in bname:
            print("  %-40s %.2f GB/s (want >= 1 GB/s)  %s" % (
                bname, bps / 1e9, "met" if bps >= 1e9 else "NOT MET"))
    print()
    print("load %s at end" % load_avg())
    return 0


if __name__ == "__main__":
    sys.exit(main())
