#!/usr/bin/env python3
"""Hostile mail through the whole program: processor time and peak memory.

Builds each shape a crafted mail can take (a huge Subject, millions of header
lines, a million MIME parts, deep nesting, long runs of encoded words) and
feeds it to `sorimba-clip extract FILE` (the window's file path: the same
import::importFile), `sorimba-clip extract -` (a message in memory, as a
message dragged onto the window arrives) and `sorimba-clip import` (the shape
inside an mbox, between two sound messages). Each run is one process; its
processor time (user + system) and peak resident memory come from wait4().
Each must end, with the message read or refused, within 3 s and 300 MiB.

The "scaling" figures run the largest shapes at a quarter of their size too:
linear time gives 4x (less, with the fixed start-up cost).

Usage: bench/hostile_mail.py BUILD_DIR [--timeout SECONDS] [--only NAME]
Prints one JSON object: {"runs": [{shape, through, mb, cpu_s, peak_mib,
exit, note}], "scaling": [{shape, through, ratio, small_cpu_s, cpu_s}]}.
"""

import argparse
import base64
import json
import os
import subprocess
import sys
import tempfile

MB = 1_000_000

BODY = ("■ 今週の話題\n本文です。\n■ぴこぴこＺＯＫ\n投稿です。\n").encode("utf-8")


def message(headers=b"", content_type=b"text/plain; charset=UTF-8", body=BODY):
    return (b"From: editor@example.com\nDate: Mon, 1 Jan 2024 09:00:00 +0900\n"
            b"Message-ID: <hostile@example.com>\n" + headers +
            b"MIME-Version: 1.0\nContent-Type: " + content_type + b"\n\n" + body)


