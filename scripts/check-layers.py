#!/usr/bin/env python3
"""Checks that the source folders include each other in one direction only.

The engine is layered, lowest first:
    platform <- core <- imaging <- codecs <- driver <- plugins <- cli, app
A file may include headers of its own folder and of lower layers. Tests,
fuzz targets and benchmarks may include anything; product code never
includes them. Inside a folder the files include each other in one
direction too: a source and its header count as one unit (x.h with x.cpp),
and no two units may reach each other through includes. Exits 1 and names
every offending include, any cycle among the folders and every cycle among
the units of a folder.
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
SOURCES = {".h", ".hpp", ".c", ".cpp"}
# Cycles among a folder's units that are known and being taken apart: a cycle
# found inside one of these groups is tolerated; any other cycle fails, and so
# does a group here that no longer holds one (take it out then).
KNOWN_CYCLES = [
    # The status texts of all codecs include PNG's, whose header includes them.
    {"codecs/codec_status", "codecs/png/png_status"},
    {"codecs/metadata/metadata_parts", "codecs/metadata/source_metadata"},
]


def unit_of(path: str) -> str:
    """A source and its header are one unit: app/window.h and app/window.cpp."""
    return path.rsplit(".", 1)[0]


def unit_cycles(unit_edges):
    """The groups of units that reach each other (Tarjan), each sorted."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def connect(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(unit_edges.get(node, ())):
            if nxt not in index:
                connect(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for node in sorted(unit_edges):
        if node not in index:
            connect(node)
    return groups


def folder_of(path: str) -> str:
    return path.split("/", 1)[0]


def main() -> int:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    edges = {}
    unit_edges = {}
    problems = []
    for source in sorted(root.rglob("*")):
        if source.suffix not in SOURCES or not source.is_file():
            continue
        relative = source.relative_to(root).as_posix()
        top = folder_of(relative)
        if top.startswith("build") or top.startswith("."):
            continue
        for target in INCLUDE.findall(source.read_text(errors="replace")):
            # Includes between the units of one product folder.
            written = target if "/" in target else str(Path(relative).parent / target)
            if top not in FREE and folder_of(written) == top and (root / written).is_file():
                if unit_of(written) != unit_of(relative):
                    unit_edges.setdefault(unit_of(relative), set()).add(unit_of(written))
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

    cycles = unit_cycles(unit_edges)
    for group in cycles:
        if not any(set(group) <= known for known in KNOWN_CYCLES):
            problems.append("file cycle: " + " <-> ".join(group))
    for known in KNOWN_CYCLES:
        if not any(set(group) <= known for group in cycles):
            problems.append("no longer a cycle, take it out of KNOWN_CYCLES: " +
                            " <-> ".join(sorted(known)))

    for line in problems:
        print(line)
    print(f"{len(edges)} folders checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
