"""A private X desktop for the end-to-end tests of Sorimba.

Starts Xvfb on a free display with openbox as its window manager, runs the
real program from a private folder (data.dat and data2.dat live beside the
executable), drives it with xdotool as a person would, puts text on the real
clipboard with xclip, takes screenshots and tears everything down on every
way out. Windows are looked at through python-xlib and pixels handled with
PIL (Debian's python3-xlib and python3-pil, hence the scripts' interpreter
/usr/bin/python3).

Every wait is a short poll with an overall timeout, and each test script runs
under a watchdog alarm, so nothing can hang a CI run.

Each test_*.py script runs its scenarios on one desktop; CTest runs the
scripts with SORIMBA_APP, SORIMBA_CLIP, SORIMBA_SOURCE and SORIMBA_BUILD
set. By hand: `SORIMBA_BUILD=build tests/e2e/test_save.py [SCENARIO...]`.
Screenshots go to $SORIMBA_BUILD/artifacts/e2e/<script>/; with
SORIMBA_E2E_PROFILE=1 a script also prints where its time went. A script
prints "SKIP: " and exits 0 when no X server can be started.

Typical use:

    import desktop as d
    def scenario_x(desk: d.Desktop) -> None:
        app = desk.start_app(data_dat=d.data_dat(options={"JoinLines": True}))
        app.import_clipboard(d.issue_text())    # real clipboard, real click
        d.check_equal(app.copy_all(), ..., "text area after the import")
        box = app.wait_dialog()                 # a message box of the program
        d.check_shows(desk.snap_window(box, "label"), "取り込めませんでした")
    d.main([scenario_x])

The pieces: Desktop (processes, windows, input, clipboard, screenshots), App
(the program: its window's controls, menus, dialogs, settings files), the
settings-file builders data_dat/data2_dat, expected_clip (the clip text
sorimba-clip gives), and the image checks colour_count, is_blank,
changed_pixels and check_shows on PIL images.
"""

from __future__ import annotations

import ctypes
import functools
import io
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from dataclasses import dataclass

try:
    from PIL import Image, ImageChops
    from Xlib import X
    from Xlib import error as xerror
    from Xlib.display import Display
except ImportError as missing:
    print(f"FAIL: {missing} in {sys.executable}: the desktop tests need Debian's python3-pil and "
          "python3-xlib (tools/install-deps.sh installs them)")
    sys.exit(1)

# --------------------------------------------------------------------------
# Environment of the test run

SOURCE = os.environ.get("SORIMBA_SOURCE") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("SORIMBA_BUILD") or os.path.join(SOURCE, "build")
APP = os.environ.get("SORIMBA_APP") or os.path.join(BUILD, "sorimba")
CLIP = os.environ.get("SORIMBA_CLIP") or os.path.join(BUILD, "sorimba-clip")
DRAG_SOURCE = os.path.join(BUILD, "tests", "e2e", "sorimba-drag-source")
ARTIFACTS = os.path.join(BUILD, "artifacts", "e2e")
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")
# A small issue of our own: UTF-8 with LF line ends, as Linux programs hold it.
ISSUE = os.path.join(FIXTURES, "issue.txt")

TITLE = "!Sorimba"
SCREEN_W, SCREEN_H = 1280, 900
DPI = 96  # Qt's logical DPI on X11 when Xft.dpi is not set


def twips(value: float) -> float:
    """Twips to pixels at the logical DPI."""
    return value * DPI / 1440


def twips_of(pixels: float) -> float:
    """Pixels to twips at the logical DPI."""
    return pixels * 1440 / DPI


# Buttons of the main window: left, top, width, height in twips, measured
# from the client area below the menu bar.
CONTROLS = {
    "取り込み": (60, 120, 1275, 435),
    "保　存": (1440, 120, 1275, 435),
    "すべてコピー": (2880, 120, 1275, 435),
    "フォント": (4260, 120, 1275, 435),
}
CLIP_VIEW_LEFT, CLIP_VIEW_TOP = 60, 660
# The text area (clipView) keeps these margins to the client area.
CLIP_VIEW_RIGHT_MARGIN, CLIP_VIEW_BOTTOM_MARGIN = 165, 765

OPTION_NAMES = ["CopyAfterImport", "WithTitles", "WithVotes", "WithStaffWord", "WithAbout",
                "AlwaysOnTop", "JoinLines", "SaveAfterImport", "ConfirmSave"]
OPTION_DEFAULTS = {name: name in ("AlwaysOnTop", "ConfirmSave") for name in OPTION_NAMES}
WINDOW_TEXT_COLOUR = -2147483640
DEFAULT_FONT = "ＭＳ ゴシック"


class Skip(Exception):
    """The environment cannot run the test at all (no X server)."""


class Failure(AssertionError):
    """A scenario's check failed."""


def log(*args) -> None:
    print(f"[{time.strftime('%H:%M:%S')}]", *args, flush=True)


