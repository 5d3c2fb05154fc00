#!/usr/bin/env python3
"""Clears the compile time a CHM compiler writes into a help file, so that the
same sources give the same bytes.

    chm_clear_time.py FILE.chm

The time sits in two places: the 32-bit time stamp of the ITSF header
(offset 0x10) and record 10 of the /#SYSTEM file. Both are set to zero; help
viewers do not rely on them. Anything unexpected in the file's structure
stops the script with a reason and leaves the file as it was.
"""
import struct
import sys


class Malformed(Exception):
    pass


def read_encint(data, position):
    """A CHM variable-length integer: 7 bits a byte, high bit = more follow."""
    value = 0
    while True:
        if position >= len(data):
            raise Malformed("directory entry runs past its chunk")
        byte = data[position]
        position += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, position


def find_entry(data, wanted):
    """(section, offset, length) of a directory entry, from the PMGL chunks."""
    if data[:4] != b"ITSF":
        raise Malformed("no ITSF header")
    version, header_length = struct.unpack_from("<II", data, 4)
    directory_offset, directory_length = struct.unpack_from("<QQ", data, 0x48)
    if version == 3 and header_length >= 0x60:
        content_offset = struct.unpack_from("<Q", data, 0x58)[0]
    else:
        content_offset = directory_offset + directory_length
    if data[directory_offset:directory_offset + 4] != b"ITSP":
        raise Malformed("no ITSP directory header")
    itsp_length, _, chunk_size = struct.unpack_from("<III", data, directory_offset + 8)
    chunk_count = struct.unpack_from("<I", data, directory_offset + 0x2C)[0]
    for index in range(chunk_count):
        start = directory_offset + itsp_length + index * chunk_size
        chunk = data[start:start + chunk_size]
        if len(chunk) != chunk_size:
            raise Malformed("directory chunk cut short")
        if chunk[:4] != b"PMGL":
            continue  # index chunks (PMGI) only point at listing chunks
        free_space = struct.unpack_from("<I", chunk, 4)[0]
        position, end = 0x14, chunk_size - free_space
        while position < end:
            name_length, position = read_encint(chunk, position)
            name = chunk[position:position + name_length]
            position += name_length
            section, position = read_encint(chunk, position)
            offset, position = read_encint(chunk, position)
            length, position = read_encint(chunk, position)
            if name == wanted:
                return section, content_offset + offset, length
    raise Malformed(f"no {wanted.decode()} entry")


def clear_times(data):
    data = bytearray(data)
    data[0x10:0x14] = bytes(4)
    section, start, length = find_entry(data, b"/#SYSTEM")
    if section != 0 or start + length > len(data):
        raise Malformed("/#SYSTEM is not stored uncompressed")
    position, end = start + 4, start + length  # after the format version
    cleared = False
    while position + 4 <= end:
        code, size = struct.unpack_from("<HH", data, position)
        position += 4
        if position + size > end:
            raise Malformed("/#SYSTEM record runs past the file")
        if code == 10:
            if size != 4:
                raise Malformed(f"/#SYSTEM time record of {size} bytes")
            data[position:position + 4] = bytes(4)
            cleared = True
        position += size
    if not cleared:
        raise Malformed("/#SYSTEM has no time record")
    return bytes(data)


def main():
    if len(sys.argv) != 2:
        print("usage: chm_clear_time.py FILE.chm", file=sys.stderr)
        return 2
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = f.read()
    try:
        cleared = clear_times(data)
    except (Malformed, struct.error) as error:
        print(f"chm_clear_time.py: {path}: {error}", file=sys.stderr)
        return 1
    with open(path, "wb") as f:
        f.write(cleared)
    return 0


if __name__ == "__main__":
    sys.exit(main())
