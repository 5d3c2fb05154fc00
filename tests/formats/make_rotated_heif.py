#!/usr/bin/env python3
"""Adds a rotation ('irot') and a mirror ('imir') to the primary image of a
HEIF file made by heif-enc (which writes neither), moving the image data so
that the item locations stay right:

    make_rotated_heif.py IN.heic OUT.heic ANGLE MIRROR_AXIS

ANGLE is the number of 90-degree anticlockwise turns (0-3); MIRROR_AXIS is 0
(top and bottom swapped), 1 (left and right swapped) or - for none.
"""
import struct
import sys


def boxes(data, start, end):
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        yield at, size, kind.decode("latin-1")
        at += size


def find(data, start, end, kind):
    for at, size, k in boxes(data, start, end):
        if k == kind:
            return at, size
    raise SystemExit(f"no {kind} box")


def shift_item_data(data, meta_at, meta_size, delta):
    """iloc: data in the file after the meta box (at meta_at, now meta_size
    bytes long) moved by delta."""
    body = meta_at + 12
    iloc_at, _ = find(data, body, meta_at + meta_size, "iloc")
    v = data[iloc_at + 8]
    sizes = data[iloc_at + 12], data[iloc_at + 13]
    off_size, len_size = sizes[0] >> 4, sizes[0] & 15
    base_size, index_size = sizes[1] >> 4, (sizes[1] & 15) if v in (1, 2) else 0
    at = iloc_at + 14
    id_bytes = 4 if v == 2 else 2
    items = int.from_bytes(data[at:at + id_bytes], "big")
    at += id_bytes

    def patch(pos, width):
        if width:
            value = int.from_bytes(data[pos:pos + width], "big")
            if value >= meta_at:
                data[pos:pos + width] = (value + delta).to_bytes(width, "big")

    for _ in range(items):
        at += id_bytes
        method = 0
        if v in (1, 2):
            method = int.from_bytes(data[at:at + 2], "big") & 15
            at += 2
        at += 2  # data reference index
        base_pos = at
        base = int.from_bytes(data[at:at + base_size], "big") if base_size else 0
        at += base_size
        extents = int.from_bytes(data[at:at + 2], "big")
        at += 2
        if method == 0 and base_size and base:
            patch(base_pos, base_size)
        for _ in range(extents):
            at += index_size
            if method == 0 and not base:
                patch(at, off_size)
            at += off_size + len_size


def main():
    src, dst, angle, axis = sys.argv[1:5]
    data = bytearray(open(src, "rb").read())
    meta_at, meta_size = find(data, 0, len(data), "meta")
    body = meta_at + 12  # full box: version and flags
    pitm_at, _ = find(data, body, meta_at + meta_size, "pitm")
    primary = struct.unpack(">H", data[pitm_at + 12:pitm_at + 14])[0]

    added = bytearray()
    if angle != "0":
        added += struct.pack(">I4sB", 9, b"irot", int(angle) & 3)
    if axis != "-":
        added += struct.pack(">I4sB", 9, b"imir", int(axis) & 1)
    count = len(added) // 9

    iprp_at, iprp_size = find(data, body, meta_at + meta_size, "iprp")
    ipco_at, ipco_size = find(data, iprp_at + 8, iprp_at + iprp_size, "ipco")
    first_index = sum(1 for _ in boxes(data, ipco_at + 8, ipco_at + ipco_size)) + 1
    ipma_at, ipma_size = find(data, iprp_at + 8, iprp_at + iprp_size, "ipma")

    # ipma: append the new properties to the primary item's associations.
    version, flags = data[ipma_at + 8], int.from_bytes(data[ipma_at + 9:ipma_at + 12], "big")
    wide = flags & 1
    at = ipma_at + 16
    entries = struct.unpack(">I", data[ipma_at + 12:ipma_at + 16])[0]
    insert_at = None
    for _ in range(entries):
        item_bytes = 4 if version >= 1 else 2
        item = int.from_bytes(data[at:at + item_bytes], "big")
        n = data[at + item_bytes]
        count_at = at + item_bytes
        at = count_at + 1 + n * (2 if wide else 1)
        if item == primary:
            insert_at, primary_count_at = at, count_at
    assert insert_at is not None, "primary item has no associations"
    assoc = b"".join(
        struct.pack(">H", 0x8000 | (first_index + i)) if wide else bytes([0x80 | (first_index + i)])
        for i in range(count))
    data[insert_at:insert_at] = assoc
    data[primary_count_at] += count
    grow_ipma = len(assoc)
    # The ipco gets the new boxes at its end (before ipma, which follows it).
    data[ipco_at + ipco_size:ipco_at + ipco_size] = added
    delta = len(added) + grow_ipma
    for box_at, grown in ((ipma_at + len(added), grow_ipma), (ipco_at, len(added)),
                          (iprp_at, delta), (meta_at, delta)):
        size = struct.unpack(">I", data[box_at:box_at + 4])[0]
        data[box_at:box_at + 4] = struct.pack(">I", size + grown)

    shift_item_data(data, meta_at, meta_size + delta, delta)
    open(dst, "wb").write(data)


if __name__ == "__main__":
    main()