def check(condition, message: str) -> None:
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what: str) -> None:
    if actual != expected:
        raise Failure(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")


def poll(probe, timeout: float, what: str, interval: float = 0.05):
    """Calls probe() until it returns something truthy; returns that value."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def poll_equal(probe, expected, what: str, timeout: float = 3):
    """Polls until probe() == expected (the window may still be settling,
    for instance taking its stored size once the frame is known); fails
    with the last value seen."""
    seen = []
    try:
        poll(lambda: seen.append(probe()) or seen[-1] == expected, timeout, what)
    except Failure:
        check_equal(seen[-1], expected, what)
    return expected


def _die_with_parent() -> None:
    # Children get SIGTERM when this test process dies, however it dies.
    try:
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass


# --------------------------------------------------------------------------
# Files

def _number(value: float) -> str:
    text = f"{value:.4f}".rstrip("0").rstrip(".") if value != int(value) else str(int(value))
    return (" " + text if value >= 0 else text) + " "


def data_dat(width: float = 7185, height: float = 6510, font: str = DEFAULT_FONT,
             size: float = 9, colour: int = WINDOW_TEXT_COLOUR, options: dict | None = None) -> bytes:
    """The bytes of a data.dat in the program's layout (code page 932, CR LF);
    options maps names of OPTION_NAMES to True/False over OPTION_DEFAULTS."""
    values = dict(OPTION_DEFAULTS)
    for name, state in (options or {}).items():
        check(name in values, f"unknown option {name}")
        values[name] = state
    lines = [_number(width), _number(height), font, _number(size), _number(colour)]
    lines += ["True" if values[name] else "False" for name in OPTION_NAMES]
    return "".join(line + "\r\n" for line in lines).encode("cp932")


def data2_dat(save_path: str) -> bytes:
    """The bytes of a data2.dat naming save_path."""
    return (save_path + "\r\n").encode("cp932")


def read_line(proc, timeout: float) -> str:
    """The next line a child process prints on its stdout pipe."""
    ready, _, _ = select.select([proc.stdout], [], [], timeout)
    check(ready, f"{os.path.basename(proc.args[0])} printed nothing within {timeout} s")
    return proc.stdout.readline().decode("utf-8", "replace").strip()


def read_file(path: str) -> bytes | None:
    """A file's bytes, or None when it does not exist."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def write_file(path: str, data: bytes) -> None:
    with open(path, "wb") as f:
        f.write(data)


def issue_text() -> str:
    """The text of the small issue ISSUE (LF line ends)."""
    with open(ISSUE, encoding="utf-8") as f:
        return f.read()


def cp932(text: str) -> bytes:
    """Encodes like the program does (glibc iconv CP932)."""
    done = subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=text.encode("utf-8"),
                          capture_output=True, timeout=10)
    check(done.returncode == 0, f"iconv cannot encode {text!r}: {done.stderr!r}")
    return done.stdout


EXTRACT_FLAGS = {
    "WithTitles": "--with-titles",
    "WithVotes": "--with-votes",
    "WithStaffWord": "--with-staff-word",
    "WithAbout": "--with-about",
    "JoinLines": "--join-lines",
}


def expected_clip(issue_path: str, options: dict | None = None) -> str:
    """The clip text (CR LF line ends) that sorimba-clip extracts from an
    issue file with the extraction options set in options."""
    flags = [flag for name, flag in EXTRACT_FLAGS.items() if (options or {}).get(name)]
    done = subprocess.run([CLIP, "extract", *flags, issue_path], capture_output=True, timeout=20)
    check(done.returncode == 0,
          f"sorimba-clip extract {' '.join(flags)} failed ({done.returncode}): "
          f"{done.stderr.decode('utf-8', 'replace')}")
    text = done.stdout.decode("utf-8")
    check(text.endswith("\r\n"), f"clip text from sorimba-clip does not end with CR LF: {text[-20:]!r}")
    return text


# --------------------------------------------------------------------------
# Images (PIL, mode RGB)

def colour_count(image: Image.Image, limit: int = 64) -> int:
    """The number of distinct colours in image, counted up to limit."""
    colours = image.getcolors(limit)
    return limit if colours is None else len(colours)


def is_blank(image: Image.Image) -> bool:
    """True for an empty image or one of one flat colour (or nearly: fewer than 3)."""
    return image.width == 0 or image.height == 0 or colour_count(image, 3) < 3


def changed_pixels(a: Image.Image, b: Image.Image) -> int:
    """The number of pixels that differ (all of them when the sizes differ)."""
    if a.size != b.size:
        return max(a.width * a.height, b.width * b.height)
    red, green, blue = ImageChops.difference(a, b).point(lambda v: 255 if v else 0).split()
    return ImageChops.lighter(ImageChops.lighter(red, green), blue).histogram()[255]


def _ink_rows(ink: Image.Image) -> list:
    """The rows of a mode "1" image as ints, the leftmost pixel in the
    highest bit: bit x from the right is set where pixel width - 1 - x is."""
    stride, pad = (ink.width + 7) // 8, -ink.width % 8
    data = ink.tobytes()
    return [int.from_bytes(data[r * stride:(r + 1) * stride], "big") >> pad for r in range(ink.height)]


def _dark(image: Image.Image, threshold: int = 140) -> Image.Image:
    """Where an image is dark, as a mode "1" image."""
    return image.convert("L").point(lambda v: 255 if v < threshold else 0, "1")


@functools.lru_cache(maxsize=64)
def render_text(text: str, font_file: str, pixel_size: int) -> Image.Image:
    """One line of text black on white in a font file, rendered by ImageMagick:
    its FreeType rendering (light hinting) is the one Qt draws on the screen,
    while PIL's hints the glyphs fully and differs by a few pixels a glyph."""
    check(not text.startswith("@"), "ImageMagick reads a file for a label that starts with @")
    convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"
    done = subprocess.run([convert, "-background", "white", "-fill", "black", "-density", "72",
                           "-font", font_file, "-pointsize", str(pixel_size), "label:" + text, "png:-"],
                          capture_output=True, timeout=20)
    check(done.returncode == 0, f"ImageMagick could not render the reference: {done.stderr!r}")
    return Image.open(io.BytesIO(done.stdout)).convert("RGB")


def glyph_match(screen: Image.Image, reference: Image.Image) -> float:
    """How well the glyphs of reference show up somewhere in screen, 0..1.

    Both images are reduced to dark pixels. The reference is placed where it
    covers the most dark pixels of the screen crop; the score is the Dice
    coefficient there: twice the shared dark pixels over the dark pixels of
    the reference plus those of the screen under the reference's box. Text
    drawn in the same font at the same size scores close to 1; boxes drawn
    for missing glyphs, or another script, score far lower.
    """
    ink = _dark(reference)
    box = ink.getbbox()
    if not box:
        return 0.0
    ref = _ink_rows(ink.crop(box))
    ref_w, ref_h = box[2] - box[0], box[3] - box[1]
    ref_ink = sum(bin(r).count("1") for r in ref)
    scr = _ink_rows(_dark(screen))
    mask = (1 << ref_w) - 1
    best = (-1, 0, 0)
    for oy in range(0, screen.height - ref_h + 1):
        if not any(scr[oy:oy + ref_h]):
            continue
        for ox in range(screen.width - ref_w, -1, -1):  # left to right
            hits = 0
            for r in range(ref_h):
                hits += bin((scr[oy + r] >> ox) & ref[r]).count("1")
            if hits > best[0]:
                best = (hits, ox, oy)
    hits, ox, oy = best
    if hits <= 0:
        return 0.0
    inside = sum(bin((scr[oy + r] >> ox) & mask).count("1") for r in range(ref_h))
    return 2 * hits / (ref_ink + inside)


