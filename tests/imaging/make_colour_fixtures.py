#!/usr/bin/env python3
"""Writes the colour-profile fixtures of colour_profile_test into
tests/data/colour/: ICC profiles built here from their published primaries
(not by the library under test), and for each the sRGB colours Pillow's
ImageCms gives for the test pattern (relative colorimetric, black-point
compensation).

    /usr/bin/python3 tests/imaging/make_colour_fixtures.py [out-dir]

The pattern (also built by the test): 256 greys, then the 16 x 16 x 16
lattice of levels 0, 17, ..., 255 with red slowest, as 64 x 68 RGB pixels
read top row first.
"""
import struct
import sys
from pathlib import Path

from PIL import Image, ImageCms

# ICC's D50 as the header stores it (0xF6D6, 0x10000, 0xD32D in s15.16).
D50 = (63190 / 65536, 1.0, 54061 / 65536)


def xyz_of(x, y):
    return (x / y, 1.0, (1 - x - y) / y)


def solve3(m, v):
    """m (3x3, rows) times x = v."""
    (a, b, c), (d, e, f), (g, h, i) = m
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    inv = [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
           [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
           [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]
    return [sum(inv[r][k] * v[k] for k in range(3)) for r in range(3)]


def mul(m, n):
    return [[sum(m[r][k] * n[k][c] for k in range(3)) for c in range(3)] for r in range(3)]


BRADFORD = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
BRADFORD_INV = [[0.9869929, -0.1470543, 0.1599627], [0.4323053, 0.5183603, 0.0492912],
                [-0.0085287, 0.0400428, 0.9684867]]


def adapted_colorants(primaries, white):
    """The D50 colorants of an RGB space (ICC's chromatic adaptation, Bradford)."""
    w = xyz_of(*white)
    cols = [xyz_of(*p) for p in primaries]
    m = [[cols[c][r] for c in range(3)] for r in range(3)]
    s = solve3(m, w)
    rgb_to_xyz = [[m[r][c] * s[c] for c in range(3)] for r in range(3)]
    src = [sum(BRADFORD[r][k] * w[k] for k in range(3)) for r in range(3)]
    dst = [sum(BRADFORD[r][k] * D50[k] for k in range(3)) for r in range(3)]
    scale = [[dst[r] / src[r] if r == c else 0.0 for c in range(3)] for r in range(3)]
    adapt = mul(BRADFORD_INV, mul(scale, BRADFORD))
    d50 = mul(adapt, rgb_to_xyz)
    return [[d50[r][c] for r in range(3)] for c in range(3)], adapt


def s15(v):
    return struct.pack(">i", round(v * 65536))


def xyz_tag(xyz):
    return b"XYZ \0\0\0\0" + b"".join(s15(v) for v in xyz)


def para_tag(params):
    kind = {1: 0, 5: 3}[len(params)]
    return b"para\0\0\0\0" + struct.pack(">HH", kind, 0) + b"".join(s15(v) for v in params)


def desc_tag(text):
    ascii_ = text.encode() + b"\0"
    return (b"desc\0\0\0\0" + struct.pack(">I", len(ascii_)) + ascii_ + b"\0" * 12 + b"\0" * 67)


def sf32_tag(matrix):
    return b"sf32\0\0\0\0" + b"".join(s15(v) for row in matrix for v in row)


def lab_of_linear_rgb(rgb):
    """CIELAB (D50) of linear sRGB-primaries light, adapted from D65."""
    colorants, _ = adapted_colorants([(0.640, 0.330), (0.300, 0.600), (0.150, 0.060)], D65)
    xyz = [sum(colorants[c][r] * rgb[c] for c in range(3)) for r in range(3)]
    f = [(t / w) ** (1 / 3) if t / w > (6 / 29) ** 3 else t / w / (3 * (6 / 29) ** 2) + 4 / 29
         for t, w in zip(xyz, D50)]
    return 116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])


def cmyk_lut_tag():
    """A lut16 from CMYK to Lab on a 2-point grid: each ink takes its share
    of light away, black from all three."""
    body = b"mft2\0\0\0\0" + bytes((4, 3, 2, 0))
    body += b"".join(s15(1.0 if r == c else 0.0) for r in range(3) for c in range(3))
    body += struct.pack(">HH", 2, 2) + struct.pack(">HH", 0, 65535) * 4
    for c in (0, 1):
        for m in (0, 1):
            for y in (0, 1):
                for k in (0, 1):
                    light = [(1 - ink) * (1 - k) * 0.96 + 0.01 for ink in (c, m, y)]
                    lab = lab_of_linear_rgb(light)
                    body += struct.pack(">HHH", round(lab[0] * 0xFF00 / 100),
                                        round((lab[1] + 128) * 256), round((lab[2] + 128) * 256))
    return body + struct.pack(">HH", 0, 65535) * 3


