#!/usr/bin/python3
"""End to end: an issue's mail dragged out of each Linux mail program.

A second X client (sorimba-drag-source --offers) replays what Thunderbird,
Claws Mail, Sylpheed and Evolution offer when one message is dragged: the
same types in the same order, with data of the same shape where the window
may read them (Thunderbird's .eml written only when its URL is asked for,
Claws' .txt, Sylpheed's file URL in message/rfc822, Evolution's
extension-less mbox); the other types carry stand-ins. Each program deletes
its file soon after the drop. Each drop shows the issue's clip.

A program that does not hand over its message/rfc822 data holds the drop
about 2 s, not Qt's 5 s: the window then reads the next offer, the URL list.

Then three messages dragged at once (three file URLs, as Claws offers them)
ask once whether to import 3 messages, and import them into the save file
as one batch, oldest first, under one summary; the text area keeps its clip.
"""

import base64
import json
import os
import sys
import urllib.parse

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402
from test_import import drag_onto_text_area, drop_outcome, lf  # noqa: E402
from test_mail import issue_with, message  # noqa: E402

OPTIONS = {"AlwaysOnTop": False}


def b64(data: bytes | str) -> str:
    return base64.b64encode(data.encode() if isinstance(data, str) else data).decode()


def file_url(path: str) -> str:
    return "file://" + urllib.parse.quote(path)


def mbox_of(*messages: bytes) -> bytes:
    return b"".join(b"From editor@piko.example.com Mon Jan  7 05:31:00 2019\n" + m + b"\n"
                    for m in messages)


def offers_file(desk: d.Desktop, name: str, offers: list, **extra) -> str:
    spec = dict(label=f"{name}: ウィークリーぴこぴこ", offers=[[t, b64(v)] for t, v in offers],
                deleteAfterMs=300)
    spec.update(extra)
    path = os.path.join(desk.tmp, f"{name}.json")
    d.write_file(path, json.dumps(spec).encode())
    return path


def folder(desk: d.Desktop, *parts: str) -> str:
    path = os.path.join(desk.tmp, *parts)
    os.makedirs(path, exist_ok=True)
    return path


def thunderbird(desk: d.Desktop, mail: bytes) -> tuple:
    kept = os.path.join(folder(desk, "tb-store"), "stored.eml")
    d.write_file(kept, mail)
    eml = os.path.join(folder(desk, "tb-tmp"), "ウィークリーぴこぴこ  第300号.eml")
    mailbox = "mailbox-message://editor@piko.example.com/Inbox#300"
    offers = [("text/plain", mailbox),
              ("text/x-moz-url", (mailbox + "\nウィークリーぴこぴこ 第300号").encode("utf-16-le")),
              ("application/x-moz-file-promise-url", mailbox),
              ("text/uri-list", file_url(eml)),
              ("application/x-moz-file-promise", "stand-in"),
              ("XdndDirectSave0", "stand-in")]
    return offers, {"writeWhenAsked": [kept, eml]}


def claws(desk: d.Desktop, mail: bytes) -> tuple:
    txt = os.path.join(folder(desk, ".claws-mail", "tmp"), "ウィークリーぴこぴこ 第300号.1.txt")
    d.write_file(txt, mail)
    return [("text/uri-list", file_url(txt) + "\r\n"), ("claws-mail/internal", "stand-in"),
            ("claws-mail/msg-path-list", "stand-in")], {}


def sylpheed(desk: d.Desktop, mail: bytes) -> tuple:
    eml = os.path.join(folder(desk, ".sylpheed-2.0", "tmp"), "ウィークリーぴこぴこ 第300号.eml")
    d.write_file(eml, mail)
    return [("text/plain", "drag-from-summary"), ("message/rfc822", file_url(eml)),
            ("text/uri-list", file_url(eml))], {}


def evolution(desk: d.Desktop, mail: bytes) -> tuple:
    mbox = os.path.join(folder(desk, "drag-n-drop-Ab3xYz"),
                        "20190107053100_ウィークリーぴこぴこ 　第300号")
    d.write_file(mbox, mbox_of(mail))
    # The path as it is, not percent-encoded.
    return [("x-uid-list", b"folder://account/Inbox\0UID\0"),
            ("text/uri-list", "file://" + mbox + "\r\n")], {}


