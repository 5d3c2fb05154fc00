#!/usr/bin/python3
"""Builds the TIFF reader fixtures and their expected pixels.

Files are written by independent tools (PIL, ImageMagick) or, for kinds those
tools cannot produce, built byte by byte below. The expected pixels of every
accepted file come from ImageMagick (16-bit output reduced to the high byte),
cross-checked with PIL wherever PIL can decode the file (PIL is taken for
4-bit white-is-zero files, which ImageMagick 6 reads without inverting).

Outputs, in this folder:
  <name>.tif        the fixture
  <name>.rgb        expected picture: top-down rows of red, green, blue bytes
  expected.txt      name width height bitCount sourceBitsPerPixel xPpm yPpm
  refused.txt       name status  (files the reader must refuse)

Run: /usr/bin/python3 tests/data/tiff/make_fixtures.py
"""
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 37, 23  # odd width: 1-bit rows end mid-byte, 4-bit rows mid-byte


def source_rgb(w=W, h=H, seed=0):
    y, x = np.mgrid[0:h, 0:w]
    r = (x * 7 + seed * 50) % 256
    g = (y * 11 + x * 3) % 256
    b = (x * y * 5 + seed) % 256
    return np.stack([r, g, b], -1).astype(np.uint8)


def magick(args):
    subprocess.run(["convert"] + args, check=True)


def decode_magick(path):
    """First page as top-down RGB bytes, 16-bit samples reduced to the high byte."""
    out = subprocess.run(["convert", path + "[0]", "-depth", "16", "-endian", "MSB", "rgb:-"],
                         check=True, capture_output=True).stdout
    ident = subprocess.run(["identify", "-format", "%w %h\n", path + "[0]"], check=True,
                           capture_output=True, text=True).stdout.split()
    w, h = int(ident[0]), int(ident[1])
    v = np.frombuffer(out, dtype=">u2").reshape(h, w, 3)
    return (v >> 8).astype(np.uint8)


def decode_pil(path):
    im = Image.open(path)
    im.seek(0)
    if im.mode.startswith("I;16") or im.mode == "RGB" and im.tile and "16" in im.tile[0][3][0]:
        return None
    return np.asarray(im.convert("RGB"))


def tags(path):
    im = Image.open(path)
    return im.tag_v2


def resolution_ppm(path):
    t = tags(path)
    if 282 not in t or 283 not in t:
        return 0, 0
    unit = t.get(296, 2)

    def ppm(v):
        v = float(v)
        if unit == 2:
            return int(v / 0.0254 + 0.5)
        if unit == 3:
            return int(v * 100 + 0.5)
        return 0

    return ppm(t[282]), ppm(t[283])


# ---- Hand-built files ---------------------------------------------------

def build_tiff(order, width, height, bits, photometric, rows, colormap=None,
               strips=None, extra_entries=(), compression_type=3, reverse_strips=False,
               strip_type=4, samples=1):
    """Builds an uncompressed TIFF. `rows` is the packed pixel data; `strips`
    the number of rows per strip (all rows in one strip by default)."""
    e = "<" if order == "II" else ">"
    row_bytes = (width * bits * samples + 7) // 8
    rps = strips or height
    chunks = [rows[i * row_bytes:(i + rps) * row_bytes] for i in range(0, height, rps)]
    chunks = [rows[y * row_bytes:min(height, y + rps) * row_bytes] for y in range(0, height, rps)]
    data = bytearray(order.encode() + struct.pack(e + "HI", 42, 0))
    offsets = [0] * len(chunks)
    order_idx = list(range(len(chunks)))
    if reverse_strips:
        order_idx.reverse()
    for i in order_idx:
        offsets[i] = len(data)
        data += chunks[i]
    if len(data) % 2:
        data += b"\0"
    external = bytearray()
    entries = []

    def add(tag, typ, values):
        size = {3: 2, 4: 4, 5: 8}[typ]
        fmt = {3: "H", 4: "I", 5: "II"}[typ]
        if typ == 5:
            packed = b"".join(struct.pack(e + "II", *v) for v in values)
        else:
            packed = b"".join(struct.pack(e + fmt, v) for v in values)
        entries.append((tag, typ, len(values), packed))

    add(256, 3, [width])
    add(257, 3, [height])
    if samples == 3:
        add(258, 3, [bits] * 3)
    else:
        add(258, 3, [bits])
    add(259, compression_type, [1])
    add(262, 3, [photometric])
    add(273, strip_type, offsets)
    add(277, 3, [samples])
    add(278, 3, [rps])
    add(279, strip_type, [len(c) for c in chunks])
    if colormap is not None:
        add(320, 3, colormap)
    for tag, typ, values in extra_entries:
        add(tag, typ, values)
    entries.sort(key=lambda x: x[0])
    ifd_offset = len(data)
    ext_base = ifd_offset + 2 + 12 * len(entries) + 4
    ifd = bytearray(struct.pack(e + "H", len(entries)))
    for tag, typ, count, packed in entries:
        if len(packed) <= 4:
            ifd += struct.pack(e + "HHI", tag, typ, count) + packed.ljust(4, b"\0")
        else:
            ifd += struct.pack(e + "HHII", tag, typ, count, ext_base + len(external))
            external += packed
            if len(external) % 2:
                external += b"\0"
    ifd += struct.pack(e + "I", 0)
    data += ifd + external
    struct.pack_into(e + "I", data, 4, ifd_offset)
    return bytes(data)


