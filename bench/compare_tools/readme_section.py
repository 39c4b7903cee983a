#!/usr/bin/env python3
"""Turns the saved output of bench/compare into the README's Performance section.

    bench/compare build-bench/bin/sndprobe | tee /tmp/compare.txt
    bench/compare_tools/readme_section.py /tmp/compare.txt "<the command>" [README.md]

With a README path the section at its end is replaced (or added); otherwise
the section is printed. The figures are copied as printed, never retyped.
"""

import re
import sys


def section(out_lines, cmd):
    body = [l for l in out_lines if not re.fullmatch(r"\.+", l)]
    head = []
    i = 0
    while i < len(body) and not body[i].startswith("|"):
        if body[i].strip():
            head.append(body[i])
        i += 1
    rest = body[i:]
    s = ["## Performance", "",
         "`bench/compare` makes a fixed set of synthetic voice recordings (8 kHz; 5 s, 60 s and",
         "60 min of 16-bit PCM, 5 s with digital silence, 5 s and 60 s of µ-law, 60 s of GSM 6.10)",
         "and times `sndprobe` with Brevita's options against `sox` and `ffmpeg` doing the same",
         "trim, each run a fresh process, the tools taking turns; medians, peak memory from",
         "`/usr/bin/time -v`. It also shows where each tool cut, and runs the Google Benchmarks",
         "of `bench/` (`bench_detect`, `bench_wavread`). The machine has 2 shared cores; figures",
         "move by 10-20% with the load printed at the start and end. Without an argument it",
         "measures `build/bin/sndprobe` from `./setup.sh`.", "",
         "On this machine a dynamically linked process that does nothing takes about 1 ms to",
         "start and end (`/bin/true` below), a good part of the 5 s recordings' time: the line",
         "\"/bin/true would be\" shows the most that such a program could reach. `sndprobe` is",
         "linked statically and starts in less.",
         "",
         "Last run, made with:", "", "    " + cmd, "", "```"] + head + ["```", ""]
    j = next(k for k, l in enumerate(rest) if l.startswith("Targets:"))
    s += rest[:j]
    s += ["```"] + [l for l in rest[j:] if l.strip()] + ["```"]
    return "\n".join(s) + "\n"


def main():
    if len(sys.argv) not in (3, 4):
        sys.stderr.write(__doc__)
        return 2
    with open(sys.argv[1]) as f:
        text = section(f.read().splitlines(), sys.argv[2])
    if len(sys.argv) == 3:
        sys.stdout.write(text)
        return 0
    with open(sys.argv[3]) as f:
        readme = f.read()
    at = readme.find("\n## Performance\n")
    if at >= 0:
        readme = readme[:at + 1]
    else:
        readme = readme.rstrip("\n") + "\n\n"
    with open(sys.argv[3], "w") as f:
        f.write(readme + text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
