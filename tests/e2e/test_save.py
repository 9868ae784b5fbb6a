#!/usr/bin/python3
"""End to end: the "保　存" button and keeping the window on top.

Plain save: the save path comes from data2.dat (a folder with a space, a
file name with a comma and Japanese letters); a left click appends the text
area to the file in code page 932 with CR LF, keeping the old lines byte for
byte; a second click asks "再び保存しますか？", いいえ leaves the file alone,
はい appends the same text once more.

First save without a save path: the file dialog comes first, the typed new
file is created, and data2.dat keeps it after closing.

A read-only save file keeps its bytes and the user is told so, twice.

Per-title save: with WithTitles the text is cut at its "●" lines into one
file per title in the save file's folder; the save file itself is not
touched.

Always on top: the window starts with _NET_WM_STATE_ABOVE; two clicks on
"常に手前に表示" in the real menu drop it and bring it back, without moving or
resizing the window, and another window raised over it stays below it only
while it is set.
"""

import os
import re
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402


def import_from_clipboard(desk: d.Desktop, app: d.App, clip: str) -> None:
    app.import_clipboard(d.issue_text())
    d.check(not app.dialogs(), "a dialog appeared after the import")
    d.check_equal(app.copy_all(), clip.replace("\r\n", "\n"), "text area after the import")


def title_files(clip: str) -> dict:
    """What a per-title save of clip appends to each title's file: name ->
    text. A title line is a line holding "●" after an empty line; its name
    runs from the second character to the first full-width space; the first
    and last lines are never looked at."""
    lines = clip.split("\r\n")
    files: dict = {}
    current = None
    name = ""
    for i in range(1, len(lines) - 1):
        line = lines[i]
        if "●" in line and lines[i - 1] == "":
            if current is not None and lines[i + 1] == "":
                files[current].append("")
            cut = line.find("\u3000")
            if cut == -1:
                name = line[1:]
            elif cut >= 1:
                name = line[1:cut]
            name = re.sub(r'[\\/:,;*?<>|"]', "", name)
            current = name
            files.setdefault(current, [])
        elif current is not None:
            files[current].append(line)
    return {name: "".join(line + "\r\n" for line in body) for name, body in files.items()}


def scenario_save_plain(desk: d.Desktop) -> None:
    options = {"ConfirmSave": True}
    clip = d.expected_clip(d.ISSUE, options)
    folder = os.path.join(desk.tmp, "save folder")
    os.makedirs(folder)
    save_path = os.path.join(folder, "ぴこ,記録.txt")
    old = "1,000\r\n\"引用\"\r\n  先頭の空白\r\n\r\n最後の行".encode("cp932")
    d.write_file(save_path, old)
    app = desk.start_app(data_dat=d.data_dat(options=options), data2_dat=d.data2_dat(save_path))
    import_from_clipboard(desk, app, clip)

    app.click_control("保　存")
    notice = app.wait_dialog()
    d.check_shows(desk.snap_window(notice, "message-saved"), "に保存しました", what="the notice")
    app.press_default(notice)
    # The old last line gets its line end; then the text area and one CR LF.
    once = old + b"\r\n" + d.cp932(clip) + b"\r\n"
    d.check_equal(d.read_file(save_path), once, "save file after the first save")
    # The first entry, byte for byte as code page 932 has it (not from iconv).
    entry = bytes.fromhex("819b945b93a482b282cd82f182c696a191588f6082c582b781420d0a")
    d.check(once[len(old) + 2:].startswith(entry), "the first entry's code page 932 bytes")

    app.click_control("保　存")
    question = app.wait_dialog()
    d.check_shows(desk.snap_window(question, "question-save-again"), "再び保存しますか",
                  what="the question")
    app.press_no(question)
    d.check(not app.dialogs(), "a notice followed いいえ")
    d.check_equal(d.read_file(save_path), once, "save file after いいえ")

    app.click_control("保　存")
    question = app.wait_dialog()
    app.press_default(question)  # はい
    notice = app.wait_dialog()
    app.press_default(notice)
    d.check_equal(d.read_file(save_path), once + d.cp932(clip) + b"\r\n", "save file after はい")
    d.check_equal(sorted(os.listdir(folder)), ["ぴこ,記録.txt"], "files in the save folder")


def scenario_first_save_asks_for_file(desk: d.Desktop) -> None:
    """Without a save path the first save opens the file dialog; the typed
    name of a new file is created with the text, and kept in data2.dat."""
    clip = d.expected_clip(d.ISSUE)
    folder = os.path.join(desk.tmp, "first")
    os.makedirs(folder)
    save_path = os.path.join(folder, "new.txt")
    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}))
    import_from_clipboard(desk, app, clip)
    app.click_control("保　存")
    dialog = app.wait_dialog()
    desk.snap_window(dialog, "file-dialog-first-save")
    app.choose_file(dialog, save_path)
    notice = app.wait_dialog()
    app.press_default(notice)
    d.check_equal(d.read_file(save_path), d.cp932(clip) + b"\r\n", "the new save file")
    d.check_equal(app.close(), 0, "exit status")
    d.check_equal(app.read("data2.dat"), d.data2_dat(save_path), "data2.dat after the first save")


