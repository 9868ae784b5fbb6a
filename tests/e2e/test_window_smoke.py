#!/usr/bin/python3
"""End to end, the quickest look: the program starts under a real X server
with a window manager, shows its window, and the window is not blank. Closing
it as a user would stores data.dat; a second start takes the stored size, and
closing again stores the same values. The start-to-window time is printed.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402


def scenario_smoke(desk: d.Desktop) -> None:
    app = desk.start_app()
    d.log(f"start to window shown: {app.start_seconds * 1000:.0f} ms")
    image = desk.snap_window(app.main(), "window-smoke")
    d.check(d.colour_count(image) > 8, "the window shows almost nothing")
    size = app.size()
    d.check_equal(app.close(), 0, "exit status after closing the window")
    stored = app.read("data.dat")
    d.check(stored, "closing did not store data.dat")

    # The second start runs from the same folder and reads that data.dat.
    again = desk.start_app(folder=app.dir)
    d.poll_equal(again.size, size, "the window size at the second start")
    d.check_equal(again.close(), 0, "exit status after the second close")
    d.check_equal(again.read("data.dat"), stored, "data.dat after the second start and close")


if __name__ == "__main__":
    d.main([scenario_smoke], budget=60)