def pack_bits(indices, bits):
    """Packs rows of indices (h x w) most significant bits first, rows byte aligned."""
    out = bytearray()
    per_byte = 8 // bits
    for row in indices:
        padded = list(row) + [0] * (-len(row) % per_byte)
        for i in range(0, len(padded), per_byte):
            byte = 0
            for v in padded[i:i + per_byte]:
                byte = (byte << bits) | int(v)
            out.append(byte)
    return bytes(out)


def pattern_indices(w, h, levels):
    y, x = np.mgrid[0:h, 0:w]
    return ((x * 3 + y * 5 + (x * y) % 7) % levels).astype(np.uint8)


def hand_built():
    files = {}
    for order, tag in (("II", "le"), ("MM", "be")):
        # Bilevel, 13 pixels wide: the last byte of a row holds 5 pixels.
        idx = pattern_indices(13, 9, 2)
        for photometric, kind in ((0, "wz"), (1, "bz")):
            files[f"hb_bilevel_{kind}_{tag}"] = build_tiff(order, 13, 9, 1, photometric,
                                                           pack_bits(idx, 1))
        # 1-bit palette: dark red and light cyan.
        files[f"hb_palette1_{tag}"] = build_tiff(
            order, 13, 9, 1, 3, pack_bits(idx, 1),
            colormap=[0x8000, 0x20FF, 0x1234, 0xE0E0, 0x0000, 0xFF00])
        # 4-bit white-is-zero, odd width, one row per strip, strips stored
        # in reverse order and strip arrays of SHORT values.
        idx4 = pattern_indices(13, 2, 16)
        files[f"hb_gray4_wz_shortstrips_{tag}"] = build_tiff(
            order, 13, 2, 4, 0, pack_bits(idx4, 4), strips=1, reverse_strips=True, strip_type=3)
        # 4-bit palette split in strips of 3 rows stored in reverse order.
        idx4 = pattern_indices(11, 7, 16)
        cmap = [(i * 4111) & 0xFFFF for i in range(16)] + \
               [(65535 - i * 3000) & 0xFFFF for i in range(16)] + \
               [(i * 977 * 7) & 0xFFFF for i in range(16)]
        files[f"hb_palette4_reversed_{tag}"] = build_tiff(
            order, 11, 7, 4, 3, pack_bits(idx4, 4), colormap=cmap, strips=3,
            reverse_strips=True)
        # 16-bit RGB whose high and low bytes differ everywhere.
        rgb = source_rgb(5, 4, seed=3).astype(np.uint16)
        rgb16 = (rgb << 8) | (255 - rgb)
        raw = rgb16.astype("<u2" if order == "II" else ">u2").tobytes()
        files[f"hb_rgb16_{tag}"] = build_tiff(order, 5, 4, 16, 2, raw, samples=3)
    # A little-endian Compression entry of type LONG still reads as 1.
    rgb = source_rgb(6, 3, seed=5)
    files["hb_compression_long_le"] = build_tiff("II", 6, 3, 8, 2, rgb.tobytes(), samples=3,
                                                 compression_type=4)
    # Centimetre resolution: 40 pixels per cm horizontally, 118.11 vertically.
    files["hb_resolution_cm_be"] = build_tiff(
        "MM", 6, 3, 8, 2, rgb.tobytes(), samples=3,
        extra_entries=[(282, 5, [(40, 1)]), (283, 5, [(11811, 100)]), (296, 3, [3])])
    return files


def hand_built_refused():
    files = {}
    rgb = source_rgb(6, 3, seed=5)
    # A big-endian Compression entry of type LONG: its first 16 bits are 0.
    files["hb_compression_long_be"] = (build_tiff("MM", 6, 3, 8, 2, rgb.tobytes(), samples=3,
                                                  compression_type=4), 50002)
    return files


# ---- Tool-made files ------------------------------------------------------

