#!/usr/bin/env python3
"""moravel.exe under Wine: Ctrl+C in the middle of a batch (Wine turns SIGINT
into the console's Ctrl+C event) removes the temporary file and the new empty
sub-folder and exits 130; four batches racing for the same names into one
folder each deliver every file under name, name+1 ... name+3, nothing
replaced, nothing hidden left behind.
"""
import os
import random
import shlex
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from script_checks import check, finish, wine_path  # noqa: E402
from wine_processes import windows_process_pid  # noqa: E402

CLI = os.environ["MORAVEL_CLI"]
WINE = shlex.split(os.environ.get("MORAVEL_WINE", ""))
def noise(path, width, height, seed):
    data = random.Random(seed).randbytes(width * height * 3)
    Image.frombytes("RGB", (width, height), data).save(path)
    return path


def program_pid(marker):
    """The Wine process whose command line names moravel.exe and `marker`."""
    return windows_process_pid("moravel.exe", marker)


def ctrl_c(work):
    tmp = work / "tmp"
    out = work / "out"
    tmp.mkdir()
    out.mkdir()
    huge = noise(work / "huge.png", 2600, 2600, 1)
    env = dict(os.environ, TMP=str(tmp))
    process = subprocess.Popen(WINE + [CLI, "--format", "png", "--output-folder", wine_path(out),
                                       "--sub-folder", "Fresh", wine_path(huge)],
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 120
    pid = None
    while time.monotonic() < deadline and process.poll() is None:
        pid = program_pid("Fresh")
        if pid and any(tmp.iterdir()):
            break
        time.sleep(0.01)
    check(pid is not None and any(tmp.iterdir()), "ctrl+c: the batch never wrote its temporary file")
    if pid:
        os.kill(pid, signal.SIGINT)
    process.communicate(timeout=120)
    check(process.returncode == 130, f"ctrl+c: exit {process.returncode}")
    check(list(tmp.iterdir()) == [], f"ctrl+c: temporary files left: {list(tmp.iterdir())}")
    check(not (out / "Fresh").exists(), "ctrl+c: the new empty sub-folder stayed")


def race(work, batches=4, count=12):
    out = work / "race"
    out.mkdir()
    sources = [noise(work / f"s{i:02}.png", 20, 12, 10 + i) for i in range(count)]
    processes = [subprocess.Popen(WINE + [CLI, "--format", "bmp", "--output-folder", wine_path(out),
                                          *map(wine_path, sources)],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                 for _ in range(batches)]
    for process in processes:
        process.communicate(timeout=300)
        check(process.returncode == 0, f"race: a batch exited {process.returncode}")
    expected = sorted(f"s{i:02}{'' if n == 0 else f'+{n}'}.bmp"
                      for i in range(count) for n in range(batches))
    names = sorted(p.name for p in out.iterdir())
    check(names == expected, f"race: names differ: {sorted(set(names) ^ set(expected))[:20]}")


def main():
    with tempfile.TemporaryDirectory(prefix="moravel-delivery-wine-") as folder:
        work = Path(folder)
        ctrl_c(work)
        race(work)
    return finish("all Windows delivery checks passed")


if __name__ == "__main__":
    sys.exit(main())
