#!/usr/bin/env python3
"""moravel with --jobs 2 and --jobs 8 (and the default) against --jobs 1:
the same output names and bytes, the same lines on stdout and stderr, the
same exit status, and nothing left in the temporary folder, for batches
where one file name comes from several folders, a name is already taken,
and unreadable, damaged and missing files are mixed in. A test hook
(MORAVEL_TEST_SHUFFLE_SEED) delays each conversion at random so that files
finish out of order. Runs moravel natively or moravel.exe under Wine.
"""
import io
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
ON_WINE = os.environ.get("MORAVEL_PLATFORM") == "windows"


def arg(path):
    return wine_path(path) if ON_WINE else str(path)


def picture(seed, width, height, mode="RGB"):
    rnd = random.Random(seed)
    image = Image.new("RGB", (width, height))
    pixels = image.load()
    a, b, c = rnd.randrange(1, 9), rnd.randrange(1, 9), rnd.randrange(256)
    for y in range(height):
        for x in range(width):
            pixels[x, y] = ((x * a + c) & 255, (y * b) & 255, ((x ^ y) * 3 + rnd.randrange(16)) & 255)
    return image.convert(mode) if mode != "RGB" else image


def make_sources(root):
    """Sources in three folders sharing names, plus the odd ones."""
    sources = []
    for folder in ("a", "b", "c"):
        d = root / folder
        d.mkdir()
        seed = ord(folder)
        picture(seed, 180, 120).save(d / "photo.jpg", quality=90)
        picture(seed + 1, 90, 140).save(d / "chart.png")
        picture(seed + 2, 75, 60, "P").save(d / "icon.gif")
        picture(seed + 3, 64, 48).save(d / "scan.bmp")
        picture(seed + 4, 50, 70).save(d / "page.tif")
        sources += [d / n for n in ("photo.jpg", "chart.png", "icon.gif", "scan.bmp", "page.tif")]
    # No picture at all; a JPEG cut short (decoded with a note); a missing file.
    (root / "b" / "notes.png").write_bytes(b"this is no picture" * 10)
    whole = io.BytesIO()
    picture(7, 200, 160).save(whole, "JPEG", quality=85)
    (root / "c" / "cut.jpg").write_bytes(whole.getvalue()[: len(whole.getvalue()) // 2])
    sources.insert(4, root / "b" / "notes.png")
    sources.insert(9, root / "c" / "cut.jpg")
    sources.insert(12, root / "a" / "missing.png")
    return sources


def run(sources, out, tmp, options, jobs, seed):
    env = dict(os.environ, TMPDIR=str(tmp), TMP=str(tmp), TEMP=str(tmp))
    env.pop("MORAVEL_TEST_SHUFFLE_SEED", None)
    if seed is not None:
        env["MORAVEL_TEST_SHUFFLE_SEED"] = str(seed)
    command = WINE + [CLI, "--output-folder", arg(out)] + options
    if jobs is not None:
        command.append(f"--jobs={jobs}" if jobs == 8 else "--jobs")
        if jobs != 8:
            command.append(str(jobs))
    command += [arg(s) for s in sources]
    done = subprocess.run(command, env=env, capture_output=True, timeout=600)
    prefix = arg(out).encode()
    normal = lambda text: text.replace(prefix, b"<out>").replace(b"\r\n", b"\n")
    files = {p.relative_to(out).as_posix(): p.read_bytes()
             for p in sorted(out.rglob("*")) if p.is_file()}
    return done.returncode, normal(done.stdout), normal(done.stderr), files


def compare(label, sources, work, options, runs, expect_exit=1, least_files=10):
    reference = None
    for jobs, seed in runs:
        name = f"{label}-j{jobs}-s{seed}"
        out = work / name
        tmp = work / (name + "-tmp")
        out.mkdir()
        tmp.mkdir()
        (out / "photo.png").write_bytes(b"taken")  # an output name already in use
        (out / "photo.jpg").write_bytes(b"taken")
        result = run(sources, out, tmp, options, jobs, seed)
        check(list(tmp.iterdir()) == [], f"{name}: left in the temporary folder: {list(tmp.iterdir())}")
        check(not any(Path(n).name[0] in ".~" for n in result[3]),
              f"{name}: hidden files left: {sorted(result[3])}")
        if reference is None:
            reference = result
            check(result[0] == expect_exit, f"{name}: exit {result[0]}, expected {expect_exit}")
            check(len(result[3]) >= least_files, f"{name}: only {sorted(result[3])}")
            continue
        check(result[0] == reference[0], f"{name}: exit {result[0]}, one job gave {reference[0]}")
        check(result[1] == reference[1], f"{name}: stdout differs:\n{result[1].decode()}\n"
                                          f"one job:\n{reference[1].decode()}")
        check(result[2] == reference[2], f"{name}: stderr differs:\n{result[2].decode()}\n"
                                          f"one job:\n{reference[2].decode()}")
        check(sorted(result[3]) == sorted(reference[3]),
              f"{name}: names {sorted(result[3])}, one job {sorted(reference[3])}")
        for file_name, data in reference[3].items():
            check(result[3].get(file_name) == data, f"{name}: {file_name} differs from one job's")


def program_pid(process, marker):
    """The process to interrupt: moravel itself, or under Wine the Windows
    process whose command line names moravel.exe and `marker`."""
    if not ON_WINE:
        return process.pid
    return windows_process_pid("moravel.exe", marker)


def interrupted(work):
    """Ctrl+C while several workers hold temporary files: exit 130, nothing
    left in the temporary folder, no hidden copy, the new empty sub-folder
    gone, and every output present complete (under its name)."""
    big = work / "big"
    big.mkdir()
    for i in range(6):
        picture(50 + i, 1400, 1000).save(big / f"big{i}.png")
    out, tmp = work / "int-out", work / "int-tmp"
    out.mkdir()
    tmp.mkdir()
    env = dict(os.environ, TMPDIR=str(tmp), TMP=str(tmp), TEMP=str(tmp))
    command = WINE + [CLI, "--format", "png", "--jobs", "3", "--output-folder", arg(out),
                      "--sub-folder", "Interrupted"] + [arg(p) for p in sorted(big.iterdir())]
    process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    pid, deadline = None, time.monotonic() + 300
    while time.monotonic() < deadline and process.poll() is None:
        pid = program_pid(process, "Interrupted")
        if pid and len(list(tmp.iterdir())) >= 2:
            break
        time.sleep(0.005)
    check(pid is not None and len(list(tmp.iterdir())) >= 2,
          f"interrupt: never two temporary files at once: {list(tmp.iterdir())}")
    if pid:
        os.kill(pid, signal.SIGINT)
    process.communicate(timeout=300)
    check(process.returncode == 130, f"interrupt: exit {process.returncode}")
    check(list(tmp.iterdir()) == [], f"interrupt: temporary files left: {list(tmp.iterdir())}")
    left = [p for p in out.rglob("*") if p.is_file()]
    check(all(p.name[0] not in ".~" for p in left), f"interrupt: hidden copies left: {left}")
    for p in left:
        try:
            Image.open(p).load()
        except Exception as error:  # a partial file under a final name
            check(False, f"interrupt: {p.name} is not a whole PNG: {error}")
    check(left or not (out / "Interrupted").exists(), "interrupt: the empty new sub-folder stayed")


def main():
    with tempfile.TemporaryDirectory(prefix="moravel-parallel-") as temp:
        work = Path(temp)
        sources = make_sources(work)
        workloads = [
            ("png", ["--format", "png"], 10),
            ("jpeg", ["--format", "jpeg", "--quality", "85", "--resize", "long:100"], 10),
            ("gif", ["--format", "gif", "--resize", "width:70", "--keep-transparency"], 10),
            ("bmp", ["--format", "bmp", "--sub-folder", "Out"], 10),
            ("limit", ["--format", "jpeg", "--size-limit", "3"], 10),
            ("copy", ["--format", "jpegcopy"], 5),
        ]
        runs = [(1, None), (2, 11), (8, 12), (None, 13)]
        if ON_WINE:  # Wine starts slowly: fewer workloads, each still against one job
            workloads = [workloads[1], workloads[3], workloads[5]]
            runs = [(1, None), (2, 21), (8, 22)]
        for label, options, least in workloads:
            compare(label, sources, work, options, runs, least_files=least)
        # Several shuffles of the collisions alone: every order of finishing
        # still numbers them as one after another.
        collide = [s for s in sources if s.name in ("photo.jpg", "chart.png")] * 3
        for seed in range(3 if ON_WINE else 8):
            compare(f"collide{seed}", collide, work, ["--format", "png"], [(1, None), (8, 100 + seed)],
                    expect_exit=0, least_files=len(collide))
        interrupted(work)
    return finish("parallel e2e: all runs match --jobs 1")


if __name__ == "__main__":
    sys.exit(main())
