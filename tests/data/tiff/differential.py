#!/usr/bin/python3
"""Writes random uncompressed TIFF files with PIL and ImageMagick and their
pixels as decoded by those tools, for the reader's differential test.

Usage: differential.py OUTPUT_FOLDER SEED COUNT
Writes <i>.tif, <i>.rgb (top-down red, green, blue bytes) and manifest.txt
("<i> width height" per line) into OUTPUT_FOLDER.
"""
import os
import random
import subprocess
import sys

import numpy as np
from PIL import Image


def magick_rgb(path, w, h):
    out = subprocess.run(["convert", path + "[0]", "-depth", "16", "-endian", "MSB", "rgb:-"],
                         check=True, capture_output=True).stdout
    return (np.frombuffer(out, dtype=">u2").reshape(h, w, 3) >> 8).astype(np.uint8)


def main():
    folder, seed, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    nrng = np.random.default_rng(seed)
    kinds = ["pil1", "pilL", "pilP", "pilRGB", "gray4", "bilevel_wz", "rgb16", "palette4",
             "palette1", "gray8_wz"]
    lines = []
    for i in range(count):
        kind = kinds[i % len(kinds)]
        w, h = rng.randint(1, 67), rng.randint(1, 19)
        rgb = nrng.integers(0, 256, (h, w, 3), dtype=np.uint8)
        photo = Image.fromarray(rgb)
        path = os.path.join(folder, f"{i}.tif")
        src = os.path.join(folder, f"{i}.png")
        order = ["-define", "tiff:endian=" + rng.choice(["lsb", "msb"])]
        strips = ["-define", f"tiff:rows-per-strip={rng.randint(1, h)}"]
        common = order + strips + ["-compress", "none", path]
        if kind == "pil1":
            photo.convert("1").save(path)
        elif kind == "pilL":
            photo.convert("L").save(path)
        elif kind == "pilP":
            photo.convert("P").save(path)
        elif kind == "pilRGB":
            photo.save(path)
        else:
            photo.save(src)
            args = {
                "gray4": ["-colorspace", "gray", "-depth", "4"],
                "bilevel_wz": ["-colorspace", "gray", "-depth", "1", "-define",
                               "quantum:polarity=min-is-white"],
                "gray8_wz": ["-colorspace", "gray", "-depth", "8", "-define",
                             "quantum:polarity=min-is-white"],
                "rgb16": ["-depth", "16"],
                "palette4": ["-colors", "16", "-type", "palette", "-depth", "4"],
                "palette1": ["-colors", "2", "-type", "palette", "-depth", "1"],
            }[kind]
            subprocess.run(["convert", src] + args + common, check=True)
            os.remove(src)
        im = Image.open(path)
        if kind == "rgb16":
            expected = magick_rgb(path, w, h)
        else:
            expected = np.asarray(im.convert("RGB"))
        with open(os.path.join(folder, f"{i}.rgb"), "wb") as f:
            f.write(expected.tobytes())
        lines.append(f"{i} {w} {h} {kind}")
    with open(os.path.join(folder, "manifest.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
