#!/usr/bin/env python3
"""Whole-process `sorimba-clip extract` against `iconv -f UTF-8 -t UTF-16LE`.

Both read the same generated 50 MB issue (UTF-8, as bench_extraction
--write-issue writes it) and write to /dev/null; a third command extracts
the 1 MB issue. The three run in turn, round after round, so a machine
whose speed changes from minute to minute slows all of them alike; each
figure is the median over the rounds of the per-round figures.

Usage: bench/extract_vs_iconv.py BUILD_DIR [ROUNDS]
Prints one JSON object: the median times in ms, "ratio" (extract 50 MB /
iconv 50 MB) and "scaling" (extract 50 MB / extract 1 MB).
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

OPTIONS = ["--with-titles", "--with-votes", "--with-staff-word", "--with-about"]


def timed(command):
    """(processor ms, wall-clock ms) of one run of a command."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = (time.perf_counter() - start) * 1000
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise SystemExit(f"{command[0]} failed with status {child.returncode}")
    return (usage.ru_utime + usage.ru_stime) * 1000, wall


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    clip = os.environ.get("SORIMBA_CLIP", os.path.join(build, "sorimba-clip"))
    with tempfile.TemporaryDirectory(prefix="sorimba-extract-") as folder:
        issues = {}
        for megabytes in (1, 50):
            issues[megabytes] = os.path.join(folder, f"issue{megabytes}.txt")
            subprocess.run([os.path.join(build, "bench_extraction"), "--write-issue",
                            issues[megabytes], str(megabytes)],
                           stdout=subprocess.DEVNULL, check=True)
        commands = {
            "iconv50": ["iconv", "-f", "UTF-8", "-t", "UTF-16LE", issues[50]],
            "extract50": [clip, "extract", *OPTIONS, issues[50]],
            "extract1": [clip, "extract", *OPTIONS, issues[1]],
        }
        for command in commands.values():  # the files into the page cache
            timed(command)
        cpu = {name: [] for name in commands}
        wall = {name: [] for name in commands}
        for _ in range(rounds):
            for name, command in commands.items():
                used, elapsed = timed(command)
                cpu[name].append(used)
                wall[name].append(elapsed)

    def median_ratio(times, over, under):
        return statistics.median(a / b for a, b in zip(times[over], times[under]))

    figures = {f"{name}_ms": statistics.median(cpu[name]) for name in commands}
    figures.update({f"{name}_wall_ms": statistics.median(wall[name]) for name in commands})
    figures.update({
        "ratio": median_ratio(cpu, "extract50", "iconv50"),
        "scaling": median_ratio(cpu, "extract50", "extract1"),
        "wall_ratio": median_ratio(wall, "extract50", "iconv50"),
        "rounds": rounds,
    })
    print(json.dumps(figures))


if __name__ == "__main__":
    main()
