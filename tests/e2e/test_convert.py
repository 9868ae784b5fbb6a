#!/usr/bin/python3
"""End to end: the "convert" menu.

The file dialog is answered by typing the full path of one .txt file, the
question "まとめて変換しますか？" with はい (folder mode): every .txt file of
that folder, whatever the letter case of its extension, gets one line per
paragraph; a Linux text file (LF line ends, no CR) keeps LF line ends; a
read-only .txt file, hidden files, files of other extensions and files in a
subfolder keep every byte, and the read-only file is named in a message.

With いいえ only the chosen file is converted, and a typed name of a missing
file creates nothing and is reported. The dialog opens with the save path at first and then
with the file chosen last, here or in the save-file choice.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402


def sjis(text: str) -> bytes:
    return text.encode("cp932")


# name -> (content before, content after); None after: must stay unchanged.
FOLDER = {
    "a.txt": (sjis("一行目\r\n二行目\r\n\r\n三行目\r\n"),
              sjis("一行目二行目\r\n\r\n三行目\r\n\r\n")),
    "B.TXT": (sjis("A\r\nB"), sjis("AB\r\n\r\n")),
    "空白.txt": (sjis("\u3000字下げ\r\n続き\r\n\r\n  \r\n"),
                 sjis("\u3000字下げ続き\r\n\r\n  \r\n\r\n")),
    # In a file with CR, an LF without CR is an ordinary character of its line.
    "lf.txt": (b"abc\ndef\r\nghi\r\n", b"abc\ndefghi\r\n\r\n"),
    # A file without CR (Linux): lines end at LF, and are written with LF.
    "linux.txt": ("一行目\n二行目\n\n三行目\n".encode("utf-8"),
                  "一行目二行目\n\n三行目\n\n".encode("utf-8")),
    "empty.txt": (b"", b"\r\n"),
    "done.txt": (sjis("段落一\r\n\r\n段落二\r\n\r\n"), sjis("段落一\r\n\r\n段落二\r\n\r\n")),
    "readonly.txt": (sjis("読み\r\n専用\r\n"), None),
    ".hidden.txt": (sjis("隠し\r\nファイル\r\n"), None),
    "notes.md": (sjis("別の\r\n拡張子\r\n"), None),
    "d.text": (sjis("別の\r\n拡張子\r\n"), None),
    os.path.join("sub", "e.txt"): (sjis("下の\r\nフォルダ\r\n"), None),
}


def scenario_convert_folder(desk: d.Desktop) -> None:
    folder = os.path.join(desk.tmp, "convert", "issues")
    os.makedirs(os.path.join(folder, "sub"))
    for name, (before, _) in FOLDER.items():
        d.write_file(os.path.join(folder, name), before)
    os.chmod(os.path.join(folder, "readonly.txt"), 0o444)

    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}))
    app.open_menu(1)  # "convert"
    dialog = app.wait_dialog()
    desk.snap_window(dialog, "file-dialog-convert")
    app.choose_file(dialog, os.path.join(folder, "a.txt"))
    question = app.wait_dialog()
    d.check_shows(desk.snap_window(question, "question-convert-folder"), "まとめて変換しますか",
                  what="the question")
    app.press_default(question)  # はい: the whole folder
    # The read-only file could not be converted: the user is told.
    failed = app.wait_dialog()
    d.check_shows(desk.snap_window(failed, "message-not-converted"), "変換できませんでした",
                  what="the failure message")
    app.press_default(failed)

    def content(name: str) -> bytes | None:
        return d.read_file(os.path.join(folder, name))

    def all_converted() -> bool:
        return all(content(name) == (after if after is not None else before)
                   for name, (before, after) in FOLDER.items())

    try:
        d.poll(all_converted, 10, "the folder to be converted")
    except d.Failure:
        for name, (before, after) in FOLDER.items():
            want = after if after is not None else before
            d.check_equal(content(name), want, f"{name} after converting the folder")
        raise
    d.check(not app.dialogs(), "a dialog is still open after converting")
    d.check_equal(sorted(os.listdir(folder)), sorted([n for n in FOLDER if os.sep not in n] + ["sub"]),
                  "names in the folder after converting")


def field_text(desk: d.Desktop, app: d.App, dialog: d.Window) -> str:
    """The file name field of the open-file dialog, copied out with ctrl+c."""
    sentinel = "nothing copied"
    desk.set_clipboard(sentinel)
    desk.activate(dialog.id)
    desk.key("ctrl+a", "ctrl+c")
    return d.poll(lambda: (lambda t: t if t not in (None, sentinel) else None)(desk.clipboard()),
                  5, "the file name field on the clipboard")


def scenario_convert_single_file(desk: d.Desktop) -> None:
    """いいえ converts the chosen file alone; a typed name of a missing file
    creates nothing; the file chosen here is what the save-file choice offers
    next, and cancelling that choice keeps the save path."""
    folder = os.path.join(desk.tmp, "single")
    os.makedirs(folder)
    before = sjis("一\r\n二\r\n")
    for name in ("x.txt", "y.txt"):
        d.write_file(os.path.join(folder, name), before)
    save_path = os.path.join(folder, "save.txt")
    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}),
                         data2_dat=d.data2_dat(save_path))

    app.open_menu(1)
    dialog = app.wait_dialog()
    d.check_equal(field_text(desk, app, dialog), "save.txt", "file name offered at first (the save path)")
    app.choose_file(dialog, os.path.join(folder, "x.txt"))
    question = app.wait_dialog()
    app.press_no(question)  # いいえ: this file only
    target = os.path.join(folder, "x.txt")
    d.poll(lambda: d.read_file(target) == sjis("一二\r\n\r\n"), 5, "x.txt to be converted")
    d.check(not app.dialogs(), "a dialog follows a conversion that went well")
    d.check_equal(d.read_file(os.path.join(folder, "y.txt")), before, "y.txt after converting x.txt alone")

    app.open_menu(1)
    dialog = app.wait_dialog()
    app.choose_file(dialog, os.path.join(folder, "missing.txt"))
    question = app.wait_dialog()
    app.press_no(question)
    failed = app.wait_dialog()
    d.check_shows(desk.snap_window(failed, "message-missing-not-converted"), "変換できませんでした",
                  what="the failure message")
    app.press_default(failed)
    d.check_equal(sorted(os.listdir(folder)), ["x.txt", "y.txt"], "files after converting a missing file")

    # The save-file choice opens with the file chosen last, here in convert.
    app.click_control("保　存", button=3)
    dialog = app.wait_dialog()
    d.check_equal(field_text(desk, app, dialog), "missing.txt", "file name offered by the save-file choice")
    app.answer(dialog, "Escape")
    d.check_equal(app.close(), 0, "exit status")
    d.check_equal(app.read("data2.dat"), d.data2_dat(save_path), "data2.dat after a cancelled choice")


if __name__ == "__main__":
    d.main([scenario_convert_folder, scenario_convert_single_file], budget=90)
