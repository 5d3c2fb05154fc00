"""The real moravel under faults: a source shortened while it is read or at
a random moment, a written file whose close fails, a copy into the output
folder that fails, kills at random moments, eight batches racing for the same
names, a FIFO and a device as sources, a link to nothing at an output name, an
over-long TMPDIR, and SIGINT/SIGTERM in the middle of a batch.
Outputs are checked with PIL.
"""
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from script_checks import check, finish  # noqa: E402

CLI = os.environ.get("MORAVEL_CLI") or sys.argv[1]


def run(args, timeout=120, **kwargs):
    try:
        return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True,
                              timeout=timeout, **kwargs)
    except subprocess.TimeoutExpired:
        check(False, f"{args} did not end within {timeout} s")
        return subprocess.CompletedProcess(args, -1, "", "")


def noise(path, width, height, seed, **save):
    data = random.Random(seed).randbytes(width * height * 3)
    Image.frombytes("RGB", (width, height), data).save(path, **save)
    return path


def decodes(path):
    try:
        with Image.open(path) as picture:
            picture.load()
        return True
    except Exception:
        return False


def visible(folder):
    return sorted(p.name for p in Path(folder).iterdir() if not p.name.startswith("."))


def hidden(folder):
    return sorted(p.name for p in Path(folder).iterdir() if p.name.startswith("."))


def preload_with_shim():
    """The shim that shortens a source once mapped; a sanitizer runtime the
    program links must come first."""
    shim = os.environ.get("MORAVEL_IO_FAULTS_SHIM") or str(
        Path(CLI).parent.parent / "tests" / "delivery" / "io_faults.so")
    linked = subprocess.run(["ldd", CLI], capture_output=True, text=True).stdout
    first = [line.split("=>")[1].split()[0] for line in linked.splitlines()
             if "libasan" in line and "=>" in line]
    return ":".join(first + [shim])


def picture_of_kind(path):
    """A picture of 700 x 700 (the HEIC one is the test pictures' own) in the
    format its name gives."""
    kind = path.suffix[1:]
    if kind == "heic":
        path.write_bytes((Path(__file__).resolve().parents[1] / "formats/data/plain.heic")
                         .read_bytes())
    elif kind == "avif":
        png = noise(path.with_suffix(".png"), 700, 700, 99)
        subprocess.run(["avifenc", "-s", "10", str(png), str(path)], check=True,
                       capture_output=True)
        png.unlink()
    else:
        noise(path, 700, 700, 99, **({"quality": 97} if kind == "jpg" else {}))
    return path


def shortened_source(work):
    """A file cut while it is read fails with its reason and the files after
    it still convert: one in the middle of a short batch (the native readers,
    and WebP, HEIC and AVIF through the library decoders), and the last of a
    long one with one and with two workers."""
    cases = [("png", "bmp", 1, 3, None), ("jpg", "png", 1, 3, None),
             ("jpg", "jpegcopy", 1, 3, None), ("png", "gif", 10, 10, 1), ("jpg", "jpeg", 10, 10, 2),
             ("webp", "bmp", 2, 3, None), ("heic", "png", 2, 3, None), ("avif", "bmp", 2, 3, 2)]
    for victim_kind, output, place, count, jobs in cases:
        case = work / f"short-{victim_kind}-{output}-{count}"
        out = case / "out"
        out.mkdir(parents=True)
        sources = [noise(case / f"s{i:02}.jpg", 40, 30, i, quality=90) for i in range(1, count + 1)]
        victim = sources[place - 1] = picture_of_kind(case / f"v{place:02}.{victim_kind}")
        whole = victim.stat().st_size
        env = dict(os.environ, MORAVEL_TEST_SHORTEN_SOURCE=str(victim),
                   LD_PRELOAD=preload_with_shim())
        extra = ["--jobs", jobs] if jobs else []
        result = run(["--format", output, "--output-folder", out, *extra, *sources], env=env)
        extension = {"jpegcopy": "jpg", "jpeg": "jpg"}.get(output, output)
        expected = sorted(f"{p.stem}.{extension}" for p in sources if p != victim)
        label = f"shortened {victim.name} -> {output} of {count}"
        check(result.returncode == 1, f"{label}: exit {result.returncode}, {result.stderr}")
        check(victim.stat().st_size < whole, f"{label}: the hook did not shorten the file")
        check(visible(out) == expected, f"{label}: {visible(out)}")
        check(all(decodes(out / n) for n in visible(out)), f"{label}: an output does not decode")
        check(f"{victim.name}: cannot be read: the file changed while it was read" in result.stderr,
              f"{label}: no reason for the victim: {result.stderr}")
        check(hidden(out) == [], f"{label}: hidden files left: {hidden(out)}")


