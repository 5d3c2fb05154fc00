#!/usr/bin/env python3
"""Packs a folder into a zip whose bytes depend only on the files' contents.

    make_zip.py FOLDER ZIP TOP

Every entry goes under TOP/, in sorted order, with one fixed time stamp
(SOURCE_DATE_EPOCH when set, else 2026-01-01) and fixed permissions, so two
runs on the same commit give the same bytes.
"""
import os
import sys
import time
import zipfile


def main() -> int:
    folder, target, top = sys.argv[1], sys.argv[2], sys.argv[3]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "1767225600"))
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    paths = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        paths += [os.path.join(root, name) for name in sorted(files)]
    partial = target + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for path in sorted(paths, key=lambda p: os.path.relpath(p, folder)):
            name = top + "/" + os.path.relpath(path, folder).replace(os.sep, "/")
            entry = zipfile.ZipInfo(name, stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # MS-DOS: no Unix permissions stored
            entry.external_attr = 0x20  # archive bit
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
