"""Runs Windows programs under Wine in a test run's prefix, for tests written
in Python. The prefix is made by wineprefix.sh (ctest's fixture "wine_prefix"
makes one per run and passes it in WINEPREFIX); every Wine process gets the
settings of wine.env."""

import os
import pathlib
import subprocess

HERE = pathlib.Path(__file__).resolve().parent


def settings():
    """The Wine settings of wine.env, as a dict."""
    result = {}
    for line in (HERE / "wine.env").read_text().splitlines():
        if line and not line.startswith("#") and "=" in line:
            key, value = line.split("=", 1)
            result[key] = value
    return result


def environment(prefix=None, **extra):
    """This process's environment with the Wine settings and the prefix
    (default: $WINEPREFIX, which ctest sets), plus any extra variables."""
    env = dict(os.environ)
    env.update(settings())
    prefix = prefix or env.get("WINEPREFIX")
    if not prefix:
        raise RuntimeError("no Wine prefix: set WINEPREFIX or run the test through ctest")
    env["WINEPREFIX"] = str(prefix)
    env.update(extra)
    return env


def make_prefix(prefix):
    """Makes a fresh prefix at the given path (as ctest's fixture does)."""
    subprocess.run(["bash", str(HERE / "wineprefix.sh"), str(prefix)], check=True)


def stop(prefix=None):
    """Ends the prefix's wineserver and every program still running in it."""
    subprocess.run(["wineserver", "-k"], env=environment(prefix), stderr=subprocess.DEVNULL)


def wine(*args, prefix=None, env=None, **kwargs):
    """Runs a Windows program (or a Wine tool such as reg) and waits for it;
    keyword arguments go to subprocess.run."""
    return subprocess.run(["wine", *map(str, args)], env=env or environment(prefix), **kwargs)


def drive_c(prefix=None):
    """The prefix's C: drive as a host path."""
    return pathlib.Path(environment(prefix)["WINEPREFIX"]) / "drive_c"


# --- the real k58.exe on a private X display --------------------------------
#
# The end-to-end kit of the Linux build (tests/e2e) drives the
# Windows program too; what differs is how it starts and that Wine, not the
# window manager, draws and owns the window's frame.

import shutil  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402

sys.path.insert(0, str(HERE.parent / "e2e"))
import harness  # noqa: E402

# Wine's frame around a window with a caption and a single border (its own
# metrics, the same in every prefix the tests make): 3 pixels on each side
# and a 19-pixel caption.
FRAME_SIDE, CAPTION = 3, 19
OPENBOX_RC = HERE / "openbox-rc.xml"


def program_path():
    return os.environ.get("K58_EXE", str(HERE.parents[1] / "build-windows" / "bin" / "k58.exe"))


class Display(harness.Display):
    """A private Xvfb whose window manager leaves alt+F4 to the windows."""

    def start_window_manager(self, config=None):
        super().start_window_manager(config or OPENBOX_RC)


_NO_SERVER = None


def no_sound_server():
    """Client settings that reach no PulseAudio server: a socket that does
    not exist, and no server started on demand."""
    global _NO_SERVER
    if _NO_SERVER is None:
        folder = tempfile.mkdtemp(prefix="k58-no-pulse-")
        conf = os.path.join(folder, "client.conf")
        with open(conf, "w") as f:
            f.write("autospawn = no\n")
        _NO_SERVER = {"PULSE_SERVER": f"unix:{folder}/none", "PULSE_CLIENTCONFIG": conf}
    return dict(_NO_SERVER)


# System libraries k58.exe uses, which a download folder might also hold.
PLANTED_NAMES = ("DSound.dll", "winmm.dll", "uxtheme.dll")


def beside_planted_libraries(folder):
    """Copies k58.exe into folder beside copies of the test's planted library
    (K58_PLANTED) under the names of the system libraries it uses; returns
    the copy's path. A copy that is loaded leaves <name>.loaded beside it."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    exe = folder / "k58.exe"
    shutil.copyfile(program_path(), exe)
    for name in PLANTED_NAMES:
        shutil.copyfile(os.environ["K58_PLANTED"], folder / name)
    return exe


def prefer_planted():
    """Settings under which Wine, like Windows, takes a library found by the
    search (the program's folder first) over its own built-in one."""
    names = ",".join(name[:-4].lower() for name in PLANTED_NAMES)
    return {"WINEDLLOVERRIDES": f"{settings()['WINEDLLOVERRIDES']};{names}=n,b"}


def planted_loaded(folder):
    """The planted libraries that were loaded."""
    return sorted(p.stem for p in pathlib.Path(folder).glob("*.loaded"))


class Program(harness.Program):
    """k58.exe under Wine on a display, driven like the Linux program. Its
    sound goes to the PulseAudio server that sound names (a
    pulsekit.PulseServer), or nowhere: then no server is reachable."""

    def __init__(self, display, log_path, sound=None, exe=None, extra_env=None):
        self.display = display
        env = sound.client_env() if sound is not None else no_sound_server()
        env.update(extra_env or {})
        self.launch(["wine", exe or program_path()], environment(**display.env(**env)), log_path)

    def frame(self):
        """Screen position of the window's outer frame, which Wine draws: its
        X window is the whole frame."""
        return harness.client_origin(self.display, self.window)

    def origin(self):
        x, y = self.frame()
        return x + FRAME_SIDE, y + FRAME_SIDE + CAPTION

    def close_with_alt_f4(self, timeout=15.0, attempts=3):
        """alt+F4 to the window, given the input focus, as Wine's windows take
        no activation from the window manager (see harness.close_window)."""
        return harness.close_window(self.display, self.window, self.proc, timeout, attempts,
                                    self.output, focus=True)
