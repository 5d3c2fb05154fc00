#!/usr/bin/python3
"""End-to-end tests of the `moravel` program: real batches on pictures made by
an independent tool (PIL), outputs checked with the same independent decoder.
Runs the native program, or the Windows one under Wine (MORAVEL_WINE)."""
import os
import pathlib
import shlex
import struct
import subprocess
import sys
import tempfile
import traceback

from PIL import Image

CLI = os.path.abspath(os.environ["MORAVEL_CLI"])
WINE = shlex.split(os.environ.get("MORAVEL_WINE", ""))


def target_path(path):
    """A host path as the program under test sees it (Z:\\... under Wine)."""
    text = str(path)
    return "Z:" + text.replace("/", "\\") if WINE else text


def environment(tmp_folder, env_extra=None):
    env = dict(os.environ)
    env["TMPDIR"] = str(tmp_folder)
    if WINE:
        env["TMP"] = env["TEMP"] = target_path(tmp_folder)
        env["WINEDEBUG"] = "-all"
    env.update(env_extra or {})
    return env


def command(args):
    return WINE + [CLI] + [target_path(a) if isinstance(a, pathlib.Path) else a for a in args]


def run(args, tmp_folder, env_extra=None, cwd=None, user=None):
    """Runs the program; `user` runs it as that ordinary account (needs root)."""
    prefix = ["setpriv", f"--reuid={user}", "--regid=nogroup", "--init-groups"] if user else []
    return subprocess.run(prefix + command(args), env=environment(tmp_folder, env_extra),
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300,
                          cwd=cwd)


def gradient(width, height, colours=None):
    img = Image.new("RGB", (width, height))
    px = img.load()
    for y in range(height):
        for x in range(width):
            if colours:
                px[x, y] = colours[(x + y) % len(colours)]
            else:
                px[x, y] = ((x * 7 + y) % 256, (y * 5) % 256, (x * 3 + y * 11) % 256)
    return img


class Case:
    def __init__(self):
        root = pathlib.Path(tempfile.mkdtemp(prefix="moravel-e2e-"))
        self.root = root
        self.src = root / "src"
        self.out = root / "out"
        self.tmp = root / "tmp"
        for d in (self.src, self.out, self.tmp):
            d.mkdir()

    def convert(self, fmt, files, *extra):
        return run(["--format", fmt, "--output-folder", self.out, *extra, *files], self.tmp)

    def no_temporary_files(self):
        left = list(self.tmp.iterdir())
        assert not left, f"temporary files left: {left}"


def same_pixels(a, b):
    return a.convert("RGB").tobytes() == b.convert("RGB").tobytes()


def test_every_format_round_trips_through_an_independent_decoder():
    c = Case()
    picture = gradient(37, 23)
    picture.save(c.src / "photo.bmp")
    for fmt, ext in [("bmp", "bmp"), ("png", "png"), ("jpeg", "jpg"), ("gif", "gif")]:
        r = c.convert(fmt, [c.src / "photo.bmp"])
        assert r.returncode == 0, (fmt, r.stderr)
        out = Image.open(c.out / f"photo.{ext}")
        assert out.size == (37, 23), (fmt, out.size)
        if fmt in ("bmp", "png"):
            assert same_pixels(out, picture), fmt
        elif fmt == "jpeg":
            diff = [abs(p - q) for p, q in zip(out.convert("RGB").tobytes(), picture.tobytes())]
            assert sum(diff) / len(diff) < 12, f"JPEG too far off: {sum(diff) / len(diff)}"
    c.no_temporary_files()


def test_few_colours_survive_gif_exactly_and_every_reader_feeds_png():
    c = Case()
    colours = [(255, 0, 0), (0, 128, 255), (10, 20, 30), (250, 250, 250), (0, 0, 0)]
    picture = gradient(41, 17, colours)
    picture.save(c.src / "a.tif", compression=None)
    picture.save(c.src / "b.gif")
    picture.save(c.src / "c.png")
    picture.save(c.src / "d.bmp")
    r = c.convert("gif", [c.src / "d.bmp"])
    assert r.returncode == 0, r.stderr
    assert same_pixels(Image.open(c.out / "d.gif"), picture)
    r = c.convert("png", [c.src / n for n in ("a.tif", "b.gif", "c.png", "d.bmp")])
    assert r.returncode == 0, r.stderr
    for name in ("a", "b", "c", "d"):
        assert same_pixels(Image.open(c.out / f"{name}.png"), picture), name
    c.no_temporary_files()


