#!/usr/bin/python3
"""WebP, HEIC and AVIF through moravel end to end: on Linux through the
built-in decoders, on Windows through moravel.exe under Wine with
--plugin-folder naming the built import plug-ins (webp.sph, heif.sph,
avif.sph). Every output must equal the libraries' own reference decoders
(dwebp, heif-convert), composited onto white; a damaged file and a tiny file
declaring a huge picture fail alone while the rest of the batch is
converted. For AVIF, the difference to avifdec (libavif's own conversion to
RGB) is printed: it converts YUV differently and is no exact reference.
Under Wine, moravel on Linux (MORAVEL_NATIVE_CLI; required when CI=true)
converts the same pictures, and its files must equal moravel.exe's byte for
byte: both decode with the same libraries built from the same sources. Each
HEIF plug-in alone refuses the other's coding."""
import os
import pathlib
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import make_avif_fixtures  # noqa: E402

CLI = os.environ["MORAVEL_CLI"]
WINE = shlex.split(os.environ.get("MORAVEL_WINE", ""))
PLUGINS = os.environ.get("MORAVEL_FORMATS_PLUGINS", "")
NATIVE_CLI = os.environ.get("MORAVEL_NATIVE_CLI", "")
HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data"


def target_path(path):
    return "Z:" + str(path).replace("/", "\\") if WINE else str(path)


