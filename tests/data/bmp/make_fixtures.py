#!/usr/bin/python3
"""Makes the BMP reader fixtures with PIL and ImageMagick, and the pixels each
one must decode to.

For every accepted fixture NAME.bmp there is NAME.expected: the decoded rows
as the reader must leave them (bottom row first, rows padded to 4 bytes, one
index byte per pixel or blue-green-red), and for indexed pictures
NAME.palette: the 256 expected (blue, green, red, reserved) entries.
Refused fixtures have no expected files. Run from any folder:
    /usr/bin/python3 tests/data/bmp/make_fixtures.py
"""
import os
import random
import struct
import subprocess
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 13, 7  # odd width: every depth has row padding
rng = random.Random(20261207)


def path(name):
    return os.path.join(HERE, name)


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def save_expected(name, rows_top_down, palette=None):
    """rows_top_down: list of byte rows (top row first) in record layout."""
    with open(path(name + ".expected"), "wb") as f:
        for row in reversed(rows_top_down):
            f.write(pad(bytes(row)))
    if palette is not None:
        table = bytearray(1024)
        for i, (b, g, r, x) in enumerate(palette):
            table[4 * i:4 * i + 4] = bytes((b, g, r, x))
        with open(path(name + ".palette"), "wb") as f:
            f.write(table)


def bgr_rows(image):
    rgb = image.convert("RGB")
    rows = []
    for y in range(rgb.height):
        row = bytearray()
        for x in range(rgb.width):
            r, g, b = rgb.getpixel((x, y))
            row += bytes((b, g, r))
        rows.append(row)
    return rows


def random_rgb(w=W, h=H):
    image = Image.new("RGB", (w, h))
    image.putdata([(rng.randrange(256), rng.randrange(256), rng.randrange(256))
                   for _ in range(w * h)])
    return image


def patch_u32(data, offset, value, signed=False):
    data[offset:offset + 4] = struct.pack("<i" if signed else "<I", value)


def header(data):
    off, = struct.unpack_from("<I", data, 10)
    size, w, h, planes, bits, comp = struct.unpack_from("<IiiHHI", data, 14)
    return off, size, w, h, bits, comp


def magick(source_image, *options_then_target):
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "source.png")
        source_image.save(src)
        subprocess.run(["convert", src, *options_then_target], check=True)


