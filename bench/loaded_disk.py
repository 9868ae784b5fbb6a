#!/usr/bin/env python3
"""Saving and converting while another program writes gigabytes to the disk.

A writer keeps writing to a file beside ours (1 MiB blocks over a 2 GiB
region, round and round), as a download or a copy would. Whenever at least
1 GiB of its data waits to be written (Dirty + Writeback in /proc/meminfo;
at most 30 s for the first time, 5 s later on), the next whole process is
timed; round after round:

  baseline   cat clip >> base.txt && sync -d base.txt  (flushes that file only)
  save       sorimba-clip save (plain) of the same clip text
  titles     sorimba-clip save --with-titles, 5 titles into 5 files
  convert    sorimba-clip convert of one file
  folder     sorimba-clip convert --folder of 20 files

A program that flushes the whole file system would wait for the writer's
data; one that flushes only its own files waits about as long as the
baseline. The inputs of each round are written and flushed before the
clock runs.

Usage: bench/loaded_disk.py BUILD_DIR [ROUNDS]
Prints one JSON object: for each case its median and worst wall time in ms
over the rounds, and the writer's unwritten data in MiB while measuring.
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REGION_MIB = 2048      # the writer's file never grows beyond this
WANTED_DIRTY_MIB = 1024
SETTLE_SECONDS = 30
REFILL_SECONDS = 5


def unwritten_mib():
    values = {}
    with open("/proc/meminfo") as f:
        for line in f:
            name, rest = line.split(":", 1)
            values[name] = int(rest.split()[0])
    return (values.get("Dirty", 0) + values.get("Writeback", 0)) / 1024


def write_flushed(path, data):
    with open(path, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())


def flush_folder(path):
    fd = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def clip_text(titles):
    """About 2 KB of clip text (UTF-8, LF line ends, as a shell hands it)."""
    lines = [""]
    for t in range(max(titles, 1)):
        if titles:
            lines += [f"●お題その{t}　（担当：スタッフ）", ""]
        for e in range(8 if titles else 40):
            lines += [f"○{e}番目の投稿、お題{t}について。1,000円くらいの話です。", ""]
    return ("\n".join(lines) + "\n").encode()


def unconverted(tag):
    """A file whose paragraphs need joining (code page 932 is not needed:
    the conversion handles bytes)."""
    text = ""
    for p in range(40):
        text += "".join(f"paragraph {tag}-{p} line {l}\r\n" for l in range(4)) + "\r\n"
    return text.encode()


def timed_ms(command):
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = (time.perf_counter() - start) * 1000
    if result.returncode != 0:
        raise SystemExit(f"{command} failed: {result.stderr.decode(errors='replace')}")
    return elapsed


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    clip = os.environ.get("SORIMBA_CLIP", os.path.join(build, "sorimba-clip"))
    parent = os.environ.get("TMPDIR", "/tmp")
    if shutil.disk_usage(parent).free < (REGION_MIB + 1024) * 2**20:
        raise SystemExit(f"loaded disk: less than {REGION_MIB + 1024} MiB free in {parent}")

    with tempfile.TemporaryDirectory(prefix="sorimba-loaded-", dir=parent) as folder:
        at = lambda name: os.path.join(folder, name)
        write_flushed(at("clip.txt"), clip_text(0))
        write_flushed(at("clip5.txt"), clip_text(5))
        os.mkdir(at("titles"))
        os.mkdir(at("folder"))
        flush_folder(folder)

        cases = {
            "baseline": ["sh", "-c", 'cat "$1" >> "$2" && sync -d "$2"', "sh",
                         at("clip.txt"), at("base.txt")],
            "save": [clip, "save", "--save-path", at("save.txt"), at("clip.txt")],
            "titles": [clip, "save", "--with-titles", "--save-path",
                       os.path.join(at("titles"), "save.txt"), at("clip5.txt")],
            "convert": [clip, "convert", at("one.txt")],
            "folder": [clip, "convert", "--folder", at("folder")],
        }

        def prepare(name):
            """Inputs that need converting, on the disk before the clock runs."""
            if name == "convert":
                write_flushed(at("one.txt"), unconverted(0))
            elif name == "folder":
                for i in range(20):
                    write_flushed(os.path.join(at("folder"), f"f{i:02}.txt"), unconverted(i))
                flush_folder(at("folder"))

        # Once without the load: the files exist, the program is in the cache.
        for name, command in cases.items():
            prepare(name)
            timed_ms(command)

        writer = subprocess.Popen(
            ["sh", "-c", f'while :; do dd if=/dev/zero of="$1" bs=1M count={REGION_MIB} '
                         'conv=notrunc status=none || exit 1; done', "sh", at("load")],
            start_new_session=True)
        def wait_for_load(seconds):
            """Until the writer's unwritten data is back at the wanted amount
            (a program that flushes the whole file system drains it)."""
            deadline = time.monotonic() + seconds
            while unwritten_mib() < WANTED_DIRTY_MIB and time.monotonic() < deadline:
                time.sleep(0.1)

        try:
            wait_for_load(SETTLE_SECONDS)
            times = {name: [] for name in cases}
            dirty = []
            for _ in range(rounds):
                for name, command in cases.items():
                    prepare(name)
                    wait_for_load(REFILL_SECONDS)
                    dirty.append(unwritten_mib())
                    times[name].append(timed_ms(command))
            if writer.poll() is not None:
                raise SystemExit("loaded disk: the writer stopped early")
        finally:
            os.killpg(writer.pid, signal.SIGKILL)
            writer.wait()

        print(json.dumps({
            "rounds": rounds,
            "unwritten_mib": statistics.median(dirty),
            "cases": {name: {"median_ms": statistics.median(t), "max_ms": max(t)}
                      for name, t in times.items()},
        }))


if __name__ == "__main__":
    main()
