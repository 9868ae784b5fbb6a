#!/usr/bin/python3
"""End to end: settings survive a restart.

First start without settings files: the design size and the first-built
options (always on top). The user chooses a save file with a right click on
"保　存", resizes the window, switches four options in the real menu and
closes the window through the window manager (wmctrl -c). data.dat then holds
the outer size, font, colour and the nine options in the exact layout, and
data2.dat the save path. The second start restores all of it: the size, not
on top, the clip text with vote lines copied to the clipboard after an import,
a save to the chosen file without a notice. A cancelled font dialog changes
nothing, and closing again writes the same two files.

Also: a data.dat of its own (font, 10.5 points, red) is applied and written
back byte for byte; a size chosen in the font dialog shows at once and is
stored; minimising keeps the layout and closing while minimised stores the
normal size.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402


DESIGN_CLIENT = (7065, 5820)  # twips, the client area below the menu bar
NEW_CLIENT = (560, 470)       # pixels, the whole X window of the main window
SWITCHED = ["CopyAfterImport", "WithVotes", "AlwaysOnTop", "ConfirmSave"]


def scenario_restart(desk: d.Desktop) -> None:
    save_dir = os.path.join(desk.tmp, "restart saves")
    os.makedirs(save_dir)
    save_path = os.path.join(save_dir, "clip log.txt")

    app = desk.start_app()
    folder = app.dir
    main = app.main()
    mb = app.menubar_height()
    d.log(f"menu bar {mb} px, frame extents {desk.frame_extents(main.id)}")
    d.poll_equal(lambda: (app.size()[0], app.size()[1] - mb),
                 (round(d.twips(DESIGN_CLIENT[0])), round(d.twips(DESIGN_CLIENT[1]))),
                 "client area at first start (pixels)")
    d.poll(lambda: "_NET_WM_STATE_ABOVE" in desk.net_wm_state(app.main().id), 5,
           "_NET_WM_STATE_ABOVE at first start")
    app.check_layout()

    # Choose the save file: right button on "保　存", a name that does not exist yet.
    app.click_control("保　存", button=3)
    dialog = app.wait_dialog()
    desk.snap_window(dialog, "file-dialog-save-choice")
    app.choose_file(dialog, save_path)
    d.check(not os.path.exists(save_path), "choosing the save file created it")

    desk.xdotool("windowsize", app.main().id, *NEW_CLIENT)
    d.poll_equal(app.size, NEW_CLIENT, "the window's new size", timeout=5)
    app.check_layout()
    for name in SWITCHED:
        app.click_option(name, snap="option-menu" if name == SWITCHED[0] else None)
    d.poll(lambda: "_NET_WM_STATE_ABOVE" not in desk.net_wm_state(app.main().id), 5,
           "_NET_WM_STATE_ABOVE to go")
    d.poll_equal(app.size, NEW_CLIENT, "window size after switching the options")
    outer = app.outer_twips()
    d.check_equal(app.close(), 0, "exit status after closing")

    options = {name: d.OPTION_DEFAULTS[name] != (name in SWITCHED) for name in d.OPTION_NAMES}
    want_dat = d.data_dat(width=outer[0], height=outer[1], options=options)
    first_dat = app.read("data.dat")
    d.check_equal(first_dat, want_dat, "data.dat after the first run")
    d.check_equal(app.read("data2.dat"), d.data2_dat(save_path), "data2.dat after the first run")

    # Second start from the same folder.
    app = desk.start_app(folder=folder)
    d.poll_equal(app.size, NEW_CLIENT, "window size restored")
    main = app.main()
    app.check_layout()
    d.check("_NET_WM_STATE_ABOVE" not in desk.net_wm_state(main.id), "the window is on top again")

    clip = d.expected_clip(d.ISSUE, options)
    desk.set_clipboard(d.issue_text())
    app.click_control("取り込み")
    d.poll(lambda: desk.clipboard() == clip.replace("\r\n", "\n"), 10,
           "the clip text with vote lines on the clipboard (CopyAfterImport, WithVotes)")
    d.check("◇これに一票" in clip, "the sample issue has no vote line")

    app.click_control("保　存")
    want = d.cp932(clip) + b"\r\n"
    d.poll(lambda: d.read_file(save_path) == want, 5,
           "the save to the restored save path")
    d.check(not app.dialogs(), "a notice appeared although 保存確認メッセージ was switched off")
    desk.snap_window(app.main(), "window-after-restart")

    # The font dialog, cancelled: nothing changes (data.dat below).
    app.click_control("フォント")
    dialog = app.wait_dialog()
    desk.snap_window(dialog, "font-dialog")
    app.answer(dialog, "Escape")

    d.check_equal(app.close(), 0, "exit status after the second close")
    d.check_equal(app.read("data.dat"), first_dat, "data.dat after the second run")
    d.check_equal(app.read("data2.dat"), d.data2_dat(save_path), "data2.dat after the second run")


# Japanese text put into the text area to see its font; at 12 pixels (9
# points) it scores below 0.3 against 14-pixel glyphs.
SHOWN = "をドラッグドロップして下さい"


def scenario_settings_round_trip(desk: d.Desktop) -> None:
    """A data.dat with a font, a fractional size and an RGB colour of its own
    is applied at start (red glyphs, 10.5 points = 14 pixels) and written
    back byte for byte when the window is closed at once."""
    options = {name: name in ("WithTitles", "JoinLines") for name in d.OPTION_NAMES}
    dat = d.data_dat(width=8400, height=7200, font="IPAGothic", size=10.5, colour=0x0000FF,
                     options=options)
    app = desk.start_app(data_dat=dat)
    d.poll_equal(app.outer_twips, (8400, 7200), "outer size from data.dat (twips)")
    main = app.main()
    d.check("_NET_WM_STATE_ABOVE" not in desk.net_wm_state(main.id), "on top although unchecked")

    # Text typed in (pasted) shows in the stored font and colour; the
    # paste changes nothing that is stored.
    app.paste_into_text_area(SHOWN)
    area = app.wait_text_area_shows(SHOWN, 14, threshold=0.6, rows=60)
    desk.keep(area, "text-area-red-10.5pt")
    reds = sum(1 for r, g, b in area.getdata() if r > 150 and g < 90 and b < 90)
    d.check(reds > 100, f"the text is not drawn in red ({reds} red pixels)")

    d.check_equal(app.close(), 0, "exit status")
    d.check_equal(app.read("data.dat"), dat, "data.dat written back after an unchanged run")
    d.check(app.read("data2.dat") is None, "data2.dat was created without a save path")


def scenario_font_choice(desk: d.Desktop) -> None:
    """A size typed into the font dialog (10.5 points) and confirmed with OK
    shows at once (14 pixels) and is stored in data.dat."""
    dat = d.data_dat(options={"AlwaysOnTop": False})
    app = desk.start_app(data_dat=dat)
    app.click_control("フォント")
    dialog = app.wait_dialog()
    desk.activate(dialog.id)
    desk.key("Tab", "ctrl+a")  # from the face to the size field
    desk.type_text("10.5")
    desk.snap_window(dialog, "font-dialog-10.5")
    app.press_default(dialog)  # OK
    app.paste_into_text_area(SHOWN)
    area = app.wait_text_area_shows(SHOWN, 14, threshold=0.6, rows=60)
    desk.keep(area, "text-area-10.5pt")
    d.check_equal(app.close(), 0, "exit status")
    d.check_equal(app.read("data.dat"), d.data_dat(size=10.5, options={"AlwaysOnTop": False}),
                  "data.dat after choosing 10.5 points")


def scenario_minimised(desk: d.Desktop) -> None:
    """Minimising and restoring keeps the layout; closing while minimised
    stores the normal size, so the next start is not a sliver."""
    dat = d.data_dat(width=7800, height=6900, options={"AlwaysOnTop": False})
    app = desk.start_app(data_dat=dat)
    d.poll_equal(app.outer_twips, (7800, 6900), "outer size from data.dat (twips)")
    main = app.main()
    size = (main.width, main.height)
    for close in (False, True):
        desk.xdotool("windowminimize", main.id)
        d.poll(lambda: "_NET_WM_STATE_HIDDEN" in desk.net_wm_state(main.id), 5, "the window to minimise")
        if close:
            break
        desk.run(["wmctrl", "-i", "-a", main.hex])
        d.poll(lambda: "_NET_WM_STATE_HIDDEN" not in desk.net_wm_state(app.main().id), 5,
               "the window to come back")
        main = app.main()
        d.check_equal((main.width, main.height), size, "window size after minimise and restore")
        app.check_layout()
    d.check_equal(app.close(), 0, "exit status after closing the minimised window")
    d.check_equal(app.read("data.dat"), dat, "data.dat after closing the minimised window")


if __name__ == "__main__":
    d.main([scenario_restart, scenario_settings_round_trip, scenario_font_choice, scenario_minimised],
           budget=90)