def random_truncation(work, runs=200):
    """A source cut to 4096 bytes at a random moment of the batch, 200 times
    with one and with two workers: never a crash, the files after it are
    always written, and the victim either fails or gives exactly the output
    of the whole file."""
    case = work / "truncate"
    case.mkdir()
    pristine = noise(case / "pristine.png", 1200, 1200, 11, compress_level=1).read_bytes()
    first, last = noise(case / "a.png", 30, 20, 12), noise(case / "c.png", 20, 30, 13)
    victim = case / "victim.png"
    victim.write_bytes(pristine)
    reference = case / "reference"
    reference.mkdir()
    started = time.monotonic()
    run(["--format", "bmp", "--output-folder", reference, victim])
    span = time.monotonic() - started
    expected = (reference / "victim.bmp").read_bytes()
    chooser = random.Random(14)
    outcomes = {"failed": 0, "whole": 0}
    for number in range(runs):
        out = case / f"out{number}"
        out.mkdir()
        victim.write_bytes(pristine)
        jobs = 1 + number % 2
        process = subprocess.Popen([CLI, "--format", "bmp", "--output-folder", str(out),
                                    "--jobs", str(jobs), str(first), str(victim), str(last)],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        time.sleep(chooser.uniform(0, span))
        os.truncate(victim, 4096)
        _, errors = process.communicate(timeout=120)
        label = f"truncation #{number} (--jobs {jobs})"
        check(process.returncode in (0, 1), f"{label}: exit {process.returncode}: {errors[-300:]}")
        check((out / "a.bmp").exists() and (out / "c.bmp").exists(), f"{label}: {visible(out)}")
        if (out / "victim.bmp").exists():
            check((out / "victim.bmp").read_bytes() == expected, f"{label}: a wrong picture")
            outcomes["whole"] += 1
        else:
            outcomes["failed"] += 1
        check(hidden(out) == [], f"{label}: hidden files left: {hidden(out)}")
        for leftover in out.iterdir():
            leftover.unlink()
        out.rmdir()
    print(f"truncation: {outcomes}", flush=True)


def failing_close(work):
    """Every writer reports a temporary file whose close fails, and nothing
    of that file reaches the output folder."""
    for output in ("bmp", "png", "jpeg", "gif", "jpegcopy"):
        case = work / f"close-{output}"
        out, temporary = case / "out", case / "tmp"
        out.mkdir(parents=True)
        temporary.mkdir()
        source = noise(case / "a.jpg", 64, 48, 4, quality=90)
        env = dict(os.environ, TMPDIR=str(temporary), MORAVEL_TEST_FAIL_CLOSE=str(temporary),
                   LD_PRELOAD=preload_with_shim())
        result = run(["--format", output, "--output-folder", out, source], env=env)
        label = f"failing close -> {output}"
        check(result.returncode == 1, f"{label}: exit {result.returncode}, {result.stderr}")
        check("a.jpg" in result.stderr, f"{label}: no word about a.jpg: {result.stderr}")
        check(list(out.iterdir()) == [], f"{label}: the output folder holds {list(out.iterdir())}")
        check(list(temporary.iterdir()) == [], f"{label}: temporary files left")


def failing_output(work):
    """A copy into the output folder that fails (a full disk, a close that
    reports a lost write) leaves neither a final name nor the hidden copy."""
    for fault in ("MORAVEL_TEST_FAIL_WRITE", "MORAVEL_TEST_FAIL_CLOSE"):
        for output in ("png", "jpegcopy"):
            case = work / f"output-{fault[-5:].lower()}-{output}"
            out, temporary = case / "out", case / "tmp"
            out.mkdir(parents=True)
            temporary.mkdir()
            source = noise(case / "a.jpg", 64, 48, 5, quality=90)
            env = dict(os.environ, TMPDIR=str(temporary), LD_PRELOAD=preload_with_shim())
            env[fault] = str(out)
            result = run(["--format", output, "--output-folder", out, source], env=env)
            label = f"{fault} on the output folder -> {output}"
            check(result.returncode == 1, f"{label}: exit {result.returncode}, {result.stderr}")
            check("a.jpg" in result.stderr, f"{label}: no word about a.jpg: {result.stderr}")
            check(list(out.iterdir()) == [], f"{label}: the output folder holds {list(out.iterdir())}")
            check(list(temporary.iterdir()) == [], f"{label}: temporary files left")


def random_kills(work, trials=50):
    """SIGKILL at random moments never leaves a damaged file under a final name."""
    case = work / "kills"
    out = case / "out"
    out.mkdir(parents=True)
    sources = [noise(case / f"big{i}.png", 2500, 2000, 10 + i) for i in range(2)]
    reference = case / "reference"
    reference.mkdir()
    started = time.monotonic()
    result = run(["--format", "bmp", "--output-folder", reference, *sources])
    full_run = time.monotonic() - started
    check(result.returncode == 0, f"kills: reference run failed: {result.stderr}")
    expected = {p.stem: p.read_bytes() for p in reference.iterdir()}
    rng = random.Random(2026)
    # The kill moments spread over one reference run; should a busy machine
    # run slower than that, the window widens until some file gets through.
    window = full_run * 1.1
    done = 0
    while done < trials or (not visible(out) and done < 3 * trials):
        process = subprocess.Popen([CLI, "--format", "bmp", "--output-folder", str(out),
                                    *map(str, sources)],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, window))
        process.kill()
        process.wait()
        done += 1
        if done >= trials:
            window *= 1.5
    finals = visible(out)
    for name in finals:
        data = (out / name).read_bytes()
        stem = name.split("+")[0].removesuffix(".bmp")
        check(data == expected.get(stem), f"kills: {name} is not a complete output")
        check(decodes(out / name), f"kills: {name} does not decode")
    print(f"kills: {done} trials over {full_run:.2f} s runs left {len(finals)} complete "
          f"outputs and {len(hidden(out))} hidden partial copies", flush=True)
    check(len(finals) > 0, "kills: no trial ever got a file through")