JAPANESE_FONTS = [
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf",
    "/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf",
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
]


def japanese_rendered(screen: Image.Image, text: str, pixel_size: int,
                      good_enough: float = 1.0) -> tuple:
    """Best glyph match of text against the installed Japanese fonts:
    (score, font file), stopping at the first font that scores good_enough.
    Tofu boxes or missing text score low on every font."""
    best = (0.0, "")
    for font in JAPANESE_FONTS:
        if os.path.exists(font):
            score = glyph_match(screen, render_text(text, font, pixel_size))
            best = max(best, (score, font))
            if score >= good_enough:
                break
    return best


def check_shows(image: Image.Image, text: str, pixel_size: int = 12, what: str = "the window",
                threshold: float = 0.85) -> None:
    """The image shows text in a Japanese font, by glyph matching. Boxes for
    missing glyphs score below 0.4; a text that only shares a few characters
    with the one shown scores up to about 0.8; the text itself in the same
    font and size close to 1 where it starts on a whole pixel (at the start
    of a line, or after full-width characters). Text placed on parts of a
    pixel (after proportional Latin text, centred captions) is rasterised a
    little differently and needs a lower threshold, which still rules out
    boxes."""
    score, font = japanese_rendered(image, text, pixel_size, good_enough=max(threshold, 0.9))
    log(f"glyph match of {text!r} at {pixel_size} px in {what}: {score:.2f} ({os.path.basename(font)})")
    check(score >= threshold, f"{what} does not show {text!r} in a Japanese font (best glyph "
                              f"match {score:.2f}, needed {threshold})")


# --------------------------------------------------------------------------
# The desktop

@dataclass
class Window:
    """A snapshot of an X window: id, absolute geometry of its inside, flags."""
    id: int
    x: int
    y: int
    width: int
    height: int
    override_redirect: bool
    viewable: bool

    @property
    def hex(self) -> str:
        return hex(self.id)

    def geometry(self) -> tuple:
        return self.x, self.y, self.width, self.height


