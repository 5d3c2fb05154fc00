#!/usr/bin/python3
"""Turned photos come out upright, through the real `moravel`: every Exif
orientation of JPEG (colour and grey), TIFF (RGB and palette) and WebP
sources, with no resize and with each resize mode, and JPEGs shrunk while
they are decoded. The reference is Pillow's ImageOps.exif_transpose of its
own decode; a resized output must equal moravel's output for that upright
reference picture with the same resize, within 2 per channel, at exactly the
size the resize rule gives for the upright picture. Hostile Exif blocks
count as orientation 1 and the file converts. Embedded colour profiles of
every container give sRGB as Pillow's ImageCms does. The lossless re-write keeps
the ICC profile (identical joined payload) and carries the orientation in a
minimal Exif block, checked with Pillow's own marker parser.

Runs the native program, or moravel.exe under Wine (MORAVEL_WINE) with the
built import plug-ins for WebP (MORAVEL_FORMATS_PLUGINS)."""
import io
import os
import pathlib
import shlex
import struct
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageOps

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from script_checks import check, finish, wine_path  # noqa: E402

CLI = os.environ["MORAVEL_CLI"]
WINE = shlex.split(os.environ.get("MORAVEL_WINE", ""))
PLUGINS = os.environ.get("MORAVEL_FORMATS_PLUGINS", "")
TOLERANCE = 2
SIZE = (45, 26)  # odd, so rows have padding both before and after a quarter turn
RESIZES = [None, "width:31", "height:19", "long:29"]


def target(path):
    return wine_path(path) if WINE else str(path)


def moravel(args, out, tmp):
    out.mkdir(exist_ok=True)
    env = dict(os.environ, TMPDIR=str(tmp))
    if WINE:
        env.update(TMP=target(tmp), TEMP=target(tmp), WINEDEBUG="-all")
        args = ["--plugin-folder", target(PLUGINS)] + args
    args = [target(a) if isinstance(a, pathlib.Path) else a for a in args]
    return subprocess.run(WINE + [CLI, "--output-folder", target(out)] + args, env=env,
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=600)


