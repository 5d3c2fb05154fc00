#!/usr/bin/python3
"""Runs the same picture batches through moravel and other converters and
prints one table: wall and CPU seconds, peak memory, output bytes, and
moravel's time relative to the fastest comparable peer. A second table checks
what every tool actually wrote (size, chroma sampling, PNG row filters, colours),
so that a peer that quietly does less work is seen."""
import argparse
import collections
import datetime
import json
import os
import pathlib
import shlex
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import zlib

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
        # Truecolour rows get the adaptive filter choice at every level.
        im.convert("RGB").save(out / (stem + ".png"), compress_level=9)
    elif job == "W3":
        im.convert("RGB").save(out / (stem + ".jpg"), quality=75, subsampling=2)
    elif job == "W5":
        # Without a given palette, quantize maps every pixel to its nearest entry
        # (no error diffusion); dither=NONE says so explicitly.
        q = im.convert("RGB").quantize(256, method=Image.Quantize.MEDIANCUT,
                                       dither=Image.Dither.NONE)
        q.save(out / (stem + ".gif"))
"""

WORKLOADS = {
    "W1": ("jpeg", "JPEG -> JPEG q75 4:2:0, longer side 1600"),
    "W2": ("jpeg", "JPEG -> PNG, zlib level 9"),
    "W3": ("png", "PNG -> JPEG q75 4:2:0, full size"),
    "W4": ("bmp", "BMP -> PNG, zlib level 9"),
    "W5": ("png", "PNG -> GIF, 256 colours, no dithering"),
    "W6": ("jpeg", "JPEG -> lossless re-write, no metadata, optimised tables"),
}

# moravel's time may be at most this multiple of the fastest comparable peer's.
TARGETS = {"W1": 1.0, "W2": 1.0, "W3": 1.0, "W4": 1.0, "W5": 0.6, "W6": 1.05}

# For PNG output only peers whose files are at most this much larger than
# moravel's count: a peer that skips row filtering writes much larger files faster.
PNG_SIZE_SLACK = 1.05


def moravel_command(binary, job, out, files, single):
    args = {
        "W1": ["--format", "jpeg", "--quality", "75", "--subsampling", "420",
               "--resize", "long:1600"],
        "W2": ["--format", "png"],
        "W3": ["--format", "jpeg", "--quality", "75", "--subsampling", "420"],
        "W4": ["--format", "png"],
        "W5": ["--format", "gif"],
        "W6": ["--format", "jpegcopy"],
    }[job]
    # Single mode: one file at a time; default mode: moravel as installed, one
    # file per processor at once.
    jobs = ["--jobs", "1"] if single else []
    return [binary] + args + jobs + ["--output-folder", str(out)] + files


def loop(command_for_file, files):
    """One shell running a command per file (for tools without a batch mode)."""
    script = "set -e\n" + "\n".join(
        " ".join(shlex.quote(str(a)) for a in command_for_file(f)) for f in files)
    return ["bash", "-c", script]


def peer_commands(job, out, files, single):
    """Every peer's command for one workload. ImageMagick and GraphicsMagick read
    PNG -quality 95 as zlib level 9 with adaptive row filters (tens digit: level,
    units digit 5: adaptive); both leave out metadata with -strip like moravel."""
    gm = ["gm", "convert"] + (["-limit", "threads", "1"] if single else [])
    stem = lambda f: pathlib.Path(f).stem
    peers = {}
    if job == "W1":
        # Every peer is allowed the decoder's shrink-on-load down to at least 1600
        # pixels on the shorter of the two ratios, as moravel does.
        peers["vipsthumbnail"] = ["vipsthumbnail", "-s", "1600x1600",
                                  "-o", f"{out}/%s.jpg[Q=75,strip]"] + files
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "jpg", "-define",
                                "jpeg:size=1600x1600", "-resize", "1600x1600", "-strip",
                                "-quality", "75", "-sampling-factor", "2x2,1x1,1x1"] + files
        peers["graphicsmagick"] = loop(lambda f: gm + [
            "-size", "1600x1600", f, "-resize", "1600x1600", "-strip", "-quality", "75",
            "-sampling-factor", "2x2", f"{out}/{stem(f)}.jpg"], files)
    elif job in ("W2", "W4"):
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "png", "-strip",
                                "-quality", "95"] + files
        peers["graphicsmagick"] = loop(lambda f: gm + [
            f, "-strip", "-quality", "95", f"{out}/{stem(f)}.png"], files)
        # vips's own default writes unfiltered rows (much larger files); with
        # filter=all libpng chooses a filter per row like the others.
        peers["vips"] = loop(lambda f: ["vips", "copy", f,
                                        f"{out}/{stem(f)}.png[compression=9,strip]"], files)
        peers["vips-adaptive"] = loop(lambda f: [
            "vips", "copy", f, f"{out}/{stem(f)}.png[compression=9,filter=all,strip]"], files)
    elif job == "W3":
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "jpg", "-strip",
                                "-quality", "75", "-sampling-factor", "2x2,1x1,1x1"] + files
        peers["graphicsmagick"] = loop(lambda f: gm + [
            f, "-strip", "-quality", "75", "-sampling-factor", "2x2", f"{out}/{stem(f)}.jpg"],
            files)
        peers["vips"] = loop(lambda f: ["vips", "copy", f,
                                        f"{out}/{stem(f)}.jpg[Q=75,strip]"], files)
    elif job == "W5":
        peers["imagemagick"] = ["mogrify", "-path", str(out), "-format", "gif", "+dither",
                                "-colors", "256"] + files
        peers["graphicsmagick"] = loop(lambda f: gm + [
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
        sys.stderr.write(result.stderr[-2000:])
        return None
    wall, user, system, peak_kib = (float(x) for x in fields[-4:])
    outputs = sorted(out.iterdir())
    return {"wall": wall, "cpu": user + system, "peak": peak_kib / 1024,
            "bytes": sum(p.stat().st_size for p in outputs), "files": len(outputs)}


def best_of(runs):
    """Best of each measure over the runs (the machine is shared: the least
    disturbed run of each measure is the closest to the truth)."""
    runs = [r for r in runs if r]
    if not runs:
        return None
    best = dict(runs[0])
    for key in ("wall", "cpu", "peak"):
        best[key] = min(r[key] for r in runs)
    return best


# --- What the outputs really are -------------------------------------------------

def jpeg_facts(path):
    data = path.read_bytes()
    pos, facts, app = 2, {}, 0
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            break
        marker = data[pos + 1]
        if marker == 0xFF:
            pos += 1
            continue
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        body = data[pos + 4:pos + 2 + length]
        # Metadata: EXIF/XMP (APP1), ICC (APP2), IPTC (APP13), comments. The JFIF
        # APP0 and Adobe APP14 markers describe the coding and are always allowed.
        if marker in (0xE1, 0xE2, 0xED, 0xFE):
            app += 1
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack(">HH", body[1:5])
            sampling = [body[7 + 3 * i] for i in range(body[5])]
            facts.update(size=(width, height), progressive=marker == 0xC2,
                         sampling="x".join(f"{s >> 4}{s & 15}" for s in sampling))
        if marker == 0xDA:
            break
        pos += 2 + length
    facts["app"] = app
    return facts


def png_facts(path):
    data = path.read_bytes()
    pos, idat, facts = 8, bytearray(), {}
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            facts.update(size=(width, height), depth=depth, colour=colour)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    facts["flevel"] = idat[1] >> 6 if len(idat) > 1 else None
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[facts["colour"]]
    stride = 1 + facts["size"][0] * channels * facts["depth"] // 8
    raw = zlib.decompress(bytes(idat))
    facts["filters"] = collections.Counter(raw[i] for i in range(0, len(raw), stride))
    return facts


def gif_facts(path):
    data = path.read_bytes()
    width, height, flags = struct.unpack("<HHB", data[6:11])
    table = 2 << (flags & 7) if flags & 0x80 else 0
    return {"size": (width, height), "table": table}


def nearest_share(gif, source, samples=20000):
    """Share of sampled pixels whose GIF colour is the palette entry nearest to the
    source colour: close to 1 without dithering, far below with error diffusion."""
    try:
        import numpy
        from PIL import Image
    except ImportError:
        return None
    with Image.open(gif) as g, Image.open(source) as s:
        indices = numpy.asarray(g.convert("P") if g.mode != "P" else g).reshape(-1)
        palette = numpy.array(g.getpalette()[:768], dtype=numpy.int32).reshape(-1, 3)
        pixels = numpy.asarray(s.convert("RGB"), dtype=numpy.int32).reshape(-1, 3)
    if len(indices) != len(pixels):
        return None
    picks = numpy.random.default_rng(1).integers(0, len(pixels), samples)
    distances = ((pixels[picks][:, None, :] - palette[None, :, :]) ** 2).sum(axis=2)
    chosen = distances[numpy.arange(samples), indices[picks]]
    return float((chosen == distances.min(axis=1)).mean())


def describe(out, job, sources=None):
    """A short account of the outputs and whether they are what the workload asks."""
    notes, problems = [], []
    by_stem = {pathlib.Path(f).stem: f for f in sources or []}
    for path in sorted(out.iterdir()):
        suffix = path.suffix.lower()
        if suffix == ".jpg":
            f = jpeg_facts(path)
            notes.append(f"{f['size'][0]}x{f['size'][1]} {f['sampling']}"
                         f"{' prog' if f['progressive'] else ''}{' metadata' if f['app'] else ''}")
            if job == "W1" and max(f["size"]) != 1600:
                problems.append(f"{path.name}: longer side {max(f['size'])}, not 1600")
            if job in ("W1", "W3") and not f["sampling"].startswith("22x11x11"):
                problems.append(f"{path.name}: sampling {f['sampling']}, not 4:2:0")
            if job == "W6" and f["app"]:
                problems.append(f"{path.name}: keeps {f['app']} metadata segments")
        elif suffix == ".png":
            f = png_facts(path)
            used = "".join("NSUAP"[k] for k in sorted(f["filters"]))
            notes.append(f"{f['size'][0]}x{f['size'][1]} filters {used} flevel {f['flevel']}")
            if f["flevel"] != 3:
                problems.append(f"{path.name}: zlib header says not maximum compression")
            if set(f["filters"]) == {0}:
                problems.append(f"{path.name}: unfiltered rows")
        elif suffix == ".gif":
            f = gif_facts(path)
            share = nearest_share(path, by_stem[path.stem]) if path.stem in by_stem else None
            notes.append(f"{f['size'][0]}x{f['size'][1]} table {f['table']}" +
                         (f", {share:.0%} of pixels at their nearest entry"
                          if share is not None else ""))
            if share is not None and share < 0.75:
                problems.append(f"{path.name}: looks dithered")
            if f["table"] > 256:
                problems.append(f"{path.name}: colour table of {f['table']}")
    distinct = sorted(set(notes))
    summary = "; ".join(distinct[:2]) + (f"; +{len(distinct) - 2} more" if len(distinct) > 2
                                         else "")
    return summary, problems


# --- The run ---------------------------------------------------------------------

def machine_description():
    model = "unknown CPU"
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    load = " ".join(f"{x:.2f}" for x in os.getloadavg())
    return model, len(os.sched_getaffinity(0)), load


def tool_versions(moravel):
    def first_line(command):
        try:
            r = subprocess.run(command, capture_output=True, text=True, timeout=20)
            return (r.stdout or r.stderr).strip().splitlines()[0]
        except (OSError, IndexError, subprocess.SubprocessError):
            return "unavailable"
    return {
        "moravel": first_line([moravel, "--version"]),
        "vips": first_line(["vips", "--version"]),
        "imagemagick": first_line(["convert", "-version"]),
        "graphicsmagick": first_line(["gm", "version"]),
        "pillow": first_line(["/usr/bin/python3", "-c",
                              "import PIL; print('Pillow', PIL.__version__)"]),
        "jpegtran": first_line(["jpegtran", "-version"]),
    }


def warm(files):
    """Read the sources once so that nobody pays for the first read from disk."""
    for name in files:
        with open(name, "rb") as f:
            while f.read(1 << 22):
                pass


def run(options, moravel):
    """Runs every workload and returns the measurements, the output checks and a
    description of the run, ready to be saved or rendered."""
    model, cores, load_start = machine_description()
    started = datetime.datetime.now(datetime.timezone.utc)
    modes = ["single"] if options.quick else options.modes.split(",")
    measurements, checks = [], []
    for mode in modes:
        env = dict(os.environ)
        if mode == "single":
            env.update(MAGICK_THREAD_LIMIT="1", VIPS_CONCURRENCY="1", OMP_NUM_THREADS="1")
        for job in options.jobs.split(","):
            kind, _ = WORKLOADS[job]
            files = sorted(str(p) for p in (options.corpus / kind).iterdir())
            if options.quick:
                files = files[-2:]
            warm(files)
            names = ["moravel"] + list(peer_commands(job, "X", files, True))
            commands = {name: moravel_command(moravel, job, options.work / name, files,
                                              mode == "single")
                        if name == "moravel" else
                        peer_commands(job, options.work / name, files, mode == "single")[name]
                        for name in names}
            # Repeats take turns, so that a change of load on a shared machine
            # falls on every tool alike rather than on whoever ran at that moment.
            runs = {name: [] for name in names}
            for _ in range(options.repeat):
                for name in names:
                    runs[name].append(measure(commands[name], options.work / name, env))
            for name in names:
                r = best_of(runs[name])
                measurements.append({"job": job, "mode": mode, "tool": name, "result": r})
                if r is None or any(x is None for x in runs[name]):
                    print(f"{job} {mode} {name}: failed", file=sys.stderr)
                    measurements[-1]["result"] = None
                    continue
                summary, problems = describe(options.work / name, job, files)
                if r["files"] != len(files):
                    problems.append(f"{r['files']} outputs for {len(files)} sources")
                checks.append({"job": job, "mode": mode, "tool": name, "summary": summary,
                               "problems": problems})
                print(f"{job} {mode} {name}: {r['wall']:.2f} s wall, {r['cpu']:.2f} s CPU",
                      file=sys.stderr)
    meta = {"started": f"{started:%Y-%m-%d %H:%M}", "model": model, "cores": cores,
            "load_start": load_start,
            "load_end": " ".join(f"{x:.2f}" for x in os.getloadavg()),
            "jobs": options.jobs, "modes": ",".join(modes),
            "repeat": options.repeat, "photos": 2 if options.quick else
            len(list((options.corpus / "jpeg").iterdir())),
            "versions": tool_versions(moravel)}
    return {"meta": [meta], "measurements": measurements, "checks": checks}


def combine(runs):
    """The best of each measure over several saved runs of the same workloads."""
    merged = {"meta": [], "measurements": [], "checks": runs[0]["checks"]}
    index = {}
    for data in runs:
        merged["meta"] += data["meta"]
        for m in data["measurements"]:
            key = (m["job"], m["mode"], m["tool"])
            if key not in index:
                index[key] = {"job": m["job"], "mode": m["mode"], "tool": m["tool"],
                              "result": None}
                merged["measurements"].append(index[key])
            index[key]["result"] = best_of([index[key]["result"], m["result"]])
    return merged


# moravel's default mode (one file per processor) against --jobs 1: wall time
# at most this fraction, peak memory at most this multiple.
PARALLEL_WALL_TARGET = 0.6
PARALLEL_PEAK_TARGET = 2.2
PARALLEL_JOBS = ("W1", "W2", "W3", "W5")


def parallel_table(groups):
    """moravel in default mode beside its single-threaded run and the peers'
    default mode, for the workloads measured in both modes."""
    rows = []
    for (mode, job), results in groups.items():
        single = groups.get(("single", job), {}).get("moravel")
        ours = results.get("moravel")
        if mode != "default" or not ours or not single:
            continue
        peers = {k: v for k, v in results.items() if k != "moravel" and v}
        if job in ("W2", "W4"):
            peers = {k: v for k, v in peers.items() if v["bytes"] <= ours["bytes"] * PNG_SIZE_SLACK}
        fastest = min(peers, key=lambda k: peers[k]["wall"]) if peers else None
        wall = ours["wall"] / single["wall"]
        peak = ours["peak"] / single["peak"]
        targeted = job in PARALLEL_JOBS
        verdict = lambda ok: ("met" if ok else "missed") if targeted else "no target"
        below = fastest is None or ours["wall"] < peers[fastest]["wall"]
        rows.append(f"| {job} | {single['wall']:.2f} | {ours['wall']:.2f} | {wall:.2f}x "
                    f"{verdict(wall <= PARALLEL_WALL_TARGET)} | "
                    + (f"{peers[fastest]['wall']:.2f} ({fastest}) {verdict(below)}" if fastest
                       else "none") + " | "
                    f"{single['peak']:.0f} / {ours['peak']:.0f} | {peak:.2f}x "
                    f"{verdict(peak <= PARALLEL_PEAK_TARGET)} |")
    if not rows:
        return []
    return ["", f"moravel's default mode (one file per processor) against --jobs 1: wall at most "
            f"{PARALLEL_WALL_TARGET}x and below every peer's default-mode wall, peak memory at "
            f"most {PARALLEL_PEAK_TARGET}x (targets for {', '.join(PARALLEL_JOBS)}):", "",
            "| workload | --jobs 1 wall s | default wall s | default / --jobs 1 | "
            "fastest peer, default mode, wall s | peak MiB --jobs 1 / default | peak ratio |",
            "|" + "---|" * 7] + rows


def render(data):
    lines = []
    for meta in data["meta"]:
        scope = f"{meta['jobs']} in {meta['modes']} mode, " if "jobs" in meta else ""
        lines.append(f"- Run of {meta['started']} UTC ({scope}{meta['photos']} photographs) "
                     f"on {meta['model']}, {meta['cores']} cores "
                     f"(nproc); load average (1, 5, 15 min) {meta['load_start']} at the start, "
                     f"{meta['load_end']} at the end; best of {meta['repeat']} per measure.")
    if len(data["meta"]) > 1:
        lines.append("- Each measure below is the best over these runs.")
    jobs = sorted({m["job"] for m in data["measurements"]})
    lines += [""] + [f"- {k}: {WORKLOADS[k][1]}" for k in jobs]
    lines += ["", "| workload | mode | tool | wall s | CPU s | peak MiB | output bytes | files "
              "| moravel / fastest comparable peer |", "|" + "---|" * 9]
    verdicts = []
    groups = collections.OrderedDict()
    for m in data["measurements"]:
        groups.setdefault((m["mode"], m["job"]), {})[m["tool"]] = m["result"]
    for (mode, job), results in groups.items():
        ours = results.get("moravel")
        peers = {k: v for k, v in results.items() if k != "moravel" and v}
        median_peak = statistics.median(v["peak"] for v in peers.values()) if peers else None
        comparable = dict(peers)
        if job in ("W2", "W4") and ours:
            comparable = {k: v for k, v in peers.items()
                          if v["bytes"] <= ours["bytes"] * PNG_SIZE_SLACK}
        for name, r in results.items():
            if r is None:
                lines.append(f"| {job} | {mode} | {name} | failed | | | | | |")
                continue
            ratio = ""
            if name == "moravel" and comparable:
                by_wall = min(comparable, key=lambda k: comparable[k]["wall"])
                by_cpu = min(comparable, key=lambda k: comparable[k]["cpu"])
                wall_ratio = r["wall"] / comparable[by_wall]["wall"]
                cpu_ratio = r["cpu"] / comparable[by_cpu]["cpu"]
                ratio = f"{wall_ratio:.2f}x wall ({by_wall}), {cpu_ratio:.2f}x CPU ({by_cpu})"
                verdicts.append((job, mode, TARGETS[job], wall_ratio, cpu_ratio, r["peak"],
                                 median_peak))
            elif name != "moravel" and name not in comparable:
                ratio = "not comparable (output > 1.05x moravel's)"
            lines.append(f"| {job} | {mode} | {name} | {r['wall']:.2f} | {r['cpu']:.2f} | "
                         f"{r['peak']:.0f} | {r['bytes']} | {r['files']} | {ratio} |")
    lines += ["", "Targets (time: moravel / fastest comparable peer; memory: moravel's peak "
              "against the median peer's):", "",
              "| workload | mode | target | wall ratio | CPU ratio | time target | "
              "peak MiB / median peer | memory target |", "|" + "---|" * 8]
    for job, mode, target, wall_ratio, cpu_ratio, peak, median_peak in verdicts:
        met = lambda x: "met" if x <= target else "missed"
        memory = f"{peak:.0f} / {median_peak:.0f}" if median_peak else ""
        memory_verdict = "met" if median_peak and peak <= median_peak else "missed"
        lines.append(f"| {job} | {mode} | <= {target:.2f}x | {wall_ratio:.2f}x | "
                     f"{cpu_ratio:.2f}x | {met(cpu_ratio)} by CPU, {met(wall_ratio)} by wall | "
                     f"{memory} | {memory_verdict} |")
    lines += parallel_table(groups)
    lines += ["", "What each tool wrote (distinct kinds of output; N S U A P = PNG row filters "
              "used; flevel 3 = zlib's maximum-compression header):", "",
              "| workload | mode | tool | outputs | problems |", "|---|---|---|---|---|"]
    for c in data["checks"]:
        lines.append(f"| {c['job']} | {c['mode']} | {c['tool']} | {c['summary']} | "
                     f"{'; '.join(c['problems']) or 'none'} |")
    versions = data["meta"][0]["versions"]
    lines += ["", "Versions: " + "; ".join(f"{k}: {v}" for k, v in versions.items())]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--moravel", required=True)
    parser.add_argument("--corpus", required=True, type=pathlib.Path)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--quick", action="store_true",
                        help="two photographs, single-threaded mode only")
    parser.add_argument("--jobs", default=",".join(WORKLOADS))
    parser.add_argument("--modes", default="single,default")
    parser.add_argument("--repeat", type=int, default=1,
                        help="run every command N times; keep the best of each measure")
    parser.add_argument("--results", type=pathlib.Path,
                        help="where to write the Markdown tables (default: results.md "
                             "beside --work); the raw numbers go beside it as .json")
    parser.add_argument("--combine", type=pathlib.Path, nargs="+", metavar="JSON",
                        help="run nothing: render the best of each measure over saved runs")
    options = parser.parse_args()
    options.work = options.work.resolve()
    options.corpus = options.corpus.resolve()
    results_path = options.results or options.work.parent / "results.md"

    if options.combine:
        data = combine([json.loads(p.read_text()) for p in options.combine])
    else:
        data = run(options, str(pathlib.Path(options.moravel).resolve()))
        results_path.with_suffix(".json").write_text(json.dumps(data, indent=1))
    text = render(data)
    print(text)
    results_path.write_text(text)


if __name__ == "__main__":
    main()
