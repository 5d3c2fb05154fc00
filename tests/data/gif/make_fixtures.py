#!/usr/bin/python3
"""Builds the GIF reader fixtures and their expected results.

Pictures come from PIL and ImageMagick, some edited at byte level (offsets,
background index, tables moved, extra blocks). The expected result of each
fixture is taken from PIL's decoding of the first frame, placed on a canvas of
the logical screen with the background index in the margins, with the
transparent entry flattened to the file's background colour (or white when
the file has no global table).

Expected file layout (<name>.expected):
  "GIFX", u16 width, u16 height, u8 declares transparency, u8 transparent
  index, 3 bytes transparent colour (red, green, blue), u8 source bits,
  768 bytes palette (red, green, blue), width * height indices, top row first.

Run with Debian's python3 (python3-pil) from this folder.
"""
import io
import os
import struct
import subprocess

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))


def table_bytes(packed):
    return 3 << ((packed & 7) + 1) if packed & 0x80 else 0


def blocks(data):
    """Offsets of the blocks after the screen: (kind, offset, end)."""
    pos = 13 + table_bytes(data[10])
    out = []
    while pos < len(data):
        kind = data[pos]
        start = pos
        if kind == 0x3B:
            out.append((kind, start, pos + 1))
            break
        if kind == 0x21:
            pos += 2
        elif kind == 0x2C:
            packed = data[pos + 9]
            pos += 10 + table_bytes(packed) + 1
        while data[pos] != 0:
            pos += 1 + data[pos]
        pos += 1
        out.append((kind, start, pos))
    return out


def pil_gif(im, **options):
    buffer = io.BytesIO()
    im.save(buffer, "GIF", **options)
    return bytearray(buffer.getvalue())


def palette_picture(width, height, colours, pattern):
    im = Image.new("P", (width, height))
    palette = []
    for i in range(256):
        palette += [(i * 37 + 11) % 256, (i * 91 + 7) % 256, (i * 53 + 201) % 256]
    im.putpalette(palette)
    im.putdata([pattern(x, y) % colours for y in range(height) for x in range(width)])
    return im


def pack_codes(codes):
    """(code, width) pairs packed least-significant bit first."""
    out = bytearray()
    bits = 0
    count = 0
    for code, width in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    return out


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        piece = data[i:i + 255]
        out.append(len(piece))
        out += piece
    out.append(0)
    return out


def uncompressed_gif(width, height, indices, palette_rgb, leading_clears):
    """Every pixel as a root code, a clear code before the table would widen
    the codes; `leading_clears` extra clear codes make the data far larger than
    the picture needs."""
    clear, end, w = 256, 257, 9
    codes = [(clear, w)] * (leading_clears + 1)
    run = 0
    for value in indices:
        if run == 254:
            codes.append((clear, w))
            run = 0
        codes.append((value, w))
        run += 1
    codes.append((end, w))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    data += bytes(palette_rgb)
    data += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x08"
    data += sub_blocks(pack_codes(codes))
    data += b"\x3b"
    return data


def expected_from_pil(data):
    screen_w, screen_h = struct.unpack("<HH", data[6:10])
    has_global = bool(data[10] & 0x80)
    background = data[11] if has_global else 0
    global_table = bytearray(768)
    global_table[: table_bytes(data[10])] = data[13: 13 + table_bytes(data[10])]

    im = Image.open(io.BytesIO(bytes(data)))
    _, (x0, y0, x1, y1), _, _ = im.tile[0]
    info = dict(im.info)
    im.load()
    frame = im.crop((x0, y0, x1, y1))
    assert frame.mode == "P", frame.mode
    palette = bytearray(im.getpalette() or [])[:768]
    palette += bytearray(768 - len(palette))

    transparent = "transparency" in info
    t_index = info.get("transparency", 0) if transparent else 0
    if transparent:
        colour = global_table[3 * background: 3 * background + 3] if has_global else b"\xff\xff\xff"
        palette[3 * t_index: 3 * t_index + 3] = colour
    t_rgb = palette[3 * t_index: 3 * t_index + 3] if transparent else b"\0\0\0"

    canvas = bytearray([background]) * (screen_w * screen_h)
    pixels = list(frame.getdata())
    fw = x1 - x0
    for y in range(y1 - y0):
        row = (y0 + y) * screen_w + x0
        canvas[row: row + fw] = bytes(pixels[y * fw: (y + 1) * fw])

    bits = 0
    if has_global:
        bits = (data[10] & 7) + 1
    image_packed = [data[s + 9] for k, s, e in blocks(data) if k == 0x2C][0]
    if image_packed & 0x80:
        bits = max(bits, (image_packed & 7) + 1)

    head = b"GIFX" + struct.pack("<HHBB", screen_w, screen_h, int(transparent), t_index)
    return head + bytes(t_rgb) + bytes([bits]) + bytes(palette) + bytes(canvas)