def scenario_each_mail_program(desk: d.Desktop) -> None:
    app = desk.start_app(data_dat=d.data_dat(options=OPTIONS))
    for number, program in enumerate((thunderbird, claws, sylpheed, evolution), start=300):
        name = program.__name__
        issue = issue_with(f"{name} からドラッグしました。")
        text_file = os.path.join(desk.tmp, f"{name}.txt")
        d.write_file(text_file, d.cp932(issue.replace("\n", "\r\n")))
        clip = d.expected_clip(text_file, OPTIONS)
        mail = message(issue, number, "Mon, 7 Jan 2019 05:31:00 +0900")
        offers, extra = program(desk, mail)
        source = drag_onto_text_area(desk, app, "--offers", offers_file(desk, name, offers, **extra))
        outcome = drop_outcome(source)
        d.check(outcome in ("drop: copy", "drop: move"), f"the {name} drop was not accepted ({outcome})")
        d.poll(lambda: app.dialogs() or app.copy_all() == lf(clip), 10, f"the clip of the {name} drop")
        d.check(not app.dialogs(), f"a dialog appeared after the {name} drop")
        desk.snap_window(app.main(), f"window-after-{name}-drop")
        source.kill()
    d.check_equal(app.close(), 0, "exit status")


def scenario_offer_not_handed_over(desk: d.Desktop) -> None:
    app = desk.start_app(data_dat=d.data_dat(options=OPTIONS))
    issue = issue_with("返事の遅いメールソフトです。")
    text_file = os.path.join(desk.tmp, "slow.txt")
    d.write_file(text_file, d.cp932(issue.replace("\n", "\r\n")))
    clip = d.expected_clip(text_file, OPTIONS)
    offers, _ = sylpheed(desk, message(issue, 305, "Mon, 7 Jan 2019 05:31:00 +0900"))
    spec = offers_file(desk, "slow", offers, stallMs={"message/rfc822": 8000},
                       deleteAfterMs=20000)
    source = drag_onto_text_area(desk, app, "--offers", spec)
    asked = {}
    while "text/uri-list" not in asked:
        line = d.read_line(source, 10)
        d.log(f"drag source: {line}")
        if line.startswith("asked: "):
            kind, _, after = line[len("asked: "):].partition(" after ")
            asked[kind] = int(after.split()[0])
    waited = asked["text/uri-list"] - asked["message/rfc822"]
    d.check(waited < 3500, f"the window waited {waited} ms for the message/rfc822 data")
    d.poll(lambda: app.copy_all() == lf(clip), 10, "the clip from the URL list")
    source.kill()
    d.check_equal(app.close(), 0, "exit status")


def scenario_three_messages(desk: d.Desktop) -> None:
    save_path = os.path.join(folder(desk, "batch saves"), "kept.txt")
    app = desk.start_app(data_dat=d.data_dat(options=OPTIONS), data2_dat=d.data2_dat(save_path))
    tmp = folder(desk, ".claws-mail", "tmp")
    urls, expected = [], b""
    for number in (302, 300, 301):  # dragged newest first
        issue = issue_with(f"{number}号の投稿です。")
        path = os.path.join(tmp, f"第{number}号.txt")
        d.write_file(path, message(issue, number, f"Mon, {number - 290} Jan 2019 05:31:00 +0900"))
        urls.append(file_url(path))
    for number in (300, 301, 302):
        text_file = os.path.join(desk.tmp, f"{number}.txt")
        d.write_file(text_file, d.cp932(issue_with(f"{number}号の投稿です。").replace("\n", "\r\n")))
        expected += d.cp932(d.expected_clip(text_file, OPTIONS)) + b"\r\n"
    offers = [("text/uri-list", "\r\n".join(urls) + "\r\n"), ("claws-mail/internal", "stand-in")]
    hint = app.copy_all()
    source = drag_onto_text_area(desk, app, "--offers", offers_file(desk, "claws-three", offers))
    question = app.wait_dialog()
    d.check_shows(desk.snap_window(question, "message-drop-batch-question"), "取り込みますか",
                  what="the question")
    app.press_default(question)  # はい
    summary = d.poll(lambda: next((w for w in app.dialogs() if desk.name_of(w.id) == "!Sorimba"),
                                  None), 30, "the summary of the dropped messages")
    d.poll(lambda: desk.frame_extents(summary.id) != (0, 0, 0, 0), 3, "the summary to be framed")
    d.poll(lambda: not d.is_blank(desk.grab(summary)), 5, "the summary to be painted")
    d.check_shows(desk.snap_window(summary, "message-drop-batch-summary"), "取り込み",
                  what="the summary")
    app.press_default(summary)
    d.check_equal(d.read_file(save_path), expected, "save file after the three dropped messages")
    d.check_equal(app.copy_all(), hint, "text area after the batch")
    d.check(not app.dialogs(), "a dialog is still open after the summary")
    source.kill()
    d.check_equal(app.close(), 0, "exit status")


if __name__ == "__main__":
    d.main([scenario_each_mail_program, scenario_offer_not_handed_over, scenario_three_messages],
           budget=180)
