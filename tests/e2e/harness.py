"""Runs the real k58 program under Xvfb for end-to-end tests: starts a private
X server, starts the program with the sound going where the test says, finds
its window with xdotool and reads pixels from screenshots with ImageMagick."""

import os
import shutil
import subprocess
import tempfile
import time


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

    def start_window_manager(self):
        """Starts openbox, which frames windows, activates them on show and
        asks them to close on alt+F4."""
        self.wm = subprocess.Popen(["openbox"], env=self.env(), stdout=subprocess.DEVNULL,
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
        env.setdefault("XDG_RUNTIME_DIR", tempfile.mkdtemp(prefix="k58-xdg-"))
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

    def screenshot(self, path):
        subprocess.run(["import", "-silent", "-window", "root", path], env=self.env(), check=True,
                       timeout=20)
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

    def find(self, colour, x0, y0, x1, y1):
        """Columns (x) in the box [x0,x1) x [y0,y1) whose pixel has this colour."""
        return sorted({x for y in range(y0, y1) for x in range(x0, x1) if self.pixel(x, y) == colour})


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
    or None if the program did not end. On a loaded machine the window
    manager can miss a keystroke, so the close is asked for again, but never
    while another window (an error box) is open: that is a fault the caller
    must see."""
    for attempt in range(attempts):
        if attempt > 0 and other_windows(display, window):
            return None
        display.xdotool("windowactivate", "--sync", window, check=False)
        display.xdotool("key", "--window", window, "alt+F4", check=False)
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
    if sound == "null":
        env["ALSOFT_DRIVERS"] = "null"
    elif sound:
        conf = tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False)
        conf.write(f"[general]\ndrivers = wave\n{general}\n[wave]\nfile = {sound}\n")
        conf.close()
        env["ALSOFT_DRIVERS"] = "wave"
        env["ALSOFT_CONF"] = conf.name
    return env


def start_program(display, binary=None, sound="null", extra_env=None):
    """Starts k58 on the display with its sound going where sound_env says.
    Its output is discarded: a pipe nobody reads could stall it."""
    return subprocess.Popen([binary or program_path()], env=sound_env(display, sound, extra_env),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def copy_program_without_module(tmpdir):
    """A copy of k58 in a folder of its own, without the sound module beside it."""
    target = os.path.join(tmpdir, "k58")
    shutil.copy2(program_path(), target)
    return target
