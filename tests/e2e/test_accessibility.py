#!/usr/bin/python3
"""End to end: what a screen reader finds in the window, through AT-SPI.

The script runs on a D-Bus session bus of its own (it starts itself again
under dbus-run-session), where the accessibility bus is started on demand;
the program runs with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, so its controls are
published there as they would be for Orca. pyatspi (Debian's python3-pyatspi)
then walks the program's tree of accessible objects: every control shown,
the text area included, and every entry of the menu bar and of the "Option"
menu has a name and a description.
"""

import os
import shutil
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

PRIVATE_BUS = "SORIMBA_E2E_PRIVATE_BUS"

if os.environ.get(PRIVATE_BUS) != "1":
    if not shutil.which("dbus-run-session"):
        print("FAIL: dbus-run-session is not installed (tools/install-deps.sh installs dbus)")
        sys.exit(1)
    env = dict(os.environ, **{PRIVATE_BUS: "1"})
    os.execvpe("dbus-run-session", ["dbus-run-session", "--", sys.executable,
                                    os.path.abspath(__file__), *sys.argv[1:]], env)

import desktop as d  # noqa: E402

try:
    import pyatspi  # noqa: E402
except ImportError as missing:
    print(f"FAIL: {missing}: this test needs Debian's python3-pyatspi and at-spi2-core "
          "(tools/install-deps.sh installs them)")
    sys.exit(1)

CAPTIONS = ["取り込んだ後クリップボードにコピー", "「●タイトル」も取り込む", "「◇これに一票」も取り込む",
            "「スタッフのひとこと」を取り込む", "「ぴこぴこについて」を取り込む", "常に手前に表示",
            "文章連結", "取り込んだ後すぐ保存", "保存確認メッセージ"]


def start_accessible_app(desk: d.Desktop) -> d.App:
    return desk.start_app(data_dat=d.data_dat(options={"AlwaysOnTop": False}), env={
        "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"],
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "QT_ACCESSIBILITY": "1",
        "NO_AT_BRIDGE": None,
    })


def accessible_app(pid: int):
    """The program's application object on the accessibility bus."""
    def find():
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid and app.childCount > 0:
                    return app
            except Exception:  # noqa: BLE001 - an application that went away
                continue
        return None
    return d.poll(find, 15, "the program on the accessibility bus", interval=0.2)


def walk(node, depth: int = 0, path: str = ""):
    """Every accessible object below node, with the path of names to it."""
    for child in node:
        if child is None:
            continue
        here = f"{path}/{child.getRoleName()}:{child.name!r}"
        yield child, here
        if depth < 12:
            yield from walk(child, depth + 1, here)


def scenario_names_and_descriptions(desk: d.Desktop) -> None:
    app = start_accessible_app(desk)
    root = accessible_app(app.proc.pid)
    frames = [child for child in root if child is not None and child.name == d.TITLE]
    d.check(frames, f"no frame named {d.TITLE} among {[c.name for c in root if c is not None]}")
    frame = frames[0]
    d.check(frame.description, "the window has no accessible description")

    missing = []
    found = {}
    for node, path in walk(frame):
        role = node.getRoleName()
        showing = node.getState().contains(pyatspi.STATE_SHOWING)
        is_item = node.getRole() in (pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM,
                                     pyatspi.ROLE_MENU)
        d.log(f"{path} description={node.description!r} showing={showing}")
        if (showing or is_item) and (not node.name or not node.description):
            missing.append(path)
        found.setdefault(role, []).append(node)
    d.check(not missing, "without a name or a description:\n  " + "\n  ".join(missing))

    names = {role: sorted(n.name for n in nodes) for role, nodes in found.items()}
    for name in ("取り込み", "保存", "すべてコピー", "フォント"):
        d.check(name in names.get("push button", []), f"no push button named {name}: {names}")
    d.check("取り込んだ文章" in names.get("text", []), f"no text area named 取り込んだ文章: {names}")
    d.check(names.get("menu bar"), f"no menu bar: {names}")

    # The menu bar's entries, and the nine option items under "Option".
    items = [n for nodes in found.values() for n in nodes
             if n.getRole() in (pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM,
                                pyatspi.ROLE_MENU)]
    item_names = [n.name for n in items]
    for name in ["Option", "convert"] + CAPTIONS:
        d.check(name in item_names, f"no menu entry named {name}: {item_names}")
    checked = {n.name: n.getState().contains(pyatspi.STATE_CHECKED) for n in items}
    d.check_equal([checked[c] for c in CAPTIONS], [c == "保存確認メッセージ" for c in CAPTIONS],
                  "checked option items (all off but 保存確認メッセージ)")
    d.check_equal(app.close(), 0, "exit status")


if __name__ == "__main__":
    d.main([scenario_names_and_descriptions], budget=90)
