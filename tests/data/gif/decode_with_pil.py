#!/usr/bin/python3
"""Decodes the first frame of a GIF with PIL for the writer tests.

Usage: decode_with_pil.py IN.gif OUT.raw
OUT.raw: u16 width, u16 height, u16 background index, u16 transparent index
(0xFFFF when none), 768 bytes palette (red, green, blue; zero-padded),
width * height indices, top row first. All little-endian.
"""
import struct
import sys

from PIL import Image

im = Image.open(sys.argv[1])
im.load()
assert im.mode == "P", im.mode
palette = bytes(im.getpalette() or [])[:768]
palette += bytes(768 - len(palette))
transparency = im.info.get("transparency", 0xFFFF)
with open(sys.argv[2], "wb") as out:
    out.write(struct.pack("<HHHH", im.size[0], im.size[1], im.info.get("background", 0), transparency))
    out.write(palette)
    out.write(im.tobytes())
