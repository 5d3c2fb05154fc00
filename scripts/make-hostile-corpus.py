#!/usr/bin/python3
"""Builds the hostile-file corpus: small files that declare huge pictures
with data ending early, many-scan JPEGs, TIFFs whose strips overlap,
decompression bombs, and a few legitimate large or damaged pictures that must
still convert.

    scripts/make-hostile-corpus.py OUTDIR [--with-gigabyte]

Writes the files and OUTDIR/manifest.json: for each file the expected outcome
("refused": exit 1, nothing written; "converted": exit 0; "either": a clean
exit 0 or 1, as memory allows), the output format to ask for, and why it is
in the corpus. --with-gigabyte adds a legitimate 1 MB PNG holding a gigabyte
of pixels (for the benchmark report; it cannot fit a 256 MB limit).

JPEG seeds are encoded with Pillow (Debian's python3-pil), then their frame
headers are rewritten; everything else is written byte by byte here.
"""
import io
import json
import os
import struct
import sys
import zlib


# ---------------------------------------------------------------- PNG

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_file(width, height, depth, colour, idat_chunks, interlace=0):
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
    out = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
    for data in idat_chunks:
        out += png_chunk(b"IDAT", data)
    return out + png_chunk(b"IEND", b"")


def flat_png_stream(row_bytes, rows):
    """A zlib stream of `rows` rows of `row_bytes` zero bytes (filter 0),
    compressed row by row so that memory stays small."""
    compressor = zlib.compressobj(9)
    row = bytes(row_bytes + 1)
    parts = [compressor.compress(row) for _ in range(rows)]
    parts.append(compressor.flush())
    return b"".join(parts)


# ---------------------------------------------------------------- GIF

def gif_file(screen_w, screen_h, image_w, image_h, lzw_data, left=0, top=0):
    out = b"GIF89a" + struct.pack("<HHBBB", screen_w, screen_h, 0x80, 0, 0)
    out += b"\x00\x00\x00\xff\xff\xff"  # two-entry global table
    out += b"\x2c" + struct.pack("<HHHHB", left, top, image_w, image_h, 0)
    out += b"\x02"  # minimum code size
    for i in range(0, len(lzw_data), 255):
        block = lzw_data[i:i + 255]
        out += bytes([len(block)]) + block
    return out + b"\x00\x3b"


# A clear code, two pixels of index 0 and the end code, 3-bit codes.
GIF_TINY_LZW = bytes([0x44, 0x01])


# ---------------------------------------------------------------- BMP

def bmp_file(width, height, bits, pixel_bytes):
    table = 4 * 256 if bits == 8 else 0
    offset = 54 + table
    header = b"BM" + struct.pack("<IHHI", offset + len(pixel_bytes), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 2835, 2835, 0, 0)
    return header + info + bytes(table) + pixel_bytes


# ---------------------------------------------------------------- TIFF

def tiff_file(width, height, strip_offsets_at, strip_count, strip_bytes, data):
    """Little-endian 8-bit gray TIFF: `data` at offset 8, then a directory whose
    `strip_count` strips all start at `strip_offsets_at` with `strip_bytes`
    bytes each."""
    data_start = 8
    arrays_at = data_start + len(data)
    offsets = struct.pack("<%dI" % strip_count, *([strip_offsets_at] * strip_count))
    counts = struct.pack("<%dI" % strip_count, *([strip_bytes] * strip_count))
    directory_at = arrays_at + len(offsets) + len(counts)
    entries = [
        (256, 4, 1, width),
        (257, 4, 1, height),
        (258, 3, 1, 8),
        (259, 3, 1, 1),
        (262, 3, 1, 1),
        (273, 4, strip_count, arrays_at),
        (277, 3, 1, 1),
        (278, 4, 1, 1),
        (279, 4, strip_count, arrays_at + len(offsets)),
    ]
    directory = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        directory += struct.pack("<HHII", tag, kind, count, value)
    directory += struct.pack("<I", 0)
    return (b"II*\x00" + struct.pack("<I", directory_at) + data + offsets + counts + directory)


# ---------------------------------------------------------------- JPEG

def jpeg_seed(size, progressive, subsampling, mode="RGB", seed=1, flat=False):
    from PIL import Image  # Debian's python3-pil

    image = Image.new(mode, size)
    pixels = image.load()
    for y in range(size[1]):
        for x in range(size[0]):
            v = 128 if flat else (x * 7 + y * 13 + seed * 31) % 256
            pixels[x, y] = v if mode == "L" else (v, 255 - v, (v * 3) % 256)
    buffer = io.BytesIO()
    options = {"quality": 90, "progressive": progressive}
    if mode != "L":
        options["subsampling"] = subsampling
    image.save(buffer, "JPEG", **options)
    return buffer.getvalue()


