#!/usr/bin/python3
"""End to end: issues straight from mail.

Drop: the small issue, sent as an ISO-2022-JP mail (as code page 932 mail
programs write it, NEC special characters included), saved as a .eml file
and dragged onto the text area as a file manager drags it: the text area
gets exactly the clip text of the same issue as a code page 932 text file,
and SaveAfterImport saves it. The same message dragged the way a mail
program drags it (message/rfc822) imports alike.

Menu: "mail" > "mbox ファイルから取り込む…" asks for an mbox with a dialog
of its own; the mbox holds three issues out of date order and a notice that
is no issue. A progress dialog runs, one summary follows, the save file gets
the three clip texts oldest first, and the text area keeps what it showed.
"""

import base64
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402
from test_import import drag_onto_text_area, drop_outcome, lf  # noqa: E402


def iso2022jp(sjis: bytes) -> bytes:
    """ISO-2022-JP from code page 932 bytes, as Windows mail programs write
    it: each double-byte character by its JIS code between ESC $ B and
    ESC ( B, line ends in ASCII."""
    out, kanji, i = bytearray(), False, 0
    while i < len(sjis):
        s1 = sjis[i]
        if s1 < 0x80:
            if kanji:
                out += b"\x1b(B"
                kanji = False
            out.append(s1)
            i += 1
            continue
        s2 = sjis[i + 1]
        j1 = ((s1 - 0x70) if s1 <= 0x9F else (s1 - 0xB0)) * 2 - 1
        if s2 >= 0x9F:
            j1, j2 = j1 + 1, s2 - 0x7E
        else:
            j2 = s2 - (0x20 if s2 >= 0x80 else 0x1F)
        if not kanji:
            out += b"\x1b$B"
            kanji = True
        out += bytes([j1, j2])
        i += 2
    if kanji:
        out += b"\x1b(B"
    return bytes(out)


def encoded_word(text: str) -> str:
    return "=?ISO-2022-JP?B?" + base64.b64encode(iso2022jp(d.cp932(text))).decode() + "?="


def message(issue: str, number: int, date: str) -> bytes:
    """A newsletter mail of the issue (LF line ends) in 7-bit ISO-2022-JP."""
    headers = (f"From: editor@piko.example.com\nDate: {date}\n"
               f"Message-ID: <issue-{number}@piko.example.com>\n"
               f"Subject: {encoded_word(f'ウィークリーぴこぴこ 第{number}号')}\n"
               "MIME-Version: 1.0\nContent-Type: text/plain; charset=ISO-2022-JP\n"
               "Content-Transfer-Encoding: 7bit\n\n")
    return headers.encode("ascii") + iso2022jp(d.cp932(issue))


def issue_with(entry: str) -> str:
    """The small issue with one more entry in its column."""
    text = d.issue_text()
    return text.replace("○本を読んで、昼寝をします。", f"○本を読んで、昼寝をします。\n\n○{entry}")


def scenario_drop_eml(desk: d.Desktop) -> None:
    options = {"WithStaffWord": True, "SaveAfterImport": True, "ConfirmSave": False,
               "AlwaysOnTop": False}
    issue = issue_with("①から⑩まで、㈱の書類はⅢ章〜です。")
    # The same issue as a code page 932 text file gives the expected clip.
    text_file = os.path.join(desk.tmp, "第217号.txt")
    d.write_file(text_file, d.cp932(issue.replace("\n", "\r\n")))
    clip = d.expected_clip(text_file, options)
    d.check("①" in clip and "㈱" in clip and "Ⅲ" in clip, f"the clip text lost a character: {clip}")
    eml = os.path.join(desk.tmp, "第217号.eml")
    d.write_file(eml, message(issue, 217, "Wed, 3 Jan 2024 09:00:00 +0900"))

    save_path = os.path.join(desk.tmp, "mail saves", "kept.txt")
    os.makedirs(os.path.dirname(save_path))
    app = desk.start_app(data_dat=d.data_dat(options=options), data2_dat=d.data2_dat(save_path))
    hint = app.copy_all()
    source = drag_onto_text_area(desk, app, "--as-file", eml)
    outcome = drop_outcome(source)
    d.check(outcome in ("drop: copy", "drop: move"), f"the .eml drop was not accepted ({outcome})")
    d.poll(lambda: app.dialogs() or app.copy_all() != hint, 10, "the drop to change the text area")
    d.check(not app.dialogs(), "a dialog appeared after dropping the .eml file")
    d.check_equal(app.copy_all(), lf(clip), "text area after dropping the .eml file")
    d.poll_equal(lambda: d.read_file(save_path), d.cp932(clip) + b"\r\n",
                 "save file after the .eml drop (SaveAfterImport)", timeout=10)
    desk.snap_window(app.main(), "window-after-eml-drop")
    source.kill()

    # Dragged out of a mail program: the message itself, as message/rfc822.
    other = issue_with("メールソフトからのドロップです。")
    d.write_file(text_file, d.cp932(other.replace("\n", "\r\n")))
    clip2 = d.expected_clip(text_file, options)
    d.write_file(eml, message(other, 218, "Wed, 10 Jan 2024 09:00:00 +0900"))
    source = drag_onto_text_area(desk, app, "--as-message", eml)
    outcome = drop_outcome(source)
    d.check(outcome in ("drop: copy", "drop: move"), f"the message drop was not accepted ({outcome})")
    d.poll(lambda: app.copy_all() == lf(clip2), 10, "the dropped message's clip text")
    d.poll_equal(lambda: d.read_file(save_path), d.cp932(clip) + b"\r\n" + d.cp932(clip2) + b"\r\n",
                 "save file after the message drop", timeout=10)
    d.check_equal(app.close(), 0, "exit status")


