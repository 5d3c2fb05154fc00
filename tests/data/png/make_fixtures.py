#!/usr/bin/python3
"""Makes the PNG reader fixtures and their expected decoded records.

Each case is a small PNG written by the plain zlib encoder below (or by PIL /
ImageMagick), checked against PIL's decoder where PIL can read it, and an
expected record "<name>.rec" computed from the source samples with the
reader's rules: samples reduced to 8 bits (high byte of 16-bit samples), gray
images as indices into a gray ramp, transparency blended onto the bKGD colour
or white.

Record file layout (little-endian): "MREC", u32 width, u32 height, u32 bit
count, i32 x resolution, i32 y resolution, u32 source bits per pixel, u8
transparent colour present, u8 red, green, blue, 1024 palette bytes (blue,
green, red, reserved), then stride * height pixel bytes, bottom-up.

Run with /usr/bin/python3 (Debian's PIL and numpy) from any folder.
"""
import io
import os
import struct
import subprocess
import zlib

import numpy as np
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def row_bytes(samples, depth):
    """Serialises one row of samples (pixels x channels) into PNG bytes."""
    flat = samples.reshape(-1).astype(np.uint32)
    if depth == 16:
        return b"".join(struct.pack(">H", int(v)) for v in flat)
    if depth == 8:
        return bytes(int(v) for v in flat)
    per = 8 // depth
    out = bytearray()
    for i in range(0, len(flat), per):
        byte = 0
        group = flat[i:i + per]
        for k, v in enumerate(group):
            byte |= int(v) << (8 - depth * (k + 1))
        out.append(byte)
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(kind, raw, prev, bpp):
    out = bytearray(len(raw))
    for i, x in enumerate(raw):
        a = raw[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if kind == 0 or kind >= 5:
            pred = 0
        elif kind == 1:
            pred = a
        elif kind == 2:
            pred = b
        elif kind == 3:
            pred = (a + b) // 2
        else:
            pred = paeth(a, b, c)
        out[i] = (x - pred) & 0xFF
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def image_data(samples, depth, ctype, interlace, filters):
    """The filtered, uncompressed image data; filters cycle over the rows."""
    channels = CHANNELS[ctype]
    bpp = max(1, channels * depth // 8)
    h, w = samples.shape[:2]
    passes = [(0, 0, 1, 1)] if not interlace else ADAM7
    data = bytearray()
    n = 0
    for cs, rs, ci, ri in passes:
        sub = samples[rs::ri, cs::ci]
        if sub.shape[0] == 0 or sub.shape[1] == 0:
            continue
        prev = None
        for row in sub:
            raw = row_bytes(row, depth)
            if prev is None:
                prev = bytes(len(raw))
            kind = filters[n % len(filters)]
            n += 1
            data.append(kind)
            data += filter_row(kind, raw, prev, bpp)
            prev = raw
    return bytes(data)


def png_file(w, h, depth, ctype, interlace, idat_stream, before=(), after=(), split=None):
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ctype, 0, 0, interlace))
    for kind, data in before:
        out += chunk(kind, data)
    if split:
        pos = 0
        k = 0
        while pos < len(idat_stream):
            size = split[k % len(split)]
            out += chunk(b"IDAT", idat_stream[pos:pos + size])
            pos += size
            k += 1
    else:
        out += chunk(b"IDAT", idat_stream)
    for kind, data in after:
        out += chunk(kind, data)
    out += chunk(b"IEND", b"")
    return out


# ---- The reader's rules, computed from the source samples.