def bitfield_expected(name, data, bits, masks):
    """Expected 24-bit rows from the stored 16- or 32-bit values."""
    red, green, blue = masks
    wb = max(1, blue.bit_length())
    wg = max(1, (green >> wb).bit_length())
    wr = max(1, (red >> (wb + wg)).bit_length())
    off, _, w, h, _, _ = header(data)
    stride = (w * bits + 31) // 32 * 4
    rows = []
    for y in range(h):  # file rows are bottom-up
        row = bytearray()
        for x in range(w):
            at = off + (h - 1 - y) * stride + x * bits // 8
            p = int.from_bytes(data[at:at + bits // 8], "little")
            row += bytes((
                (p & blue) * 255 // ((1 << wb) - 1),
                ((p & green) >> wb) * 255 // ((1 << wg) - 1),
                ((p & red) >> (wb + wg)) * 255 // ((1 << wr) - 1)))
        rows.append(row)
    save_expected(name, rows)


def main():
    for f in os.listdir(HERE):
        if f.endswith((".bmp", ".expected", ".palette")):
            os.remove(path(f))

    # 24 bits, 40-byte header (PIL), and the same picture with a version-5
    # header and the pixels at offset 138 (ImageMagick).
    photo = random_rgb()
    photo.save(path("rgb24.bmp"))
    save_expected("rgb24", bgr_rows(photo))
    magick(photo, "BMP:" + path("rgb24_v5.bmp"))
    data = open(path("rgb24_v5.bmp"), "rb").read()
    assert header(data)[:2] == (138, 124) and header(data)[4] == 24
    save_expected("rgb24_v5", bgr_rows(photo))

    # Top-down copy of the 24-bit file: refused.
    data = bytearray(open(path("rgb24.bmp"), "rb").read())
    patch_u32(data, 22, -H, signed=True)
    open(path("topdown24.bmp"), "wb").write(data)

    # 8 bits with a random palette (PIL); and a copy cut inside its rows.
    pal = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(256)]
    indices = [rng.randrange(256) for _ in range(W * H)]
    p8 = Image.new("P", (W, H))
    p8.putpalette([c for rgb in pal for c in rgb])
    p8.putdata(indices)
    p8.save(path("pal8.bmp"))
    save_expected("pal8", [indices[y * W:(y + 1) * W] for y in range(H)],
                  [(b, g, r, 0) for (r, g, b) in pal])
    data = open(path("pal8.bmp"), "rb").read()
    open(path("trunc8.bmp"), "wb").write(data[:len(data) - 30])

    # 8-bit grayscale (PIL writes a 256-entry gray table).
    gray = Image.new("L", (W, H))
    gray.putdata([rng.randrange(256) for _ in range(W * H)])
    gray.save(path("gray8.bmp"))
    save_expected("gray8", [list(gray.getdata())[y * W:(y + 1) * W] for y in range(H)],
                  [(v, v, v, v) for v in range(256)])
    # PIL fills the reserved byte of its gray table with the gray value too.
    assert open(path("gray8.bmp"), "rb").read()[54:62] == bytes((0, 0, 0, 0, 1, 1, 1, 1))

    # 4 bits (ImageMagick picks 4 bits for up to 16 colours); the expected
    # indices and table come from PIL's own decoding of the file.
    few = Image.new("RGB", (W, H))
    colours = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(11)]
    few.putdata([colours[rng.randrange(11)] for _ in range(W * H)])
    magick(few, "-type", "Palette", "BMP3:" + path("pal4.bmp"))
    data = open(path("pal4.bmp"), "rb").read()
    assert header(data)[4] == 4
    decoded = Image.open(path("pal4.bmp"))
    assert decoded.mode == "P"
    table = decoded.getpalette()[:48]
    save_expected("pal4", [list(decoded.getdata())[y * W:(y + 1) * W] for y in range(H)],
                  [(table[3 * i + 2], table[3 * i + 1], table[3 * i], 0) for i in range(16)])

    # 1 bit (PIL), the same with biClrUsed 0, and one with a coloured table.
    bits = [rng.randrange(2) for _ in range(W * H)]
    mono = Image.new("1", (W, H))
    mono.putdata([255 * b for b in bits])
    mono.save(path("bw1.bmp"))
    rows = [bits[y * W:(y + 1) * W] for y in range(H)]
    data = bytearray(open(path("bw1.bmp"), "rb").read())
    # PIL stores white with a reserved byte of 255; table entries are kept whole.
    assert data[54:62] == bytes((0, 0, 0, 0, 255, 255, 255, 255))
    save_expected("bw1", rows, [(0, 0, 0, 0), (255, 255, 255, 255)])
    patch_u32(data, 46, 0)
    open(path("bw1_clrused0.bmp"), "wb").write(data)
    save_expected("bw1_clrused0", rows, [(0, 0, 0, 0), (255, 255, 255, 255)])
    data[54:62] = bytes((30, 20, 10, 0, 50, 100, 200, 7))
    open(path("colour1.bmp"), "wb").write(data)
    save_expected("colour1", rows, [(30, 20, 10, 0), (50, 100, 200, 7)])

    # 16 bits with 5-6-5 bit fields and a version-5 header (ImageMagick).
    magick(random_rgb(), "-define", "bmp:subtype=RGB565", "BMP:" + path("rgb565.bmp"))
    data = open(path("rgb565.bmp"), "rb").read()
    assert header(data)[4:] == (16, 3)
    bitfield_expected("rgb565", data, 16, struct.unpack_from("<III", data, 54))

    # 16 bits uncompressed (5-5-5, top bit set at random and ignored), made
    # by hand: ImageMagick writes 16 bits only with bit fields.
    stride = (W * 2 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(H):
        row = b"".join(struct.pack("<H", rng.randrange(65536)) for _ in range(W))
        pixels += pad(row)
    data = bytearray(b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54))
    data += struct.pack("<IiiHHIIiiII", 40, W, H, 1, 16, 0, 0, 2835, -5, 0, 0)
    data += pixels
    open(path("rgb555.bmp"), "wb").write(data)
    bitfield_expected("rgb555", data, 16, (0x7C00, 0x03E0, 0x001F))

    # 32 bits: uncompressed with alpha (PIL), and with bit fields and a
    # version-5 header (ImageMagick). Alpha is dropped.
    rgba = Image.new("RGBA", (W, H))
    rgba.putdata([(rng.randrange(256), rng.randrange(256), rng.randrange(256), rng.randrange(256))
                  for _ in range(W * H)])
    rgba.save(path("rgba32.bmp"))
    data = open(path("rgba32.bmp"), "rb").read()
    assert header(data)[4:] == (32, 0)
    save_expected("rgba32", bgr_rows(rgba))
    argb = random_rgb().convert("RGBA")
    argb.putalpha(128)
    magick(argb, "BMP:" + path("argb32.bmp"))
    data = open(path("argb32.bmp"), "rb").read()
    assert header(data)[4:] == (32, 3)
    save_expected("argb32", bgr_rows(argb))

    # Run-length compressed files: refused.
    magick(random_rgb().quantize(200), "-compress", "RLE", "BMP3:" + path("rle8.bmp"))
    # ImageMagick does not write 4-bit run-length files: mark the 4-bit one
    # as such (the compression value alone decides the refusal).
    data = bytearray(open(path("pal4.bmp"), "rb").read())
    patch_u32(data, 30, 2)
    open(path("rle4.bmp"), "wb").write(data)
    assert header(open(path("rle8.bmp"), "rb").read())[5] == 1
    assert header(open(path("rle4.bmp"), "rb").read())[5] == 2


if __name__ == "__main__":
    main()
