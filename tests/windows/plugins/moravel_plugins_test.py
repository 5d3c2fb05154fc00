#!/usr/bin/python3
"""moravel.exe and Pirex.exe with image plug-ins, under Wine: --plugin-folder
and the folder from the settings file, a picture decoded by a test plug-in
converting to the same bytes as the same picture read natively, and a
faulting plug-in costing one file while the batch goes on."""
import os
import pathlib
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import traceback

CLI = os.environ["MORAVEL_CLI"]
WINE = shlex.split(os.environ.get("MORAVEL_WINE", ""))
PLUGINS = pathlib.Path(os.environ["MORAVEL_TEST_PLUGINS_HOST"])
DATA = pathlib.Path(os.environ["MORAVEL_TEST_DATA"])
PIREX = os.environ["MORAVEL_PIREX"]

FAULTS = {"none": 0, "access violation": 1, "divide by zero": 2, "raised": 3}
STACK_OVERFLOW = 6
PLUGIN_FAILED = "an image plug-in crashed or could not be loaded"


def target_path(path):
    return "Z:" + str(path).replace("/", "\\")


def run(args, tmp):
    env = dict(os.environ, TMPDIR=str(tmp), TMP=target_path(tmp), TEMP=target_path(tmp),
               WINEDEBUG="-all")
    converted = [target_path(a) if isinstance(a, pathlib.Path) else a for a in args]
    return subprocess.run(WINE + [CLI] + converted, env=env, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=300)


def mraw_from_bmp(bmp, fault=0, missing=0):
    """The pixels and colour table of an uncompressed bottom-up BMP as MRAW;
    the plug-in's bits block will lack `missing` bytes."""
    data = bmp.read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    size, width, height, _, bits, compression, _, xppm, yppm, used = struct.unpack_from(
        "<IiiHHIIiiI", data, 14)
    assert compression == 0 and height > 0
    colours = (used or (1 << bits)) if bits <= 8 else 0
    table = data[14 + size:14 + size + 4 * colours]
    stride = (width * bits + 31) // 32 * 4
    rows = data[offset:offset + stride * height]
    header = b"MRAW" + struct.pack("<IIHHiiIBBBB", width, height, bits, 0, xppm, yppm, colours,
                                   fault, 0, 0, missing)
    return header + table + rows


class Case:
    def __init__(self, plugins):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="moravel-plugins-"))
        self.plugins, self.src, self.out, self.tmp = (self.root / n for n in
                                                      ("plugins", "src", "out", "tmp"))
        for d in (self.plugins, self.src, self.out, self.tmp):
            d.mkdir()
        for target, name in plugins:
            shutil.copy(PLUGINS / f"{target}.dll", self.plugins / name)

    def convert(self, fmt, files, *extra):
        return run(["--format", fmt, "--output-folder", self.out, *extra, *files], self.tmp)


def test_plugin_pictures_convert_to_the_same_bytes_as_native_reads():
    c = Case([("tp_good", "mraw.spi")])
    names = ["rgb24", "pal8", "pal4", "bw1"]
    files = []
    for name in names:
        shutil.copy(DATA / "bmp" / f"{name}.bmp", c.src / f"native_{name}.bmp")
        (c.src / f"plugin_{name}.mraw").write_bytes(mraw_from_bmp(DATA / "bmp" / f"{name}.bmp"))
        files += [c.src / f"native_{name}.bmp", c.src / f"plugin_{name}.mraw"]
    for fmt, ext in [("bmp", "bmp"), ("png", "png"), ("jpeg", "jpg"), ("gif", "gif")]:
        r = c.convert(fmt, files, "--plugin-folder", c.plugins)
        assert r.returncode == 0, (fmt, r.stderr)
        for name in names:
            native = (c.out / f"native_{name}.{ext}").read_bytes()
            plugin = (c.out / f"plugin_{name}.{ext}").read_bytes()
            assert native and native == plugin, (fmt, name)
    assert not list(c.tmp.iterdir())


def test_a_faulting_plugin_costs_one_file_and_the_batch_goes_on():
    c = Case([("tp_fault_picture", "faulty.spi")])
    files = []
    for label, code in FAULTS.items():
        name = label.replace(" ", "_") + ".mraw"
        (c.src / name).write_bytes(mraw_from_bmp(DATA / "bmp" / "rgb24.bmp", code))
        files.append(c.src / name)
    shutil.copy(DATA / "bmp" / "pal8.bmp", c.src / "native.bmp")
    files.append(c.src / "native.bmp")
    r = c.convert("png", files, "--plugin-folder", c.plugins)
    assert r.returncode == 1, (r.returncode, r.stderr)
    written = sorted(p.name for p in c.out.iterdir())
    assert written == ["native.png", "none.png"], written
    for label in ("access_violation", "divide_by_zero", "raised"):
        assert f"{label}.mraw" in r.stderr, r.stderr
    assert "none.mraw" not in r.stderr


