#!/usr/bin/python3
"""WebP output through the command line, one table of cases. Every file is
decoded by dwebp (Debian's webp package), never by this program; lossy files
must also equal cwebp's with the same settings byte for byte, since both use
the same libwebp. Under Wine (MORAVEL_WINE), moravel.exe runs the same table
and, with MORAVEL_NATIVE_CLI given, its files must equal those of moravel on
Linux byte for byte."""
import os
import pathlib
import shlex
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

CLI = os.environ["MORAVEL_CLI"]
WINE = shlex.split(os.environ.get("MORAVEL_WINE", ""))
NATIVE_CLI = os.environ.get("MORAVEL_NATIVE_CLI", "")


def target_path(path):
    return "Z:" + str(path).replace("/", "\\") if WINE else str(path)


def run(program, wine, args, out):
    paths = [target_path(a) if isinstance(a, pathlib.Path) and wine else str(a) for a in args]
    return subprocess.run(wine + [program, "--jobs", "1", "--output-folder",
                                  target_path(out) if wine else str(out), *paths],
                          capture_output=True, text=True, check=False)


def decoded(webp, work):
    """The picture as dwebp decodes it, RGBA."""
    pam = work / (webp.name + ".pam")
    subprocess.run(["dwebp", "-quiet", "-pam", str(webp), "-o", str(pam)], check=True)
    data = pam.read_bytes()
    end = data.index(b"ENDHDR\n") + 7
    fields = dict(line.split(" ", 1) for line in data[:end].decode().splitlines()[1:-1])
    width, height = int(fields["WIDTH"]), int(fields["HEIGHT"])
    assert fields["DEPTH"] == "4" and fields["MAXVAL"] == "255"
    return np.frombuffer(data[end:], np.uint8).reshape(height, width, 4).astype(np.int64)


def psnr(a, b):
    mse = np.mean((a.astype(np.float64) - b) ** 2)
    return 99.0 if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)


def make_sources(folder):
    rng = np.random.default_rng(7)
    y, x = np.mgrid[0:48, 0:64]
    photo = np.clip(np.stack([x * 4, y * 5, (x + y) * 2], -1) + rng.integers(0, 30, (48, 64, 3)),
                    0, 255).astype(np.uint8)
    Image.fromarray(photo).save(folder / "photo.png")
    rgba = np.dstack([photo, np.where(x < 32, 255, 64).astype(np.uint8)])
    Image.fromarray(rgba, "RGBA").save(folder / "alpha.png")
    Image.fromarray(photo).quantize(16).save(folder / "palette.gif")
    # At libwebp's limit, and one pixel beyond it (small files, huge pictures).
    Image.new("RGB", (16383, 2), (10, 200, 30)).save(folder / "widest.png")
    Image.new("RGB", (3, 16384), (10, 200, 30)).save(folder / "tallest.png")
    on_white = (rgba[:, :, :3].astype(np.int64) * rgba[:, :, 3:4] +
                255 * (255 - rgba[:, :, 3:4].astype(np.int64)) + 127) // 255
    return {"photo.png": photo.astype(np.int64), "alpha.png": on_white,
            "palette.gif": np.asarray(Image.open(folder / "palette.gif").convert("RGB"),
                                      dtype=np.int64)}


