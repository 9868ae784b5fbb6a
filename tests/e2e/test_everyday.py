#!/usr/bin/python3
"""End to end: everyday use of the window, by keyboard and by sight.

Placeholder: the start-up hint "[ Weekly Piko2 ] をドラッグドロップして下さい"
shows in the empty text area but is not its text: すべてコピー gives nothing,
and 保　存 writes nothing and says so.

Keyboard: the start-up focus on 取り込み is drawn; Ctrl+A/C/V/X/Z work in the
text area; Ctrl+S saves; Ctrl+Shift+S, and the menu key or Shift+F10 on
保　存, open the save-file chooser, titled for choosing the save file;
Alt+O opens "Option" and Alt+C starts "convert" without typing a letter into
the text area.

Tooltip: 保　存's tooltip names the save file, or says that none is chosen.
"""

import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

HINT_TAIL = "をドラッグドロップして下さい"
NOTHING_SAVED = "保存しませんでした"


def wait_hint_shown(desk: d.Desktop, app: d.App, label: str) -> None:
    """Polls until the text area shows the hint, drawn in the light grey of
    a placeholder (darkened first, so its glyphs compare with black ones)."""
    def probe():
        area = app.text_area_image()
        area = area.crop((0, 0, area.width, min(area.height, 60)))
        dark = area.convert("L").point(lambda v: 0 if v < 200 else 255).convert("RGB")
        score, _ = d.japanese_rendered(dark, HINT_TAIL, 14, good_enough=0.8)
        d.log(f"glyph match of the hint: {score:.2f}")
        return area if score >= 0.8 else None
    desk.keep(d.poll(probe, 5, "the text area to show the hint", interval=0.3), label)


def no_dialog_follows(app: d.App, what: str, wait: float = 0.8) -> None:
    time.sleep(wait)
    d.check(not app.dialogs(), f"a dialog appeared after {what}")


