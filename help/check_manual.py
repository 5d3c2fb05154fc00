#!/usr/bin/env python3
"""Checks a compiled manual against its sources.

    check_manual.py Pirex.chm HELP_SOURCE_FOLDER [HTML_FOLDER]

The .chm is unpacked with extract_chmLib (Debian's libchm-bin), an
independent reader of the format. It must hold the table of contents and the
index, every page either of them names, byte for byte as in the sources, and
every file of the project; every page must appear in the table of contents;
every link and image in every page must lead to a file (and anchor) inside
the .chm. HTML_FOLDER, the same manual as plain pages (shipped as the manual
folder beside the program), is checked the same way, without the table of
contents and index, which only the .chm uses.
"""
import html.parser
import os
import re
import subprocess
import sys
import tempfile


class Sitemap(html.parser.HTMLParser):
    """The Local values of a .hhc or .hhk file."""

    def __init__(self):
        super().__init__()
        self.locals = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "param" and (a.get("name") or "").lower() == "local":
            self.locals.append(a.get("value") or "")


class Page(html.parser.HTMLParser):
    """Links, sources and anchors of one page."""

    def __init__(self):
        super().__init__()
        self.targets = []
        self.anchors = set()

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for name in ("href", "src"):
            if a.get(name):
                self.targets.append(a[name])
        for name in ("id", "name"):
            if a.get(name) and tag != "meta" and tag != "param":
                self.anchors.add(a[name])


def read(path):
    with open(path, "rb") as f:
        return f.read()


def project_files(hhp):
    files, section = [], None
    for line in read(hhp).decode("ascii").splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line
        elif section == "[FILES]" and line:
            files.append(line)
        elif section == "[OPTIONS]" and "=" in line:
            key, value = line.split("=", 1)
            if key in ("Contents file", "Index file", "Default topic"):
                files.append(value)
    return files


def check_tree(root, sources, compiled):
    """Problems of one copy of the manual below `root`: the unpacked .chm
    (`compiled`, with its table of contents and index) or the HTML folder."""
    problems = []

    def inside(name):
        return os.path.join(root, name.lstrip("/"))

    if compiled:
        for name in ("toc.hhc", "index.hhk"):
            if not os.path.isfile(inside(name)):
                problems.append("missing: " + name)
    toc = Sitemap()
    toc.feed(read(os.path.join(sources, "toc.hhc")).decode("ascii"))
    index = Sitemap()
    index.feed(read(os.path.join(sources, "index.hhk")).decode("ascii"))
    if len(toc.locals) < 10:
        problems.append("the table of contents names only %d pages" % len(toc.locals))

    wanted = set(project_files(os.path.join(sources, "Pirex.hhp")))
    wanted |= {local.split("#")[0] for local in toc.locals + index.locals}
    if not compiled:
        wanted -= {"toc.hhc", "index.hhk"}
    for name in sorted(wanted):
        if not os.path.isfile(inside(name)):
            problems.append("missing: " + name)
        elif read(inside(name)) != read(os.path.join(sources, name)):
            problems.append("differs from its source: " + name)

    pages = sorted(f for f in os.listdir(sources) if f.endswith(".html"))
    in_toc = {local.split("#")[0] for local in toc.locals}
    for page in pages:
        if page not in in_toc:
            problems.append("not in the table of contents: " + page)

    anchors, targets = {}, []
    for page in pages:
        if not os.path.isfile(inside(page)):
            continue
        parsed = Page()
        parsed.feed(read(inside(page)).decode("utf-8"))
        anchors[page] = parsed.anchors
        targets += [(page, t) for t in parsed.targets]
    for local in toc.locals + index.locals:
        targets.append(("toc.hhc/index.hhk", local))
    for page, target in targets:
        if re.match(r"^[a-z]+:", target):
            problems.append("%s links outside the manual: %s" % (page, target))
            continue
        name, _, anchor = target.partition("#")
        name = name or page
        if not os.path.isfile(inside(name)):
            problems.append("%s links to a missing file: %s" % (page, target))
        elif anchor and anchor not in anchors.get(name, set()):
            problems.append("%s links to a missing anchor: %s" % (page, target))
    print("%s: %d pages in the table of contents, %d index entries, %d links checked, "
          "%d problems" % ("Pirex.chm" if compiled else root, len(toc.locals),
                           len(index.locals), len(targets), len(problems)))
    return problems


def main():
    chm, sources = sys.argv[1], sys.argv[2]
    folders = sys.argv[3:4]
    problems = []
    with tempfile.TemporaryDirectory() as unpacked:
        result = subprocess.run(["extract_chmLib", chm, unpacked], capture_output=True, text=True)
        if result.returncode != 0:
            print("extract_chmLib failed:", result.stdout, result.stderr)
            return 1
        problems += ["Pirex.chm: " + p for p in check_tree(unpacked, sources, True)]
    for folder in folders:
        problems += [folder + ": " + p for p in check_tree(folder, sources, False)]
        if not os.path.isfile(os.path.join(folder, "index.html")):
            problems.append(folder + ": no index.html")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