class Desktop:
    """Xvfb + openbox on a free display; owns every process it starts.

    Scenarios get one as their argument. Processes: spawn, run, xdotool.
    Windows (python-xlib): window, windows_of, prop, name_of, net_wm_state,
    frame_extents, active_window, stacking. Input (xdotool): move, click,
    key, type_text, drag, activate, move_window. Clipboard (xclip):
    set_clipboard, clipboard. Screenshots (PIL images): grab, screenshot,
    snap_window, keep. The program: start_app.
    """

    def __init__(self, name: str):
        self.name = name
        self.procs: list = []
        self.apps: list = []
        self.tmp = tempfile.mkdtemp(prefix=f"sorimba-e2e-{name}-")
        self.display = None
        self.env = None
        self.x = None  # python-xlib connection
        self.root = None
        self.artifacts = os.path.join(ARTIFACTS, name)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts, exist_ok=True)
        self.shot_count = 0
        self.spawned = 0
        self.tool_time: dict = {}
        self.start_times: list = []
        self.history: list = []  # every App started, in order

    # ---- processes -------------------------------------------------------

    def spawn(self, argv: list, cwd: str | None = None, stdout=subprocess.DEVNULL,
              stderr=None, stdin=subprocess.DEVNULL, env: dict | None = None, **kw):
        """Starts a process on the desktop (ended with the scenario); its
        stderr goes to a log file unless given."""
        self.spawned += 1
        log_file = None
        if stderr is None:
            log_file = stderr = open(os.path.join(
                self.tmp, f"{os.path.basename(argv[0])}.{self.spawned}.log"), "wb")
        try:
            proc = subprocess.Popen(argv, cwd=cwd, stdout=stdout, stderr=stderr, stdin=stdin,
                                    env=env or self.env, preexec_fn=_die_with_parent, **kw)
        finally:
            if log_file:
                log_file.close()  # the child has its own descriptor
        self.procs.append(proc)
        return proc

    def run(self, argv: list, timeout: float = 10, check_rc: bool = True,
            input: bytes | None = None) -> subprocess.CompletedProcess:
        """Runs a tool on the desktop to its end; fails on a non-zero status
        unless check_rc is False."""
        t0 = time.monotonic()
        try:
            done = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout, input=input)
            key = argv[0] if argv[0] != "xdotool" else f"xdotool {argv[1]}"
            count, total = self.tool_time.get(key, (0, 0.0))
            self.tool_time[key] = (count + 1, total + time.monotonic() - t0)
        except subprocess.TimeoutExpired:
            raise Failure(f"{' '.join(argv)} did not finish within {timeout} s")
        if check_rc and done.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed ({done.returncode}): "
                          f"{done.stderr.decode('utf-8', 'replace').strip()}")
        return done

    def xdotool(self, *args, timeout: float = 5, check_rc: bool = True) -> str:
        return self.run(["xdotool", *map(str, args)], timeout=timeout,
                        check_rc=check_rc).stdout.decode().strip()

    # ---- X server and window manager ---------------------------------------

    def start(self) -> "Desktop":
        if not shutil.which("Xvfb"):
            raise Skip("Xvfb is not installed")
        for tool in ("openbox", "xdotool", "xclip", "wmctrl", "iconv", "convert"):
            check(shutil.which(tool), f"{tool} is not installed (tools/install-deps.sh installs it)")
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "run")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_", "WAYLAND", "DBUS_SESSION", "SESSION_MANAGER"))
               and k not in ("DISPLAY", "XAUTHORITY", "HOME")}
        env.update({"HOME": home, "XDG_RUNTIME_DIR": runtime,
                    "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_CACHE_HOME": os.path.join(home, ".cache"),
                    "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
                    "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "QT_QPA_PLATFORM": "xcb",
                    "QT_ACCESSIBILITY": "0", "NO_AT_BRIDGE": "1"})
        # A sanitizer build of the program: report errors, but not the
        # toolkit's allocations still held at exit (leaks are the unit
        # tests' business).
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
        env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1")
        self.env = env
        started = time.monotonic()
        self.display = self._start_xvfb()
        env["DISPLAY"] = f":{self.display}"
        self.x = Display(env["DISPLAY"])
        self.root = self.x.screen().root
        # Screenshots read pixels as 32-bit little-endian words (B G R X).
        formats = {f.depth: f.bits_per_pixel for f in self.x.display.info.pixmap_formats}
        check(self.x.display.info.image_byte_order == X.LSBFirst and formats.get(24) == 32,
              f"unexpected X image format: {formats}")
        self.spawn(["openbox", "--sm-disable"])
        poll(self._wm_running, 10, "openbox to manage the display")
        log(f"desktop :{self.display} with openbox ready in {time.monotonic() - started:.2f} s")
        return self

    def _start_xvfb(self) -> int:
        """Starts Xvfb on a free display; returns the number it writes on a pipe."""
        read_fd, write_fd = os.pipe()
        try:
            proc = self.spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                               f"{SCREEN_W}x{SCREEN_H}x24", "-nolisten", "tcp", "-noreset"],
                              pass_fds=(write_fd,), env=dict(os.environ))
        except OSError as error:
            raise Skip(f"Xvfb cannot be started: {error}")
        finally:
            os.close(write_fd)
        with os.fdopen(read_fd, "rb") as pipe:
            # An empty line when Xvfb ends without a display.
            number = pipe.readline() if select.select([pipe], [], [], 15)[0] else b""
        if not number.strip().isdigit():
            status = proc.poll()
            how = "still running without a display" if status is None else f"exit status {status}"
            raise Skip(f"Xvfb did not start ({how}); no X server for the desktop tests")
        return int(number)

    def _wm_running(self) -> bool:
        # The manager's check window must exist and name it.
        check_window = (self.prop(self.root.id, "_NET_SUPPORTING_WM_CHECK") or [0])[0]
        return bool(check_window) and b"Openbox" in (self.prop(check_window, "_NET_WM_NAME") or b"")

    def stop_procs(self, first: int = 0) -> None:
        """Ends the processes started from index first on (newest first)."""
        procs = self.procs[first:]
        for proc in reversed(procs):
            if proc.poll() is None:
                proc.terminate()
        deadline = time.monotonic() + 3
        for proc in reversed(procs):
            try:
                proc.wait(timeout=max(0.05, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(timeout=3)
            for stream in (proc.stdout, proc.stderr, proc.stdin):
                if stream:
                    stream.close()
        del self.procs[first:]

    def close(self) -> None:
        for app in list(self.apps):
            app.kill()
        if self.x:
            self.x.close()
            self.x = None
        self.stop_procs(0)
        shutil.rmtree(self.tmp, ignore_errors=True)

    # ---- windows (python-xlib) ---------------------------------------------

    def _xwin(self, wid: int):
        return self.x.create_resource_object("window", wid)

    @staticmethod
    def _ask(request):
        """The reply to an X request, or None when the server reported an
        error (the window went away between two questions)."""
        try:
            return request()
        except xerror.XError:
            return None

    def prop(self, wid: int, name: str):
        """A window property: bytes (8-bit data) or a list of numbers; None if absent."""
        reply = self._ask(lambda: self._xwin(wid).get_full_property(
            self.x.intern_atom(name), X.AnyPropertyType))
        if reply is None:
            return None
        return bytes(reply.value) if reply.format == 8 else list(reply.value)

    def window(self, wid: int) -> Window | None:
        """A snapshot of the window wid, or None when it is gone."""
        xwin = self._xwin(wid)
        attrs, geometry = self._ask(xwin.get_attributes), self._ask(xwin.get_geometry)
        origin = self._ask(lambda: self.root.translate_coords(xwin, 0, 0))
        if attrs is None or geometry is None or origin is None:
            return None
        return Window(wid, origin.x, origin.y, geometry.width, geometry.height,
                      bool(attrs.override_redirect), attrs.map_state == X.IsViewable)

    def windows_of(self, pid: int) -> list:
        """Viewable windows of a process (by _NET_WM_PID): the managed ones
        (_NET_CLIENT_LIST) and the override-redirect ones (menus, tooltips)."""
        ids = list(self.prop(self.root.id, "_NET_CLIENT_LIST") or [])
        tree = self._ask(self.root.query_tree)
        for child in tree.children if tree else []:
            attrs = self._ask(child.get_attributes)
            if attrs and attrs.override_redirect:
                ids.append(child.id)
        result = []
        for wid in ids:
            if (self.prop(wid, "_NET_WM_PID") or [None])[0] != pid:
                continue
            win = self.window(wid)
            if win and win.viewable and win.width > 1 and win.height > 1:
                result.append(win)
        return result

    def name_of(self, wid: int) -> str:
        return (self.prop(wid, "_NET_WM_NAME") or b"").decode("utf-8", "replace")

    def is_transient(self, wid: int) -> bool:
        return bool(self.prop(wid, "WM_TRANSIENT_FOR"))

    def net_wm_state(self, wid: int) -> list:
        """The names of the window's _NET_WM_STATE atoms ("_NET_WM_STATE_ABOVE", ...)."""
        return [self.x.get_atom_name(atom) for atom in self.prop(wid, "_NET_WM_STATE") or []]

    def frame_extents(self, wid: int) -> tuple:
        """left, right, top, bottom of the window manager's frame; zeros while unframed."""
        value = self.prop(wid, "_NET_FRAME_EXTENTS")
        return tuple(value) if value and len(value) == 4 else (0, 0, 0, 0)

    def active_window(self) -> int:
        return (self.prop(self.root.id, "_NET_ACTIVE_WINDOW") or [0])[0]

    def stacking(self) -> list:
        """Managed windows, bottom to top."""
        return self.prop(self.root.id, "_NET_CLIENT_LIST_STACKING") or []

    # ---- input (xdotool) -----------------------------------------------------

    def pointer(self) -> tuple:
        reply = self.root.query_pointer()
        return reply.root_x, reply.root_y

    def move(self, x: float, y: float) -> None:
        """Moves the pointer and waits until the server reports it there
        (xdotool's own --sync can wait forever when nothing moves)."""
        target = (int(round(x)), int(round(y)))
        self.xdotool("mousemove", *target)
        poll(lambda: self.pointer() == target, 3, f"the pointer to reach {target}", interval=0.02)

    def click(self, x: float, y: float, button: int = 1) -> None:
        self.move(x, y)
        self.xdotool("click", button)

    def key(self, *keys: str) -> None:
        """Presses keys one after the other ("Return", "ctrl+a", ...)."""
        for key in keys:
            self.xdotool("key", "--clearmodifiers", key)

    def type_text(self, text: str) -> None:
        self.xdotool("type", "--clearmodifiers", "--delay", "8", text, timeout=30)

    def activate(self, wid: int) -> None:
        """Gives a window the focus and waits until the window manager reports it."""
        if self.active_window() != wid:
            self.xdotool("windowactivate", wid, check_rc=False)
            poll(lambda: self.active_window() == wid, 3, f"window {hex(wid)} to take the focus")

    def drag(self, start: tuple, end: tuple, steps: int = 24) -> None:
        """Presses the left button at start, moves in steps to end, releases."""
        x0, y0 = int(start[0]), int(start[1])
        x1, y1 = int(end[0]), int(end[1])
        self.move(x0, y0)
        self.xdotool("mousedown", 1)
        try:
            # Paced like a hand: XDND's position messages and their answers
            # go between the two programs, where the test cannot see them.
            for i in range(1, steps + 1):
                self.xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
                time.sleep(0.02)
            # Let the target answer the last position before the drop.
            for dx in (1, 0):
                time.sleep(0.15)
                self.xdotool("mousemove", x1 + dx, y1)
        finally:
            self.xdotool("mouseup", 1)

    def move_window(self, wid: int, x: int, y: int) -> Window:
        """Moves a managed window near (x, y) and waits until it is there
        (within its frame: the window manager may place the frame there)."""
        self.xdotool("windowmove", wid, x, y)
        return poll(lambda: (lambda w: w if w and abs(w.x - x) <= 40 and abs(w.y - y) <= 40 else None)(
            self.window(wid)), 5, f"window {hex(wid)} to move to {x},{y}")

    def start_drag_source(self, *args: str):
        """Starts sorimba-drag-source (a small Qt window of another X
        client) and returns its process and its window."""
        check(os.access(DRAG_SOURCE, os.X_OK), f"{DRAG_SOURCE} is missing (target sorimba-drag-source)")
        proc = self.spawn([DRAG_SOURCE, *args], stdout=subprocess.PIPE)
        check(read_line(proc, 10) == "ready", "the drag source did not start")
        win = poll(lambda: [w for w in self.windows_of(proc.pid) if not w.override_redirect],
                   10, "the drag source window")[0]
        return proc, win

    # ---- clipboard (xclip) ---------------------------------------------------

    def set_clipboard(self, text: str) -> None:
        """Puts text on the CLIPBOARD selection (a foreground xclip owns it)."""
        path = os.path.join(self.tmp, f"clip-{time.monotonic_ns()}.txt")
        write_file(path, text.encode("utf-8"))
        self.spawn(["xclip", "-selection", "clipboard", "-i", "-quiet", path])
        poll(lambda: self.clipboard() == text, 5, "xclip to own the clipboard")

    def clipboard(self) -> str | None:
        """The text on the CLIPBOARD selection; None when nobody offers text."""
        try:
            done = subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=self.env,
                                  capture_output=True, timeout=3)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout.decode("utf-8", "replace") if done.returncode == 0 else None

    # ---- screenshots (PIL) ---------------------------------------------------

    def _pixels(self, xwin) -> Image.Image:
        """What a window shows of itself on the screen (the part off the
        screen cannot be read)."""
        geometry = self._ask(xwin.get_geometry)
        origin = self._ask(lambda: self.root.translate_coords(xwin, 0, 0))
        check(geometry is not None and origin is not None, f"window {hex(xwin.id)} is gone")
        x0, y0 = max(0, -origin.x), max(0, -origin.y)
        w = min(geometry.width, SCREEN_W - origin.x) - x0
        h = min(geometry.height, SCREEN_H - origin.y) - y0
        check(w > 0 and h > 0, f"window {hex(xwin.id)} is off the screen")
        raw = self._ask(lambda: xwin.get_image(x0, y0, w, h, X.ZPixmap, 0xFFFFFFFF))
        check(raw is not None, f"cannot read the pixels of window {hex(xwin.id)} (not viewable)")
        return Image.frombytes("RGB", (w, h), raw.data, "raw", "BGRX")

    def screenshot(self) -> Image.Image:
        """The whole screen."""
        return self._pixels(self.root)

    def grab(self, win: Window, frame: bool = False) -> Image.Image:
        """The content of one window, with the window manager's frame when asked."""
        xwin = self._xwin(win.id)
        while frame:  # the frame is the window's ancestor just below the root
            tree = self._ask(xwin.query_tree)
            check(tree is not None, f"window {win.hex} is gone")
            if tree.parent.id == self.root.id:
                break
            xwin = tree.parent
        return self._pixels(xwin)

    def keep(self, image: Image.Image, label: str) -> str:
        """Saves image as a numbered PNG among the script's artifacts; returns its path."""
        self.shot_count += 1
        path = os.path.join(self.artifacts, f"{self.shot_count:02d}-{label}.png")
        image.save(path)
        return path

    def snap_window(self, win: Window, label: str, frame: bool = True) -> Image.Image:
        """Screenshot of a window (with its frame), kept as an artifact; must
        not be blank (a window just shown may take a moment to be painted)."""
        shots = []

        def painted():
            shots.append(self.grab(win, frame))
            return not is_blank(shots[-1])

        try:
            poll(painted, 5, f"the window of {label} to be painted")
        finally:
            if shots:
                self.keep(shots[-1], label)
        return shots[-1]

    # ---- the program ------------------------------------------------------

    def start_app(self, data_dat: bytes | None = None, data2_dat: bytes | None = None,
                  timeout: float = 20, folder: str | None = None, exe: str | None = None,
                  args: tuple = (), settings_dir: str | None = None,
                  env: dict | None = None) -> "App":
        """Starts the program from a private folder (a new one unless given,
        with these settings files when given) and waits for its framed window.
        With exe, runs that program (an installed copy) instead, with its
        settings files in settings_dir; args are its command line. env sets
        variables over the desktop's for the program (None removes one)."""
        app = App(self, data_dat, data2_dat, folder, exe, args, settings_dir, env)
        self.history.append(app)
        app.start(timeout)
        return app


class App:
    """The real program, run from a private folder with its own settings files.

    Geometry: main, size, outer_twips, menubar_height, control_centre,
    text_area_rect, text_area_image, check_layout. Actions: click_control,
    click_option, open_menu, import_clipboard, copy_all, close, kill.
    Dialogs: wait_dialog, dialogs, press_default, press_no, answer, choose_file.
    """

    def __init__(self, desk: Desktop, data_dat: bytes | None, data2_dat: bytes | None,
                 folder: str | None = None, exe: str | None = None, args: tuple = (),
                 settings_dir: str | None = None, env: dict | None = None):
        self.desk = desk
        self.args = list(args)
        self.env = None
        if env:
            self.env = {k: v for k, v in desk.env.items() if env.get(k, v) is not None}
            self.env.update({k: v for k, v in env.items() if v is not None})
        if exe is None:
            self.dir = folder or tempfile.mkdtemp(prefix="app-", dir=desk.tmp)
            self.exe = os.path.join(self.dir, "sorimba")
            self.cwd = self.dir
            if not os.path.exists(self.exe):
                shutil.copy2(APP, self.exe)
                # A portable copy, as in the build folder: its settings files
                # stay beside it.
                write_file(os.path.join(self.dir, "sorimba-portable"), b"")
        else:
            # An installed copy: its settings live in settings_dir.
            self.exe = exe
            self.dir = settings_dir
            self.cwd = desk.tmp
            if data_dat is not None or data2_dat is not None:
                os.makedirs(self.dir, exist_ok=True)
        if data_dat is not None:
            self.write("data.dat", data_dat)
        if data2_dat is not None:
            self.write("data2.dat", data2_dat)
        self.proc = None
        self.main_id = 0
        self._menubar = None
        self.start_seconds = None

    def path(self, name: str) -> str:
        return os.path.join(self.dir, name)

    def write(self, name: str, data: bytes) -> None:
        write_file(self.path(name), data)

    def read(self, name: str) -> bytes | None:
        """A file of the program's folder (data.dat, data2.dat), None if absent."""
        return read_file(self.path(name))

    def start(self, timeout: float) -> None:
        # The working folder is the program's own folder (per-title files of
        # a save path without a folder would land there, not in the tree).
        self.log_path = os.path.join(self.desk.tmp, f"sorimba-{self.desk.spawned + 1}.log")
        started = time.monotonic()
        with open(self.log_path, "wb") as log_file:
            self.proc = self.desk.spawn([self.exe, *self.args], cwd=self.cwd, stdout=log_file,
                                        stderr=log_file, env=self.env)
        self.desk.apps.append(self)
        win = poll(self._find_main, timeout, "the main window \"!Sorimba\" to appear")
        self.start_seconds = time.monotonic() - started
        self.main_id = win.id
        # Managed by the window manager (framed) and painted.
        poll(lambda: self.desk.frame_extents(win.id) != (0, 0, 0, 0), 5, "openbox to frame the window")
        self.desk.start_times.append(self.start_seconds)
        log(f"program started, window {win} after {self.start_seconds:.3f} s")

    def alive(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    def output(self) -> str:
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")

    def check_sanitizers(self) -> None:
        """A build with AddressSanitizer/UndefinedBehaviorSanitizer reports
        on the program's stderr; any report fails the scenario."""
        out = self.output()
        for mark in self.SANITIZER_MARKS:
            if mark in out:
                at = out.index(mark)
                raise Failure(f"the program reported a sanitizer error:\n{out[max(0, at - 200):at + 3000]}")

    def _find_main(self) -> Window | None:
        if not self.alive():
            raise Failure(f"sorimba exited with {self.proc.returncode} before showing its window:\n"
                          + self.output())
        for win in self.desk.windows_of(self.proc.pid):
            if not win.override_redirect and not self.desk.is_transient(win.id) \
                    and self.desk.name_of(win.id) == TITLE:
                return win
        return None

    def main(self) -> Window:
        """The main window as it is now (Qt may recreate the X window)."""
        win = self.desk.window(self.main_id) if self.main_id else None
        if win is None or not win.viewable:
            win = poll(self._find_main, 5, "the main window")
            if win.id != self.main_id:
                self.main_id = win.id
                self._menubar = None
        return win

    # ---- geometry --------------------------------------------------------

    def menubar_height(self) -> int:
        """Height of the menu bar, found on a screenshot: the first pixel row
        where the "すべてコピー" button differs from the gap beside it is the
        button's top edge, which stands 120 twips below the menu bar."""
        if self._menubar is not None:
            return self._menubar
        win = self.main()
        top = twips(CONTROLS["すべてコピー"][1])
        inside = int(twips(CONTROLS["すべてコピー"][0] + 300))
        save_right = CONTROLS["保　存"][0] + CONTROLS["保　存"][2]
        gap = int(twips((save_right + CONTROLS["すべてコピー"][0]) / 2))

        def probe():
            image = self.desk.grab(win).crop((0, 0, min(win.width, 400), 120))
            if is_blank(image):
                return None
            for y in range(4, image.height):
                a, b = image.getpixel((inside, y)), image.getpixel((gap, y))
                if sum(abs(p - q) for p, q in zip(a, b)) > 60:
                    return y
            return None

        edge = poll(probe, 5, "the buttons to be drawn")
        self._menubar = int(round(edge - top))
        check(10 <= self._menubar <= 60, f"implausible menu bar height {self._menubar} px")
        return self._menubar

    def client_point(self, x_px: float, y_px: float) -> tuple:
        """Absolute screen point of a point of the client area below the menu bar."""
        win = self.main()
        return win.x + x_px, win.y + self.menubar_height() + y_px

    def control_centre(self, caption: str) -> tuple:
        """Absolute screen point at the middle of the button with this caption."""
        left, top, width, height = CONTROLS[caption]
        return self.client_point(twips(left + width / 2), twips(top + height / 2))

    def outer_twips(self) -> tuple:
        """Outer size of the main window, frame included, in twips."""
        win = self.main()
        left, right, top, bottom = self.desk.frame_extents(win.id)
        return twips_of(win.width + left + right), twips_of(win.height + top + bottom)

    def size(self) -> tuple:
        """Width and height of the main window's X window (menu bar included)."""
        win = self.main()
        return win.width, win.height

    def text_area_rect(self) -> tuple:
        """Absolute x, y, width, height of the text area (clipView), by the layout rule."""
        win = self.main()
        mb = self.menubar_height()
        x = win.x + twips(CLIP_VIEW_LEFT)
        y = win.y + mb + twips(CLIP_VIEW_TOP)
        w = win.width - twips(CLIP_VIEW_LEFT + CLIP_VIEW_RIGHT_MARGIN)
        h = win.height - mb - twips(CLIP_VIEW_TOP + CLIP_VIEW_BOTTOM_MARGIN)
        return int(x), int(y), int(w), int(h)

    def text_area_image(self) -> Image.Image:
        """What the text area shows, inside its frame."""
        win = self.main()
        x, y, w, h = self.text_area_rect()
        left, top = x - win.x + 2, y - win.y + 2
        return self.desk.grab(win).crop((left, top, left + w - 4, top + h - 4))

    def wait_text_area_shows(self, text: str, pixel_size: int = 12, threshold: float = 0.85,
                             rows: int = 120, timeout: float = 5) -> Image.Image:
        """Polls until the top rows of the text area show text (glyph match,
        see check_shows); returns that part of the text area."""
        def top_rows():
            area = self.text_area_image()
            return area.crop((0, 0, area.width, min(area.height, rows)))

        def probe():
            area = top_rows()
            score, font = japanese_rendered(area, text, pixel_size, good_enough=threshold)
            if score < threshold:
                return None
            log(f"glyph match of {text!r} at {pixel_size} px in the text area: {score:.2f} "
                f"({os.path.basename(font)})")
            return area

        try:
            return poll(probe, timeout, f"the text area to show {text!r}", interval=0.2)
        except Failure:
            check_shows(top_rows(), text, pixel_size, "the text area", threshold)
            raise

    def measured_text_area_end(self) -> tuple:
        """Right and bottom edge (exclusive, window pixels) of the text area
        as drawn: the first columns and rows, from the window's right and
        bottom edge inwards, that differ from the window's background."""
        image = self.desk.grab(self.main())
        pixels = image.load()
        mid_y = self.menubar_height() + int(twips(CLIP_VIEW_TOP)) + 40
        mid_x = int(twips(CLIP_VIEW_LEFT)) + 40
        background = pixels[image.width - 1, mid_y]

        def differs(x, y):
            return sum(abs(p - q) for p, q in zip(pixels[x, y], background)) > 30

        right = next((x + 1 for x in range(image.width - 1, -1, -1) if differs(x, mid_y)), 0)
        bottom = next((y + 1 for y in range(image.height - 1, -1, -1) if differs(mid_x, y)), 0)
        return right, bottom

    def check_layout(self) -> None:
        """The text area ends 165 twips short of the client area's right edge
        and 765 twips short of its bottom, so 105 twips short of the window's
        right and bottom (one pixel of slack for rounding)."""
        win = self.main()
        want = (win.width - twips(CLIP_VIEW_RIGHT_MARGIN - CLIP_VIEW_LEFT),
                win.height - twips(CLIP_VIEW_BOTTOM_MARGIN - CLIP_VIEW_TOP))
        measured = []

        def fits():
            measured.append(self.measured_text_area_end())
            return all(abs(a - b) <= 1 for a, b in zip(measured[-1], want))

        try:
            poll(fits, 3, "the text area to follow the window size", interval=0.1)
        except Failure:
            raise Failure(f"the text area ends at {measured[-1]}, not at {want}, "
                          f"in a {win.width}x{win.height} window")

    # ---- actions -----------------------------------------------------------

    def click_control(self, caption: str, button: int = 1) -> None:
        """Clicks the button with this caption (CONTROLS) with a mouse button."""
        self.desk.click(*self.control_centre(caption), button=button)

    def menubar_items(self) -> list:
        """Absolute x centres of the menu bar entries ("Option", "convert"),
        found as the groups of dark pixels along the menu bar."""
        win = self.main()
        mb = self.menubar_height()
        image = self.desk.grab(win).crop((0, 0, min(win.width, 300), mb))
        pixels = image.load()
        groups, start, last = [], None, None
        for x in range(image.width):
            if any(sum(pixels[x, y]) < 300 for y in range(2, mb - 2)):
                if start is None or x - last > 7:
                    if start is not None:
                        groups.append((start, last))
                    start = x
                last = x
        if start is not None:
            groups.append((start, last))
        groups = [g for g in groups if g[1] - g[0] >= 10]
        check(len(groups) >= 2, f"menu bar entries not found (groups {groups})")
        return [win.x + (a + b) / 2 for a, b in groups]

    def open_menu(self, index: int) -> None:
        """Clicks a menu bar entry: 0 "Option", 1 "convert"."""
        x = self.menubar_items()[index]
        self.desk.click(x, self.main().y + self.menubar_height() / 2)

    def popup(self) -> Window | None:
        """The drop-down menu that is open, if any."""
        return next((w for w in self.desk.windows_of(self.proc.pid)
                     if w.override_redirect and w.height > 60), None)

    def click_option(self, name: str, snap: str | None = None) -> None:
        """Opens "Option" and clicks one of its nine items (OPTION_NAMES) with
        the mouse (keeping a screenshot of the open menu under the label snap)."""
        index = OPTION_NAMES.index(name)
        self.open_menu(0)
        menu = poll(self.popup, 5, "the Option menu to drop down")
        if snap:
            self.desk.snap_window(menu, snap, frame=False)
        # Nine items of equal height fill the drop-down but for a few pixels
        # of frame; the centre of item i is close to (i + 0.5) / 9 of it.
        y = menu.y + menu.height * (index + 0.5) / len(OPTION_NAMES)
        self.desk.click(menu.x + menu.width / 2, y)
        poll(lambda: not self.popup(), 5, "the menu to close")

    def dialogs(self) -> list:
        """Dialogs of the program that are showing (message boxes, file dialogs)."""
        return [w for w in self.desk.windows_of(self.proc.pid)
                if not w.override_redirect and w.id != self.main_id and self.desk.is_transient(w.id)]

    def wait_dialog(self, timeout: float = 10) -> Window:
        """Waits for a dialog of the program to show, framed; returns it."""
        win = poll(lambda: (self.dialogs() or [None])[0], timeout, "a dialog of the program")
        poll(lambda: self.desk.frame_extents(win.id) != (0, 0, 0, 0), 3, "the dialog to be framed")
        poll(lambda: not is_blank(self.desk.grab(win)), 5, "the dialog to be painted")
        return win

    def answer(self, dialog: Window, *keys: str) -> None:
        """Sends keys to a dialog and waits for it to close."""
        self.desk.activate(dialog.id)
        self.desk.key(*keys)
        poll(lambda: all(w.id != dialog.id for w in self.dialogs()), 5, "the dialog to close")

    def press_default(self, dialog: Window) -> None:
        """"はい" or "OK" of a message box."""
        self.answer(dialog, "Return")

    def press_no(self, dialog: Window) -> None:
        """"いいえ" of a Yes/No box: Yes holds the focus, Tab moves it to No."""
        self.answer(dialog, "Tab", "space")

    def choose_file(self, dialog: Window, path: str) -> None:
        """Answers the open-file dialog by typing a full path into its file
        name field (which holds the focus) and pressing Return."""
        self.desk.activate(dialog.id)
        self.desk.key("ctrl+a")
        self.desk.type_text(path)
        # The field may open a completion list while the name is typed; give
        # it a moment to settle so that Return goes to the field.
        time.sleep(0.2)
        self.desk.key("Return")
        poll(lambda: all(w.id != dialog.id for w in self.dialogs()), 5, "the file dialog to close")

    def import_clipboard(self, text: str) -> None:
        """Puts text on the clipboard and clicks "取り込み"; returns once the
        text area shows something new or a dialog opened (the program has
        read the clipboard by then, so the clipboard may be used again)."""
        before = self.text_area_image()
        self.desk.set_clipboard(text)
        self.click_control("取り込み")
        # More than a blinking text cursor must change.
        poll(lambda: self.dialogs() or changed_pixels(before, self.text_area_image()) > 60, 10,
             "the import to show in the text area")

    def paste_into_text_area(self, text: str) -> None:
        """Puts text on the clipboard, clicks into the text area and pastes
        it with Ctrl+V."""
        self.desk.set_clipboard(text)
        x, y, w, h = self.text_area_rect()
        self.desk.click(x + w // 2, y + h // 2)
        self.desk.key("ctrl+v")

    def copy_all(self) -> str:
        """The text of the text area as "すべてコピー" puts it on the clipboard."""
        sentinel = f"sentinel {time.monotonic_ns()}"
        self.desk.set_clipboard(sentinel)
        self.click_control("すべてコピー")
        # (An empty text area gives an empty text: polled as a 1-tuple.)
        return poll(lambda: (lambda t: (t,) if t is not None and t != sentinel else None)(self.desk.clipboard()),
                    5, "すべてコピー to fill the clipboard")[0]

    def close(self, timeout: float = 10) -> int:
        """Closes the window the way the window manager does (wmctrl -c);
        returns the program's exit status."""
        self.desk.run(["wmctrl", "-i", "-c", hex(self.main_id)])
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after the window manager closed its window")
        self.desk.apps.remove(self)
        return code

    def kill(self) -> None:
        if self.alive():
            self.proc.kill()
            self.proc.wait(timeout=5)
        if self in self.desk.apps:
            self.desk.apps.remove(self)


# --------------------------------------------------------------------------
# Runner

def main(scenarios: list, name: str | None = None, budget: float = 240) -> None:
    """Runs each scenario function(desk) on one desktop (or those named on
    the command line); exits 0 when all pass. A failed scenario leaves a
    screenshot of the screen and the program's output; the next one runs."""
    name = name or os.path.splitext(os.path.basename(sys.argv[0]))[0]
    only = sys.argv[1:]
    unknown = set(only) - {scenario.__name__ for scenario in scenarios}
    if unknown:
        print(f"FAIL: no scenario named {', '.join(sorted(unknown))}")
        sys.exit(1)

    over_budget = []

    def on_alarm(signum, frame):
        over_budget.append(True)
        raise Failure(f"the whole script exceeded its budget of {budget:.0f} s")

    def on_term(signum, frame):
        raise SystemExit(f"terminated by signal {signum}")

    signal.signal(signal.SIGALRM, on_alarm)
    signal.signal(signal.SIGTERM, on_term)
    signal.alarm(int(budget))
    started = time.monotonic()
    for path, label in ((APP, "SORIMBA_APP"), (CLIP, "SORIMBA_CLIP")):
        if not os.access(path, os.X_OK):
            print(f"FAIL: {label} {path} is not an executable (build the programs first)")
            sys.exit(1)
    desk = Desktop(name)
    failures = []
    try:
        try:
            desk.start()
        except Skip as reason:
            print(f"SKIP: {reason}")
            sys.exit(0)
        for scenario in scenarios:
            if only and scenario.__name__ not in only:
                continue
            if over_budget:
                failures.append(scenario.__name__)
                log(f"NOT RUN {scenario.__name__}: no time left")
                continue
            t0 = time.monotonic()
            first_proc = len(desk.procs)
            log(f"--- {scenario.__name__}")
            first_app = len(desk.history)
            try:
                scenario(desk)
                for app in desk.history[first_app:]:
                    app.kill()
                    app.check_sanitizers()
                log(f"PASS {scenario.__name__} ({time.monotonic() - t0:.1f} s)")
            except Exception as error:  # noqa: BLE001 - report and go on with the next scenario
                failures.append(scenario.__name__)
                log(f"FAIL {scenario.__name__} ({time.monotonic() - t0:.1f} s): {error}")
                traceback.print_exc(file=sys.stdout)
                try:
                    desk.keep(desk.screenshot(), f"failure-{scenario.__name__}")
                except Exception:  # noqa: BLE001
                    pass
                for app in desk.history[first_app:]:
                    out = app.output()
                    if out.strip():
                        print(f"output of the program run from {app.dir}:\n{out}")
            finally:
                for app in list(desk.apps):
                    app.kill()
                desk.stop_procs(first_proc)
    finally:
        signal.alarm(0)
        desk.close()
        if os.environ.get("SORIMBA_E2E_PROFILE"):
            for key, (count, total) in sorted(desk.tool_time.items(), key=lambda kv: -kv[1][1]):
                print(f"  {key:28} {count:5d} calls {total:6.2f} s")
    times = sorted(desk.start_times)
    if times:
        log(f"start to window: {len(times)} starts, median {times[len(times) // 2]:.3f} s, "
            f"max {times[-1]:.3f} s")
    log(f"{name}: {len(failures)} failed, wall time {time.monotonic() - started:.1f} s; "
        f"screenshots in {desk.artifacts}")
    sys.exit(1 if failures else 0)
