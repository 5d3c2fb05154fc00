"""Runs `moravel` on one file of the hostile corpus inside resource limits and
measures it: exit status or signal, peak resident memory, CPU and wall time,
and the outputs written. Shared by the corpus test and the benchmark report."""
import os
import pathlib
import resource
import subprocess
import time

MIB = 1 << 20


class Result:
    def __init__(self, status, signal, peak_bytes, cpu_seconds, wall_seconds, outputs, stderr):
        self.status = status          # exit status, or None when a signal ended it
        self.signal = signal          # the signal number, or None
        self.peak_bytes = peak_bytes  # peak resident set
        self.cpu_seconds = cpu_seconds
        self.wall_seconds = wall_seconds
        self.outputs = outputs        # paths written into the output folder
        self.stderr = stderr


def run_moravel(cli, source, fmt, work, address_space=None, cpu_seconds=60,
                file_size=512 * MIB):
    """Converts `source` into work/out (emptied first) with the given limits;
    address_space None leaves memory unlimited."""
    work = pathlib.Path(work)
    out = work / "out"
    tmp = work / "tmp"
    for folder in (out, tmp):
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.iterdir():
            old.unlink()

    def limits():
        if address_space:
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
        resource.setrlimit(resource.RLIMIT_CPU, (cpu_seconds, cpu_seconds))
        resource.setrlimit(resource.RLIMIT_FSIZE, (file_size, file_size))

    env = dict(os.environ, TMPDIR=str(tmp))
    started = time.monotonic()
    child = subprocess.Popen([cli, "--format", fmt, "--output-folder", str(out), str(source)],
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, env=env, preexec_fn=limits)
    stdout, stderr = b"", b""
    # Read the pipes before waiting; both are small.
    stdout = child.stdout.read()
    stderr = child.stderr.read()
    _, wait_status, usage = os.wait4(child.pid, 0)
    child.returncode = 0  # reaped here; keep Popen from waiting again
    wall = time.monotonic() - started
    status = os.WEXITSTATUS(wait_status) if os.WIFEXITED(wait_status) else None
    signal = os.WTERMSIG(wait_status) if os.WIFSIGNALED(wait_status) else None
    return Result(status, signal, usage.ru_maxrss * 1024, usage.ru_utime + usage.ru_stime, wall,
                  sorted(out.iterdir()), stderr.decode("utf-8", "replace"))