def long_subject(size):
    """A Subject of plain words, no encoded word in it, folded as a mail
    program folds: one line of a megabyte and more."""
    words = b"subject " * (size // 8)
    return message(b"Subject: " + words + b"\n")


def header_lines(size):
    """A header block of short fields, about 13.5 bytes each."""
    count = size * 2 // 27
    fields = b"".join(b"X-F: %07d\n" % i for i in range(count))
    return message(b"Subject: fields\n" + fields)


def mime_parts(size):
    """A multipart with about 46 bytes per part."""
    count = size // 46
    part = b"--bound\nContent-Type: text/plain\n\nshort body\n"
    body = part * count + b"--bound--\n"
    return message(b"Subject: parts\n", b"multipart/mixed; boundary=bound", body)


def deep_nesting(size):
    """Multiparts inside each other, each level a new boundary, as deep as
    the bytes allow (about 60 bytes a level)."""
    levels = size // 60
    opening = b"".join(b"--b%d\nContent-Type: multipart/mixed; boundary=b%d\n\n" % (i, i + 1)
                       for i in range(levels))
    closing = b"".join(b"--b%d--\n" % i for i in reversed(range(levels)))
    body = opening + b"--b%d\nContent-Type: text/plain\n\nx\n" % levels + closing
    return message(b"Subject: nesting\n", b"multipart/mixed; boundary=b0", body)


def encoded_words(size):
    """A Subject of UTF-8 encoded words, one after another."""
    word = b"=?UTF-8?B?" + base64.b64encode("あいうえお".encode()) + b"?="
    return message(b"Subject: " + b"\n ".join([word] * (size // (len(word) + 2))) + b"\n")


def mixed_words(size):
    """Encoded words whose charsets change at every word (Japanese ones,
    a European one and a name no converter knows)."""
    words = [b"=?ISO-2022-JP?B?" + base64.b64encode("あい".encode("iso-2022-jp")) + b"?=",
             b"=?Shift_JIS?B?" + base64.b64encode("かき".encode("cp932")) + b"?=",
             b"=?ISO-8859-1?Q?caf=E9?=", b"=?x-no-such-charset?Q?abc?="]
    run = b" ".join(words) + b" "
    return message(b"Subject: " + run * (size // len(run)) + b"\n")


def words_at_the_limits(_size):
    """The most work a message within the limits can make GMime do: two
    Content-Type fields just under 64 KiB, each with 4,900 encoded words
    that never close (GMime looks for the end of each one to the end of its
    field), 9,800 in all."""
    run = b"=?UTF-8?Q?a" * 4900
    field = b"Content-Type: text/plain; name=" + run + b"a" * (65000 - len(run)) + b"\n"
    return message(field + field)


def unclosed_words(size):
    """Encoded words that never close: "=?UTF-8?Q?..." without "?=" ."""
    return message(b"Subject: " + b"=?UTF-8?Q?a" * (size // 11) + b"\n")


SHAPES = {
    # name: (builder, megabytes)
    "subject_1.6MB": (long_subject, 1.6),
    "header_lines_27MB": (header_lines, 27),
    "mime_parts_46MB": (mime_parts, 46),
    "deep_nesting_10MB": (deep_nesting, 10),
    "encoded_words_1.6MB": (encoded_words, 1.6),
    "mixed_charset_words_1.6MB": (mixed_words, 1.6),
    "unclosed_words_1.6MB": (unclosed_words, 1.6),
    "encoded_word_run_60KB": (encoded_words, 0.06),
    "unclosed_words_at_the_limits": (words_at_the_limits, 0.13),
}
# Shapes whose time is measured at a quarter of the size too: the largest,
# which the import reads to their end to find the next message.
SCALED = ("header_lines_27MB", "mime_parts_46MB")


def mbox_of(msg):
    sound = message(b"Subject: sound\n")
    frame = b"From editor@example.com Mon Jan  1 09:00:00 2024\n"
    return frame + sound + b"\n" + frame + msg + b"\n" + frame + sound + b"\n"


# Started as a small process of its own, this runs the command and reports
# its resource usage: a child of this script would report this script's
# own peak memory (the figure is inherited across fork, and this script
# holds the shapes).
LAUNCHER = """
import json, os, sys
pid = os.fork()
if pid == 0:
    os.execvp(sys.argv[2], sys.argv[2:])
_, status, usage = os.wait4(pid, 0)
with open(sys.argv[1], "w") as f:
    json.dump([usage.ru_utime + usage.ru_stime, usage.ru_maxrss, os.waitstatus_to_exitcode(status)], f)
"""


def measure(command, stdin_path, timeout):
    """Runs one process; (processor seconds, peak MiB, exit code, note)."""
    with tempfile.NamedTemporaryFile("r") as figures, tempfile.TemporaryFile() as out:
        stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
        try:
            subprocess.run([sys.executable, "-c", LAUNCHER, figures.name,
                            "timeout", "-s", "KILL", str(timeout)] + command,
                           stdin=stdin, stdout=out, stderr=subprocess.STDOUT)
        finally:
            if stdin_path:
                stdin.close()
        cpu, peak_kib, code = json.load(figures)
        out.seek(0)
        lines = out.read().decode("utf-8", "replace").strip().splitlines()
    note = lines[-1][:200] if lines else ""
    # The reason a message was refused: extract's error, import's failure line.
    for text in lines:
        if "cannot read" in text or "失敗：" in text:
            note = text.strip()[:200]
            break
    if code == 137:
        note = f"killed after {timeout:.0f} s"
    return cpu, peak_kib / 1024, code, note


def through_all(build, folder, name, data, timeout, rounds=1):
    clip = os.path.join(build, "sorimba-clip")
    eml = os.path.join(folder, name + ".eml")
    mbox = os.path.join(folder, name + ".mbox")
    with open(eml, "wb") as f:
        f.write(data)
    with open(mbox, "wb") as f:
        f.write(mbox_of(data))
    save = os.path.join(folder, name + ".save.txt")
    commands = {
        "extract FILE": ([clip, "extract", eml], None),
        "extract - (in memory)": ([clip, "extract", "-"], eml),
        "import (mbox)": ([clip, "import", "--save-path", save, mbox], None),
    }
    results = {}
    for through, (command, stdin_path) in commands.items():
        print(f"hostile mail: {name} through {through} ...", file=sys.stderr)
        # The fastest of the rounds: the figures of one short run vary.
        results[through] = min((measure(command, stdin_path, timeout) for _ in range(rounds)),
                               key=lambda figures: figures[0])
    for path in (eml, mbox, save):
        if os.path.exists(path):
            os.remove(path)
    return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    runs, scaling = [], []
    with tempfile.TemporaryDirectory(prefix="sorimba-hostile-") as folder:
        for name, (builder, mb) in SHAPES.items():
            if args.only and args.only not in name:
                continue
            rounds = 3 if name in SCALED else 1
            results = through_all(args.build, folder, name, builder(int(mb * MB)), args.timeout,
                                  rounds)
            for through, (cpu, peak, code, note) in results.items():
                runs.append({"shape": name, "through": through, "mb": mb, "cpu_s": cpu,
                             "peak_mib": peak, "exit": code, "note": note})
            if name in SCALED:
                small = through_all(args.build, folder, name + "_quarter",
                                    builder(int(mb * MB / 4)), args.timeout, rounds)
                for through, (cpu, _, _, _) in small.items():
                    full = results[through][0]
                    scaling.append({"shape": name, "through": through, "small_cpu_s": cpu,
                                    "cpu_s": full, "ratio": full / cpu if cpu > 0 else None})
    print(json.dumps({"runs": runs, "scaling": scaling}, ensure_ascii=False))


if __name__ == "__main__":
    main()
