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


_RUNTIME_DIR = None


def _runtime_dir():
    """One private runtime folder for the programs this test process starts,
    made when first needed and removed at exit."""
    global _RUNTIME_DIR
    if _RUNTIME_DIR is None:
        _RUNTIME_DIR = tempfile.mkdtemp(prefix="k58-xdg-")
        atexit.register(shutil.rmtree, _RUNTIME_DIR, True)
    return _RUNTIME_DIR


def _free_display():
    for number in range(140, 400):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            return number
    raise RuntimeError("no free X display")


class Display:
    """A private Xvfb server; use as a context manager."""

    def __init__(self, width=1024, height=768):
        self.number = _free_display()
        self.name = f":{self.number}"
        self.proc = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{self.number}"):
            if time.time() > deadline:
                raise RuntimeError("Xvfb did not start")
            time.sleep(0.05)

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

    def gear_glyph(self):
        """The digit of the gear readout (Label2 at 112, 88) as the set of
        its dark pixels counted from their top-left corner, so that the same
        digit compares equal wherever the shakes have moved it. The digit is
        the largest connected patch of ink in a box with room for the
        shakes; bits of neighbouring labels moved into the box are smaller."""
        ink = {(x, y) for x in range(100, 156) for y in range(74, 130)
               if max(self.pixel(x, y)) < 80}
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


def close_with_alt_f4(display, window, proc, timeout=15.0, attempts=3):
    """Closes the window through the window manager and returns the exit code,
    or None if the program did not end. alt+F4 closes whatever window is
    active, so it is only sent while no other window (an error box) is open
    and the window meant is the active one: an error box is a fault the
    caller must see, never one closed unseen. On a loaded machine the window
    manager can miss a keystroke, so the close is asked for again."""
    for _ in range(attempts):
        if other_windows(display, window):
            return None
        display.xdotool("windowactivate", "--sync", window, check=False)
        if display.xdotool("getactivewindow", check=False) == str(window):
            display.xdotool("key", "alt+F4", check=False)
        try:
            return proc.wait(timeout / attempts)
        except subprocess.TimeoutExpired:
            continue
    return None


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


def start_program(display, binary=None, sound="null", extra_env=None, log=None):
    """Starts k58 on the display with its sound going where sound_env says.
    Its output is discarded, or its error output written to the file log: a
    pipe nobody reads could stall it."""
    stderr = open(log, "wb") if log else subprocess.DEVNULL
    try:
        return subprocess.Popen([binary or program_path()], env=sound_env(display, sound, extra_env),
                                stdout=subprocess.DEVNULL, stderr=stderr)
    finally:
        if log:
            stderr.close()


def copy_program_without_module(tmpdir):
    """A copy of k58 in a folder of its own, without the sound module beside it."""
    target = os.path.join(tmpdir, "k58")
    shutil.copy2(program_path(), target)
    return target


class AttachedDisplay(Display):
    """An X display that something else started and stops (the private Xvfb
    under a compositor, or its Xwayland), driven like Display. env: variables
    every program on it gets."""

    def __init__(self, name, **env):
        self.name = name
        self.number = int(name.lstrip(":"))
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