def scene(size):
    """Smooth in colour, with a corner mark, so every flip and turn shows."""
    w, h = size
    y, x = np.mgrid[0:h, 0:w]
    rgb = np.stack([x * 255 // max(w - 1, 1), y * 255 // max(h - 1, 1),
                    (x + 2 * y) * 255 // (w + 2 * h)], axis=-1).astype(np.uint8)
    rgb[: h // 4, : w // 5] = (250, 20, 30)
    return Image.fromarray(rgb, "RGB")


def exif_with(orientation):
    exif = Image.Exif()
    exif[0x0112] = orientation
    return exif.tobytes()


def make_sources(folder):
    """(name, path) for every container and orientation."""
    sources = []
    picture = scene(SIZE)
    for o in range(1, 9):
        variants = {
            f"jpeg_rgb_{o}.jpg": lambda p: picture.save(p, quality=95, subsampling=0,
                                                        exif=exif_with(o)),
            f"jpeg_grey_{o}.jpg": lambda p: picture.convert("L").save(p, quality=95,
                                                                     exif=exif_with(o)),
            f"tiff_rgb_{o}.tif": lambda p: picture.save(p, compression=None, tiffinfo={274: o}),
            f"tiff_palette_{o}.tif": lambda p: picture.quantize(16).save(
                p, compression=None, tiffinfo={274: o}),
            f"webp_{o}.webp": lambda p: picture.save(p, lossless=True, exif=exif_with(o)),
        }
        for name, save in variants.items():
            save(folder / name)
            sources.append(folder / name)
    return sources


def upright(path, draft_scale=1):
    """Pillow's picture of the source as viewers show it, in the source's
    mode (a palette stays a palette). Pillow turns a TIFF upright while it
    loads it; a JPEG or WebP is turned by exif_transpose."""
    image = Image.open(path)
    if draft_scale > 1:
        image.draft(image.mode, (image.width // draft_scale, image.height // draft_scale))
    image.load()
    # Pillow 9.4 keeps the orientation in a TIFF's getexif() after turning it.
    return image if path.suffix == ".tif" else ImageOps.exif_transpose(image)


def jpeg_scale(path, resize):
    """The JPEG decode scale the resize rule gives for the upright picture:
    r = min(width / hint width, height / hint height), 8, 4 or 2 when r is at
    least that; the hint is (N, 1) by width, (1, N) by height, (N, N) by the
    longer side."""
    if not resize or path.suffix != ".jpg":
        return 1
    mode, n = resize.split(":")
    w, h = upright(path).size
    hint = {"width": (int(n), 1), "height": (1, int(n)), "long": (int(n), int(n))}[mode]
    r = min(w // hint[0], h // hint[1])
    return 8 if r >= 8 else 4 if r >= 4 else 2 if r >= 2 else 1


def pixels(path):
    return np.asarray(Image.open(path).convert("RGB")).astype(int)


def fitted_size(size, resize):
    """The resize rule on the upright size: never enlarges, rounds half up."""
    if not resize:
        return size
    mode, n = resize.split(":")
    n = int(n)
    w, h = size
    if mode == "width" or (mode == "long" and h < w):
        return size if n >= w else (n, max(1, int(h * n / w + 0.5)))
    return size if n >= h else (max(1, int(w * n / h + 0.5)), n)


def compare(name, got_path, want, want_size):
    if not check(got_path.exists(), f"{name}: no output"):
        return
    got = pixels(got_path)
    if not check((got.shape[1], got.shape[0]) == want_size,
                 f"{name}: {got.shape[1]} x {got.shape[0]}, wanted {want_size}"):
        return
    diff = int(np.abs(got - want).max())
    check(diff <= TOLERANCE, f"{name}: differs by {diff} from the upright reference")


def convert_all(sources, resize, out, tmp):
    out.mkdir()
    args = ["--format", "png"] + (["--resize", resize] if resize else []) + sources
    run = moravel(args, out, tmp)
    check(run.returncode == 0, f"resize {resize}: exit {run.returncode}: {run.stderr}")


def test_every_orientation_and_resize(work):
    src = work / "src"
    src.mkdir()
    sources = make_sources(src)
    for i, resize in enumerate(RESIZES):
        # The upright reference pictures, as lossless files without
        # orientation, decoded at the scale the JPEG reader is to use.
        refs, out, ref_out = work / f"refs{i}", work / f"out{i}", work / f"ref{i}"
        refs.mkdir()
        for path in sources:
            upright(path, jpeg_scale(path, resize)).save(refs / (path.stem + ".png"))
        convert_all(sources, resize, out, work / "tmp")
        convert_all(sorted(refs.iterdir()), resize, ref_out, work / "tmp")
        for path in sources:
            want_size = fitted_size(upright(path, jpeg_scale(path, resize)).size, resize)
            want = pixels(ref_out / (path.stem + ".png"))
            compare(f"{path.name} resize {resize}", out / (path.stem + ".png"), want, want_size)
            if not resize:  # straight against Pillow's own picture
                compare(f"{path.name} against Pillow", out / (path.stem + ".png"),
                        np.asarray(upright(path).convert("RGB")).astype(int),
                        upright(path).size)


def test_shrink_on_load_uses_the_upright_size(work):
    """A long JPEG decoded at 1/2 to 1/8 of its size: the scale follows the
    upright picture. Stored 1024 x 256 and turned, by width 64 it is decoded
    at a quarter (upright width 256); scaling by the stored sides would give
    an eighth and a picture 32 pixels wide."""
    src, refs = work / "src", work / "refs"
    src.mkdir()
    refs.mkdir()
    stored = scene((1024, 256))
    sources = []
    for o in range(1, 9):
        path = src / f"long_{o}.jpg"
        stored.save(path, quality=95, subsampling=0, exif=exif_with(o))
        sources.append(path)
    for i, resize in enumerate(["width:64", "height:64", "long:64", "width:200"]):
        out, ref_out = work / f"out{i}", work / f"ref{i}"
        convert_all(sources, resize, out, work / "tmp")
        for path in sources:
            upright(path, jpeg_scale(path, resize)).save(refs / (path.stem + f"_{i}.png"))
        ref_out.mkdir()
        run = moravel(["--format", "png", "--resize", resize] +
                      sorted(refs.glob(f"*_{i}.png")), ref_out, work / "tmp")
        check(run.returncode == 0, f"{resize} references: {run.stderr}")
        for path in sources:
            reference = ref_out / (path.stem + f"_{i}.png")
            want = pixels(reference)
            compare(f"{path.name} shrunk on load, {resize}", out / (path.stem + ".png"), want,
                    (want.shape[1], want.shape[0]))


def tiff_block(entries, next_ifd=0, first=8, count=None):
    """A little-endian TIFF structure with one directory of (tag, type, count, value)."""
    body = b"II" + struct.pack("<HI", 42, first)
    body = body.ljust(first, b"\0") if first >= len(body) else body
    body += struct.pack("<H", len(entries) if count is None else count)
    for tag, kind, n, value in entries:
        field = struct.pack("<HH", value, 0) if kind == 3 and n == 1 else struct.pack("<I", value)
        body += struct.pack("<HHI", tag, kind, n) + field
    return body + struct.pack("<I", next_ifd)


def with_app1(jpeg, exif_payload):
    segment = b"\xff\xe1" + struct.pack(">H", len(exif_payload) + 8) + b"Exif\0\0" + exif_payload
    return jpeg[:2] + segment + jpeg[2:]


def test_hostile_exif_counts_as_upright(work):
    src, out = work / "src", work / "out"
    src.mkdir()
    plain = io.BytesIO()
    scene(SIZE).save(plain, format="JPEG", quality=95, subsampling=0)
    plain = plain.getvalue()
    blocks = {
        "loop": tiff_block([(274, 3, 1, 6)], next_ifd=8),
        "past_the_end": b"II*\0" + struct.pack("<I", 0x7FFFFFF0),
        "entries_past_the_end": tiff_block([(274, 3, 1, 6)], count=4000),
        "huge_count": tiff_block([(274, 3, 0x3FFFFFFF, 6)]),
        "wrong_type": tiff_block([(274, 4, 1, 6)]),
        "value_0": tiff_block([(274, 3, 1, 0)]),
        "value_9": tiff_block([(274, 3, 1, 9)]),
        "two_values": tiff_block([(274, 3, 1, 6), (274, 3, 1, 8)]),
        "cut": tiff_block([(274, 3, 1, 6)])[:14],
    }
    for name, block in blocks.items():
        (src / f"{name}.jpg").write_bytes(with_app1(plain, block))
    sources = sorted(src.iterdir())
    run = moravel(["--format", "png"] + sources, out, work / "tmp")
    check(run.returncode == 0, f"hostile Exif: exit {run.returncode}: {run.stderr}")
    want = np.asarray(Image.open(io.BytesIO(plain)).convert("RGB")).astype(int)
    for path in sources:
        compare(f"hostile Exif {path.stem}", out / (path.stem + ".png"), want, SIZE)


def app_markers(path):
    return [marker for marker, _ in Image.open(path).applist]


def test_lossless_rewrite_keeps_profile_and_orientation(work):
    src, out = work / "src", work / "out"
    src.mkdir()
    # A profile big enough for three APP2 chunks; the scan does not judge
    # its content, Pillow joins the chunks by their numbers.
    profile = bytes((i * 7 + 3) % 256 for i in range(150000))
    exif = Image.Exif()
    exif[0x0112] = 6
    exif[0x010F] = "Camera maker"
    exif[0x0132] = "2024:01:02 03:04:05"
    picture = scene((64, 48))
    picture.save(src / "turned_profile.jpg", quality=90, exif=exif.tobytes(),
                 icc_profile=profile)
    picture.save(src / "profile_only.jpg", quality=90, icc_profile=profile[:3000])
    picture.save(src / "turned_only.jpg", quality=90, exif=exif_with(3))
    picture.save(src / "plain.jpg", quality=90, exif=exif_with(1), comment=b"a comment")
    sources = sorted(src.iterdir())
    run = moravel(["--format", "jpegcopy"] + sources, out, work / "tmp")
    check(run.returncode == 0, f"jpegcopy: exit {run.returncode}: {run.stderr}")
    expected = {
        "turned_profile": (6, profile),
        "profile_only": (1, profile[:3000]),
        "turned_only": (3, None),
        "plain": (1, None),
    }
    for stem, (orientation, icc) in expected.items():
        result = out / f"{stem}.jpg"
        if not check(result.exists(), f"jpegcopy {stem}: no output"):
            continue
        image = Image.open(result)
        check(image.info.get("icc_profile") == icc, f"jpegcopy {stem}: profile not identical")
        markers = app_markers(result)
        wanted = ["APP0"] + (["APP1"] if orientation != 1 else []) + \
            (["APP2"] * markers.count("APP2") if icc else [])
        check(markers == wanted, f"jpegcopy {stem}: markers {markers}")
        if icc:
            check(markers.count("APP2") == (len(icc) + 65518) // 65519,
                  f"jpegcopy {stem}: {markers.count('APP2')} APP2 chunks")
        exif_out = image.getexif()
        check(dict(exif_out) == ({0x0112: orientation} if orientation != 1 else {}),
              f"jpegcopy {stem}: Exif holds {dict(exif_out)}")
        check(len(image.info.get("exif", b"")) <= 32, f"jpegcopy {stem}: Exif block not minimal")
        check("comment" not in image.info, f"jpegcopy {stem}: comment kept")
        # Lossless: the same coefficients decode to the same pixels.
        check(np.array_equal(pixels(result), pixels(src / f"{stem}.jpg")),
              f"jpegcopy {stem}: pixels changed")
        # And it shows as the source shows.
        check(np.array_equal(np.asarray(upright(result).convert("RGB")),
                             np.asarray(upright(src / f"{stem}.jpg").convert("RGB"))),
              f"jpegcopy {stem}: shown differently from the source")


def test_embedded_profiles_give_srgb(work):
    """Every container's embedded profile converts to sRGB as Pillow's
    ImageCms does (relative colorimetric, black-point compensation); an sRGB
    profile changes no byte, and a damaged one is ignored with a note."""
    from PIL import ImageCms
    data = pathlib.Path(os.environ["MORAVEL_TEST_DATA"]) / "colour"
    srgb = ImageCms.createProfile("sRGB")
    flags = ImageCms.FLAGS["BLACKPOINTCOMPENSATION"]
    src, out = work / "src", work / "out"
    src.mkdir()
    picture, grey = scene((48, 32)), scene((48, 32)).convert("L")
    cases = {}  # stem: (profile name, mode)
    for profile in ("display-p3", "adobe-rgb"):
        icc = (data / f"{profile}.icc").read_bytes()
        for extension, options in (("jpg", {"quality": 95}), ("png", {}), ("tif", {}),
                                   ("webp", {"lossless": True})):
            stem = f"{profile}-{extension}"
            picture.save(src / f"{stem}.{extension}", icc_profile=icc, **options)
            cases[stem] = (profile, "RGB")
    grey.save(src / "grey.jpg", quality=95, icc_profile=(data / "grey-gamma18.icc").read_bytes())
    cases["grey"] = ("grey-gamma18", "L")
    picture.save(src / "plain.png")
    picture.save(src / "srgb.png", icc_profile=(data / "srgb-lcms.icc").read_bytes())
    damaged = bytearray((data / "display-p3.icc").read_bytes())
    damaged[128:132] = b"\xff\xff\xff\xff"  # an absurd tag count
    picture.save(src / "damaged.png", icc_profile=bytes(damaged))
    sources = sorted(src.iterdir())
    run = moravel(["--format", "bmp"] + sources, out, work / "tmp")
    check(run.returncode == 0, f"profiles: exit {run.returncode}: {run.stderr}")
    for stem, (profile, mode) in cases.items():
        path = next(p for p in sources if p.stem == stem)
        source = ImageCms.ImageCmsProfile(io.BytesIO((data / f"{profile}.icc").read_bytes()))
        transform = ImageCms.buildTransform(source, srgb, mode, "RGB", renderingIntent=1,
                                            flags=flags)
        want = ImageCms.applyTransform(Image.open(path).convert(mode), transform)
        compare(f"profile {stem}", out / f"{stem}.bmp", np.asarray(want).astype(int), want.size)
    plain = (out / "plain.bmp").read_bytes()
    check((out / "srgb.bmp").read_bytes() == plain, "an sRGB profile changed the picture")
    check((out / "damaged.bmp").read_bytes() == plain, "a damaged profile changed the picture")
    check("damaged.png: colour profile ignored" in run.stderr,
          f"no note for the damaged profile: {run.stderr}")


def main():
    tests = [test_every_orientation_and_resize, test_shrink_on_load_uses_the_upright_size,
             test_hostile_exif_counts_as_upright, test_lossless_rewrite_keeps_profile_and_orientation,
             test_embedded_profiles_give_srgb]
    for test in tests:
        with tempfile.TemporaryDirectory(prefix="moravel-orient-") as folder:
            work = pathlib.Path(folder)
            (work / "tmp").mkdir()
            print(test.__name__, flush=True)
            test(work)
            left = list((work / "tmp").iterdir())
            check(not left, f"{test.__name__}: temporary files left: {left}")
    return finish(f"{len(tests)} passed, 0 failed")


if __name__ == "__main__":
    sys.exit(main())
