#!/usr/bin/python3
"""Runs the same picture batches through moravel and other converters and
prints one table: wall and CPU seconds, peak memory, output bytes, and
moravel's time relative to the fastest comparable peer."""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

PILLOW_SCRIPT = r"""
import sys, pathlib
from PIL import Image
job, out = sys.argv[1], pathlib.Path(sys.argv[2])
for name in sys.argv[3:]:
    stem = pathlib.Path(name).stem
    im = Image.open(name)
    if job == "W1":
        im.draft("RGB", (1600, 1600))
        im = im.convert("RGB")
        im.thumbnail((1600, 1600))
        im.save(out / (stem + ".jpg"), quality=75, subsampling=2)
    elif job in ("W2", "W4"):
        im.convert("RGB").save(out / (stem + ".png"), compress_level=9)
    elif job == "W3":
        im.convert("RGB").save(out / (stem + ".jpg"), quality=75, subsampling=2)
    elif job == "W5":
        q = im.convert("RGB").quantize(256, method=Image.Quantize.MEDIANCUT,
                                       dither=Image.Dither.NONE)
        q.save(out / (stem + ".gif"))
"""

WORKLOADS = {
    "W1": ("jpeg", "JPEG -> JPEG q75 4:2:0, longer side 1600"),
    "W2": ("jpeg", "JPEG -> PNG, zlib level 9"),
    "W3": ("png", "PNG -> JPEG q75, full size"),
    "W4": ("bmp", "BMP -> PNG, zlib level 9"),
    "W5": ("png", "PNG -> GIF, 256 colours, no dithering"),
    "W6": ("jpeg", "JPEG -> lossless re-write, no metadata"),
}


def moravel_command(binary, job, out, files):
    args = {
        "W1": ["--format", "jpeg", "--quality", "75", "--subsampling", "420",
               "--resize", "long:1600"],
        "W2": ["--format", "png"], "W3": ["--format", "jpeg", "--quality", "75"],
        "W4": ["--format", "png"], "W5": ["--format", "gif"], "W6": ["--format", "jpegcopy"],
    }[job]
    return [binary] + args + ["--output-folder", str(out)] + files


def loop(command_for_file, files):
    """One shell running a command per file (for tools without batch mode)."""
    script = "set -e\n" + "\n".join(
        " ".join(shlex_quote(a) for a in command_for_file(f)) for f in files)
    return ["bash", "-c", script]


def shlex_quote(text):
    import shlex
    return shlex.quote(str(text))


def peer_commands(job, out, files, single):
    gm_threads = ["-limit", "threads", "1"] if single else []
    stem = lambda f: pathlib.Path(f).stem
    peers = {}
    if job == "W1":
        peers["vipsthumbnail"] = ["vipsthumbnail", "-s", "1600x1600",
                                  "-o", f"{out}/%s.jpg[Q=75,strip]"] + files
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "jpg", "-define",
                                "jpeg:size=3200x3200", "-resize", "1600x1600", "-quality", "75",
                                "-sampling-factor", "4:2:0"] + files
        peers["graphicsmagick"] = loop(lambda f: ["gm", "convert"] + gm_threads + [
            "-size", "1600x1600", f, "-resize", "1600x1600", "-quality", "75",
            "-sampling-factor", "2x2", f"{out}/{stem(f)}.jpg"], files)
    elif job in ("W2", "W4"):
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "png",
                                "-quality", "95"] + files
        peers["graphicsmagick"] = loop(lambda f: ["gm", "convert"] + gm_threads + [
            f, "-quality", "95", f"{out}/{stem(f)}.png"], files)
        peers["vips"] = loop(lambda f: ["vips", "copy", f,
                                        f"{out}/{stem(f)}.png[compression=9]"], files)
    elif job == "W3":
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "jpg", "-quality", "75",
                                "-sampling-factor", "4:2:0"] + files
        peers["graphicsmagick"] = loop(lambda f: ["gm", "convert"] + gm_threads + [
            f, "-quality", "75", "-sampling-factor", "2x2", f"{out}/{stem(f)}.jpg"], files)
        peers["vips"] = loop(lambda f: ["vips", "copy", f, f"{out}/{stem(f)}.jpg[Q=75]"], files)
    elif job == "W5":
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "gif", "+dither",
                                "-colors", "256"] + files
        peers["graphicsmagick"] = loop(lambda f: ["gm", "convert"] + gm_threads + [
            f, "+dither", "-colors", "256", f"{out}/{stem(f)}.gif"], files)
    elif job == "W6":
        peers["jpegtran"] = loop(lambda f: ["jpegtran", "-copy", "none", "-optimize",
                                            "-outfile", f"{out}/{stem(f)}.jpg", f], files)
    if job != "W6":
        peers["pillow"] = ["/usr/bin/python3", "-c", PILLOW_SCRIPT, job, str(out)] + files
    return peers