def concurrent_batches(work, batches=8, count=50):
    """Eight batches race for the same 50 names: name, name+1 ... name+7."""
    case = work / "race"
    out = case / "out"
    out.mkdir(parents=True)
    sources = [noise(case / f"s{i:02}.png", 24, 16, 100 + i) for i in range(count)]
    processes = [subprocess.Popen([CLI, "--format", "png", "--output-folder", str(out),
                                   *map(str, sources)],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                 for _ in range(batches)]
    results = [p.communicate(timeout=300) + (p.returncode,) for p in processes]
    for stdout, stderr, code in results:
        check(code == 0, f"race: a batch exited {code}: {stderr}")
    expected = sorted(f"s{i:02}{'' if n == 0 else f'+{n}'}.png"
                      for i in range(count) for n in range(batches))
    names = visible(out)
    check(names == expected, f"race: names differ: {sorted(set(names) ^ set(expected))[:20]}")
    listed = sorted(Path(line).name for stdout, _, _ in results for line in stdout.splitlines())
    check(listed == expected, "race: the listed outputs are not every output exactly once")
    check(hidden(out) == [], f"race: hidden files left: {hidden(out)}")
    check(all(decodes(out / n) for n in names), "race: an output does not decode")


def non_regular_sources(work):
    """A FIFO and a device are refused at once; the batch goes on."""
    case = work / "fifo"
    case.mkdir()
    fifo = case / "pipe.png"
    os.mkfifo(fifo)
    real = noise(case / "real.png", 20, 20, 5)
    started = time.monotonic()
    result = run(["--format", "bmp", fifo, "/dev/zero", real], timeout=30)
    check(time.monotonic() - started < 10, "fifo: the batch waited on the FIFO")
    check(result.returncode == 1, f"fifo: exit {result.returncode}: {result.stderr}")
    check(visible(case) == ["pipe.png", "real.bmp", "real.png"], f"fifo: {visible(case)}")
    check("pipe.png" in result.stderr, f"fifo: no word about the FIFO: {result.stderr}")


def dangling_link(work):
    """A link to nothing holds its name: the output becomes name+1."""
    case = work / "link"
    out = case / "out"
    out.mkdir(parents=True)
    source = noise(case / "x.bmp", 10, 10, 6)
    (out / "x.png").symlink_to(out / "nowhere.png")
    result = run(["--format", "png", "--output-folder", out, source])
    check(result.returncode == 0, f"link: exit {result.returncode}: {result.stderr}")
    check(result.stdout.strip() == str(out / "x+1.png"), f"link: listed {result.stdout!r}")
    check(os.path.islink(out / "x.png") and not (out / "nowhere.png").exists(),
          "link: the link was written through")
    check(decodes(out / "x+1.png"), "link: x+1.png does not decode")


def long_tmpdir(work):
    """A TMPDIR of 260 characters or more gives way to the system's folder."""
    case = work / "tmpdir"
    deep = case
    while len(str(deep)) < 300:
        deep = deep / ("t" * 50)
    deep.mkdir(parents=True)
    source = noise(case / "p.png", 12, 12, 7)
    env = dict(os.environ, TMPDIR=str(deep))
    # Run from a folder where nothing can be created (not even by root), so
    # that temporary files sent to the current folder fail the conversion.
    result = run(["--format", "gif", source], cwd="/proc", env=env)
    check(result.returncode == 0, f"tmpdir: exit {result.returncode}: {result.stderr}")
    check(decodes(case / "p.gif"), "tmpdir: p.gif missing or broken")
    check(list(deep.iterdir()) == [], "tmpdir: temporary files left in the long folder")


def interrupts(work):
    """SIGINT/SIGTERM mid-batch: temporary file and empty new sub-folder go, exit 130."""
    case = work / "interrupt"
    case.mkdir()
    small = noise(case / "small.png", 16, 16, 8)
    huge = noise(case / "huge.png", 2600, 2600, 9)
    for number, (sig, first_done) in enumerate([(signal.SIGINT, False), (signal.SIGTERM, False),
                                                (signal.SIGINT, True)]):
        tmp = case / f"tmp{number}"
        tmp.mkdir()
        out = case / f"out{number}"
        out.mkdir()
        sources = [small, huge] if first_done else [huge]
        env = dict(os.environ, TMPDIR=str(tmp))
        process = subprocess.Popen([CLI, "--format", "png", "--output-folder", str(out),
                                    "--sub-folder", "Fresh", *map(str, sources)],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        # The temporary file of the huge picture exists while it is encoded.
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None:
            if any(tmp.iterdir()) and (not first_done or (out / "Fresh" / "small.png").exists()):
                break
            time.sleep(0.005)
        process.send_signal(sig)
        process.communicate(timeout=60)
        label = f"interrupt {sig.name} #{number}"
        check(process.returncode == 130, f"{label}: exit {process.returncode}")
        check(list(tmp.iterdir()) == [], f"{label}: temporary files left: {list(tmp.iterdir())}")
        if first_done:
            check(visible(out / "Fresh") == ["small.png"] and hidden(out / "Fresh") == [],
                  f"{label}: the delivered file or only it should stay")
        else:
            check(not (out / "Fresh").exists(), f"{label}: the new empty sub-folder stayed")


def main():
    with tempfile.TemporaryDirectory(prefix="moravel-delivery-") as folder:
        work = Path(folder)
        for step in (shortened_source, failing_close, failing_output, non_regular_sources,
                     dangling_link, long_tmpdir, concurrent_batches, interrupts, random_kills,
                     random_truncation):
            started = time.monotonic()
            step(work)
            print(f"{step.__name__}: {time.monotonic() - started:.1f} s", flush=True)
    return finish("all delivery checks passed")


if __name__ == "__main__":
    sys.exit(main())
