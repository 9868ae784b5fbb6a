#!/usr/bin/env python3
"""Whole-process `sorimba-clip import` of a 100 MB mbox.

bench_mail_import --write-mbox writes the mbox: about 3,600 newsletter
issues in ISO-2022-JP, Shift_JIS (base64), EUC-JP (8 bit) and UTF-8
(quoted-printable beside HTML), dates out of order, a few notices that are
no issue. The mbox is flushed to the disk first, so the import's own flushes
never wait for it. Each round imports it into a new save file; the figures
are the medians over the rounds, the peak memory the largest.

Usage: bench/mail_import.py BUILD_DIR [ROUNDS]
Prints one JSON object: wall and processor seconds, peak MiB, the number of
messages and of issues imported, the size of the mbox.
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory(prefix="sorimba-mail-") as folder:
        mbox = os.path.join(folder, "issues.mbox")
        subprocess.run([os.path.join(build, "bench_mail_import"), "--write-mbox", mbox, "100"],
                       check=True, stdout=subprocess.DEVNULL)
        walls, cpus, peaks = [], [], []
        summary = ""
        for round_ in range(rounds):
            save = os.path.join(folder, f"save{round_}.txt")
            start = time.perf_counter()
            child = subprocess.Popen(
                [os.path.join(build, "sorimba-clip"), "import", "--with-staff-word",
                 "--with-about", "--save-path", save, mbox],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            summary = child.stdout.read().decode()
            _, status, usage = os.wait4(child.pid, 0)
            walls.append(time.perf_counter() - start)
            if os.waitstatus_to_exitcode(status) != 0:
                raise SystemExit(f"sorimba-clip import failed: {summary}")
            cpus.append(usage.ru_utime + usage.ru_stime)
            peaks.append(usage.ru_maxrss / 1024)  # KiB to MiB
        first = summary.splitlines()[0] if summary else ""
        print(json.dumps({
            "wall_s": statistics.median(walls),
            "cpu_s": statistics.median(cpus),
            "peak_mib": max(peaks),
            "mbox_mb": os.path.getsize(mbox) / 1e6,
            "summary": first,
        }, ensure_ascii=False))


if __name__ == "__main__":
    main()