def scenario_mail_menu(desk: d.Desktop) -> None:
    options = {"AlwaysOnTop": False}
    save_path = os.path.join(desk.tmp, "menu saves", "kept.txt")
    os.makedirs(os.path.dirname(save_path))
    old = d.cp932("前からの行\r\n")
    d.write_file(save_path, old)
    # Three issues, written newest first, and a notice that is no issue.
    issues = [(issue_with(f"{n}号の投稿です。"), n, f"Mon, {n} Jan 2024 09:00:00 +0900")
              for n in (3, 1, 2)]
    mbox = b""
    for issue, number, date in issues:
        mbox += b"From editor@piko.example.com Mon Jan  1 00:00:00 2024\n"
        mbox += message(issue, number, date) + b"\n"
    notice = ("From: editor@piko.example.com\nDate: Sun, 7 Jan 2024 09:00:00 +0900\n"
              "Content-Type: text/plain; charset=us-ascii\n\nYour subscription is confirmed.\n")
    mbox += b"From editor@piko.example.com Mon Jan  1 00:00:00 2024\n" + notice.encode() + b"\n"
    mbox_path = os.path.join(desk.tmp, "newsletter.mbox")
    d.write_file(mbox_path, mbox)
    expected = old
    for issue, number, _ in sorted(issues, key=lambda item: item[1]):
        one = os.path.join(desk.tmp, f"{number}.txt")
        d.write_file(one, d.cp932(issue.replace("\n", "\r\n")))
        expected += d.cp932(d.expected_clip(one, options)) + b"\r\n"

    app = desk.start_app(data_dat=d.data_dat(options=options), data2_dat=d.data2_dat(save_path))
    hint = app.copy_all()
    app.open_menu(2)  # "mail"
    # Two items: a shorter drop-down than the Option menu's.
    menu = d.poll(lambda: next((w for w in desk.windows_of(app.proc.pid)
                                if w.override_redirect and w.height > 30), None),
                  5, "the mail menu to drop down")
    desk.snap_window(menu, "menu-mail", frame=False)
    desk.click(menu.x + menu.width / 2, menu.y + menu.height * 0.25)  # the mbox item
    dialog = app.wait_dialog()
    desk.snap_window(dialog, "file-dialog-mbox")
    app.choose_file(dialog, mbox_path)
    # The progress dialog ("メールから取り込み") may flash by; the summary is a
    # message box of the program's own title.
    summary = d.poll(lambda: next((w for w in app.dialogs() if desk.name_of(w.id) == "!Sorimba"),
                                  None), 30, "the summary of the mail import")
    d.poll(lambda: desk.frame_extents(summary.id) != (0, 0, 0, 0), 3, "the summary to be framed")
    d.poll(lambda: not d.is_blank(desk.grab(summary)), 5, "the summary to be painted")
    d.check_shows(desk.snap_window(summary, "message-mail-summary"), "取り込み", what="the summary")
    app.press_default(summary)
    d.check_equal(d.read_file(save_path), expected, "save file after importing the mbox")
    d.check_equal(app.copy_all(), hint, "text area after the mail import")
    d.check(not app.dialogs(), "a dialog is still open after the summary")
    d.check_equal(app.close(), 0, "exit status")


if __name__ == "__main__":
    d.main([scenario_drop_eml, scenario_mail_menu], budget=120)