def scenario_placeholder(desk: d.Desktop) -> None:
    folder = os.path.join(desk.tmp, "placeholder")
    os.makedirs(folder)
    save_path = os.path.join(folder, "save.txt")
    # 10.5 points (14 pixels): the hint's glyphs can be matched at that size.
    app = desk.start_app(data_dat=d.data_dat(size=10.5, options={"AlwaysOnTop": False}),
                         data2_dat=d.data2_dat(save_path))
    wait_hint_shown(desk, app, "placeholder")
    d.check_equal(app.copy_all(), "", "すべてコピー of the start-up text area")

    app.click_control("保　存")
    box = app.wait_dialog()
    d.check_shows(desk.snap_window(box, "message-nothing-to-save"), NOTHING_SAVED,
                  what="the message", threshold=0.8)
    app.press_default(box)
    no_dialog_follows(app, "the message")
    d.check(d.read_file(save_path) is None, "the save file was created from an empty text area")

    # Once text is there the hint is gone; once it is gone again, it is back.
    app.paste_into_text_area("文章")
    d.poll(lambda: app.copy_all() == "文章", 5, "the pasted text")
    x, y, w, h = app.text_area_rect()
    desk.click(x + w // 2, y + h // 2)  # すべてコピー took the focus
    desk.key("ctrl+a", "BackSpace")
    wait_hint_shown(desk, app, "placeholder-again")


def button_image(app: d.App, caption: str):
    """The pixels of a button of the main window."""
    left, top, width, height = d.CONTROLS[caption]
    mb = app.menubar_height()
    image = app.desk.grab(app.main())
    x, y = int(d.twips(left)), mb + int(d.twips(top))
    return image.crop((x, y, x + int(d.twips(width)), y + int(d.twips(height))))


def scenario_keyboard(desk: d.Desktop) -> None:
    folder = os.path.join(desk.tmp, "keys")
    os.makedirs(folder)
    save_path = os.path.join(folder, "save.txt")
    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False, "ConfirmSave": True}),
                         data2_dat=d.data2_dat(save_path))
    desk.activate(app.main().id)
    desk.move(5, 5)  # the pointer away from the buttons: no hover
    # The start-up focus on 取り込み is drawn; a click elsewhere takes it away.
    focused = d.poll(lambda: (lambda i: i if not d.is_blank(i) else None)(button_image(app, "取り込み")),
                     5, "取り込み to be drawn")
    time.sleep(0.3)
    focused = button_image(app, "取り込み")
    desk.keep(focused, "start-focus")
    x, y, w, h = app.text_area_rect()
    desk.click(x + w // 2, y + h // 2)
    desk.move(5, 5)
    d.poll(lambda: d.changed_pixels(focused, button_image(app, "取り込み")) > 20, 3,
           "the focus mark on 取り込み to go when the text area takes the focus")
    desk.keep(button_image(app, "取り込み"), "no-focus")

    # The text area's own keys.
    text = "一行目\n二行目"
    app.paste_into_text_area(text)  # Ctrl+V
    d.poll(lambda: app.copy_all() == text, 5, "Ctrl+V to paste")
    desk.click(x + w // 2, y + h // 2)
    desk.set_clipboard("空")
    desk.key("ctrl+a", "ctrl+c")
    d.poll(lambda: desk.clipboard() == text, 5, "Ctrl+A, Ctrl+C to copy the text")
    desk.set_clipboard("空")
    desk.key("ctrl+a", "ctrl+x")
    d.poll(lambda: desk.clipboard() == text, 5, "Ctrl+X to cut the text")
    d.check_equal(app.copy_all(), "", "the text area after Ctrl+X")
    desk.click(x + w // 2, y + h // 2)
    desk.key("ctrl+z")
    d.poll(lambda: app.copy_all() == text, 5, "Ctrl+Z to bring the text back")

    # Ctrl+S saves, with the notice.
    desk.click(x + w // 2, y + h // 2)
    desk.key("ctrl+s")
    box = app.wait_dialog()
    d.check_shows(desk.snap_window(box, "notice-after-ctrl-s"), "に保存しました", what="the notice")
    app.press_default(box)
    d.check_equal(d.read_file(save_path), d.cp932(text.replace("\n", "\r\n")) + b"\r\n",
                  "the save file after Ctrl+S")

    # Ctrl+Shift+S chooses the save file, in a chooser titled for it.
    desk.click(x + w // 2, y + h // 2)
    desk.key("ctrl+shift+s")
    dialog = app.wait_dialog()
    d.check_equal(desk.name_of(dialog.id), "保存先のファイルを選ぶ", "title of the save-file chooser")
    desk.snap_window(dialog, "save-file-chooser")
    chosen = os.path.join(folder, "other.txt")
    app.choose_file(dialog, chosen)
    no_dialog_follows(app, "choosing the save file")
    d.check(d.read_file(chosen) is None, "choosing the save file saved")

    # The menu key and Shift+F10 on 保　存, where Tab moves the focus from the
    # text area (the tab order is 取り込み, text area, すべてコピー, フォント, 保　存).
    for key in ("Menu", "shift+F10"):
        desk.click(x + w // 2, y + h // 2)
        desk.key("Tab", "Tab", "Tab")  # text area -> すべてコピー -> フォント -> 保　存
        desk.key(key)
        dialog = app.wait_dialog()
        d.check_equal(desk.name_of(dialog.id), "保存先のファイルを選ぶ", f"the chooser after {key}")
        app.answer(dialog, "Escape")

    # Alt+O opens "Option"; Alt+C starts "convert"; nothing is typed.
    desk.click(x + w // 2, y + h // 2)
    desk.key("ctrl+a", "BackSpace")
    desk.key("alt+o")
    menu = app.popup()
    desk.snap_window(menu, "option-menu-by-alt-o", frame=False)
    desk.key("Escape")
    d.poll(lambda: not any(win.override_redirect and win.height > 60
                           for win in desk.windows_of(app.proc.pid)), 3, "the menu to close")
    desk.key("alt+c")
    dialog = app.wait_dialog()
    d.check_equal(desk.name_of(dialog.id), "変換するファイルを選ぶ", "title of the convert chooser")
    app.answer(dialog, "Escape")
    d.check_equal(app.copy_all(), "", "the text area after Alt+O and Alt+C")
    d.check_equal(app.close(), 0, "exit status")
    d.check_equal(app.read("data2.dat"), d.data2_dat(chosen), "data2.dat after Ctrl+Shift+S")


def tooltip(desk: d.Desktop, app: d.App) -> d.Window:
    """Hovers over 保　存 and returns its tooltip window."""
    desk.move(5, 5)
    time.sleep(0.3)
    desk.move(*app.control_centre("保　存"))

    def shown():
        for win in desk.windows_of(app.proc.pid):
            if win.override_redirect and win.height < 80 and win.width > 40:
                return win
        return None
    return d.poll(shown, 8, "the tooltip of 保　存")


def scenario_tooltip(desk: d.Desktop) -> None:
    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}))
    desk.activate(app.main().id)
    tip = desk.snap_window(tooltip(desk, app), "tooltip-no-save-file", frame=False)
    d.check_shows(tip, "右クリックで保存場所の変更", what="the tooltip")
    d.check_shows(tip, "まだ選ばれていません", what="the tooltip")
    d.check_equal(app.close(), 0, "exit status")

    folder = os.path.join(desk.tmp, "記録フォルダ")
    os.makedirs(folder)
    app = desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}),
                         data2_dat=d.data2_dat(os.path.join(folder, "投稿.txt")))
    desk.activate(app.main().id)
    tip = desk.snap_window(tooltip(desk, app), "tooltip-save-file", frame=False)
    d.check_shows(tip, "記録フォルダ", what="the tooltip", threshold=0.7)
    d.check_equal(app.close(), 0, "exit status")


if __name__ == "__main__":
    d.main([scenario_placeholder, scenario_keyboard, scenario_tooltip], budget=150)