def test_existing_names_are_never_overwritten():
    c = Case()
    gradient(8, 8).save(c.src / "a.bmp")
    (c.out / "a.png").write_bytes(b"keep me")
    (c.out / "a+1.png").write_bytes(b"keep me too")
    r = c.convert("png", [c.src / "a.bmp"])
    assert r.returncode == 0, r.stderr
    assert (c.out / "a.png").read_bytes() == b"keep me"
    assert (c.out / "a+1.png").read_bytes() == b"keep me too"
    assert Image.open(c.out / "a+2.png").size == (8, 8)


def test_the_format_is_recognised_by_content_not_name():
    c = Case()
    gradient(5, 4).save(c.src / "scan", format="PNG")  # no extension
    (c.src / "fake.png").write_bytes(b"this is not a picture at all")
    r = c.convert("bmp", [c.src / "scan", c.src / "fake.png"])
    assert r.returncode == 1, r.stderr  # one file failed
    assert Image.open(c.out / "scan.bmp").size == (5, 4)
    assert "fake.png" in r.stderr
    assert not (c.out / "fake.bmp").exists()


def test_nothing_produced_removes_the_new_sub_folder_and_exits_1():
    c = Case()
    (c.src / "junk.png").write_bytes(b"\x89PNG\r\n\x1a\nbroken")
    r = run(["--format", "png", "--sub-folder", "Done", c.src / "junk.png"], c.tmp)
    assert r.returncode == 1, (r.returncode, r.stderr)
    assert not (c.src / "Done").exists()
    assert "No file was converted" in r.stderr
    c.no_temporary_files()


def test_sub_folder_is_created_and_used():
    c = Case()
    gradient(6, 6).save(c.src / "x.bmp")
    r = run(["--format", "png", "--sub-folder", "Output", c.src / "x.bmp"], c.tmp)
    assert r.returncode == 0, r.stderr
    assert Image.open(c.src / "Output" / "x.png").size == (6, 6)


def test_bad_usage_exits_2_with_one_line_and_a_pointer_to_the_help():
    c = Case()
    for args in (["x.bmp"], ["--format", "tiff", "x.bmp"], ["--format", "png", "--frobnicate"],
                 ["--format", "jpeg", "--quality", "abc", "x.bmp"],
                 ["--format", "png", "--resize", "long:0", "x.bmp"],
                 ["--format=png", "--resize=width:0", "x.bmp"],
                 ["--format", "png", "--sub-folder", "../up", "x.bmp"],
                 ["--format", "png", "--sub-folder", "a/b", "x.bmp"],
                 ["--format", "png", "--sub-folder", "..", "x.bmp"]):
        r = run(args, c.tmp)
        assert r.returncode == 2, (args, r.returncode)
        lines = r.stderr.splitlines()
        assert len(lines) == 2 and lines[1] == "try 'moravel --help'", (args, r.stderr)
        assert "usage:" not in r.stderr, args
    for args in (["-h"], ["--help"]):
        r = run(args, c.tmp)
        assert r.returncode == 0 and "usage: moravel" in r.stdout, (args, r.returncode)
        # What --keep-transparency keeps, and the exit statuses, are spelled out.
        text = " ".join(r.stdout.split())
        assert "one transparent colour of a palette or colour-key picture" in text, text
        assert "alpha channel is always flattened" in text, text
        assert "1 at least one file failed" in text and "130 interrupted" in text, text


def test_resize_arithmetic_and_depth_of_8_bit_sources():
    c = Case()
    gradient(1000, 3).save(c.src / "strip.bmp")
    r = c.convert("png", [c.src / "strip.bmp"], "--resize", "width:100")
    assert r.returncode == 0, r.stderr
    assert Image.open(c.out / "strip.png").size == (100, 1)

    colours = [(200, 10, 10), (10, 200, 10), (10, 10, 200)]
    gradient(60, 40, colours).save(c.src / "few.gif")
    r = c.convert("bmp", [c.src / "few.gif"], "--resize", "long:30")
    assert r.returncode == 0, r.stderr
    data = (c.out / "few.bmp").read_bytes()
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert (width, height, bits) == (30, 20, 8), (width, height, bits)

    r = c.convert("png", [c.src / "strip.bmp"], "--resize", "height:0")
    assert r.returncode == 2, r.stderr  # a usage error now, not a batch of failures


