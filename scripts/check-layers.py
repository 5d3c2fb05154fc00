#!/usr/bin/env python3
"""Checks that the source folders include each other in one direction only.

The engine is layered, lowest first:
    platform <- core <- imaging <- codecs <- driver <- plugins <- cli, app
A file may include headers of its own folder and of lower layers. Tests,
fuzz targets and benchmarks may include anything; product code never
includes them. Inside one folder, the files include each other in one
direction too: a file and its header are one unit, and no two units may
depend on each other, however many units the loop runs through. Exits 1 and
names every offending include, any cycle among the folders and any cycle
among one folder's units when a rule is broken.
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
# Unit cycles that were there before the rule and are being taken apart;
# each entry is the sorted list of the units of one cycle. Nothing may join
# them, and no other cycle may appear.
KNOWN_UNIT_CYCLES = [
    # Application and the windows call each other; the settings window's
    # rework from a table gives each window its own commands.
    ["app/application", "app/batch_session", "app/convert_window", "app/modal_dialog",
     "app/options_dialog", "app/plugin_dialog", "app/progress_window", "app/settings_window"],
    # The scan's parts take the scan's record; the scan calls the parts.
    ["codecs/metadata/metadata_parts", "codecs/metadata/source_metadata"],
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path: str) -> str:
    return path.split("/", 1)[0]


def unit_cycles(units):
    """The strongly connected groups of more than one unit (Tarjan)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for nxt in sorted(units.get(unit, ())):
            if nxt not in index:
                visit(nxt)
                low[unit] = min(low[unit], low[nxt])
            elif nxt in on_stack:
                low[unit] = min(low[unit], index[nxt])
        if low[unit] == index[unit]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == unit:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for unit in sorted(units):
        if unit not in index:
            visit(unit)
    return groups


def main() -> int:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    edges = {}
    units = {}  # "folder/file" without extension -> units of the same folder it includes
    problems = []
    for source in sorted(root.rglob("*")):
        if source.suffix not in {".h", ".hpp", ".c", ".cpp"} or not source.is_file():
            continue
        relative = source.relative_to(root).as_posix()
        top = folder_of(relative)
        if top.startswith("build") or top.startswith("."):
            continue
        unit = relative.rsplit(".", 1)[0]
        for target in INCLUDE.findall(source.read_text(errors="replace")):
            target_path = target if "/" in target else f"{relative.rsplit('/', 1)[0]}/{target}"
            target_unit = target_path.rsplit(".", 1)[0]
            same_folder = target_unit.rsplit("/", 1)[0] == unit.rsplit("/", 1)[0]
            if same_folder and target_unit != unit and top not in FREE:
                units.setdefault(unit, set()).add(target_unit)
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

    for group in unit_cycles(units):
        if group not in KNOWN_UNIT_CYCLES:
            problems.append("unit cycle inside a folder: " + " <-> ".join(group))

    for line in problems:
        print(line)
    print(f"{len(edges)} folders checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
