"""Runs the real k58 program under Xvfb for end-to-end tests: starts a private
X server, starts the program with the sound going where the test says, finds
its window with xdotool and reads pixels from screenshots with ImageMagick."""

import atexit
import math
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time


# The main window as the program defines it: its title, client size, where
# its frame asks to stand, and the lever buttons from left to right (each
# 40 px wide from client x 312, 52 px down its middle).
TITLE = "K-58"
CLIENT_W, CLIENT_H = 569, 152
LEFT, TOP = 273, 229
LEVERS = "B R I II A N".split()


def lever_centre(name):
    """Client position of a lever button's centre where it stands at start."""
    return 312 + 40 * LEVERS.index(name) + 20, 52


_RUNTIME_DIR = None


def _runtime_dir():
    """One private runtime folder for the programs this test process starts,
    made when first needed and removed at exit."""
    global _RUNTIME_DIR
    if _RUNTIME_DIR is None:
        _RUNTIME_DIR = tempfile.mkdtemp(prefix="k58-xdg-")
        atexit.register(shutil.rmtree, _RUNTIME_DIR, True)
    return _RUNTIME_DIR


class Display:
    """A private Xvfb server on a display number it picks itself; use as a
    context manager."""

    def __init__(self, width=1024, height=768):
        self.proc, self.name = _start_xvfb(width, height)

    def start_window_manager(self, config=None):
        """Starts openbox, which frames windows, activates them on show and
        asks them to close on alt+F4; config: an rc.xml to use instead of
        the machine's."""
        args = ["--config-file", str(config)] if config else []
        self.wm = subprocess.Popen(["openbox", *args], env=self.env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        # Ready once it has claimed the screen's window-manager selection.
        deadline = time.time() + 10
        while time.time() < deadline:
            probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(),
                                   capture_output=True, text=True)
            if "window id" in probe.stdout:
                break
            time.sleep(0.1)

    def env(self, **extra):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env.pop("QT_QPA_PLATFORM", None)
        # A compositor of the desktop running the tests is not ours to use.
        env.pop("WAYLAND_DISPLAY", None)
        if "XDG_RUNTIME_DIR" not in env:
            env["XDG_RUNTIME_DIR"] = _runtime_dir()
        env.update(extra)
        return env

    def xdotool(self, *args, check=True):
        out = subprocess.run(["xdotool", *map(str, args)], env=self.env(), capture_output=True,
                             text=True, timeout=10)
        if check and out.returncode != 0:
            raise RuntimeError(f"xdotool {args} failed: {out.stderr}")
        return out.stdout.strip()

    def find_window(self, name, timeout=15.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            out = self.xdotool("search", "--onlyvisible", "--name", f"^{name}$", check=False)
            if out:
                return out.splitlines()[0]
            time.sleep(0.1)
        return None

    def geometry(self, window):
        values = {}
        for line in self.xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        return values

    def screenshot(self, path, window="root"):
        subprocess.run(["import", "-silent", "-window", str(window), path], env=self.env(),
                       check=True, timeout=20)
        return Screenshot(path)

    def region(self, x, y, width, height):
        """The pixels of a box of the screen, grabbed in one quick step."""
        rgb = subprocess.run(["import", "-silent", "-window", "root", "-crop",
                              f"{width}x{height}+{x}+{y}", "-depth", "8", "rgb:-"],
                             env=self.env(), capture_output=True, check=True, timeout=20).stdout
        return Region(x, y, width, rgb)

    def close(self):
        if getattr(self, "wm", None):
            self.wm.terminate()
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Screenshot:
    """Pixels of a screenshot, read once as raw RGB."""

    def __init__(self, path):
        self.path = path
        size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True,
                              text=True, check=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                                  check=True).stdout

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def box_differing(self, other):
        """Bounding box (left, top, right, bottom; right and bottom exclusive)
        of the pixels that differ from another screenshot of the same size,
        or None."""
        stride = self.width * 3
        rows = [y for y in range(self.height)
                if self.rgb[y * stride:(y + 1) * stride] != other.rgb[y * stride:(y + 1) * stride]]
        if not rows:
            return None
        columns = [x for y in rows for x in range(self.width)
                   if self.pixel(x, y) != other.pixel(x, y)]
        return min(columns), rows[0], max(columns) + 1, rows[-1] + 1

    def find(self, colour, x0, y0, x1, y1):
        """Columns (x) in the box [x0,x1) x [y0,y1) whose pixel has this colour."""
        return sorted({x for y in range(y0, y1) for x in range(x0, x1) if self.pixel(x, y) == colour})


