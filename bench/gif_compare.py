#!/usr/bin/python3
"""PIL's GIF speed on the picture of gif_bench.cpp, for comparison.

Prints CPU milliseconds per operation (best of several runs): PIL's whole
GIF save of the 24-bit picture (its own colour reduction and LZW), the save
of the already reduced 8-bit picture (LZW and file only), and the read of the
written file. Run with Debian's python3 (python3-pil, python3-numpy).
"""
import io
import time

import numpy as np
from PIL import Image

W, H = 1920, 1080


def noise(a, b):
    return (((a.astype(np.uint32) * np.uint32(73856093)) ^ (b.astype(np.uint32) * np.uint32(19349663))) >> 7) & 31


y, x = np.mgrid[0:H, 0:W]
rgb = np.zeros((H, W, 3), np.uint8)
rgb[..., 0] = (x * 200 // W + noise(x, y)).astype(np.uint8)
rgb[..., 1] = (y * 200 // H + noise(y, x)).astype(np.uint8)
rgb[..., 2] = ((x + y) * 100 // (W + H) + noise(x + 7, y + 3) * 3).astype(np.uint8)
picture = Image.fromarray(rgb, "RGB")
print("distinct colours:", len(np.unique(rgb.reshape(-1, 3), axis=0)))


def best(fn, runs=5):
    times = []
    for _ in range(runs):
        start = time.process_time()
        fn()
        times.append(time.process_time() - start)
    return min(times) * 1000


def save(im):
    buffer = io.BytesIO()
    im.save(buffer, "GIF")
    return buffer.getvalue()


indexed = picture.convert("P", palette=Image.Palette.ADAPTIVE, colors=256)
data = save(indexed)
print("PIL save 24-bit -> GIF (reduce + LZW): %.1f ms" % best(lambda: save(picture), 3))
print("PIL save 8-bit -> GIF (LZW only):     %.1f ms, %d bytes" % (best(lambda: save(indexed)), len(data)))
print("PIL read GIF:                          %.1f ms" % best(lambda: Image.open(io.BytesIO(data)).load()))