def blend_entry(a, v):
    if a == 0 or v == 0:
        return 0
    if a == 255:
        return v
    if v == 255:
        return a
    lo, hi = min(a, v), max(a, v)
    return (hi * ((lo * 65536) // 255) + 32768) >> 16


BLEND = np.array([[blend_entry(a, v) for v in range(256)] for a in range(256)], dtype=np.uint32)


def composite(alpha, value, background):
    return (BLEND[alpha, value] + BLEND[255 - alpha, background]).astype(np.uint8)


def reduce8(values, depth):
    values = np.asarray(values, dtype=np.uint32)
    return (values >> 8).astype(np.uint8) if depth == 16 else values.astype(np.uint8)


def gray_step(depth):
    return {1: 255, 2: 85, 4: 17}.get(depth, 1)


def expected_record(samples, depth, ctype, palette=None, trns=None, bkgd=None, phys=(0, 0),
                    missing_rows=0):
    """Returns the record bytes the reader must produce.

    samples: h x w x channels source values; palette: list of (r, g, b);
    trns: raw tRNS payload; bkgd: raw bKGD payload; missing_rows: rows at the
    bottom of the picture the stream never delivered (zeros before blending).
    """
    h, w = samples.shape[:2]
    bits = 24 if ctype in (2, 6) else 8
    stride = (w * bits // 8 + 3) & ~3
    pal = np.zeros((256, 4), dtype=np.uint8)
    if ctype in (0, 4):
        step = gray_step(depth)
        for k in range(256):
            if k * step < 256:
                pal[k, :3] = k * step
    cap = {1: 2, 2: 4, 4: 16, 8: 256}
    count = 0
    if ctype == 3 and palette is not None:
        count = min(len(palette), cap[depth])
        for k in range(count):
            r, g, b = palette[k]
            pal[k] = (b, g, r, 0)

    s8 = reduce8(samples, depth)
    if missing_rows:
        s8 = s8.copy()
        s8[h - missing_rows:] = 0

    # bKGD
    background = (255, 255, 255)
    if bkgd is not None:
        if ctype in (0, 4) and len(bkgd) == 2:
            if depth < 8:
                if bkgd[0] == 0 and bkgd[1] < (1 << depth):
                    gray = bkgd[1] * gray_step(depth)
                    background = (gray, gray, gray)
            else:
                gray = bkgd[0] if depth == 16 else bkgd[1]
                background = (gray, gray, gray)
        elif ctype == 3 and len(bkgd) == 1:
            b, g, r = pal[bkgd[0], :3]
            background = (int(r), int(g), int(b))
        elif ctype in (2, 6) and len(bkgd) == 6:
            o = 0 if depth == 16 else 1
            background = (bkgd[o], bkgd[2 + o], bkgd[4 + o])
    br, bg, bb = background

    alpha_pal = np.full(256, 255, dtype=np.uint8)
    took_trns = False
    trns_sample = (0, 0, 0)
    if trns is not None:
        if ctype == 0 and len(trns) == 2:
            took_trns = True
            trns_sample = (0, trns[0] if depth == 16 else trns[1], 0)
        elif ctype == 2 and len(trns) == 6:
            took_trns = True
            o = 0 if depth == 16 else 1
            trns_sample = (trns[o], trns[2 + o], trns[4 + o])
        elif ctype == 3 and len(trns) <= count:
            took_trns = True
            alpha_pal[:len(trns)] = list(trns)

    if bits == 8:
        index = s8[:, :, 0].copy()
        if ctype == 4:
            a = s8[:, :, 1]
            index = composite(a, index, br)
        if ctype == 0 and took_trns:
            pal[trns_sample[1], :3] = (bb, bg, br)
        if ctype == 3 and took_trns:
            for k in range(256):
                for ch, back in ((0, bb), (1, bg), (2, br)):
                    pal[k, ch] = composite(np.uint32(alpha_pal[k]), np.uint32(pal[k, ch]), back)
        pixels = np.zeros((h, stride), dtype=np.uint8)
        pixels[:, :w] = index
    else:
        rgb = s8[:, :, :3].copy()
        if ctype == 6:
            a = s8[:, :, 3]
            for ch, back in ((0, br), (1, bg), (2, bb)):
                rgb[:, :, ch] = composite(a, rgb[:, :, ch], back)
        if ctype == 2 and took_trns:
            mask = np.all(rgb == np.array(trns_sample, dtype=np.uint8), axis=2)
            rgb[mask] = (br, bg, bb)
        pixels = np.zeros((h, stride), dtype=np.uint8)
        pixels[:, :3 * w] = rgb[:, :, ::-1].reshape(h, 3 * w)
    pixels = pixels[::-1]  # bottom-up

    present, colour = 0, (0, 0, 0)
    if took_trns:
        if ctype == 3:
            zero = [k for k in range(256) if alpha_pal[k] == 0]
            if zero:
                b, g, r = pal[zero[0], :3]
                present, colour = 1, (int(r), int(g), int(b))
        elif ctype == 0:
            sample = trns_sample[1]
            if depth >= 8 or sample < (1 << depth):
                b, g, r = pal[sample, :3]
                present, colour = 1, (int(r), int(g), int(b))
        elif ctype == 2:
            present, colour = 1, trns_sample

    source_bpp = depth * 3 if ctype in (2, 6) else depth
    head = b"MREC" + struct.pack("<IIIiiI", w, h, bits, phys[0], phys[1], source_bpp)
    head += bytes([present, colour[0], colour[1], colour[2]])
    return head + pal.tobytes() + pixels.tobytes()


def check_with_pil(png, samples, depth, ctype, palette=None):
    """PIL must decode the file to the same samples (8-bit reduced for 16-bit)."""
    im = Image.open(io.BytesIO(png))
    im.load()
    got = np.array(im).astype(np.uint32)
    if got.ndim == 2:
        got = got[:, :, None]
    want = np.asarray(samples).astype(np.uint32)
    if ctype == 0 and depth in (2, 4):
        got = got // gray_step(depth)  # PIL scales packed gray to 8 bits
    if ctype == 4 and depth == 16:
        got = got[:, :, [0, 3]]  # PIL widens 16-bit gray+alpha to RGBA
    if ctype in (2, 4, 6) and depth == 16:
        want = want >> 8
    if not np.array_equal(got, want):
        raise SystemExit("PIL disagrees with the source samples")


def random_samples(rng, h, w, channels, depth, smooth=True):
    top = (1 << depth) - 1
    if smooth and depth >= 8:
        # Gradients plus noise: every filter type gets non-trivial predictions.
        y, x = np.mgrid[0:h, 0:w]
        base = np.stack([(x * (c + 3) * 37 + y * (c + 1) * 53) for c in range(channels)], axis=2)
        noise = rng.integers(0, max(2, top // 16), size=(h, w, channels))
        return ((base * max(1, top // 255) + noise) % (top + 1)).astype(np.uint32)
    return rng.integers(0, top + 1, size=(h, w, channels)).astype(np.uint32)


def write(name, png, record):
    with open(os.path.join(HERE, name + ".png"), "wb") as f:
        f.write(png)
    with open(os.path.join(HERE, name + ".rec"), "wb") as f:
        f.write(record)


def main():
    rng = np.random.default_rng(20261207)
    combos = [(0, 1), (0, 2), (0, 4), (0, 8), (0, 16), (2, 8), (2, 16), (3, 1), (3, 2), (3, 4),
              (3, 8), (4, 8), (4, 16), (6, 8), (6, 16)]
    filters = [0, 1, 2, 3, 4, 4, 3, 1, 2]
    for ctype, depth in combos:
        w, h = 13, 11
        channels = CHANNELS[ctype]
        samples = random_samples(rng, h, w, channels, depth)
        before = []
        palette = None
        if ctype == 3:
            count = min(1 << depth, 200)
            palette = [tuple(int(v) for v in rng.integers(0, 256, 3)) for _ in range(count)]
            before.append((b"PLTE", bytes(v for rgb in palette for v in rgb)))
            samples = rng.integers(0, count, size=(h, w, 1)).astype(np.uint32)
        record = expected_record(samples, depth, ctype, palette=palette)
        for interlace in (0, 1):
            stream = zlib.compress(image_data(samples, depth, ctype, interlace, filters), 9)
            png = png_file(w, h, depth, ctype, interlace, stream, before=before)
            check_with_pil(png, samples, depth, ctype, palette)
            write("ct%d_d%d_%s" % (ctype, depth, "adam7" if interlace else "seq"), png, record)

    # Wide enough for whole bytes and a partial last byte in every Adam7 pass.
    for ctype, depth in ((0, 1), (3, 4), (6, 16), (2, 8)):
        w, h = 37, 19
        samples = random_samples(rng, h, w, CHANNELS[ctype], depth, smooth=False)
        before = []
        palette = None
        if ctype == 3:
            palette = [tuple(int(v) for v in rng.integers(0, 256, 3)) for _ in range(16)]
            before.append((b"PLTE", bytes(v for rgb in palette for v in rgb)))
        record = expected_record(samples, depth, ctype, palette=palette)
        for interlace in (0, 1):
            stream = zlib.compress(image_data(samples, depth, ctype, interlace, filters), 9)
            png = png_file(w, h, depth, ctype, interlace, stream, before=before)
            check_with_pil(png, samples, depth, ctype, palette)
            write("wide_ct%d_d%d_%s" % (ctype, depth, "adam7" if interlace else "seq"), png, record)

    # 1-bit gray, width 9: stride 12, the second byte of each row holds one pixel.
    samples = rng.integers(0, 2, size=(5, 9, 1)).astype(np.uint32)
    stream = zlib.compress(image_data(samples, 1, 0, 0, [0, 1, 2, 3, 4]), 9)
    png = png_file(9, 5, 1, 0, 0, stream)
    check_with_pil(png, samples, 1, 0)
    write("gray1_width9", png, expected_record(samples, 1, 0))

    # Image data split over many IDAT chunks of a few bytes each.
    samples = random_samples(rng, 17, 23, 3, 8)
    stream = zlib.compress(image_data(samples, 8, 2, 0, filters), 9)
    png = png_file(23, 17, 8, 2, 0, stream, split=[1, 7, 3, 64, 2])
    check_with_pil(png, samples, 8, 2)
    write("many_idat", png, expected_record(samples, 8, 2))
    png = png_file(23, 17, 8, 2, 0, stream)
    write("one_idat", png, expected_record(samples, 8, 2))

    # Filter bytes 5 and more are reconstructed as None.
    samples = random_samples(rng, 6, 7, 3, 8)
    raw = image_data(samples, 8, 2, 0, [5, 0, 200, 255, 1, 9])
    png = png_file(7, 6, 8, 2, 0, zlib.compress(raw, 9))
    write("filter_above_four", png, expected_record(samples, 8, 2))

    # Streams that end properly before the last row: missing rows stay zero.
    for ctype, depth, name in ((2, 8, "short_rgb"), (3, 8, "short_palette"), (6, 8, "short_rgba")):
        h, w = 9, 6
        samples = random_samples(rng, h, w, CHANNELS[ctype], depth)
        before = []
        palette = None
        if ctype == 3:
            palette = [(10 * k, 255 - 10 * k, 7 * k) for k in range(20)]
            before.append((b"PLTE", bytes(v for rgb in palette for v in rgb)))
            samples = rng.integers(1, 20, size=(h, w, 1)).astype(np.uint32)
        data = image_data(samples, depth, ctype, 0, filters)
        row_len = len(data) // h
        kept = 5
        png = png_file(w, h, depth, ctype, 0, zlib.compress(data[:row_len * kept], 9), before=before)
        write(name, png, expected_record(samples, depth, ctype, palette=palette, missing_rows=h - kept))

    # Transparency and background.
    def case(name, samples, depth, ctype, palette=None, trns=None, bkgd=None, phys=None,
             extra=(), interlace=0, after=()):
        before = list(extra)
        if palette is not None:
            before.append((b"PLTE", bytes(v for rgb in palette for v in rgb)))
        if trns is not None:
            before.append((b"tRNS", bytes(trns)))
        if bkgd is not None:
            before.append((b"bKGD", bytes(bkgd)))
        if phys is not None:
            before.append((b"pHYs", struct.pack(">IIB", phys[0], phys[1], 1)))
        stream = zlib.compress(image_data(samples, depth, ctype, interlace, filters), 9)
        png = png_file(samples.shape[1], samples.shape[0], depth, ctype, interlace, stream,
                       before=before, after=after)
        write(name, png, expected_record(samples, depth, ctype, palette=palette, trns=trns,
                                         bkgd=bkgd, phys=phys or (0, 0)))

    pal = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (250, 250, 0), (1, 2, 3)]
    idx = rng.integers(0, 5, size=(6, 8, 1)).astype(np.uint32)
    case("palette_trns_short", idx, 8, 3, palette=pal, trns=[0, 128])
    case("palette_trns_long", idx, 8, 3, palette=pal, trns=[0, 128, 255, 7, 9, 1])
    case("palette_trns_none_zero", idx, 8, 3, palette=pal, trns=[10, 128, 255])
    case("palette_trns_bkgd", idx, 8, 3, palette=pal, trns=[255, 60, 0], bkgd=[3])
    gray = rng.integers(0, 2, size=(5, 9, 1)).astype(np.uint32)
    case("gray1_trns", gray, 1, 0, trns=[0, 1])
    case("gray1_trns_bkgd", gray, 1, 0, trns=[0, 1], bkgd=[0, 0])
    g16 = random_samples(rng, 6, 7, 1, 16)
    case("gray16_trns", g16, 16, 0, trns=list(struct.pack(">H", int(g16[2, 3, 0]))))
    rgb = rng.integers(0, 4, size=(7, 6, 3)).astype(np.uint32) * 60
    key = [int(v) for v in rgb[1, 1]]
    case("rgb_trns", rgb, 8, 2, trns=[0, key[0], 0, key[1], 0, key[2]])
    case("rgb_trns_bkgd", rgb, 8, 2, trns=[0, key[0], 0, key[1], 0, key[2]], bkgd=[0, 9, 0, 99, 0, 199])
    rgb16 = random_samples(rng, 5, 6, 3, 16)
    k16 = rgb16[2, 2]
    case("rgb16_trns", rgb16, 16, 2, trns=list(struct.pack(">HHH", *[int(v) for v in k16])))
    rgba = random_samples(rng, 7, 9, 4, 8, smooth=False)
    rgba[:, :, 3][rgba[:, :, 3] < 60] = 0
    rgba[:, :, 3][rgba[:, :, 3] > 200] = 255
    case("rgba_white", rgba, 8, 6)
    case("rgba_bkgd", rgba, 8, 6, bkgd=[0, 20, 0, 40, 0, 60])
    case("rgba_bkgd_adam7", rgba, 8, 6, bkgd=[0, 20, 0, 40, 0, 60], interlace=1)
    ga = random_samples(rng, 6, 5, 2, 8, smooth=False)
    case("graya_bkgd", ga, 8, 4, bkgd=[0, 77])
    ga16 = random_samples(rng, 6, 5, 2, 16, smooth=False)
    case("graya16_bkgd", ga16, 16, 4, bkgd=[0x90, 0x12])
    rgba16 = random_samples(rng, 4, 5, 4, 16, smooth=False)
    case("rgba16_bkgd", rgba16, 16, 6, bkgd=[0x10, 0x99, 0x20, 0x98, 0x30, 0x97])

    # Resolution, and chunks the reader skips (ancillary and unknown critical).
    plain = random_samples(rng, 4, 4, 3, 8)
    case("phys", plain, 8, 2, phys=(3780, 2835))
    case("unknown_chunks", plain, 8, 2,
         extra=[(b"gAMA", struct.pack(">I", 45455)), (b"tEXt", b"Title\0x"), (b"ZZZZ", b"crit")],
         after=[(b"abCD", b"tail"), (b"tRNS", b"\0\1\0\2\0\3")])
    # Ancillary chunks after the image data are ignored.
    case("late_ancillary", plain, 8, 2,
         after=[(b"bKGD", b"\0\1\0\2\0\3"), (b"pHYs", struct.pack(">IIB", 100, 100, 1))])

    # Files written by independent encoders.
    photo = random_samples(rng, 21, 19, 3, 8)
    buf = io.BytesIO()
    Image.fromarray(photo.astype(np.uint8), "RGB").save(buf, "PNG", optimize=True)
    write("pil_rgb", buf.getvalue(), expected_record(photo, 8, 2))
    p = Image.fromarray(photo.astype(np.uint8), "RGB").quantize(colors=37)
    buf = io.BytesIO()
    p.save(buf, "PNG")
    back = Image.open(io.BytesIO(buf.getvalue()))
    pal_flat = back.getpalette()
    pal_list = [tuple(pal_flat[3 * k:3 * k + 3]) for k in range(len(pal_flat) // 3)]
    idx = np.array(back)[:, :, None].astype(np.uint32)
    depth = {1: 1, 2: 2, 4: 4}.get(0, 8)
    write("pil_palette", buf.getvalue(), expected_record(idx, 8, 3, palette=pal_list[:256]))
    src = os.path.join(HERE, "pil_rgb.png")
    out = subprocess.run(["/usr/bin/convert", src, "-interlace", "PNG", "-define",
                          "png:color-type=2", "PNG24:-"], check=True, capture_output=True).stdout
    im = Image.open(io.BytesIO(out))
    im.load()
    if not np.array_equal(np.array(im.convert("RGB")), photo.astype(np.uint8)):
        raise SystemExit("ImageMagick changed the pixels")
    write("magick_rgb_adam7", out, expected_record(photo, 8, 2))

    # Tiny pictures, where several Adam7 passes are empty.
    tiny = np.random.default_rng(77)
    for w, h in ((1, 1), (2, 3), (5, 1), (1, 5), (3, 3)):
        for ctype, depth in ((2, 8), (0, 2), (6, 16), (3, 1)):
            samples = random_samples(tiny, h, w, CHANNELS[ctype], depth, smooth=False)
            before = []
            palette = None
            if ctype == 3:
                palette = [(9, 99, 199), (250, 5, 60)]
                before.append((b"PLTE", bytes(v for rgb in palette for v in rgb)))
            record = expected_record(samples, depth, ctype, palette=palette)
            for interlace in (0, 1):
                stream = zlib.compress(image_data(samples, depth, ctype, interlace, filters), 9)
                png = png_file(w, h, depth, ctype, interlace, stream, before=before)
                check_with_pil(png, samples, depth, ctype, palette)
                write("tiny%dx%d_ct%d_d%d_%s" % (w, h, ctype, depth, "adam7" if interlace else "seq"),
                      png, record)


if __name__ == "__main__":
    main()
