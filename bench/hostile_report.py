#!/usr/bin/python3
"""Reports each hostile-corpus file's peak memory and time under `moravel`
(a report, not a test: nothing is asserted).

    bench/hostile_report.py MORAVEL [--limit-mb N] [--with-gigabyte] [--corpus DIR]

Builds the corpus with scripts/make-hostile-corpus.py (into a temporary folder
unless --corpus names one), runs MORAVEL on each file with the output format
of the manifest, one process per file, and prints exit status, peak resident
memory (from wait4), CPU and wall time and output size. --limit-mb sets an
address-space limit (default none); CPU time is limited to 120 s per file.
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "hostile"))
from hostile_run import MIB, run_moravel  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("moravel")
    parser.add_argument("--limit-mb", type=int, default=0)
    parser.add_argument("--with-gigabyte", action="store_true")
    parser.add_argument("--corpus")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="moravel-hostile-report-") as root:
        root = pathlib.Path(root)
        corpus = pathlib.Path(args.corpus) if args.corpus else root / "corpus"
        command = ["/usr/bin/python3", str(HERE.parent / "scripts" / "make-hostile-corpus.py"),
                   str(corpus)]
        if args.with_gigabyte:
            command.append("--with-gigabyte")
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        manifest = json.loads((corpus / "manifest.json").read_text())

        print("%-40s %9s %-9s %6s %9s %7s %7s %11s" % ("file", "bytes", "expect", "exit",
                                                       "peak MB", "cpu s", "wall s", "output"))
        for name in sorted(manifest):
            entry = manifest[name]
            result = run_moravel(os.path.abspath(args.moravel), corpus / name, entry["format"],
                                 root / "work", address_space=args.limit_mb * MIB or None,
                                 cpu_seconds=120, file_size=8 << 30)
            status = "sig%d" % result.signal if result.signal is not None else str(result.status)
            output = sum(p.stat().st_size for p in result.outputs)
            print("%-40s %9d %-9s %6s %9.1f %7.2f %7.2f %11d" %
                  (name, entry["bytes"], entry["expect"], status, result.peak_bytes / MIB,
                   result.cpu_seconds, result.wall_seconds, output))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
