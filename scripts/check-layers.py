#!/usr/bin/env python3
"""Checks that the source folders include each other in one direction only.

The engine is layered, lowest first:
    platform <- core <- imaging <- codecs <- driver <- plugins <- cli, app
A file may include headers of its own folder and of lower layers. Tests,
fuzz targets and benchmarks may include anything; product code never
includes them. Exits 1 and names every offending
include (and any cycle among the folders) when the rule is broken.
"""
import re
import sys
from pathlib import Path

LAYERS = ["platform", "core", "imaging", "codecs", "formats", "driver", "plugins", "cli", "app"]
RANK = {name: i for i, name in enumerate(LAYERS)}
# cli and app are two front ends on the same level: neither includes the other.
RANK["app"] = RANK["cli"]
# formats (the import plug-ins' portable decoders) sits beside codecs.
RANK["formats"] = RANK["codecs"]
FREE = {"tests", "fuzz", "bench"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path: str) -> str:
    return path.split("/", 1)[0]


def main() -> int:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    edges = {}
    problems = []
    for source in sorted(root.rglob("*")):
        if source.suffix not in {".h", ".hpp", ".c", ".cpp"} or not source.is_file():
            continue
        relative = source.relative_to(root).as_posix()
        top = folder_of(relative)
        if top.startswith("build") or top.startswith("."):
            continue
        for target in INCLUDE.findall(source.read_text(errors="replace")):
            target_top = folder_of(target)
            if "/" not in target or target_top == top or top in FREE:
                continue  # same folder, a header next to the file, or test code
            if target_top in FREE:
                problems.append(f"{relative}: includes test code {target}")
                continue
            if target_top not in RANK or top not in RANK:
                continue
            edges.setdefault(top, set()).add(target_top)
            if RANK[target_top] >= RANK[top]:
                problems.append(f"{relative}: {top}/ must not include {target}")

    # A cycle among folders (reported even if the ranking above changes).
    state = {}

    def visit(node, trail):
        state[node] = 1
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                problems.append("folder cycle: " + " -> ".join(trail + [node, nxt]))
            elif nxt not in state:
                visit(nxt, trail + [node])
        state[node] = 2

    for node in sorted(edges):
        if node not in state:
            visit(node, [])

    for line in problems:
        print(line)
    print(f"{len(edges)} folders checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
