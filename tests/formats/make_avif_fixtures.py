#!/usr/bin/python3
"""Makes the AVIF test pictures with avifenc and their reference pixels with
heif-convert (the libheif build that moravel uses on Linux):

    make_avif_fixtures.py OUTDIR

For every NAME in PICTURES, OUTDIR gets NAME.avif and NAME.pam (RGB_ALPHA,
8 bits, top-down; a 10-bit picture's samples are cut to their high 8 bits,
as libheif's conversion to 8 bits does). The pictures are small and drawn
from arithmetic, so the files are the same on every run of the same
avifenc."""
import pathlib
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageCms

WIDTH, HEIGHT = 37, 23

# name: (avifenc options, source pictures); every frame after the first
# makes an image sequence ('avis'), whose still image is its first frame.
PICTURES = {
    "plain8_420": (["-d", "8", "-y", "420"], ["colours"]),
    "plain8_444": (["-d", "8", "-y", "444"], ["colours"]),
    "deep10_420": (["-d", "10", "-y", "420"], ["colours"]),
    "deep10_444": (["-d", "10", "-y", "444"], ["colours"]),
    "alpha8_420": (["-d", "8", "-y", "420"], ["translucent"]),
    "alpha10_444": (["-d", "10", "-y", "444"], ["translucent"]),
    # A quarter turn anticlockwise, then left and right swapped: 23 x 37.
    "rotated": (["-d", "8", "-y", "420", "--irot", "1", "--imir", "1"], ["colours"]),
    "sequence": (["-d", "8", "-y", "420"], ["colours", "inverted"]),
    # Wider than its neighbours by far: a picture whose 'ispe' can be made
    # much smaller than its coded frame.
    "wide": (["-d", "8", "-y", "420"], ["wide"]),
}

COLOUR = pathlib.Path(__file__).resolve().parents[1] / "data" / "colour"
# Pictures in other colour spaces than sRGB: NAME.avif, NAME.pam as decoded,
# and NAME.srgb.pam, that picture turned to sRGB by Pillow's ImageCms with
# the equivalent ICC profile (relative colorimetric, black-point
# compensation), which the decoders must match within 2 per channel.
COLOUR_PICTURES = {
    "p3_nclx": (["--cicp", "12/13/1"], "display-p3.icc"),
    "bt2020_nclx": (["--cicp", "9/14/9"], "bt2020.icc"),
    "p3_icc": (["--icc", str(COLOUR / "display-p3.icc")], "display-p3.icc"),
}


def source(kind):
    width = 400 if kind == "wide" else WIDTH
    y, x = np.mgrid[0:HEIGHT, 0:width]
    rgb = np.stack([x * 255 // (width - 1), y * 255 // (HEIGHT - 1), (x * y) % 256], axis=2)
    if kind == "inverted":
        rgb = 255 - rgb
    alpha = np.full((HEIGHT, width), 255)
    if kind == "translucent":
        # a ramp from transparent to opaque, the top rows fully transparent
        alpha = x * 255 // (WIDTH - 1)
        alpha[y < 4] = 0
    return np.dstack([rgb, alpha]).astype(np.uint8)


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def reference_rgba(avif, work):
    """heif-convert's picture as 8-bit RGBA rows. heif-convert refuses files
    whose major brand is 'avis' though libheif reads their still image, so
    a copy naming 'avif' is converted instead."""
    data = bytearray(avif.read_bytes())
    if data[8:12] == b"avis":
        data[8:12] = b"avif"
    copy = work / (avif.stem + ".still.avif")
    copy.write_bytes(bytes(data))
    png = work / (avif.stem + ".ref.png")
    run("heif-convert", str(copy), str(png))
    # A 16-bit PNG opens as its samples' high bytes.
    return np.array(Image.open(png).convert("RGBA"))


def write_pam(path, rgba):
    height, width = rgba.shape[:2]
    header = (f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH 4\nMAXVAL 255\n"
              "TUPLTYPE RGB_ALPHA\nENDHDR\n").encode()
    path.write_bytes(header + rgba.astype(np.uint8).tobytes())


def read_pam(path):
    """The RGB_ALPHA rows of a PAM written by write_pam."""
    data = path.read_bytes()
    head, body = data.split(b"ENDHDR\n", 1)
    fields = dict(line.split(" ", 1) for line in head.decode().splitlines()[1:])
    return np.frombuffer(body, np.uint8).reshape(int(fields["HEIGHT"]), int(fields["WIDTH"]), 4)


def make(outdir):
    outdir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="avif-fixtures-") as tmp:
        work = pathlib.Path(tmp)
        for kind in ("colours", "inverted", "translucent", "wide"):
            Image.fromarray(source(kind), "RGBA").save(work / f"{kind}.png")
        for name, (options, frames) in PICTURES.items():
            avif = outdir / f"{name}.avif"
            run("avifenc", "-s", "8", *options, *[str(work / f"{f}.png") for f in frames],
                "-o", str(avif))
            write_pam(outdir / f"{name}.pam", reference_rgba(avif, work))
        srgb = ImageCms.createProfile("sRGB")
        flags = ImageCms.FLAGS["BLACKPOINTCOMPENSATION"]
        for name, (options, icc) in COLOUR_PICTURES.items():
            avif = outdir / f"{name}.avif"
            run("avifenc", "-s", "8", "-d", "8", "-y", "444", *options,
                str(work / "colours.png"), "-o", str(avif))
            decoded = reference_rgba(avif, work)
            write_pam(outdir / f"{name}.pam", decoded)
            profile = ImageCms.ImageCmsProfile(str(COLOUR / icc))
            transform = ImageCms.buildTransform(profile, srgb, "RGB", "RGB", renderingIntent=1,
                                                flags=flags)
            turned = ImageCms.applyTransform(Image.fromarray(decoded[:, :, :3], "RGB"), transform)
            write_pam(outdir / f"{name}.srgb.pam",
                      np.dstack([np.array(turned), decoded[:, :, 3]]))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    target = pathlib.Path(sys.argv[1])
    make(target)
    # The build system's stamp: the set of pictures is complete.
    (target / "made").write_text("\n".join([*PICTURES, *COLOUR_PICTURES]) + "\n")