def test_stack_overflows_and_faulting_start_ups_cost_one_file_each():
    # GetPicture recursing without end, twice in a row: each file fails with
    # the reason and the files after it convert.
    c = Case([("tp_fault_picture", "deep.spi")])
    rgb = DATA / "bmp" / "rgb24.bmp"
    for name, fault in [("deep1", STACK_OVERFLOW), ("deep2", STACK_OVERFLOW), ("calm", 0)]:
        (c.src / f"{name}.mraw").write_bytes(mraw_from_bmp(rgb, fault))
    shutil.copy(DATA / "bmp" / "pal8.bmp", c.src / "native.bmp")
    files = [c.src / n for n in ("deep1.mraw", "deep2.mraw", "calm.mraw", "native.bmp")]
    r = c.convert("png", files, "--plugin-folder", c.plugins)
    assert r.returncode == 1, (r.returncode, r.stderr)
    assert sorted(p.name for p in c.out.iterdir()) == ["calm.png", "native.png"], r.stderr
    for name in ("deep1.mraw", "deep2.mraw"):
        assert f"{name}: cannot be read: {PLUGIN_FAILED}" in r.stderr, r.stderr

    # A plug-in whose DllMain faults as it is loaded, alone and then before
    # one that works.
    c = Case([("tp_dllmain_fault", "broken.spi")])
    (c.src / "p.mraw").write_bytes(mraw_from_bmp(rgb))
    shutil.copy(DATA / "bmp" / "pal8.bmp", c.src / "native.bmp")
    r = c.convert("png", [c.src / "p.mraw", c.src / "native.bmp"], "--plugin-folder", c.plugins)
    assert r.returncode == 1, (r.returncode, r.stderr)
    assert f"p.mraw: cannot be read: {PLUGIN_FAILED}" in r.stderr, r.stderr
    assert sorted(p.name for p in c.out.iterdir()) == ["native.png"]
    shutil.copy(PLUGINS / "tp_good.dll", c.plugins / "good.sph")
    r = c.convert("bmp", [c.src / "p.mraw"], "--plugin-folder", c.plugins)
    assert r.returncode == 0, (r.returncode, r.stderr)


def test_a_short_bits_block_converts_and_is_reported_damaged():
    c = Case([("tp_good", "mraw.spi")])
    pal8 = DATA / "bmp" / "pal8.bmp"
    (c.src / "cut.mraw").write_bytes(mraw_from_bmp(pal8, missing=20))
    r = c.convert("bmp", [c.src / "cut.mraw"], "--plugin-folder", c.plugins)
    assert r.returncode == 0, (r.returncode, r.stderr)
    assert "damaged, converted with missing parts filled" in r.stderr, r.stderr
    # What the block held is there; the rest reads as colour index 0.
    whole = pal8.read_bytes()
    written = (c.out / "cut.bmp").read_bytes()
    offset, = struct.unpack_from("<I", whole, 10)
    out_offset, = struct.unpack_from("<I", written, 10)
    rows = whole[offset:]
    assert written[out_offset:out_offset + len(rows) - 20] == rows[:-20]
    assert written[out_offset + len(rows) - 20:] == bytes(20)


def test_plugin_folder_from_the_settings_file_and_flags():
    c = Case([("tp_good", "mraw.sph")])
    (c.src / "p.mraw").write_bytes(mraw_from_bmp(DATA / "bmp" / "rgb24.bmp"))
    settings = c.root / "Pirex.ini"
    r = run(["--plugin-folder", c.plugins, "--save-settings", settings], c.tmp)
    assert r.returncode == 0, r.stderr
    r = run(["--settings", settings, "--show-settings"], c.tmp)
    assert f"pluginFolder={target_path(c.plugins)}" in r.stdout, r.stdout

    shutil.copy(DATA / "bmp" / "rgb24.bmp", c.src / "n.bmp")
    r = c.convert("bmp", [c.src / "p.mraw", c.src / "n.bmp"], "--settings", settings)
    assert r.returncode == 0, r.stderr
    assert (c.out / "p.bmp").read_bytes() == (c.out / "n.bmp").read_bytes()

    # Without a plug-in folder the file is not a picture this program reads.
    r = c.convert("bmp", [c.src / "p.mraw"])
    assert r.returncode != 0 and "p.mraw" in r.stderr, r.stderr

    # A plug-in folder that does not exist is a usage error.
    r = c.convert("bmp", [c.src / "p.mraw"], "--plugin-folder", c.root / "missing")
    assert r.returncode == 2 and "plug-in folder" in r.stderr, (r.returncode, r.stderr)

    r = run(["--help"], c.tmp)
    assert "--plugin-folder DIR" in r.stdout


def test_pirex_started_with_files_in_a_start_mode_uses_the_plugins_too():
    c = Case([("tp_good", "mraw.spi")])
    program = c.root / "program"
    program.mkdir()
    pirex = pathlib.Path(PIREX)
    for name in ("Pirex.exe", "English.dll"):
        shutil.copy(pirex.parent / name, program / name)
    # Settings next to the program: the plug-in folder, and start mode 2
    # (convert to PNG at once).
    settings = program / "Pirex.ini"
    r = run(["--plugin-folder", c.plugins, "--save-settings", settings], c.tmp)
    assert r.returncode == 0, r.stderr
    data = bytearray(settings.read_bytes())
    struct.pack_into("<II", data, 4 + 14 * 8, 1, 2)
    settings.write_bytes(data)

    shutil.copy(DATA / "bmp" / "pal8.bmp", c.src / "native.bmp")
    (c.src / "plugin.mraw").write_bytes(mraw_from_bmp(DATA / "bmp" / "pal8.bmp"))
    env = dict(os.environ, TMP=target_path(c.tmp), TEMP=target_path(c.tmp), WINEDEBUG="-all")
    done = subprocess.run(WINE + [str(program / "Pirex.exe"), target_path(c.src / "plugin.mraw"),
                                  target_path(c.src / "native.bmp")],
                          env=env, capture_output=True, timeout=120)
    assert done.returncode == 0, done
    native = (c.src / "native.png").read_bytes()
    assert native and (c.src / "plugin.png").read_bytes() == native


def main():
    failed = 0
    tests = [(n, f) for n, f in sorted(globals().items()) if n.startswith("test_")]
    for name, test in tests:
        try:
            test()
            print(f"ok   {name}")
        except Exception:
            failed += 1
            print(f"FAIL {name}")
            traceback.print_exc()
    print(f"{len(tests) - failed}/{len(tests)} passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