def jpeg_segments(data):
    """Splits a JPEG into (marker, bytes) segments; an SOS segment includes its
    entropy-coded data."""
    assert data[:2] == b"\xff\xd8"
    segments, i = [], 2
    while i < len(data):
        assert data[i] == 0xFF
        marker = data[i + 1]
        if marker == 0xD9:
            segments.append((marker, data[i:i + 2]))
            break
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        end = i + 2 + length
        if marker == 0xDA:
            while not (data[end] == 0xFF and data[end + 1] not in (0x00,) and
                       not 0xD0 <= data[end + 1] <= 0xD7):
                end += 1
        segments.append((marker, data[i:end]))
        i = end
    return segments


def with_frame_size(data, width, height):
    out = bytearray(data)
    for marker, segment in jpeg_segments(data):
        if marker in (0xC0, 0xC1, 0xC2):
            at = bytes(out).index(segment)
            struct.pack_into(">HH", out, at + 5, height, width)
            return bytes(out)
    raise ValueError("no frame header")


def many_scans(data, scans):
    """Everything up to the seed's first (DC) scan, the tables of its last
    scan, and that scan repeated until the file holds `scans` scans."""
    segments = jpeg_segments(data)
    sos = [i for i, (m, _) in enumerate(segments) if m == 0xDA]
    prefix = b"".join(s for _, s in segments[:sos[0] + 1])
    tables = b"".join(s for _, s in segments[sos[-2] + 1:sos[-1]])
    return b"\xff\xd8" + prefix + tables + segments[sos[-1]][1] * (scans - 1) + b"\xff\xd9"


def truncated(data, keep):
    return data[:keep]


# ---------------------------------------------------------------- corpus