def test_jpeg_size_limit_and_lossless_copy():
    c = Case()
    noisy = Image.effect_noise((400, 300), 60).convert("RGB")
    noisy.save(c.src / "noise.jpg", quality=95)
    r = c.convert("jpeg", [c.src / "noise.jpg"], "--size-limit", "20")
    assert r.returncode == 0, r.stderr
    assert (c.out / "noise.jpg").stat().st_size <= 20 * 1024

    photo = gradient(64, 48)
    photo.save(c.src / "meta.jpg", quality=90, exif=b"Exif\x00\x00II*\x00\x08\x00\x00\x00\x00\x00",
               comment=b"private note")
    r = run(["--format", "jpegcopy", "--output-folder", c.out, c.src / "meta.jpg"], c.tmp)
    assert r.returncode == 0, r.stderr
    copy = (c.out / "meta.jpg").read_bytes()
    assert b"Exif" not in copy and b"private note" not in copy
    assert same_pixels(Image.open(c.out / "meta.jpg"), Image.open(c.src / "meta.jpg"))
    gradient(4, 4).save(c.src / "plain.png")
    r = run(["--format", "jpegcopy", "--output-folder", c.out, c.src / "plain.png"], c.tmp)
    assert r.returncode == 1 and "not a JPEG file" in r.stderr, (r.returncode, r.stderr)
    c.no_temporary_files()


def test_keep_transparency_carries_the_colour_into_png_and_gif():
    c = Case()
    img = Image.new("P", (10, 10), 1)
    img.putpalette([0, 0, 0, 255, 0, 0, 0, 255, 0] + [0] * (253 * 3))
    for x in range(5):
        img.putpixel((x, 2), 2)
    img.save(c.src / "t.png", transparency=2)
    r = c.convert("gif", [c.src / "t.png"], "--keep-transparency")
    assert r.returncode == 0, r.stderr
    gif = Image.open(c.out / "t.gif")
    index = gif.info.get("transparency")
    assert index is not None, gif.info
    # The transparent entry was composited onto the default white background.
    assert tuple(gif.getpalette()[index * 3:index * 3 + 3]) == (255, 255, 255)
    assert gif.getpixel((0, 2)) == index
    r = c.convert("png", [c.src / "t.png"])
    assert r.returncode == 0, r.stderr
    assert "transparency" not in Image.open(c.out / "t.png").info  # off unless asked


def test_settings_file_round_trip():
    c = Case()
    ini = c.root / "Pirex.ini"
    r = run(["--quality", "90", "--resize", "height:480", "--save-settings", ini], c.tmp)
    assert r.returncode == 0, r.stderr
    r = run(["--settings", ini, "--show-settings"], c.tmp)
    assert r.returncode == 0, r.stderr
    lines = dict(line.split("=", 1) for line in r.stdout.splitlines() if "=" in line)
    assert lines["jpegQuality"] == "90", lines
    assert lines["resizeOn"] == "1" and lines["resizeMode"] == "1"
    assert lines["resizeTarget"] == "480"
    assert lines["subFolderName"] == "Output"


def jpeg_photo(path, size=(400, 300), quality=95):
    Image.effect_noise(size, 60).convert("RGB").save(path, quality=quality)


def test_files_in_the_current_folder_and_relative_paths():
    c = Case()
    for name in ("fog.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"):
        gradient(9, 7).save(c.src / name)
    (c.src / "sub").mkdir()
    gradient(5, 5).save(c.src / "sub" / "s.bmp")
    args = ["--format", "png", "fog.bmp", "./b.bmp", "../src/c.bmp", "sub/../d.bmp",
            "sub/s.bmp"]
    if WINE:
        args += ["sub\\..\\e.bmp", "Z:e.bmp"]  # backslashes; drive-relative
    else:
        args += ["sub//../e.bmp"]
    r = run(args, c.tmp, cwd=c.src)
    assert r.returncode == 0, (r.returncode, r.stderr)
    # Every output lands in the folder of the first source and is listed.
    listed = r.stdout.splitlines()
    for name in ("fog", "b", "c", "d", "s", "e"):
        assert Image.open(c.src / f"{name}.png").size in ((9, 7), (5, 5)), name
        assert target_path(c.src / f"{name}.png") in listed, (name, listed)
    assert not (c.src / "sub" / "s.png").exists()
    if WINE:
        # The command prompt passes "*.bmp" as it stands; the program expands it.
        r = run(["--format", "gif", "*.bmp", "sub\\?.bmp"], c.tmp, cwd=c.src)
        assert r.returncode == 0, (r.returncode, r.stderr)
        for name in ("fog", "b", "c", "d", "e", "s"):
            assert (c.src / f"{name}.gif").exists(), (name, r.stdout, r.stderr)