class Region:
    """Pixels of a box of the screen, read by screen position."""

    def __init__(self, x, y, width, rgb):
        self.x, self.y, self.width, self.rgb = x, y, width, rgb

    def pixel(self, x, y):
        i = ((y - self.y) * self.width + (x - self.x)) * 3
        return tuple(self.rgb[i:i + 3])


def client_origin(display, window):
    """Screen position of a window's client area (top-left corner)."""
    # xwininfo's absolute position; xdotool's counts a window manager's
    # frame offset twice.
    info = subprocess.run(["xwininfo", "-id", str(window)], env=display.env(),
                          capture_output=True, text=True, timeout=10, check=True).stdout
    pos = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        if key.startswith("Absolute upper-left"):
            pos[key[-1]] = int(value)
    return pos["X"], pos["Y"]


def frame_extents(display, window):
    """(left, right, top, bottom) of the window manager's frame around a
    window, all 0 without a window manager."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], env=display.env(),
                         capture_output=True, text=True, timeout=10).stdout
    if "=" not in out:
        return 0, 0, 0, 0
    return tuple(int(v) for v in out.split("=", 1)[1].split(","))


# --- the instrument panel as it shows on screen -------------------------------

GREEN, RED, BLUE, WHITE = (0, 255, 0), (255, 0, 0), (0, 0, 255), (255, 255, 255)
DIAL_HUB = (50, 50)


def dial_face():
    """The carried dial face as rows of (r, g, b), top row first."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets",
                           "dial.bmp"), "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    rows = []
    for row in range(height):
        at = offset + (height - 1 - row) * width * 3
        rows.append([tuple(reversed(data[at + 3 * x:at + 3 * x + 3])) for x in range(width)])
    return rows