def build(out, with_gigabyte):
    files = {}

    def add(name, data, expect, why, fmt="bmp", size=None):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        files[name] = {"expect": expect, "format": fmt, "why": why, "bytes": len(data)}
        if size:
            files[name]["size"] = list(size)  # width, height of the converted picture

    # PNG: declared sizes far beyond what a few bytes of deflate can hold.
    early_end = zlib.compress(bytes(64), 9)  # a stream that ends properly, early
    add("png-gray-65535-ends-early.png", png_file(65535, 65535, 8, 0, [early_end]), "refused",
        "88-byte gray PNG declaring 65535 x 65535; stream ends after one row")
    add("png-gray-65535-cut.png", png_file(65535, 65535, 8, 0, [early_end[:-6]]), "refused",
        "the same with the stream cut short")
    add("png-rgba-20000-interlaced.png",
        png_file(20000, 20000, 8, 6, [early_end], interlace=1), "refused",
        "interlaced RGBA declaring 20000 x 20000 (1.2 GB with its alpha plane)")
    add("png-many-idat.png", png_file(30000, 30000, 8, 2, [early_end[i:i + 1] for i in
                                                            range(len(early_end))]),
        "refused", "RGB 30000 x 30000 whose few bytes are spread over many IDAT chunks")
    add("png-1bit-60000.png", png_file(60000, 60000, 1, 0, [early_end]), "refused",
        "1-bit gray 60000 x 60000: 3.6 GB of pixels from 88 bytes")
    # Legitimate: a flat picture that really compresses ~1000:1.
    add("png-flat-10000x9000-legit.png",
        png_file(10000, 9000, 8, 0, [flat_png_stream(10000, 9000)]), "converted",
        "legitimate flat gray 10000 x 9000 (90 MB of pixels in ~90 KB)", fmt="bmp",
        size=(10000, 9000))
    if with_gigabyte:
        add("png-flat-1gb-legit.png",
            png_file(32768, 32768, 8, 0, [flat_png_stream(32768, 32768)]), "either",
            "legitimate flat gray 32768 x 32768: a gigabyte of pixels in about 1 MB", fmt="bmp",
            size=(32768, 32768))

    # GIF.
    add("gif-65535-ends-early.gif", gif_file(65535, 65535, 65535, 65535, GIF_TINY_LZW), "refused",
        "35-byte GIF declaring 65535 x 65535")
    add("gif-screen-65535-image-1.gif", gif_file(65535, 65535, 1, 1, GIF_TINY_LZW), "refused",
        "1 x 1 image on a 65535 x 65535 screen")
    add("gif-small-screen.gif", gif_file(300, 200, 300, 200, GIF_TINY_LZW), "converted",
        "ordinary small GIF whose data ends early: converts as before", size=(300, 200))

    # BMP: uncompressed rows must all be in the file.
    add("bmp-24bit-65535-cut.bmp", bmp_file(65535, 65535, 24, bytes(300)), "refused",
        "24-bit BMP declaring 65535 x 65535 with 300 bytes of rows")
    add("bmp-8bit-40000-cut.bmp", bmp_file(40000, 40000, 8, bytes(1000)), "refused",
        "8-bit BMP declaring 40000 x 40000 with 1000 bytes of rows")

    # TIFF: overlapping strips.
    strip = bytes(range(250)) * 720  # 180,000 bytes
    add("tiff-1x1-overlapping-strips.tif", tiff_file(1, 1, 8, 23800, len(strip), strip),
        "converted", "1 x 1 picture whose 23,800 strips all point at the same 180 KB", size=(1, 1))
    add("tiff-huge-overlapping-strips.tif", tiff_file(18000, 20000, 8, 2000, len(strip), strip),
        "refused", "18000 x 20000 gray whose rows are 2,000 copies of the same 180,000 bytes")
    add("tiff-huge-cut.tif", tiff_file(30000, 30000, 8, 1, 900000000, bytes(100)), "refused",
        "30000 x 30000 gray whose strip runs past the end of the file")

    # JPEG: declared sizes, re-writes, many scans.
    progressive444 = jpeg_seed((16, 16), True, 0)
    baseline420 = jpeg_seed((32, 32), False, 2)
    add("jpeg-progressive-444-65500.jpg", with_frame_size(progressive444, 65500, 65500),
        "refused", "progressive 4:4:4 JPEG declaring 65500 x 65500 (6 GB of coefficients)")
    add("jpeg-baseline-65500.jpg", with_frame_size(baseline420, 65500, 65500), "refused",
        "baseline JPEG declaring 65500 x 65500, data ending early")
    baseline_gray = jpeg_seed((32, 32), False, 0, mode="L")
    add("jpeg-baseline-gray-65500.jpg", with_frame_size(baseline_gray, 65500, 65500), "refused",
        "baseline gray JPEG declaring 65500 x 65500: 4.29 GB of pixels fit the 32-bit limit")
    add("jpeg-baseline-gray-65500-copy.jpg", with_frame_size(baseline_gray, 65500, 65500),
        "refused", "the same through the lossless re-write", fmt="jpegcopy")
    add("jpeg-baseline-65500-copy.jpg", with_frame_size(baseline420, 65500, 65500), "refused",
        "the same through the lossless re-write", fmt="jpegcopy")
    add("jpeg-progressive-444-65500-copy.jpg", with_frame_size(progressive444, 65500, 65500),
        "refused", "progressive 65500 x 65500 through the lossless re-write", fmt="jpegcopy")
    add("jpeg-999-scans-20000.jpg",
        with_frame_size(many_scans(jpeg_seed((16, 16), True, 2, flat=True), 999), 20000, 20000),
        "refused", "progressive 20000 x 20000 with 999 scans")
    add("jpeg-999-scans-4000-gray.jpg",
        with_frame_size(many_scans(jpeg_seed((16, 16), True, 0, mode="L", flat=True), 999), 4000,
                        4000),
        "either", "progressive gray 4000 x 4000 with 999 scans, below the checked size")
    add("jpeg-1001-scans.jpg", many_scans(jpeg_seed((16, 16), True, 2, flat=True), 1001), "refused",
        "more scans than any encoder writes")
    photo = jpeg_seed((600, 400), False, 2, seed=5)
    add("jpeg-photo-truncated.jpg", truncated(photo, len(photo) * 2 // 3), "converted",
        "ordinary photograph cut to two thirds: converts with its missing part filled",
        size=(600, 400))
    photo_progressive = jpeg_seed((600, 400), True, 2, seed=6)
    add("jpeg-progressive-photo-truncated.jpg",
        truncated(photo_progressive, len(photo_progressive) // 2), "converted",
        "ordinary progressive photograph cut in half", fmt="png", size=(600, 400))

    with open(os.path.join(out, "manifest.json"), "w") as f:
        json.dump(files, f, indent=1, sort_keys=True)
    return files


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        sys.exit(__doc__)
    os.makedirs(args[0], exist_ok=True)
    files = build(args[0], "--with-gigabyte" in sys.argv)
    print("%d files in %s" % (len(files), args[0]))


if __name__ == "__main__":
    main()
