"""Figures, not a test: the delay from SetFrequency to the pitch change in
the recording, on OpenAL Soft's file writer and through a private
PulseAudio server recorded with parec, and the level of each carried sound
in the mix. Run under the machine lock:

  python3 tests/e2e/measure_sound.py build [changes]
"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pulsekit  # noqa: E402


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    changes = sys.argv[2] if len(sys.argv) > 2 else "24"
    tool = os.path.join(build, "bin", "openal_sound_figures")
    tmp = tempfile.mkdtemp(prefix="k58-sound-figures-")
    subprocess.run([tool, "levels", os.path.join(tmp, "levels.wav")], check=True)
    subprocess.run([tool, "wave", os.path.join(tmp, "out.wav"), changes], check=True)
    server = pulsekit.PulseServer()
    try:
        raw = os.path.join(tmp, "out.raw")
        recorder = server.record(raw)
        env = dict(os.environ, ALSOFT_DRIVERS="pulse", **server.client_env())
        env.pop("ALSOFT_CONF", None)
        subprocess.run([tool, "raw", raw, changes], env=env, check=True)
        recorder.stop()
    finally:
        server.close()


if __name__ == "__main__":
    main()