def measure(command, out, env):
    if out.exists():
        shutil.rmtree(out)
    out.mkdir(parents=True)
    with tempfile.NamedTemporaryFile("r") as timing:
        result = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", timing.name]
                                + command, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)
        fields = timing.read().split()
    if result.returncode != 0 or len(fields) < 4:
        return None
    wall, user, system, peak_kib = (float(x) for x in fields[-4:])
    size = sum(p.stat().st_size for p in out.iterdir())
    count = len(list(out.iterdir()))
    return {"wall": wall, "cpu": user + system, "peak": peak_kib / 1024, "bytes": size,
            "files": count}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--moravel", required=True)
    parser.add_argument("--corpus", required=True, type=pathlib.Path)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--jobs", default=",".join(WORKLOADS))
    parser.add_argument("--repeat", type=int, default=1, help="best of N runs")
    options = parser.parse_args()
    options.work = options.work.resolve()
    options.corpus = options.corpus.resolve()

    modes = ["single"] if options.quick else ["single", "default"]
    rows = []
    for mode in modes:
        env = dict(os.environ)
        if mode == "single":
            env.update(MAGICK_THREAD_LIMIT="1", VIPS_CONCURRENCY="1", OMP_NUM_THREADS="1")
        for job in options.jobs.split(","):
            kind, title = WORKLOADS[job]
            files = sorted(str(p) for p in (options.corpus / kind).iterdir())
            if options.quick:
                files = files[:2]
            tools = {"moravel": moravel_command(options.moravel, job, options.work / "moravel",
                                                files)}
            results = {}
            for name in ["moravel"] + list(peer_commands(job, "X", files, True)):
                out = options.work / name
                command = tools["moravel"] if name == "moravel" else \
                    peer_commands(job, out, files, mode == "single")[name]
                best = None
                for _ in range(options.repeat):
                    r = measure(command, out, env)
                    if r and (best is None or r["wall"] < best["wall"]):
                        best = r
                results[name] = best
            ours = results["moravel"]
            peers = {k: v for k, v in results.items() if k != "moravel" and v}
            if job in ("W2", "W4") and ours:
                peers = {k: v for k, v in peers.items() if v["bytes"] <= ours["bytes"] * 1.05}
            fastest = min(peers.values(), key=lambda r: r["wall"]) if peers else None
            for name, r in results.items():
                ratio = ""
                if name == "moravel" and r and fastest:
                    ratio = f"{r['wall'] / fastest['wall']:.2f}x wall"
                    fastest_cpu = min(peers.values(), key=lambda p: p["cpu"])
                    ratio += f", {r['cpu'] / fastest_cpu['cpu']:.2f}x CPU"
                rows.append((job, mode, name, r, ratio))
                if r is None:
                    print(f"{job} {mode} {name}: failed", file=sys.stderr)

    header = ("| workload | mode | tool | wall s | CPU s | peak MiB | output bytes | files "
              "| moravel / fastest peer |")
    lines = [header, "|" + "---|" * 9]
    for job, mode, name, r, ratio in rows:
        if r is None:
            lines.append(f"| {job} | {mode} | {name} | failed | | | | | |")
            continue
        lines.append(f"| {job} | {mode} | {name} | {r['wall']:.2f} | {r['cpu']:.2f} | "
                     f"{r['peak']:.0f} | {r['bytes']} | {r['files']} | {ratio} |")
    print("\n".join(f"{k}: {v[1]}" for k, v in WORKLOADS.items()))
    print("\n".join(lines))
    (options.work.parent / "results.md").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