class Panel:
    """Reads the panel from a screenshot; positions are client coordinates
    of a window whose client area starts at origin."""

    def __init__(self, shot, origin, dial_at=(184, 24)):
        self.shot, self.origin, self.dial_at = shot, origin, dial_at

    def pixel(self, x, y):
        return self.shot.pixel(self.origin[0] + x, self.origin[1] + y)

    def dark_pixels(self, x0, y0, x1, y1):
        """Pixels in the box [x0,x1) x [y0,y1) dark enough to be text."""
        return sum(1 for x in range(x0, x1) for y in range(y0, y1) if max(self.pixel(x, y)) < 80)

    # Where gear_glyph looks: the gear readout with room for the shakes.
    GEAR_BOX = (100, 74, 156, 130)

    def gear_glyph(self):
        """The digit of the gear readout (Label2 at 112, 88) as the set of
        its dark pixels counted from their top-left corner, so that the same
        digit compares equal wherever the shakes have moved it. The digit is
        the largest connected patch of ink in a box with room for the
        shakes; bits of neighbouring labels moved into the box are smaller."""
        x0, y0, x1, y1 = self.GEAR_BOX
        ink = {(x, y) for x in range(x0, x1) for y in range(y0, y1) if max(self.pixel(x, y)) < 80}
        best = set()
        while ink:
            patch, todo = set(), [ink.pop()]
            while todo:
                x, y = todo.pop()
                patch.add((x, y))
                for n in ((x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                    if n in ink:
                        ink.remove(n)
                        todo.append(n)
            if len(patch) > len(best):
                best = patch
        if not best:
            return frozenset()
        left, top = min(x for x, _ in best), min(y for _, y in best)
        return frozenset((x - left, y - top) for x, y in best)

    def speed_column(self, client_width=569):
        """s of the speed marker (road speed div 5), from its blue inside
        (columns s - 1 and s of rows 17..20); None if none shows."""
        blue = [x for x in range(client_width) if self.pixel(x, 18) == BLUE]
        return max(blue) if blue else None

    def needle_angle(self, face):
        """Angle (radians, 0..2 pi, growing clockwise on screen) of the
        pixels where the dial differs from its face, seen from the hub."""
        sx = sy = n = 0
        for y in range(100):
            for x in range(100):
                if self.pixel(self.dial_at[0] + x, self.dial_at[1] + y) != face[y][x]:
                    dx, dy = x - DIAL_HUB[0], y - DIAL_HUB[1]
                    if dx * dx + dy * dy > 15 * 15:
                        sx, sy, n = sx + dx, sy + dy, n + 1
        if n == 0:
            return None
        return math.atan2(sy, sx) % (2 * math.pi)


def other_windows(display, main_window):
    """Visible top-level windows other than the main window, with their
    titles: message boxes ("K-58" error boxes, "Application Error")."""
    out = display.xdotool("search", "--onlyvisible", "--name", ".", check=False)
    found = []
    for wid in out.split():
        if wid == str(main_window):
            continue
        name = display.xdotool("getwindowname", wid, check=False)
        if name in ("", "openbox"):
            continue
        found.append((wid, name))
    return found


class CloseFailed(AssertionError):
    """The program did not end when its window was closed; the message says
    why, with the program's output and every thread's stack."""


def thread_stacks(pid):
    """A backtrace of every thread of a running process, from gdb."""
    try:
        out = subprocess.run(["gdb", "-p", str(pid), "-batch", "-nx", "-ex", "set pagination off",
                              "-ex", "thread apply all bt"],
                             capture_output=True, text=True, timeout=60)
        return out.stdout + out.stderr
    except (OSError, subprocess.TimeoutExpired) as error:
        return f"no stacks: {error}"


def close_window(display, window, proc, timeout=15.0, attempts=3, output=None, focus=False):
    """Closes the window through the window manager (alt+F4) and returns the
    program's exit code. alt+F4 closes whatever window is active, so it is
    only sent while no other window (an error box) is open and the window
    meant is the active one: an error box is a fault the caller must see,
    never one closed unseen. On a loaded machine the window manager can miss
    a keystroke, so the close is asked for again. Raises CloseFailed saying
    which of these it was: an error box is open, the window never got the
    key, or the program did not exit; output: a function that returns the
    program's output, shown then. focus: give the window the input focus
    instead of activating it through the window manager (Wine's windows
    take no activation from it)."""
    sent = stuck = False
    for _ in range(attempts):
        boxes = other_windows(display, window)
        if boxes:
            why = f"an error box is open: {boxes}"
            break
        if focus:
            display.xdotool("windowfocus", window, check=False)
            has_it = display.xdotool("getwindowfocus", check=False) == str(window)
        else:
            display.xdotool("windowactivate", "--sync", window, check=False)
            has_it = display.xdotool("getactivewindow", check=False) == str(window)
        if has_it:
            display.xdotool("key", "alt+F4", check=False)
            sent = True
        try:
            return proc.wait(timeout / attempts)
        except subprocess.TimeoutExpired:
            continue
    else:
        if not sent:
            why = "the window never got the key: it never became the active window"
        else:
            shown = display.xdotool("search", "--onlyvisible", "--name", ".", check=False).split()
            why = ("the program did not exit after alt+F4; its window is "
                   + ("still shown" if str(window) in shown else "gone"))
            stuck = True
    if proc.poll() is not None:
        return proc.returncode
    stacks = thread_stacks(proc.pid) if stuck else "(not asked for)"
    text = output() if output else ""
    raise CloseFailed(f"the program did not end when its window was closed: {why}\n"
                      f"--- its output (last 4000 characters):\n{text[-4000:]}\n"
                      f"--- its threads:\n{stacks[-12000:]}")


def program_path():
    return os.environ.get("K58_BINARY", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin", "k58"))


def sound_env(display, sound, extra_env=None, general=""):
    """The environment for the program: sound 'null' (OpenAL's silent
    device), None (OpenAL's own choice) or a WAV path recorded by OpenAL
    Soft's file writer; general: more lines for the [general] section of its
    configuration."""
    env = display.env(**(extra_env or {}))
    if sound == "null" and general:
        conf = tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False)
        conf.write(f"[general]\ndrivers = null\n{general}\n")
        conf.close()
        env["ALSOFT_DRIVERS"] = "null"
        env["ALSOFT_CONF"] = conf.name
    elif sound == "null":
        env["ALSOFT_DRIVERS"] = "null"
    elif sound:
        conf = tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False)
        conf.write(f"[general]\ndrivers = wave\n{general}\n[wave]\nfile = {sound}\n")
        conf.close()
        env["ALSOFT_DRIVERS"] = "wave"
        env["ALSOFT_CONF"] = conf.name
    return env


def copy_program_without_module(tmpdir):
    """A copy of k58 in a folder of its own, without the sound module beside it."""
    target = os.path.join(tmpdir, "k58")
    shutil.copy2(program_path(), target)
    return target


class Program:
    """The real program on a display, its stdout and stderr going to a file
    (a pipe nobody reads would fill up and stall it on a long run)."""

    def __init__(self, display, log_path=None, sound="null", binary=None, extra_env=None,
                 general=""):
        self.display = display
        if log_path is None:
            handle, log_path = tempfile.mkstemp(prefix="k58-", suffix=".log", dir=_runtime_dir())
            os.close(handle)
        env = sound_env(display, sound, extra_env, general)
        # In a sanitizer build: no leak reports for system libraries' own.
        env.setdefault("LSAN_OPTIONS", "suppressions=" + os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "..", "soak", "lsan.supp"))
        self.launch([binary or program_path()], env, log_path)

    def launch(self, command, env, log_path):
        """Starts the command with its output going to the file log_path."""
        self.log_path = log_path
        with open(log_path, "wb") as log:
            self.proc = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
        self.pid = self.proc.pid
        self.window = None

    def gear_glyph(self):
        """The gear readout's digit as harness.Panel.gear_glyph gives it, from
        a quick grab of just that part of the screen."""
        x, y = self.origin()
        x0, y0, x1, y1 = Panel.GEAR_BOX
        return Panel(self.display.region(x + x0, y + y0, x1 - x0, y1 - y0), (x, y)).gear_glyph()

    def wait_window(self, timeout=20.0):
        self.window = self.display.find_window(TITLE, timeout=timeout)
        return self.window

    def origin(self):
        """Screen position of the client area's top-left corner; it moves a
        few pixels at every gear change."""
        return client_origin(self.display, self.window)

    def lever_centre(self, name):
        x, y = self.origin()
        cx, cy = lever_centre(name)
        return x + cx, y + cy

    def click_lever(self, name):
        # Where the button stood at start: after many shakes a click may hit
        # a neighbour or nothing, which a random drive accepts.
        x, y = self.lever_centre(name)
        self.display.xdotool("mousemove", x, y, "click", 1)

    def point(self, fx, fy=0.9):
        """Moves the pointer to a point given as a fraction of the client
        area (values outside 0..1 leave the window)."""
        x, y = self.origin()
        self.display.xdotool("mousemove", "--", int(x + fx * CLIENT_W), int(y + fy * CLIENT_H))

    def running(self):
        return self.proc.poll() is None

    def close_with_alt_f4(self, timeout=15.0, attempts=3):
        """Closes the window through the window manager; returns the exit code.
        Raises CloseFailed, with the program's output and its
        threads' stacks, if the program did not end."""
        return close_window(self.display, self.window, self.proc, timeout, attempts, self.output)

    def stop(self):
        stop(self.proc)

    def output(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")


def left_then_right(program, folder, settle):
    """Takes the pointer from far left (throttle below zero) to far right
    (full throttle), settle seconds after each move; returns the client
    origin and the screenshots taken after each."""
    program.point(-0.5, 1.3)
    time.sleep(settle)
    origin = program.origin()
    left = program.display.screenshot(os.path.join(folder, "left.png"))
    program.point(1.6, 1.3)
    time.sleep(settle)
    return origin, left, program.display.screenshot(os.path.join(folder, "right.png"))


def readout_change(program, folder, settle):
    """Picks N, then revs from idle; returns how many pixels of the engine
    speed readout changed. The box allows for the readout having wandered a
    few pixels with the shakes."""
    program.click_lever("N")
    origin, idle, revved = left_then_right(program, folder, settle)
    return engine_readout_change(Panel(idle, origin), Panel(revved, origin))


def engine_readout_change(before, after):
    """How many pixels of the engine speed readout differ between two
    Panels, in a box that allows for the shakes having moved it."""
    return sum(1 for x in range(80, 190) for y in range(30, 80)
               if before.pixel(x, y) != after.pixel(x, y))


def window_change(program, folder, settle):
    """From far left to far right, how many client pixels changed. Clicks
    nothing and assumes no places: after many shakes the controls stand
    anywhere, the dial even over the throttle bar's markers. Throttle below
    zero then above zero changes, in any lever position, the engine or
    road-speed readout or the throttle bar, and only a running tick redraws
    them."""
    (x, y), before, after = left_then_right(program, folder, settle)
    return sum(1 for by in range(CLIENT_H) for bx in range(CLIENT_W)
               if before.pixel(x + bx, y + by) != after.pixel(x + bx, y + by))


def sanitizer_reports(text):
    markers = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
               "SUMMARY: AddressSanitizer", "SUMMARY: UndefinedBehaviorSanitizer")
    return [line for line in text.splitlines() if any(m in line for m in markers)]