def test_missing_paths_folders_and_empty_globs_say_what_happened():
    c = Case()
    gradient(4, 4).save(c.src / "a.bmp")
    cases = [
        ([c.src / "nothing.jpg"], 2, ["nothing.jpg: no such file", "no input files"]),
        ([c.src / "*.jpg"], 2, ["*.jpg: no such file", "no input files"]),
        ([c.src], 2, ["is a folder", "no input files"]),
        ([c.src, c.src / "a.bmp"], 1, ["is a folder"]),
    ]
    for files, status, messages in cases:
        r = c.convert("png", files)
        assert r.returncode == status, (files, r.returncode, r.stderr)
        for message in messages:
            assert message in r.stderr, (files, r.stderr)
        assert "does not exist" not in r.stderr, r.stderr
    assert (c.out / "a.png").exists()


def test_save_settings_replaces_only_settings_files():
    c = Case()
    photo = c.root / "victim.jpg"
    jpeg_photo(photo)
    before = photo.read_bytes()
    mode = photo.stat().st_mode
    r = run(["--quality", "50", "--save-settings", photo], c.tmp)
    assert r.returncode == 2, (r.returncode, r.stderr)
    assert "not a settings file" in r.stderr, r.stderr
    assert photo.read_bytes() == before and photo.stat().st_mode == mode

    ini = c.root / "Pirex.ini"
    assert run(["--quality", "60", "--save-settings", ini], c.tmp).returncode == 0
    if not WINE:
        ini.chmod(0o640)
    r = run(["--quality", "70", "--save-settings", ini], c.tmp)
    assert r.returncode == 0, r.stderr
    if not WINE:
        assert ini.stat().st_mode & 0o777 == 0o640, oct(ini.stat().st_mode)
    shown = run(["--settings", ini, "--show-settings"], c.tmp).stdout
    assert "jpegQuality=70" in shown.splitlines(), shown


def test_outputs_are_listed_as_soon_as_each_file_is_written():
    c = Case()
    gradient(8, 8).save(c.src / "first.bmp")
    Image.effect_noise((2500, 2500), 80).convert("RGB").save(c.src / "big.bmp")
    process = subprocess.Popen(command(["--format", "png", "--output-folder", c.out,
                                        c.src / "first.bmp", c.src / "big.bmp"]),
                               env=environment(c.tmp), stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, text=True)
    first = process.stdout.readline()
    running = process.poll() is None
    rest = process.stdout.read()
    assert process.wait(timeout=300) == 0
    assert first.strip() == target_path(c.out / "first.png"), first
    assert running, "the first path arrived only when the program ended"
    assert rest.strip() == target_path(c.out / "big.png"), rest


def test_progress_on_a_terminal_never_hides_a_listed_path():
    if WINE:
        return  # a terminal for Wine's console is not what users run it in
    import pty
    c = Case()
    for name in ("a", "b", "c"):
        gradient(6, 6).save(c.src / f"{name}.bmp")
    gradient(6, 6).save(c.src / "b.gif")
    main, side = pty.openpty()
    process = subprocess.Popen(command(["--format", "png", "--output-folder", c.out,
                                        *(c.src / n for n in ("a.bmp", "b.bmp", "c.bmp"))]),
                               env=environment(c.tmp), stdout=side, stderr=side,
                               stdin=subprocess.DEVNULL)
    os.close(side)
    data = b""
    while True:
        try:
            chunk = os.read(main, 4096)
        except OSError:
            break
        if not chunk:
            break
        data += chunk
    assert process.wait(timeout=60) == 0
    # What the terminal shows: carriage returns go back to the line start,
    # ESC [ K erases to its end.
    screen, line, column = [], [], 0
    text = data.decode().replace("\r\n", "\n")
    i = 0
    while i < len(text):
        ch = text[i]
        if text.startswith("\x1b[K", i):
            del line[column:]
            i += 3
            continue
        if ch == "\r":
            column = 0
        elif ch == "\n":
            screen.append("".join(line))
            line, column = [], 0
        else:
            if column < len(line):
                line[column] = ch
            else:
                line.append(ch)
            column += 1
        i += 1
    screen.append("".join(line))
    for name in ("a", "b", "c"):
        assert str(c.out / f"{name}.png") in screen, (name, screen)
    assert not any(row.startswith("[") for row in screen), screen  # progress cleared


