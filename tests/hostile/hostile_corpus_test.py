#!/usr/bin/python3
"""Runs `moravel` on every file of the hostile corpus (scripts/make-hostile-
corpus.py) with its address space limited to 256 MB: each file must end in a
clean refusal (exit 1, nothing written) or a conversion (exit 0, one output
that an independent decoder reads at the expected size), never in a signal or
an oversized output. Peak memory and time are printed, not asserted."""
import json
import os
import pathlib
import subprocess
import sys
import tempfile

from PIL import Image

Image.MAX_IMAGE_PIXELS = None  # the legitimate large picture is meant to be large

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from hostile_run import MIB, run_moravel  # noqa: E402

CLI = os.environ["MORAVEL_CLI"]
SOURCE_DIR = pathlib.Path(os.environ.get("MORAVEL_SOURCE_DIR",
                                         pathlib.Path(__file__).resolve().parents[2]))
ADDRESS_SPACE = 256 * MIB
MAX_OUTPUT = 128 * MIB  # the legitimate large picture writes a 90 MB bitmap


def check(name, entry, result):
    problems = []
    if result.signal is not None:
        return ["ended by signal %d" % result.signal]
    expected = {"refused": {1}, "converted": {0}, "either": {0, 1}}[entry["expect"]]
    if result.status not in expected:
        problems.append("exit %s, expected %s" % (result.status, sorted(expected)))
    if result.status == 1 and result.outputs:
        problems.append("refused but wrote %s" % [p.name for p in result.outputs])
    if result.status == 1 and not result.stderr.strip():
        problems.append("refused without a reason on stderr")
    if result.status == 0:
        if len(result.outputs) != 1:
            problems.append("wrote %d outputs" % len(result.outputs))
        for path in result.outputs:
            if path.stat().st_size > MAX_OUTPUT:
                problems.append("output of %d bytes" % path.stat().st_size)
            elif "size" in entry:
                with Image.open(path) as image:
                    image.load()
                    if list(image.size) != entry["size"]:
                        problems.append("output is %s, expected %s" % (image.size, entry["size"]))
    return problems


def main():
    with tempfile.TemporaryDirectory(prefix="moravel-hostile-") as root:
        root = pathlib.Path(root)
        corpus = root / "corpus"
        subprocess.run(["/usr/bin/python3", str(SOURCE_DIR / "scripts" / "make-hostile-corpus.py"),
                        str(corpus)], check=True, stdout=subprocess.DEVNULL)
        manifest = json.loads((corpus / "manifest.json").read_text())
        failures = 0
        for name in sorted(manifest):
            entry = manifest[name]
            result = run_moravel(CLI, corpus / name, entry["format"], root / "work",
                                 address_space=ADDRESS_SPACE, cpu_seconds=60)
            problems = check(name, entry, result)
            print("%-40s %-9s exit %-4s %7.1f MB %6.2f s %s" %
                  (name, entry["expect"], result.status if result.signal is None else
                   "sig%d" % result.signal, result.peak_bytes / MIB, result.wall_seconds,
                   "; ".join(problems) or "ok"))
            if problems:
                failures += 1
                sys.stdout.write(result.stderr)
        print("%d of %d files failed" % (failures, len(manifest)))
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