def wait_until(predicate, timeout, step=0.1):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def recorded_seconds(path):
    """How many seconds OpenAL Soft's file writer has written so far (it
    writes in real time, so this is the recording's present moment)."""
    with open(path, "rb") as f:
        head = f.read(256)
    fmt = head.find(b"fmt ")
    rate = struct.unpack_from("<I", head, fmt + 12)[0]
    align = struct.unpack_from("<H", head, fmt + 20)[0]
    data = head.find(b"data") + 8
    return max(0, os.path.getsize(path) - data) / align / rate


class AttachedDisplay(Display):
    """An X display that something else started and stops (the private Xvfb
    under a compositor, or its Xwayland), driven like Display. env: variables
    every program on it gets."""

    def __init__(self, name, **env):
        self.name = name
        self.proc = None
        self.extra = env

    def env(self, **extra):
        return super().env(**{**self.extra, **extra})

    def close(self):
        pass


class WaylandOnly:
    """The environment of a native Wayland session: the compositor's socket
    and no X display."""

    def __init__(self, xwayland):
        self.xwayland = xwayland

    def env(self, **extra):
        env = self.xwayland.env(**extra)
        del env["DISPLAY"]
        return env


def _start_xvfb(width, height):
    """Starts Xvfb on a display number it picks itself; returns the process
    and the display's name."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
         "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.time() + 10
    while not number.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.time()))
        chunk = os.read(read_end, 16) if ready else b""
        if not chunk:
            os.close(read_end)
            proc.kill()
            proc.wait()
            raise RuntimeError("Xvfb did not report its display")
        number += chunk
    os.close(read_end)
    return proc, f":{int(number)}"


# Plain background, no panel (its clock would change the picture) and no
# animations, so screenshots show only the windows, at once.
_WESTON_BACKGROUND = (0x20, 0x30, 0x40)
_WESTON_INI = """[shell]
background-color=0xff%02x%02x%02x
panel-position=none
animation=none
close-animation=none
startup-animation=none
focus-animation=none
locking=false
[input-method]
path=
""" % _WESTON_BACKGROUND


class WestonSession:
    """A Wayland session on a private display: weston with Xwayland, drawn
    by weston's X11 backend into an Xvfb of the same size, which gives it a
    pointer and a keyboard that xdotool drives (host). xwayland is the
    Xwayland display, with WAYLAND_DISPLAY set as in a desktop's session;
    wayland_only the same session without an X display. Weston's pointer
    follows the host's once that has moved; the constructor does that."""

    def __init__(self, width=1024, height=768):
        self.width, self.height = width, height
        self.tmp = tempfile.mkdtemp(prefix="k58-weston-")
        self.runtime = os.path.join(self.tmp, "run")
        os.mkdir(self.runtime, 0o700)
        self.weston = None
        self.xvfb, host = _start_xvfb(width, height)
        try:
            self.host = AttachedDisplay(host)
            self._start_weston()
        except BaseException:
            self.close()
            raise

    def _start_weston(self):
        config = os.path.join(self.tmp, "weston.ini")
        with open(config, "w") as f:
            f.write(_WESTON_INI)
        log = os.path.join(self.tmp, "weston.log")
        socket = "k58-wayland"
        env = self.host.env(XDG_RUNTIME_DIR=self.runtime)
        # Its own process group, so that its helpers (Xwayland, the shell
        # client) can be ended with it.
        self.weston = subprocess.Popen(
            ["weston", "--backend=x11-backend.so", "--use-pixman", "--xwayland",
             f"--socket={socket}", f"--width={self.width}", f"--height={self.height}",
             f"--config={config}", f"--log={log}", "--idle-time=0"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        xdisplay = None
        deadline = time.time() + 20
        while xdisplay is None or not os.path.exists(os.path.join(self.runtime, socket)):
            if time.time() > deadline or self.weston.poll() is not None:
                raise RuntimeError(f"weston did not start: {_read(log)}")
            time.sleep(0.1)
            found = re.search(r"xserver listening on display (:\d+)", _read(log))
            xdisplay = found.group(1) if found else None
        self.xwayland = AttachedDisplay(xdisplay, WAYLAND_DISPLAY=socket,
                                        XDG_RUNTIME_DIR=self.runtime)
        self.wayland_only = WaylandOnly(self.xwayland)
        self.host.xdotool("mousemove", 1, 1)
        self.host.xdotool("mousemove", 0, 0)
        # Ready once weston has drawn its pointer there, so that screenshots
        # from now on change only where windows come and go.
        deadline = time.time() + 10
        while time.time() < deadline:
            shot = self.host.screenshot(os.path.join(self.tmp, "ready.png"))
            if any(shot.pixel(x, y) != _WESTON_BACKGROUND for x in range(8) for y in range(8)):
                break
            time.sleep(0.1)

    def close(self):
        if self.weston:
            stop(self.weston)
            # Its helpers, should any outlive it.
            try:
                os.killpg(self.weston.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        stop(self.xvfb, 5)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def stop(proc, timeout=10):
    """Ends a process that may still run (or None): asks it first, then
    kills it."""
    if proc is not None and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def _read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode(errors="replace")
    except OSError:
        return ""
