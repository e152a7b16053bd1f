"""Figures of a long run of the real program read from /proc: memory and
CPU of a process."""


def status_kb(pid, key):
    """A memory figure (VmRSS, VmHWM ...) of a process in kB, or None."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except FileNotFoundError:
        return None
    return None


def cpu_ticks(pid):
    """(state, user + system clock ticks) of a process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return fields[0], int(fields[11]) + int(fields[12])
