#!/usr/bin/python3
"""End to end, the installed program: the Debian package is unpacked into a
scratch root and its sorimba runs there under Xvfb with a scratch HOME.

- `--help` and `--version` answer without a display;
- `sorimba FILE` opens the window and imports FILE as a drop would;
- a second start with another FILE (named relative to its own working folder)
  hands the file to the open window and ends at once, without a window; the
  window, inside its font dialog then, imports the file when the dialog closes;
- closing stores data.dat in ~/.config/sorimba (made then, for the user
  only), and nothing is written beside the program;
- the next start reads its settings back from there.

The start-to-window time of the installed program is printed.
"""

import os
import stat
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import desktop as d  # noqa: E402

DEB_DIR = os.environ.get("SORIMBA_DEB_DIR") or os.path.join(d.BUILD, "packaging-test")


def tree(root: str) -> dict:
    """Every entry under root with its type, size and modification time."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            entries[os.path.relpath(path, root)] = (stat.S_IFMT(st.st_mode), st.st_size, st.st_mtime_ns)
    return entries


def unpack(desk: d.Desktop) -> str:
    debs = [f for f in os.listdir(DEB_DIR) if f.endswith(".deb")] if os.path.isdir(DEB_DIR) else []
    d.check(len(debs) == 1, f"expected one package in {DEB_DIR} (packaging.deb builds it), found {debs}")
    root = os.path.join(desk.tmp, "root")
    desk.run(["dpkg-deb", "-x", os.path.join(DEB_DIR, debs[0]), root])
    return root


def scenario_installed(desk: d.Desktop) -> None:
    root = unpack(desk)
    exe = os.path.join(root, "usr", "bin", "sorimba")
    # The default place: no XDG_CONFIG_HOME, only HOME.
    desk.env.pop("XDG_CONFIG_HOME", None)
    config = os.path.join(desk.env["HOME"], ".config", "sorimba")

    headless = {k: v for k, v in desk.env.items() if k not in ("DISPLAY", "QT_QPA_PLATFORM")}
    for flag, expected in (("--help", "Usage: sorimba"), ("--version", "sorimba ")):
        done = subprocess.run([exe, flag], env=headless, capture_output=True, timeout=10)
        d.check_equal(done.returncode, 0, f"exit status of sorimba {flag} without a display")
        d.check(done.stdout.decode().startswith(expected), f"sorimba {flag} printed {done.stdout!r}")

    before = tree(root)
    first = os.path.join(desk.tmp, "first issue.eml")  # any name: the user chose the file
    d.write_file(first, d.read_file(d.ISSUE))
    app = desk.start_app(exe=exe, args=(first,), settings_dir=config)
    d.log(f"installed program: start to window shown: {app.start_seconds * 1000:.0f} ms")
    # The clipboard carries LF line ends, as Linux programs expect.
    clip = d.expected_clip(d.ISSUE).replace("\r\n", "\n")
    d.poll(lambda: app.copy_all() == clip, 10, "the window to show the clip text of FILE")
    d.check(not os.path.exists(config), "the settings folder exists before the first close")

    # A second start, from another folder, with a relative file name, while
    # the window is inside its font dialog: the file waits for the dialog.
    other = os.path.join(desk.tmp, "elsewhere")
    os.makedirs(other)
    d.write_file(os.path.join(other, "issue-100.txt"),
                 d.read_file(os.path.join(d.FIXTURES, "issue-100.txt")))
    clip100 = d.expected_clip(os.path.join(d.FIXTURES, "issue-100.txt")).replace("\r\n", "\n")
    d.check(clip100 != clip, "the two fixtures give the same clip text")
    app.click_control("フォント")
    dialog = app.wait_dialog()
    inside = app.text_area_image()
    second = desk.spawn([exe, "issue-100.txt"], cwd=other)
    try:
        status = second.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise d.Failure("the second start did not end within 10 s")
    d.check_equal(status, 0, "exit status of the second start")
    time.sleep(0.5)  # time enough to import, had the window not waited
    d.check_equal(d.changed_pixels(app.text_area_image(), inside), 0,
                  "changed pixels of the text area while the font dialog is open")
    app.answer(dialog, "Escape")
    d.poll(lambda: app.copy_all() == clip100, 10, "the first window to import the handed file")
    windows = [w for w in desk.windows_of(app.proc.pid) if desk.name_of(w.id) == d.TITLE]
    d.check_equal(len(windows), 1, "windows titled !Sorimba")

    size = app.size()
    d.check_equal(app.close(), 0, "exit status after closing the window")
    stored = d.read_file(os.path.join(config, "data.dat"))
    d.check(stored, f"closing did not store {config}/data.dat")
    d.check(not os.path.exists(os.path.join(config, "data2.dat")), "data2.dat without a save path")
    d.check_equal(stat.S_IMODE(os.stat(config).st_mode), 0o700, "mode of ~/.config/sorimba")
    d.check_equal(tree(root), before, "the unpacked package after running the program")

    # The next start reads them back from there.
    again = desk.start_app(exe=exe, settings_dir=config)
    d.log(f"installed program, second start: start to window shown: {again.start_seconds * 1000:.0f} ms")
    d.poll_equal(again.size, size, "the window size at the next start")
    d.check_equal(again.close(), 0, "exit status after the second close")
    d.check_equal(d.read_file(os.path.join(config, "data.dat")), stored, "data.dat after the next start")
    d.check_equal(tree(root), before, "the unpacked package after the second run")


if __name__ == "__main__":
    d.main([scenario_installed], budget=120)
