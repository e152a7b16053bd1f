"""A private PulseAudio server for tests that hear the program as a user does:
a null sink named k58 whose monitor is recorded with parec. The server runs
in user mode in a runtime folder of its own, reached through an anonymous
unix socket; its clients find it through PULSE_SERVER and never start a
server of their own (another server with the same sink name may run on the
machine). It can be stopped and started again on the same socket."""

import array
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SINK = "k58"
RATE = 44100
CHANNELS = 2
FRAME_BYTES = 4 * CHANNELS  # float32


class PulseServer:
    def __init__(self):
        self.runtime = tempfile.mkdtemp(prefix="k58-pulse-")
        os.chmod(self.runtime, 0o700)
        self.socket = os.path.join(self.runtime, "native")
        self.client_conf = os.path.join(self.runtime, "client.conf")
        with open(self.client_conf, "w") as f:
            f.write("autospawn = no\n")
        self.proc = None
        self.log = os.path.join(self.runtime, "server.log")
        self.start()

    def client_env(self):
        """What a client of this server needs in its environment."""
        return {"PULSE_SERVER": f"unix:{self.socket}", "PULSE_CLIENTCONFIG": self.client_conf}

    def _env(self):
        env = dict(os.environ)
        env.update(self.client_env())
        env["XDG_RUNTIME_DIR"] = self.runtime
        env["HOME"] = self.runtime  # its cookie and state stay here
        return env

    def start(self, timeout=15.0):
        if os.path.exists(self.socket):
            os.remove(self.socket)
        with open(self.log, "ab") as log:
            self.proc = subprocess.Popen(
                ["pulseaudio", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "-n",
                 "--use-pid-file=no", "--disable-shm=yes",
                 f"--load=module-null-sink sink_name={SINK} rate={RATE} channels={CHANNELS}",
                 f"--load=module-native-protocol-unix auth-anonymous=1 socket={self.socket}"],
                env=self._env(), stdout=log, stderr=subprocess.STDOUT)
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError(f"pulseaudio ended: {open(self.log).read()[-2000:]}")
            if self.pactl("info").returncode == 0:
                self.pactl("set-default-sink", SINK)
                return
            time.sleep(0.1)
        raise RuntimeError("pulseaudio did not start")

    def pactl(self, *args):
        return subprocess.run(["pactl", *args], env=self._env(), capture_output=True, text=True,
                              timeout=10)

    def stop(self):
        if self.proc is not None:
            harness.stop(self.proc)
        self.proc = None

    def close(self):
        self.stop()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def record(self, path):
        """Starts recording the sink's monitor into path (raw float32 stereo
        at RATE); returns the recorder."""
        return Recorder(self, path)


class Recorder:
    """parec writing the mix, as it is played, into a raw file; the file's
    size tells how much has been played."""

    def __init__(self, server, path):
        self.path = path
        self.proc = subprocess.Popen(
            ["parec", "-d", f"{SINK}.monitor", "--raw", "--format=float32le", f"--rate={RATE}",
             f"--channels={CHANNELS}", "--latency-msec=5", path],
            env=server._env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def frames(self):
        return os.path.getsize(self.path) // FRAME_BYTES if os.path.exists(self.path) else 0

    def wait_for(self, seconds, timeout=20.0):
        """Waits until the file holds seconds of sound: parec delivers its
        first samples a second or two after it starts, and a sink with
        nothing playing into it gives it none."""
        deadline = time.time() + timeout
        while self.frames() < seconds * RATE:
            if time.time() > deadline:
                raise RuntimeError(f"parec recorded {self.frames() / RATE:.2f} s only")
            time.sleep(0.05)

    def stop(self):
        harness.stop(self.proc)

    def read(self):
        """(rate, mono samples) of what was recorded."""
        return read_raw(self.path)


def read_raw(path):
    with open(path, "rb") as f:
        data = f.read()
    values = array.array("f")
    values.frombytes(data[:len(data) - len(data) % FRAME_BYTES])
    return RATE, [sum(values[i:i + CHANNELS]) / CHANNELS for i in range(0, len(values), CHANNELS)]