def save(name, data):
    with open(os.path.join(HERE, name + ".gif"), "wb") as f:
        f.write(data)
    with open(os.path.join(HERE, name + ".expected"), "wb") as f:
        f.write(expected_from_pil(data))


def move_global_table_to_local(data):
    packed = data[10]
    size = table_bytes(packed)
    table = data[13: 13 + size]
    out = bytearray(data[:13]) + data[13 + size:]
    out[10] = packed & 0x7F
    out[11] = 0
    for kind, start, end in blocks(out):
        if kind == 0x2C:
            out[start + 9] = (out[start + 9] & 0x40) | 0x80 | (packed & 7)
            out[start + 10: start + 10] = table
            break
    return out


def main():
    # Plain pictures: 8-bit and 1-bit tables, odd sizes.
    save("palette256", pil_gif(palette_picture(67, 41, 256, lambda x, y: x * 3 + y * 7 + (x * y) // 5),
                               interlace=False, optimize=False))
    save("two_colours", pil_gif(palette_picture(37, 23, 2, lambda x, y: (x // 3 + y // 2)),
                                interlace=False, optimize=True))

    # Interlaced, with a height that leaves every pass partly filled.
    save("interlaced", pil_gif(palette_picture(61, 45, 200, lambda x, y: x + 5 * y), interlace=True,
                               optimize=False))

    # Animated: three different frames; only the first counts.
    frames = [palette_picture(40, 30, 16, lambda x, y, k=k: x // (k + 2) + y) for k in range(3)]
    save("animated", pil_gif(frames[0], save_all=True, append_images=frames[1:], duration=50,
                             loop=0, interlace=False, optimize=False))

    # A 100 x 50 frame at (10, 20) on a 200 x 100 screen, background index 5.
    data = pil_gif(palette_picture(100, 50, 7, lambda x, y: x + y + 1), interlace=False,
                   optimize=False)
    data[6:10] = struct.pack("<HH", 200, 100)
    data[11] = 5
    for kind, start, end in blocks(data):
        if kind == 0x2C:
            data[start + 1: start + 5] = struct.pack("<HH", 10, 20)
    save("offset_frame", data)

    # Transparent index 3; the background entry 9 is (0, 128, 0).
    im = palette_picture(30, 20, 12, lambda x, y: x // 2 + y)
    palette = im.getpalette()
    palette[27:30] = [0, 128, 0]
    im.putpalette(palette)
    data = pil_gif(im, transparency=3, background=9, interlace=False, optimize=False)
    save("transparent_background", data)
    # The same without a global table: the transparent entry becomes white.
    save("transparent_local_table", move_global_table_to_local(data))

    # Comment, application and plain-text extensions and two graphic control
    # blocks before the image; the later control block (index 6) counts.
    data = pil_gif(palette_picture(24, 16, 9, lambda x, y: x ^ y), interlace=False, optimize=False)
    extras = b"\x21\xfe\x05hello\x03abc\x00"
    extras += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    extras += b"\x21\xf9\x04\x01\x00\x00\x02\x00"
    extras += b"\x21\x01\x0c" + bytes(12) + b"\x04text\x00"
    extras += b"\x21\xf9\x04\x05\x0a\x00\x06\x00"
    first = [s for k, s, e in blocks(data) if k == 0x2C][0]
    data[first:first] = extras
    data[3:6] = b"89a"
    save("extensions", data)

    # Image data far larger than the picture needs: a long run of clear codes
    # before the pixels, all in complete sub-blocks.
    width, height = 40, 30
    pixels = [(x * 7 + y * 3) % 256 for y in range(height) for x in range(width)]
    rgb = []
    for i in range(256):
        rgb += [i, 255 - i, (i * 5) % 256]
    save("oversized_data", uncompressed_gif(width, height, pixels, rgb, 4000))

    # ImageMagick: 16 colours, and an interlaced picture with a local layout
    # of its own choosing.
    for name, args in [
        ("magick_2", ["-size", "37x23", "pattern:checkerboard", "-monochrome"]),
        ("magick_16", ["-size", "57x33", "-seed", "7", "plasma:fractal", "-colors", "16"]),
        ("magick_interlaced", ["-size", "50x37", "gradient:red-blue", "-colors", "64",
                               "-interlace", "GIF"]),
    ]:
        path = os.path.join(HERE, name + ".gif")
        subprocess.run(["convert"] + args + [path], check=True)
        with open(path, "rb") as f:
            save(name, bytearray(f.read()))


if __name__ == "__main__":
    main()
