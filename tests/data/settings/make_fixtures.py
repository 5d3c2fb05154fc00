#!/usr/bin/env python3
"""Writes the settings-file fixtures (tests/data/settings) and the fuzz seeds
(fuzz/corpus/settings) byte by byte, independently of the C++ writer.

Layout: u16 slot count, u16 tag 0x0A9A, count x (u32 a, u32 b), then the
data area. a == 1: number b (i32); a >= 2: UTF-16LE text at offset a, b bytes.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
CORPUS = os.path.join(ROOT, "fuzz", "corpus", "settings")


def settings_file(count, numbers=None, texts=None, raw=None, tag=0x0A9A, stored_count=None):
    """numbers: {slot: int}; texts: [(slot, str)] in data order; raw: [(slot, bytes)]."""
    slots = [(0, 0)] * count
    data = bytearray()
    start = 4 + 8 * count
    for slot, value in (numbers or {}).items():
        slots[slot] = (1, value & 0xFFFFFFFF)
    items = [(s, t.encode("utf-16-le")) for s, t in (texts or [])] + list(raw or [])
    for slot, blob in items:
        offset = start + len(data)
        data += blob
        if slot < count:
            slots[slot] = (offset, len(blob))
    head = struct.pack("<HH", count if stored_count is None else stored_count, tag)
    table = b"".join(struct.pack("<II", a, b) for a, b in slots)
    return head + table + bytes(data)


FULL_NUMBERS = {1: -14, 2: 90, 3: 2, 4: 1, 5: 300, 6: 1, 7: 0, 8: 1600, 10: 1,
                14: 3, 15: 1, 16: 0, 18: 1}
FULL_TEXTS = [(0, "English"), (9, "D:\\Pictures\\Out"), (11, "Kleiner"),
              (13, "C:\\Susie"), (17, "ifjpeg.spi\0ifpng, old.spi\0"),
              (12, "written by another version")]

FIXTURES = {
    # Every setting of this version plus a text in slot 12.
    "full.ini": settings_file(19, FULL_NUMBERS, FULL_TEXTS),
    # An older file: 12 slots, font height -13, sub-folder name cleared.
    "count12.ini": settings_file(12, {1: -13, 2: 60, 10: 3}, [(0, "Japanese")]),
    # Damaged: the last text (slot 9) is cut short by one byte.
    "damaged.ini": settings_file(19, {2: 80}, [(9, "abc")])[:-1],
}

SEEDS = {
    "defaults.ini": settings_file(19, {1: -12, 2: 75, 3: 0, 4: 0, 5: 100, 6: 0, 7: 2, 8: 100,
                                       10: 0, 14: 0, 15: 0, 16: 0, 18: 0}, [(11, "Output")]),
    "full.ini": FIXTURES["full.ini"],
    "count12.ini": FIXTURES["count12.ini"],
    "count25.ini": settings_file(25, {2: 50}, [(20, "future"), (12, "legacy")]),
    "count65535.ini": settings_file(19, {2: 40}, [(0, "English")], stored_count=65535),
    "list.ini": settings_file(19, {}, [(17, "a\0\0b\0c"), (13, "plugins")]),
    "odd.ini": settings_file(19, {}, [], raw=[(12, b"\x01\x02\x03"), (0, b"E\x00n")]),
    "short.ini": FIXTURES["full.ini"][:60],
}


def main():
    os.makedirs(CORPUS, exist_ok=True)
    for name, blob in FIXTURES.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(blob)
    for name, blob in SEEDS.items():
        with open(os.path.join(CORPUS, name), "wb") as f:
            f.write(blob)


if __name__ == "__main__":
    main()