def main():
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        src = work / "src"
        src.mkdir()
        expected = make_sources(src)
        # (name, arguments, check of the result)
        cases = [
            ("lossy at the default quality", ["--format", "webp", src / "photo.png"], "lossy75"),
            ("lossy at quality 95", ["--format", "WebP", "--quality", "95", src / "photo.png"],
             "lossy95"),
            ("lossless", ["--format", "webp", "--lossless", src / "photo.png"], "exact"),
            ("transparency flattened onto white", ["--format", "webp", "--lossless",
                                                   src / "alpha.png"], "exact"),
            ("palette picture", ["--format=webp", "--lossless", src / "palette.gif"], "exact"),
            ("resized", ["--format", "webp", "--resize", "long:20", src / "photo.png"], "size20"),
            ("at the size limit", ["--format", "webp", "--lossless", src / "widest.png"],
             "widest"),
            ("above the size limit", ["--format", "webp", src / "tallest.png"], "refused"),
            ("lossless is WebP's only", ["--format", "jpeg", "--lossless", src / "photo.png"],
             "usage"),
        ]
        programs = [("moravel", CLI, WINE)]
        if WINE and NATIVE_CLI:
            programs.append(("native", NATIVE_CLI, []))
        outputs = {}
        for label, program, wine in programs:
            quality_psnr = {}
            for index, (name, args, check) in enumerate(cases):
                out = work / f"{label}-{index}"
                out.mkdir()
                result = run(program, wine, args, out)
                files = sorted(out.iterdir())
                outputs.setdefault(index, []).append([f.read_bytes() for f in files])
                what = f"{label}: {name}"
                if check == "usage":
                    if result.returncode != 2 or files:
                        failures.append(f"{what}: status {result.returncode}, files {files}")
                    continue
                if check == "refused":
                    if (result.returncode != 1 or files or
                            "wider or taller than the output format allows" not in result.stderr):
                        failures.append(f"{what}: status {result.returncode}, files {files}, "
                                        f"stderr {result.stderr!r}")
                    continue
                if result.returncode != 0 or len(files) != 1 or files[0].suffix != ".webp":
                    failures.append(f"{what}: status {result.returncode}, files {files}, "
                                    f"stderr {result.stderr!r}")
                    continue
                picture = decoded(files[0], work)
                if (picture[:, :, 3] != 255).any():
                    failures.append(f"{what}: the file has transparent pixels")
                rgb = picture[:, :, :3]
                source = pathlib.Path(args[-1]).name
                if check == "exact" and not np.array_equal(rgb, expected[source]):
                    failures.append(f"{what}: decodes to other pixels than the source")
                if check in ("lossy75", "lossy95"):
                    quality = check[-2:]
                    reference = work / f"cwebp-{quality}.webp"
                    subprocess.run(["cwebp", "-quiet", "-q", quality, str(src / source), "-o",
                                    str(reference)], check=True)
                    if files[0].read_bytes() != reference.read_bytes():
                        failures.append(f"{what}: differs from cwebp -q {quality}")
                    # The noisy test picture keeps lossy PSNR low; a higher
                    # quality must come closer to the source.
                    quality_psnr[quality] = psnr(rgb, expected[source])
                    floor = 27 if quality == "75" else 30
                    if quality_psnr[quality] < floor:
                        failures.append(f"{what}: PSNR {quality_psnr[quality]:.1f} dB "
                                        f"below {floor}")
                if check == "size20" and rgb.shape[:2] != (15, 20):
                    failures.append(f"{what}: {rgb.shape[1]}x{rgb.shape[0]}, not 20x15")
                if check == "widest" and (rgb.shape[:2] != (2, 16383) or
                                          (rgb != [10, 200, 30]).any()):
                    failures.append(f"{what}: {rgb.shape[1]}x{rgb.shape[0]} or other colours")
            if quality_psnr.get("95", 0) <= quality_psnr.get("75", 99):
                failures.append(f"{label}: quality 95 is no closer to the source than 75 "
                                f"({quality_psnr})")
            # Never overwritten: a second run beside the first takes name+1.
            again = work / f"{label}-again"
            again.mkdir()
            for _ in range(2):
                run(program, wine, ["--format", "webp", src / "photo.png"], again)
            names = sorted(f.name for f in again.iterdir())
            if names != ["photo+1.webp", "photo.webp"]:
                failures.append(f"{label}: a second run wrote {names}")
        if len(programs) == 2:
            for index, (name, _, _) in enumerate(cases):
                if outputs[index][0] != outputs[index][1]:
                    failures.append(f"{name}: moravel.exe's files differ from moravel's on Linux")
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    print(f"{len(cases)} cases, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
