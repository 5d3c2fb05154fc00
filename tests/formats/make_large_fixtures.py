#!/usr/bin/python3
"""Makes OUTDIR/flat.webp (lossy, about 45 KB), flat.heic and flat.avif:
5000 x 5000 pixels of one colour as cwebp, heif-enc and avifenc write them,
whose rows (75 MB) need more than the decoders take without asking whether
the file's data can describe them.

    make_large_fixtures.py OUTDIR"""
import pathlib
import subprocess
import sys

from PIL import Image

out = pathlib.Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
png = out / "flat.png"
Image.new("RGB", (5000, 5000), (90, 140, 200)).save(png)
for args in (["cwebp", "-quiet", "-q", "75", png, "-o", out / "flat.webp"],
             # x265's fastest preset: seconds instead of a minute
             ["heif-enc", "-q", "50", "-p", "preset=ultrafast", png, "-o", out / "flat.heic"],
             ["avifenc", "-s", "10", png, "-o", out / "flat.avif"]):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
png.unlink()