def tool(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def on_white(rgba):
    rgba = rgba.astype(np.int64)
    alpha = rgba[:, :, 3:4]
    return (rgba[:, :, :3] * alpha + 255 * (255 - alpha) + 127) // 255


def reference(source, work):
    """The reference decoder's picture, composited onto white."""
    out = work / (source.name + ".ref.png")
    if source.suffix == ".avif":
        return on_white(make_avif_fixtures.reference_rgba(source, work).astype(np.int64))
    if source.suffix == ".webp":
        if b"ANIM" in source.read_bytes()[:64]:
            # dwebp has no animations: the first frame, taken out by webpmux,
            # covers the whole canvas in the files made here.
            frame = work / (source.name + ".frame1.webp")
            tool("webpmux", "-get", "frame", "1", str(source), "-o", str(frame))
            source = frame
        tool("dwebp", "-quiet", str(source), "-o", str(out))
    else:
        tool("heif-convert", str(source), str(out))
    return on_white(np.array(Image.open(out).convert("RGBA")))


def tiny_huge_webp():
    """A lossy WebP header declaring 16383 x 16383 pixels over 20 bytes."""
    frame = bytes([0x50, 0x01, 0x00, 0x9D, 0x01, 0x2A, 0xFF, 0x3F, 0xFF, 0x3F]) + bytes(10)
    chunk = b"VP8 " + struct.pack("<I", len(frame)) + frame
    return b"RIFF" + struct.pack("<I", 4 + len(chunk)) + b"WEBP" + chunk


def avifdec_difference(source, got, work):
    """How far avifdec's 8-bit picture (onto white) lies from ours."""
    out = work / (source.name + ".avifdec.png")
    tool("avifdec", "-d", "8", str(source), str(out))
    theirs = on_white(np.array(Image.open(out).convert("RGBA")).astype(np.int64))
    if theirs.shape != got.shape:
        return f"{theirs.shape[1]} x {theirs.shape[0]} (avifdec applies no clap, irot or imir)"
    diff = np.abs(theirs - got)
    return f"max {diff.max()}, {100.0 * (diff > 0).mean():.1f}% of samples differ"


def with_ispe(data, width, height):
    """The file with every 'ispe' property declaring width x height."""
    data = bytearray(data)
    at = data.find(b"ispe")
    while at >= 0:
        data[at + 8:at + 16] = struct.pack(">II", width, height)
        at = data.find(b"ispe", at + 4)
    return bytes(data)


def compare_with_native(good, out, work):
    """moravel on Linux must write the same bytes as moravel.exe did."""
    if not os.path.isfile(NATIVE_CLI):
        if os.environ.get("CI") == "true":
            return [f"moravel on Linux is missing ({NATIVE_CLI!r}): build the native preset first"]
        print(f"SKIP: no moravel on Linux at {NATIVE_CLI!r} to compare with")
        return []
    native = work / "out_native"
    native.mkdir()
    subprocess.run([NATIVE_CLI, "--format", "png", "--output-folder", str(native)] +
                   [str(p) for p in good], capture_output=True, stdin=subprocess.DEVNULL,
                   timeout=600)
    failures = []
    for source in good:
        mine, theirs = out / (source.stem + ".png"), native / (source.stem + ".png")
        if not theirs.exists() or mine.exists() and mine.read_bytes() != theirs.read_bytes():
            failures.append(f"{source.name}: moravel on Linux and moravel.exe differ")
    print(f"{len(good)} pictures equal moravel on Linux byte for byte"
          if not failures else "moravel on Linux differs")
    return failures


def heif_plugins_alone(src, work, env):
    """heif.sph and avif.sph link one decoder each (HEVC, AV1): alone in a
    plug-in folder, each converts its own coding's picture and refuses the
    other's, also under its own extension."""
    failures = []
    for plugin, own, other in (("heif.sph", "photo.heic", "photo8_420.avif"),
                               ("avif.sph", "photo8_420.avif", "photo.heic")):
        folder, out = work / f"alone_{plugin}", work / f"alone_{plugin}_out"
        folder.mkdir()
        out.mkdir()
        shutil.copy(pathlib.Path(PLUGINS) / plugin, folder / plugin)
        disguised = work / f"other_coding{pathlib.Path(own).suffix}"
        shutil.copy(src / other, disguised)
        refused = [src / other, disguised]
        run = subprocess.run(WINE + [CLI, "--format", "png", "--output-folder", target_path(out),
                                     "--plugin-folder", target_path(folder)] +
                             [target_path(p) for p in [src / own] + refused],
                             env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                             timeout=600)
        if run.returncode != 1:
            failures.append(f"{plugin} alone: exit status {run.returncode}, expected 1\n{run.stderr}")
        if not (out / (pathlib.Path(own).stem + ".png")).exists():
            failures.append(f"{plugin} alone did not convert {own}\n{run.stderr}")
        for source in refused:
            if (out / (source.stem + ".png")).exists():
                failures.append(f"{plugin} alone converted {source.name}")
            if not re.search(re.escape(source.name) + r": \S", run.stderr):
                failures.append(f"{plugin} alone: no failure line for {source.name}:\n{run.stderr}")
        disguised.unlink()
    print("heif.sph and avif.sph alone each refuse the other's pictures"
          if not failures else "a HEIF plug-in alone took the other's pictures")
    return failures


def main():
    failures = []
    work = pathlib.Path(tempfile.mkdtemp(prefix="moravel-formats-"))
    try:
        src, out, tmp = work / "src", work / "out", work / "tmp"
        for d in (src, out, tmp):
            d.mkdir()
        for f in DATA.iterdir():
            if f.suffix in (".webp", ".heic"):
                shutil.copy(f, src / f.name)
        made = work / "made"
        make_avif_fixtures.make(made)
        for f in made.glob("*.avif"):  # named apart from the HEIC pictures
            shutil.copy(f, src / ("av1_" + f.name))
        # A photograph (ImageMagick's built-in rose), enlarged so that the
        # codecs work on many blocks, in every coding.
        photo = work / "photo.png"
        tool("convert", "rose:", "-resize", "300%", str(photo))
        tool("cwebp", "-quiet", "-q", "85", str(photo), "-o", str(src / "photo_lossy.webp"))
        tool("cwebp", "-quiet", "-lossless", str(photo), "-o", str(src / "photo_lossless.webp"))
        tool("heif-enc", "-q", "85", str(photo), "-o", str(src / "photo.heic"))
        tool("heif-enc", "-q", "85", "--no-alpha", str(photo), "-o", str(work / "photo_upright.heic"))
        subprocess.run([sys.executable, str(HERE / "make_rotated_heif.py"),
                        str(work / "photo_upright.heic"), str(src / "photo_turned.heic"), "3", "-"],
                       check=True)
        tool("avifenc", "-s", "8", "-d", "8", "-y", "420", str(photo), "-o",
             str(src / "photo8_420.avif"))
        tool("avifenc", "-s", "8", "-d", "10", "-y", "444", str(photo), "-o",
             str(src / "photo10_444.avif"))
        tool("avifenc", "-s", "8", "-d", "8", "-y", "420", "--irot", "3", str(photo), "-o",
             str(src / "photo_turned_av1.avif"))
        for name, options in (("photo12_444", ["-d", "12", "-y", "444"]),
                              ("photo_mono", ["-y", "400"]), ("photo_lossless", ["-l"]),
                              # a clean aperture far smaller than the coded frame
                              ("photo_crop", ["--crop", "10,10,40,30"])):
            tool("avifenc", "-s", "8", *options, str(photo), "-o", str(src / f"{name}.avif"))
        # A 2 x 2 grid of AV1 tiles (their sides even and at least 64).
        even = work / "photo_even.png"
        tool("convert", str(photo), "-resize", "256x128!", str(even))
        tool("avifenc", "-s", "8", "-g", "2x2", str(even), "-o", str(src / "photo_grid.avif"))
        good = sorted(p for p in src.iterdir())
        # Damaged and hostile files, among the good ones in one batch.
        whole = (src / "photo_lossy.webp").read_bytes()
        (src / "damaged.webp").write_bytes(whole[:len(whole) // 2])
        heic = (src / "photo.heic").read_bytes()
        (src / "damaged.heic").write_bytes(heic[:len(heic) * 2 // 3])
        (src / "tiny_huge.webp").write_bytes(tiny_huge_webp())
        avif = (src / "photo8_420.avif").read_bytes()
        (src / "damaged.avif").write_bytes(avif[:len(avif) * 2 // 3])
        # 65535 x 65535 declared over a 37 x 23 frame: more than 4 GiB of rows.
        (src / "tiny_huge.avif").write_bytes(with_ispe((src / "av1_plain8_420.avif").read_bytes(),
                                                       65535, 65535))
        bad = ["damaged.webp", "damaged.heic", "tiny_huge.webp", "damaged.avif", "tiny_huge.avif"]

        args = ["--format", "png", "--output-folder", target_path(out)]
        if WINE:
            args += ["--plugin-folder", target_path(PLUGINS)]
        args += [target_path(p) for p in good] + [target_path(src / n) for n in bad]
        env = dict(os.environ, TMPDIR=str(tmp), TMP=target_path(tmp), TEMP=target_path(tmp),
                   WINEDEBUG="-all")
        run = subprocess.run(WINE + [CLI] + args, env=env, capture_output=True, text=True,
                             stdin=subprocess.DEVNULL, timeout=600)
        if run.returncode != 1:
            failures.append(f"exit status {run.returncode}, expected 1\n{run.stderr}")
        for name in bad:
            if not re.search(re.escape(name) + r": \S", run.stderr):
                failures.append(f"no failure line for {name}:\n{run.stderr}")
            if (out / (pathlib.Path(name).stem + ".png")).exists():
                failures.append(f"{name} produced an output")
        for source in good:
            result = out / (source.stem + ".png")
            if not result.exists():
                failures.append(f"{source.name}: no output\n{run.stderr}")
                continue
            got = np.array(Image.open(result).convert("RGB")).astype(np.int64)
            # Pictures in other colour spaces come out in sRGB: within 2 of
            # Pillow's ImageCms on the reference decoder's picture.
            srgb = made / (source.stem.removeprefix("av1_") + ".srgb.pam")
            if source.name.startswith("av1_") and srgb.exists():
                want = on_white(make_avif_fixtures.read_pam(srgb).astype(np.int64))
                tolerance = 2
            else:
                want = reference(source, work)
                tolerance = 0
            if got.shape != want.shape:
                failures.append(f"{source.name}: {got.shape} instead of {want.shape}")
            elif (np.abs(got - want) > tolerance).any():
                failures.append(f"{source.name}: {(got != want).any(axis=2).sum()} pixels differ "
                                f"(at most by {np.abs(got - want).max()})")
            if source.suffix == ".avif":
                print(f"{source.name}: against avifdec {avifdec_difference(source, got, work)}")
        # The turned photo is the upright one turned by 270 degrees.
        turned = out / "photo_turned.png"
        if turned.exists():
            upright = reference(work / "photo_upright.heic", work)
            if not (np.array(Image.open(turned).convert("RGB")) == np.rot90(upright, 3)).all():
                failures.append("photo_turned.heic is not the upright photo turned")
        # The same for AVIF: irot 3 is three quarter turns anticlockwise.
        turned = out / "photo_turned_av1.png"
        if turned.exists():
            upright = reference(src / "photo8_420.avif", work)
            if not (np.array(Image.open(turned).convert("RGB")) == np.rot90(upright, 3)).all():
                failures.append("photo_turned_av1.avif is not the upright photo turned")
        print(f"{len(good)} pictures compared, {len(bad)} refused")
        if WINE:
            failures += heif_plugins_alone(src, work, env)
            failures += compare_with_native(good, out, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
