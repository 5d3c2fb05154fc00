#!/usr/bin/python3
"""Writes the resize fixtures: source pictures and the expected result of the
resize step (fit, widen through the palette, area-averaging shrink, sharpen),
computed here independently, one Python float (an IEEE double) at a time.

Each case in cases.txt: name bits width height mode target newWidth newHeight.
<name>.src holds the source rows (bottom-up DIB rows, padded to 4 bytes),
<name>.pal the 256 palette entries (blue, green, red, 0) of 8-bit sources and
<name>.out the expected 24-bit rows. Run: /usr/bin/python3 make_fixtures.py
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def stride(width, bits):
    return (width * bits // 8 + 3) & ~3


def fitted_size(mode, target, w, h):
    def scaled(other, fitted):
        v = int(float(other * target) / float(fitted) + 0.5)
        return max(v, 1)
    if mode == 0 or (mode == 2 and h < w):
        return (w, h) if target >= w else (target, scaled(h, w))
    return (w, h) if target >= h else (scaled(w, h), target)


def shrink_table(r):
    last = int(255.0 * r + 0.5)
    return [int(i / r + 0.5) for i in range(last + 1)] + [255]


def shrink_line(values, target):
    r = len(values) / target
    table = shrink_table(r)
    out, s, total = [], 0.0, 0
    for v in values[:-1]:
        s = s + 1.0
        total += v
        if s >= r:
            s = s - r
            carry = int(v * s + 0.5)
            out.append(table[total - carry])
            total = carry
    out.append(table[total + values[-1]])
    assert len(out) == target
    return out


def resample(pic, w, h, tw, th):
    """pic[y][x] = [b, g, r]; the height first when both sides change."""
    if th != h:
        cols = [[shrink_line([pic[y][x][c] for y in range(h)], th) for c in range(3)]
                for x in range(w)]
        pic = [[[cols[x][c][y] for c in range(3)] for x in range(w)] for y in range(th)]
    if tw != w:
        pic = [list(zip(*[shrink_line([p[c] for p in row], tw) for c in range(3)]))
               for row in pic]
        pic = [[list(p) for p in row] for row in pic]
    return pic


def divide_by_25(total):
    return 0 if total == 0 else (35389 + 2621 * (total - 1)) >> 16


def sharpen(pic, w, h, amount=3, threshold=20):
    out = []
    for y in range(h):
        row = []
        for x in range(w):
            d = []
            for c in range(3):
                total = sum(pic[min(max(y + j, 0), h - 1)][min(max(x + i, 0), w - 1)][c]
                            for j in range(-2, 3) for i in range(-2, 3))
                d.append(max(-128, min(127, pic[y][x][c] - divide_by_25(total))))
            strong = abs(d[0]) + abs(d[1]) + abs(d[2]) > threshold
            row.append([max(0, min(255, pic[y][x][c] + ((d[c] * amount) >> 3 if strong else 0)))
                        for c in range(3)])
        out.append(row)
    return out


def pack24(pic, w, h):
    data = bytearray()
    for row in pic:
        line = bytearray(b for p in row for b in p)
        data += line + bytes(stride(w, 24) - len(line))
    return bytes(data)


def photo(w, h, rng):
    """Smooth shading with noise and a hard edge, like a small photo."""
    pic = []
    for y in range(h):
        row = []
        for x in range(w):
            edge = 90 if (x * 3 + y * 2) % 29 < 9 else 0
            row.append([min(255, (x * 255) // max(w - 1, 1) // 2 + edge + rng.randrange(12)),
                        min(255, (y * 255) // max(h - 1, 1) // 2 + rng.randrange(40)),
                        rng.randrange(256) if (x // 4 + y // 3) % 7 == 0 else 128])
        pic.append(row)
    return pic


CASES = [
    # name, bits, width, height, mode, target
    ("both_sides", 24, 37, 23, 0, 11),
    ("height_only", 24, 6, 40, 1, 37),
    ("width_only", 24, 60, 6, 0, 55),
    ("thin_row", 24, 100, 3, 0, 10),
    ("square_long", 24, 16, 16, 2, 6),
    ("portrait_long", 24, 21, 50, 2, 19),
    ("not_sharpened", 24, 30, 17, 0, 4),
    ("indexed", 8, 33, 26, 2, 15),
]


def main():
    rng = random.Random(20261207)
    lines = []
    for name, bits, w, h, mode, target in CASES:
        tw, th = fitted_size(mode, target, w, h)
        if bits == 8:
            palette = [[rng.randrange(256) for _ in range(3)] for _ in range(256)]
            indices = [[(x // 5 + y // 4) % 9 if rng.randrange(6) else rng.randrange(256)
                        for x in range(w)] for y in range(h)]
            pic = [[palette[i] for i in row] for row in indices]
            src = bytearray()
            for row in indices:
                src += bytes(row) + bytes(stride(w, 8) - w)
            with open(os.path.join(HERE, name + ".pal"), "wb") as f:
                f.write(bytes(b for p in palette for b in p + [0]))
        else:
            pic = photo(w, h, rng)
            src = pack24(pic, w, h)
        out = resample(pic, w, h, tw, th)
        if tw >= 5 and th >= 5:
            out = sharpen(out, tw, th)
        with open(os.path.join(HERE, name + ".src"), "wb") as f:
            f.write(src)
        with open(os.path.join(HERE, name + ".out"), "wb") as f:
            f.write(pack24(out, tw, th))
        lines.append(f"{name} {bits} {w} {h} {mode} {target} {tw} {th}")
    with open(os.path.join(HERE, "cases.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
