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