def test_reasons_in_words_notes_and_exit_status_1_when_any_file_fails():
    c = Case()
    gradient(6, 6).save(c.src / "good.bmp")
    (c.src / "notes.txt").write_text("not a picture\n")
    jpeg_photo(c.src / "whole.jpg")
    data = (c.src / "whole.jpg").read_bytes()
    (c.src / "cut.jpg").write_bytes(data[:len(data) // 2])
    (c.src / "bad.jpg").write_bytes(b"\xff\xd8\xff\xe0\x00\x02garbage")
    r = c.convert("bmp", [c.src / n for n in ("good.bmp", "notes.txt", "cut.jpg", "bad.jpg")])
    assert r.returncode == 1, (r.returncode, r.stderr)
    assert "notes.txt: not a picture this program can read" in r.stderr, r.stderr
    assert "bad.jpg: cannot be read: damaged file structure" in r.stderr, r.stderr
    assert "cut.jpg: damaged, converted with missing parts filled" in r.stderr, r.stderr
    assert "(code" not in r.stderr and "Premature end" not in r.stderr, r.stderr
    assert (c.out / "good.bmp").exists() and (c.out / "cut.bmp").exists()

    r = c.convert("jpeg", [c.src / "whole.jpg"], "--size-limit", "1")
    assert r.returncode == 0, r.stderr
    size = (c.out / "whole.jpg").stat().st_size
    assert size > 1024
    expected = f"whole.jpg: {(size + 1023) // 1024} KiB at the lowest quality, above the 1 KiB limit"
    assert expected in r.stderr, r.stderr

    # Letter case and the equals form of options.
    r = c.convert("GIF", [c.src / "good.bmp"], "--quality=80")
    assert r.returncode == 0 and (c.out / "good.gif").exists(), r.stderr


def test_a_read_only_jpeg_is_re_written_losslessly():
    c = Case()
    jpeg_photo(c.src / "protected.jpg")
    before = (c.src / "protected.jpg").read_bytes()
    (c.src / "protected.jpg").chmod(0o444)
    if WINE:  # the read-only attribute, as Windows sets it
        subprocess.run(WINE + ["cmd", "/c", "attrib", "+r", target_path(c.src / "protected.jpg")],
                       env=environment(c.tmp), capture_output=True, check=True, timeout=120)
    user = None
    if not WINE and os.geteuid() == 0:
        # root ignores file modes: an ordinary account shows the fault
        user = "nobody"
        for folder in (c.root, c.src, c.out, c.tmp):
            os.chown(folder, 65534, -1)
        os.chmod(c.root, 0o755)
    r = run(["--format", "jpegcopy", "--output-folder", c.out, c.src / "protected.jpg"], c.tmp,
            user=user)
    assert r.returncode == 0, (r.returncode, r.stderr)
    assert (c.src / "protected.jpg").read_bytes() == before
    assert same_pixels(Image.open(c.out / "protected.jpg"), Image.open(c.src / "protected.jpg"))
    c.no_temporary_files()


def test_a_folder_that_cannot_be_written_gives_the_systems_reason():
    if WINE or os.geteuid() != 0:
        return  # needs an ordinary account next to root's folders
    c = Case()
    gradient(5, 5).save(c.src / "a.bmp")
    for folder in (c.root, c.src, c.tmp):
        os.chown(folder, 65534, -1)
    os.chmod(c.out, 0o755)  # root's: closed to nobody
    r = run(["--format", "png", "--output-folder", c.out, c.src / "a.bmp"], c.tmp, user="nobody")
    assert r.returncode == 1, (r.returncode, r.stderr)
    assert "a.bmp: could not be copied into the output folder: Permission denied" in r.stderr, \
        r.stderr
    r = run(["--format", "png", "--output-folder", c.out, "--sub-folder", "New",
             c.src / "a.bmp"], c.tmp, user="nobody")
    assert r.returncode == 2, (r.returncode, r.stderr)
    assert "The output sub-folder cannot be created: Permission denied." in r.stderr, r.stderr


TESTS = [value for name, value in sorted(globals().items()) if name.startswith("test_")]


def main():
    passed = failed = 0
    for test in TESTS:
        try:
            test()
            passed += 1
            print(f"ok   {test.__name__}")
        except Exception:
            failed += 1
            print(f"FAIL {test.__name__}")
            traceback.print_exc()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