def tool_made(tmp):
    src = os.path.join(tmp, "src.png")
    src2 = os.path.join(tmp, "src2.png")
    Image.fromarray(source_rgb()).save(src)
    Image.fromarray(source_rgb(19, 31, seed=9)).save(src2)
    photo = Image.fromarray(source_rgb())
    out = lambda n: os.path.join(HERE, n + ".tif")
    be = ["-define", "tiff:endian=msb"]
    le = ["-define", "tiff:endian=lsb"]
    wz = ["-define", "quantum:polarity=min-is-white"]
    gray = ["-colorspace", "gray"]
    none = ["-compress", "none"]

    photo.convert("L").save(out("gray8_bz_le"))
    magick([src] + gray + ["-depth", "8"] + be + none + [out("gray8_bz_be")])
    for order, flags in (("le", le), ("be", be)):
        magick([src] + gray + ["-depth", "8"] + wz + flags + none + [out("gray8_wz_" + order)])
        magick([src] + gray + ["-depth", "4"] + flags + none + [out("gray4_bz_" + order)])
        magick([src] + gray + ["-depth", "4"] + wz + flags + none + [out("gray4_wz_" + order)])
        magick([src] + gray + ["-depth", "1"] + wz + flags + none +
               [out("bilevel_wz_" + order)])
        magick([src, "-colors", "16", "-type", "palette", "-depth", "4"] + flags + none +
               [out("palette4_" + order)])
        magick([src, "-colors", "2", "-type", "palette", "-depth", "1"] + flags + none +
               [out("palette1_" + order)])
        magick([src, "-depth", "16"] + flags + none + [out("rgb16_" + order)])
        magick([src, "-define", "tiff:rows-per-strip=4"] + flags + none +
               [out("rgb8_strips_" + order)])
        magick([src, src2] + flags + none + [out("multipage_" + order)])
    photo.convert("1").save(out("bilevel_bz_le"))
    magick([src] + gray + ["-depth", "1"] + be + none + [out("bilevel_bz_be")])
    photo.convert("P").save(out("palette8_le"))
    magick([src, "-colors", "200", "-type", "palette"] + be + none + [out("palette8_be")])
    photo.save(out("rgb8_le"))
    magick([src] + be + none + [out("rgb8_be")])
    photo.save(out("dpi300_le"), dpi=(300, 300))
    magick([src, "-units", "PixelsPerInch", "-density", "300"] + be + none + [out("dpi300_be")])

    refused = {
        "lzw_le": 50002, "packbits_be": 50002, "deflate_le": 50002, "tiled_le": 50007,
        "rgba_le": 50002, "gray_alpha_le": 50002, "planar_rgb_be": 50002,
        "ycbcr_jpeg_le": 50002,
    }
    photo.save(out("lzw_le"), compression="tiff_lzw")
    magick([src, "-compress", "RLE"] + be + [out("packbits_be")])
    photo.save(out("deflate_le"), compression="tiff_adobe_deflate")
    magick([src, "-define", "tiff:tile-geometry=16x16"] + none + [out("tiled_le")])
    photo.convert("RGBA").save(out("rgba_le"))
    photo.convert("LA").save(out("gray_alpha_le"))
    magick([src, "-interlace", "plane"] + be + none + [out("planar_rgb_be")])
    magick([src, "-compress", "JPEG"] + le + [out("ycbcr_jpeg_le")])
    return refused


def main():
    for name in os.listdir(HERE):
        if name.endswith((".tif", ".rgb")):
            os.remove(os.path.join(HERE, name))
    with tempfile.TemporaryDirectory() as tmp:
        refused = tool_made(tmp)
    for name, data in hand_built().items():
        with open(os.path.join(HERE, name + ".tif"), "wb") as f:
            f.write(data)
    for name, (data, status) in hand_built_refused().items():
        with open(os.path.join(HERE, name + ".tif"), "wb") as f:
            f.write(data)
        refused[name] = status

    lines = []
    for name in sorted(n[:-4] for n in os.listdir(HERE) if n.endswith(".tif")):
        if name in refused:
            continue
        path = os.path.join(HERE, name + ".tif")
        expected = decode_magick(path)
        other = decode_pil(path)
        t = tags(path)
        if other is not None and not np.array_equal(other, expected):
            # ImageMagick 6 reads 4-bit white-is-zero samples without
            # inverting them; PIL reads them right.
            if t.get(262) == 0 and t.get(258) in (4, (4,)):
                expected = other
            else:
                sys.exit(f"{name}: ImageMagick and PIL disagree")
        h, w = expected.shape[:2]
        photometric = t.get(262)
        bits = t.get(258, (1,))
        bits = bits[0] if isinstance(bits, tuple) else bits
        bit_count = 24 if photometric == 2 else 8
        source_bits = bits * 3 if photometric == 2 else bits
        xppm, yppm = resolution_ppm(path)
        with open(os.path.join(HERE, name + ".rgb"), "wb") as f:
            f.write(expected.tobytes())
        lines.append(f"{name} {w} {h} {bit_count} {source_bits} {xppm} {yppm}")
    with open(os.path.join(HERE, "expected.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(HERE, "refused.txt"), "w") as f:
        f.write("\n".join(f"{n} {s}" for n, s in sorted(refused.items())) + "\n")


if __name__ == "__main__":
    main()