def scenario_save_read_only(desk: d.Desktop) -> None:
    """A save file whose write bits are cleared keeps every byte, even for
    root; the user is told (not told it was saved), and as nothing was
    stored the next click tries again without asking "再び保存しますか？"."""
    clip = d.expected_clip(d.ISSUE)
    folder = os.path.join(desk.tmp, "read-only")
    os.makedirs(folder)
    save_path = os.path.join(folder, "locked.txt")
    old = "古い行\r\n".encode("cp932")
    d.write_file(save_path, old)
    os.chmod(save_path, 0o444)
    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}),
                         data2_dat=d.data2_dat(save_path))
    import_from_clipboard(desk, app, clip)
    for attempt in (1, 2):
        app.click_control("保　存")
        box = app.wait_dialog()
        image = desk.snap_window(box, f"message-not-saved-{attempt}")
        # (The reason follows the path, so where it wraps depends on the
        # temporary folder's name; the first line is what is checked.)
        d.check_shows(image, "保存できませんでした", what="the message")
        app.press_default(box)
        d.check_equal(d.read_file(save_path), old, "the read-only save file")


def scenario_save_titles(desk: d.Desktop) -> None:
    options = {"WithTitles": True, "WithStaffWord": True, "ConfirmSave": True}
    clip = d.expected_clip(d.ISSUE, options)
    expected = title_files(clip)
    d.check(len(expected) >= 3, f"the sample issue gives too few titles: {list(expected)}")
    folder = os.path.join(desk.tmp, "titles")
    os.makedirs(folder)
    save_path = os.path.join(folder, "all.txt")
    first = next(iter(expected))
    old = "前回の投稿\r\n".encode("cp932")
    d.write_file(os.path.join(folder, first + ".txt"), old)
    app = desk.start_app(data_dat=d.data_dat(options=options), data2_dat=d.data2_dat(save_path))
    import_from_clipboard(desk, app, clip)

    app.click_control("保　存")
    notice = app.wait_dialog()
    d.check_shows(desk.snap_window(notice, "message-saved-per-title"), "タイトル」別に保存しました",
                  what="the notice")
    app.press_default(notice)

    d.check_equal(sorted(os.listdir(folder)), sorted(name + ".txt" for name in expected),
                  "files in the save folder after a per-title save")
    for name, text in expected.items():
        want = (old if name == first else b"") + d.cp932(text)
        d.check_equal(d.read_file(os.path.join(folder, name + ".txt")), want, f"title file {name}.txt")


def scenario_always_on_top(desk: d.Desktop) -> None:
    app = desk.start_app()  # first start: AlwaysOnTop is checked
    main = app.main()
    d.poll(lambda: "_NET_WM_STATE_ABOVE" in desk.net_wm_state(app.main().id), 5,
           "_NET_WM_STATE_ABOVE at start")
    before = main.geometry()

    # Another window placed over ours and activated stays below it.
    _, other_win = desk.start_drag_source(d.ISSUE)
    desk.move_window(other_win.id, main.x + 40, main.y + 60)
    desk.activate(other_win.id)

    def above(upper: int, lower: int) -> bool:
        order = desk.stacking()
        return upper in order and lower in order and order.index(upper) > order.index(lower)

    d.poll(lambda: above(app.main().id, other_win.id), 3, "our window to stay above the active one")

    app.click_option("AlwaysOnTop")
    d.poll(lambda: "_NET_WM_STATE_ABOVE" not in desk.net_wm_state(app.main().id), 5,
           "_NET_WM_STATE_ABOVE to go")
    d.check_equal(app.main().geometry(), before, "window geometry after unchecking 常に手前に表示")
    desk.activate(other_win.id)
    d.poll(lambda: above(other_win.id, app.main().id), 3, "the active window to come above ours")

    app.click_option("AlwaysOnTop")
    d.poll(lambda: "_NET_WM_STATE_ABOVE" in desk.net_wm_state(app.main().id), 5,
           "_NET_WM_STATE_ABOVE to come back")
    d.check_equal(app.main().geometry(), before, "window geometry after checking 常に手前に表示 again")
    desk.activate(other_win.id)
    d.poll(lambda: above(app.main().id, other_win.id), 3, "our window to stay above again")
    desk.snap_window(app.main(), "window-on-top")


if __name__ == "__main__":
    d.main([scenario_save_plain, scenario_first_save_asks_for_file, scenario_save_read_only,
            scenario_save_titles, scenario_always_on_top], budget=120)