def profile(space, tags, device=b"mntr", pcs=b"XYZ "):
    """An ICC v4-style display profile (version 2.4 tag types) from tag bodies."""
    count = len(tags)
    offset = 128 + 4 + 12 * count
    table, data = b"", b""
    for sig, body in tags:
        while len(body) % 4:
            body += b"\0"
        table += sig.encode() + struct.pack(">II", offset + len(data), len(body))
        data += body
    size = offset + len(data)
    header = struct.pack(">I4sI4s4s4s", size, b"none", 0x02400000, device, space, pcs)
    # date, 'acsp', platform, flags, maker and model, attributes, intent
    header += b"\0" * 12 + b"acsp" + b"\0" * 4 + b"\0" * 4 + b"\0" * 8 + b"\0" * 8 + b"\0" * 4
    header += s15(D50[0]) + s15(D50[1]) + s15(D50[2])  # the connection space's illuminant
    header += b"\0" * (128 - len(header))
    return header + struct.pack(">I", count) + table + data


SRGB_CURVE = [2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045]
D65 = (0.3127, 0.3290)


def rgb_profile(name, primaries, white, curve):
    colorants, adapt = adapted_colorants(primaries, white)
    trc = para_tag(curve)
    return profile(b"RGB ", [("desc", desc_tag(name)), ("wtpt", xyz_tag(D50)),
                             ("chad", sf32_tag(adapt)),
                             ("rXYZ", xyz_tag(colorants[0])), ("gXYZ", xyz_tag(colorants[1])),
                             ("bXYZ", xyz_tag(colorants[2])),
                             ("rTRC", trc), ("gTRC", trc), ("bTRC", trc)])


PROFILES = {
    "display-p3": rgb_profile("Display P3", [(0.680, 0.320), (0.265, 0.690), (0.150, 0.060)],
                              D65, SRGB_CURVE),
    "adobe-rgb": rgb_profile("Adobe RGB (1998) compatible",
                             [(0.640, 0.330), (0.210, 0.710), (0.150, 0.060)], D65,
                             [563 / 256]),
    # sRGB described here, apart from the library's own description.
    "srgb-own": rgb_profile("sRGB", [(0.640, 0.330), (0.300, 0.600), (0.150, 0.060)], D65,
                            SRGB_CURVE),
    # BT.2020's primaries with the BT.709 camera curve undone (HEIF 'nclx' 9/14).
    "bt2020": rgb_profile("BT.2020", [(0.708, 0.292), (0.170, 0.797), (0.131, 0.046)], D65,
                          [1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081]),
    "cmyk-inks": profile(b"CMYK", [("desc", desc_tag("Simple inks")), ("wtpt", xyz_tag(D50)),
                                   ("A2B0", cmyk_lut_tag())], device=b"prtr", pcs=b"Lab "),
    "grey-gamma18": profile(b"GRAY", [("desc", desc_tag("Grey, gamma 1.8")),
                                      ("wtpt", xyz_tag(D50)), ("kTRC", para_tag([1.8]))]),
}


def pattern():
    rgb = bytearray()
    for g in range(256):
        rgb += bytes((g, g, g))
    for r in range(16):
        for g in range(16):
            for b in range(16):
                rgb += bytes((17 * r, 17 * g, 17 * b))
    return Image.frombytes("RGB", (64, 68), bytes(rgb))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "data" / "colour"
    out.mkdir(parents=True, exist_ok=True)
    srgb = ImageCms.createProfile("sRGB")
    # Without its creation time, so that the file is the same on every run.
    library_srgb = bytearray(ImageCms.ImageCmsProfile(srgb).tobytes())
    library_srgb[24:36] = bytes(12)
    (out / "srgb-lcms.icc").write_bytes(bytes(library_srgb))
    flags = ImageCms.FLAGS["BLACKPOINTCOMPENSATION"]
    picture = pattern()
    for name, data in PROFILES.items():
        (out / f"{name}.icc").write_bytes(data)
        source = ImageCms.ImageCmsProfile(__import__("io").BytesIO(data))
        if name.startswith("cmyk"):
            # A CMYK JPEG (Pillow stores Adobe's inverted samples) and its
            # colours through the profile, as Pillow decodes it.
            cmyk = Image.frombytes("CMYK", (64, 68), bytes(
                v for i in range(64 * 68) for v in ((i * 7) % 256, (i * 13) % 256,
                                                    (i // 64) * 3 % 256, (i * 5 // 3) % 256)))
            cmyk.save(out / f"{name}.jpg", quality=100, subsampling=0)
            decoded = Image.open(out / f"{name}.jpg")
            decoded.load()
            t = ImageCms.buildTransform(source, srgb, "CMYK", "RGB", renderingIntent=1, flags=flags)
            (out / f"{name}.ref").write_bytes(ImageCms.applyTransform(decoded, t).tobytes())
        elif name.startswith("grey"):
            ramp = Image.frombytes("L", (256, 1), bytes(range(256)))
            t = ImageCms.buildTransform(source, srgb, "L", "RGB", renderingIntent=1, flags=flags)
            (out / f"{name}.ref").write_bytes(ImageCms.applyTransform(ramp, t).tobytes())
        else:
            t = ImageCms.buildTransform(source, srgb, "RGB", "RGB", renderingIntent=1, flags=flags)
            (out / f"{name}.ref").write_bytes(ImageCms.applyTransform(picture, t).tobytes())


if __name__ == "__main__":
    main()
