#!/usr/bin/env python3
"""The Windows release zip, checked as a user would receive it.

    release_test.py --package package.sh --wine-run wine-run.sh
                    --driver sendto_e2e_test.exe --work DIR

1. Packs the build twice (package.sh --no-build): the program zip, the
   relink zip and SHA256SUMS are the same bytes each time; the sums are those
   of the two zips, and the program zip is under 4.5 MB.
2. The zips hold exactly the files a release holds, under one top folder, all
   with one time stamp; every .exe, .dll and .sph in it imports only DLLs
   every Windows has, and carries no debug sections or symbols. The
   plug-ins linking LGPL libraries relink from the relink zip alone to the
   shipped bytes, and its source packages match their .dsc files. The
   manual folder holds the manual's pages with working links, and no file
   names a placeholder web address.
3. Unpacks it into C:\\Moravel of a fresh Wine prefix (profile folders made
   real, so nothing is written outside DIR) and runs sendto_e2e_test.exe
   there: the Send To shortcut made through the settings window, pictures
   sent to it in start modes 0 and 3 and dropped on the settings window, each
   batch compared with moravel.exe's output.

Environment (from ctest): MORAVEL_BINARY_DIR, MORAVEL_TEST_DATA.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "release"))
import chm_clear_time  # noqa: E402
import library_versions  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "help"))
import check_manual  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, finish, wine_path  # noqa: E402


def build_version():
    """The version the build was made with."""
    header = os.path.join(os.environ["MORAVEL_BINARY_DIR"], "generated", "version.h")
    with open(header) as f:
        return re.search(r'^#define MORAVEL_VERSION_TEXT "(.*)"$', f.read(), re.M).group(1)


VERSION = build_version()
TOP = f"Moravel-{VERSION}"

# Always there, whatever was built.
BASE_FILES = {
    "English.dll",
    "Japanese.dll",
    "Pirex.chm",
    "Pirex.exe",
    "ReadMe.txt",
    "manual/index.html",
    "moravel.exe",
    "licenses/libjpeg-turbo-LICENSE.md",
    "licenses/libjpeg-turbo-README.ijg",
    "licenses/lcms2-COPYING.txt",
    "licenses/mingw-w64-runtime-copyright.txt",
    "licenses/zlib-copyright.txt",
}
# Each image plug-in with the licences of the libraries it links in.
PLUGIN_LICENCES = {
    "webp": {"licenses/libwebp-COPYING.txt", "licenses/libwebp-PATENTS.txt"},
    "heif": {"licenses/libheif-COPYING.txt", "licenses/libde265-COPYING.txt"},
    "avif": {"licenses/libheif-COPYING.txt", "licenses/dav1d-COPYING.txt"},
}
# These link LGPL libraries statically and come with the relink folder.
RELINKABLE_PLUGINS = {"heif", "avif"}
# Each links a libheif with only its own coding's decoder; the other one
# (whose code names it) would only add weight.
FOREIGN_DECODERS = {"plugins/heif.sph": b"dav1d", "plugins/avif.sph": b"de265"}
RELINK_FILES = {"relink/ReadMe.txt", "relink/relink.sh", "relink/link_plugin.sh",
                "relink/build/build-imagelibs.sh", "relink/build/debian-source.sh",
                "relink/build/toolchain-mingw64.cmake"}

# DLLs of every 64-bit Windows 10 and 11 (no runtime to install beside them).
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "version.dll", "winmm.dll", "ws2_32.dll",
    "bcrypt.dll", "crypt32.dll", "imm32.dll", "uxtheme.dll",
}

OBJDUMP = "x86_64-w64-mingw32-objdump"

# Reserved example domains stand in for addresses that do not exist; a
# shipped file must not send anybody there. (A file called example.txt, as
# the libjpeg notice names one, is no address.)
# What most users download: the relink kit is a download of its own.
MAIN_ZIP_LIMIT = 4_500_000

PLACEHOLDER_ADDRESS = re.compile(r"example\.(com|net|org|edu)\b|[a-z0-9-]\.example\b", re.I)


def package(script, build, out):
    result = subprocess.run(["bash", script, "--no-build", "--build-dir", build, "--out", out],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"package.sh failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return [os.path.join(out, name)
            for name in (f"{TOP}-win64.zip", f"{TOP}-win64-relink.zip", "SHA256SUMS")]


def check_sums(paths):
    """SHA256SUMS names both zips with their digests, as sha256sum -c reads it."""
    *zips, sums = paths
    with open(sums) as f:
        listed = dict(reversed(line.split()) for line in f if line.strip())
    actual = {}
    for path in zips:
        with open(path, "rb") as f:
            actual[os.path.basename(path)] = hashlib.sha256(f.read()).hexdigest()
    check(listed == actual, f"SHA256SUMS lists {listed}, the zips are {actual}")


def check_refusals(script, work):
    """package.sh stops with a clear reason instead of packing something wrong."""
    fake = os.path.join(work, "debug-build")
    os.makedirs(fake)
    with open(os.path.join(fake, "CMakeCache.txt"), "w") as cache:
        cache.write("CMAKE_BUILD_TYPE:STRING=Debug\n"
                    "CMAKE_TOOLCHAIN_FILE:FILEPATH=/x/cmake/toolchain-mingw64.cmake\n")
    cases = [
        (["--no-build", "--build-dir", os.path.join(work, "none"), "--out", work], 1,
         "is not a configured build"),
        (["--no-build", "--build-dir", fake, "--out", work], 1, "is not a Release build"),
        (["--bogus"], 2, "unknown argument '--bogus'"),
        (["--out"], 2, "--out needs a folder"),
    ]
    for arguments, status, reason in cases:
        result = subprocess.run(["bash", script] + arguments, capture_output=True, text=True)
        check(result.returncode == status and reason in result.stderr,
              f"package.sh {' '.join(arguments)}: status {result.returncode}, {result.stderr!r}")
    check(not any(name.endswith(".zip") for name in os.listdir(work)), "a refused run wrote a zip")


def expected_files(build, names):
    """The files the zip must hold. The relink folder's objects, archives and
    source packages vary with the libraries; they are checked by relinking."""
    files = set(BASE_FILES)
    manual = os.path.join(build, "app", "manual")
    files |= {"manual/" + os.path.relpath(os.path.join(root, name), manual).replace(os.sep, "/")
              for root, _, names in os.walk(manual) for name in names}
    plugin_folder = os.path.join(build, "app", "plugins")
    if os.path.isdir(plugin_folder):
        for name in sorted(os.listdir(plugin_folder)):
            if name.endswith(".sph"):
                stem = name[:-4]
                files.add("plugins/" + name)
                files |= PLUGIN_LICENCES.get(stem, {f"<licences of {name}>"})
                if stem in RELINKABLE_PLUGINS:
                    files |= RELINK_FILES | {f"relink/{stem}.relink"}
    inside = {name[len(TOP) + 1:] for name in names}
    if "relink/ReadMe.txt" in files:
        files |= {name for name in inside
                  if re.fullmatch(r"relink/(\w+/[\w.+-]+\.obj|lib/lib[\w.+-]+\.a|"
                                  r"sources/[\w.+~-]+\.(dsc|tar\.\w+|tar\.\w+\.asc))", name)}
    return {f"{TOP}/{name}" for name in files}


def check_zips(main, relink, build):
    with zipfile.ZipFile(main) as a, zipfile.ZipFile(relink) as b:
        want = expected_files(build, a.namelist() + b.namelist())
    kit = f"{TOP}/relink/"
    check_zip(main, {name for name in want if not name.startswith(kit)})
    check_zip(relink, {name for name in want if name.startswith(kit)})
    with zipfile.ZipFile(main) as archive:
        # The manual carries no compile time (a rebuild would change it).
        manual = archive.read(f"{TOP}/Pirex.chm")
        check(chm_clear_time.clear_times(manual) == manual, "Pirex.chm carries its compile time")
        read_me = archive.read(f"{TOP}/ReadMe.txt")
        check(read_me.startswith(f"Moravel {VERSION} for".encode()),
              "ReadMe.txt does not name the version")
        check(os.path.basename(relink).encode() in read_me.replace(b"\r\n", b" "),
              "ReadMe.txt does not say where the relink kit is")


def check_zip(path, want):
    with zipfile.ZipFile(path) as archive:
        entries = archive.infolist()
        names = [entry.filename for entry in entries]
        check(set(names) == want, f"{os.path.basename(path)} contents: extra "
                                  f"{sorted(set(names) - want)}, missing {sorted(want - set(names))}")
        check(names == sorted(names), "zip entries are not in sorted order")
        check(len({entry.date_time for entry in entries}) == 1, "zip entries differ in time")
        check(all(entry.create_system == 0 and entry.external_attr == 0x20 for entry in entries),
              "zip entries carry host permissions")
        check(archive.testzip() is None, "a zip entry is damaged")
        for entry in entries:
            data = archive.read(entry)
            for text in (data.decode("latin-1"), data.decode("utf-16-le", "replace"),
                         data[1:].decode("utf-16-le", "replace")):
                found = PLACEHOLDER_ADDRESS.search(text)
                check(not found, f"{entry.filename} names a placeholder address: "
                                 f"{found and found.group(0)}")
        # Licence and read-me texts open properly in Notepad.
        for entry in entries:
            if entry.filename.endswith((".txt", ".md", ".ijg")):
                text = archive.read(entry)
                check(text.count(b"\n") == text.count(b"\r\n") and text,
                      f"{entry.filename}: not CRLF text")


def imports_and_sections(binary):
    """(imported DLL names, section names, whether symbols are stripped,
    the header's link time)."""
    headers = subprocess.run([OBJDUMP, "-p", "-h", "-t", binary], capture_output=True,
                             text=True, check=True).stdout
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    sections = set(re.findall(r"^\s*\d+\s+(\.\S+)\s", headers, re.M))
    stripped = "no symbols" in headers or not re.search(r"^\[\s*\d+\]", headers, re.M)
    stamp = re.search(r"^Time/Date\s+(.*)$", headers, re.M)
    return dlls, sections, stripped, stamp.group(1).strip() if stamp else ""


def check_binaries(folder, checkout):
    binaries = []
    for root, _, files in os.walk(folder):
        binaries += [os.path.join(root, f) for f in files
                     if f.lower().endswith((".exe", ".dll", ".sph"))]
    check(len(binaries) >= 4, f"only {len(binaries)} programs and libraries unpacked")
    for binary in sorted(binaries):
        name = os.path.relpath(binary, folder)
        dlls, sections, stripped, stamp = imports_and_sections(binary)
        check(dlls <= SYSTEM_DLLS, f"{name} imports non-system DLLs: {sorted(dlls - SYSTEM_DLLS)}")
        debug = sorted(s for s in sections if s.startswith((".debug", ".zdebug", ".stab")))
        check(not debug, f"{name} has debug sections {debug}")
        check(stripped, f"{name} keeps its symbol table")
        # A rebuild of the same commit gives the same bytes: no link time in
        # the header and no build folder inside.
        check(stamp.endswith("1970"), f"{name} carries its link time ({stamp})")
        with open(binary, "rb") as f:
            inside = f.read()
        check(checkout.encode() not in inside, f"{name} holds the path of the checkout {checkout}")
        foreign = FOREIGN_DECODERS.get(name.replace(os.sep, "/"))
        if foreign:
            check(foreign not in inside, f"{name} holds the {foreign.decode()} decoder")
    # The language libraries are pure resources: nothing imported at all.
    for library in ("English.dll", "Japanese.dll"):
        check(not imports_and_sections(os.path.join(folder, library))[0],
              f"{library} imports code")


def check_relink(kit, program, work):
    """The relink folder, unpacked from its zip alone, relinks the LGPL
    plug-ins to the shipped bytes by itself; its source packages are complete."""
    lists = sorted(f[:-len(".relink")] for f in os.listdir(kit) if f.endswith(".relink"))
    shipped = sorted(f[:-4] for f in os.listdir(os.path.join(program, "plugins"))
                     if f[:-4] in RELINKABLE_PLUGINS)
    check(lists == shipped, f"relink lists {lists} for the plug-ins {shipped}")
    out = os.path.join(work, "relinked")
    result = subprocess.run(["sh", os.path.join(kit, "relink.sh"), out],
                            capture_output=True, text=True)
    check(result.returncode == 0, f"relink.sh failed: {result.stderr}")
    for name in lists:
        with open(os.path.join(out, name + ".sph"), "rb") as a, \
                open(os.path.join(program, "plugins", name + ".sph"), "rb") as b:
            check(a.read() == b.read(), f"{name}.sph relinked differs from the shipped one")
    # Every archive is linked by some plug-in; every source file is the one
    # its .dsc names.
    used = set()
    for name in lists:
        with open(os.path.join(kit, name + ".relink"), newline="") as f:
            used |= {line.strip() for line in f if line.strip()}
    archives = {"lib/" + f for f in os.listdir(os.path.join(kit, "lib"))}
    check(archives <= used, f"archives no plug-in links: {sorted(archives - used)}")
    sources = os.path.join(kit, "sources")
    listed = set()
    for dsc in sorted(f for f in os.listdir(sources) if f.endswith(".dsc")):
        with open(os.path.join(sources, dsc)) as f:
            text = f.read()
        block = re.search(r"^Checksums-Sha256:\n((?: .*\n)+)", text, re.M)
        if not check(block, f"{dsc} lists no checksums"):
            continue
        for digest, _, file in (line.split() for line in block.group(1).splitlines()):
            listed.add(file)
            path = os.path.join(sources, file)
            if check(os.path.isfile(path), f"{dsc} lists {file}, which is missing"):
                with open(path, "rb") as f:
                    check(hashlib.sha256(f.read()).hexdigest() == digest, f"{file} is not the file {dsc} names")
    packages = {re.sub(r"_.*", "", f) for f in os.listdir(sources)}
    check({"libheif", "libde265"} <= packages, f"source packages {sorted(packages)}")
    check(set(os.listdir(sources)) - listed == {f for f in os.listdir(sources) if f.endswith(".dsc")},
          "the sources folder holds files no .dsc names")


def fresh_prefix(wine_run, prefix):
    """A new prefix whose profile folders are real folders inside it."""
    subprocess.run(["bash", wine_run, "--prefix", prefix, "--kill"], check=False)
    shutil.rmtree(prefix, ignore_errors=True)
    if os.path.exists(prefix + ".lock"):
        os.remove(prefix + ".lock")
    subprocess.run(["bash", wine_run, "--prefix", prefix, "--init"], check=True)
    users = os.path.join(prefix, "drive_c", "users")
    links = 0
    for root, dirs, files in os.walk(users):
        for name in dirs + files:
            path = os.path.join(root, name)
            if os.path.islink(path):
                os.remove(path)
                os.mkdir(path)
                links += 1
    for root, dirs, files in os.walk(users):
        for name in dirs + files:
            check(not os.path.islink(os.path.join(root, name)),
                  f"{os.path.join(root, name)} still links out of the prefix")
    return links


def main():
    parser = argparse.ArgumentParser()
    for option in ("--package", "--wine-run", "--driver", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    build = os.environ["MORAVEL_BINARY_DIR"]
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    # 1. Reproducible, with the sums of what was packed.
    outputs = package(args.package, build, os.path.join(work, "first"))
    again = package(args.package, build, os.path.join(work, "second"))
    for path, other in zip(outputs, again):
        with open(path, "rb") as a, open(other, "rb") as b:
            check(a.read() == b.read(), f"packing twice gave different {os.path.basename(path)}")
    first, relink_zip, _ = outputs
    check_sums(outputs)
    print(f"zips: {os.path.getsize(first)} and {os.path.getsize(relink_zip)} bytes", flush=True)
    check(os.path.getsize(first) < MAIN_ZIP_LIMIT,
          f"{os.path.basename(first)} is {os.path.getsize(first)} bytes, not under {MAIN_ZIP_LIMIT}")
    versions = os.path.join(build, "library-versions.txt")
    for line in library_versions.older_source_warnings(library_versions.read_versions(versions)):
        print(line, flush=True)

    check_refusals(args.package, os.path.join(work, "refusals"))

    # 2. Contents and imports.
    check_zips(first, relink_zip, build)
    prefix = os.path.join(work, "prefix")
    links = fresh_prefix(args.wine_run, prefix)
    print(f"prefix: {links} profile links replaced by folders", flush=True)
    install = os.path.join(prefix, "drive_c", "Moravel")
    with zipfile.ZipFile(first) as archive:
        archive.extractall(install)
    program = os.path.join(install, TOP)
    # The checkout's root: paths below it differ from one machine to the next.
    check_binaries(program, os.path.dirname(os.path.dirname(os.path.abspath(args.package))))
    kit_only = os.path.join(work, "relink-only")
    with zipfile.ZipFile(relink_zip) as archive:
        archive.extractall(kit_only)
    check_relink(os.path.join(kit_only, TOP, "relink"), program, work)
    help_sources = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "help")
    for problem in check_manual.check_tree(os.path.join(program, "manual"), help_sources, False):
        check(False, f"manual folder: {problem}")

    # 3. Send To end to end, in the prefix, from the unpacked zip.
    sources = os.path.join(work, "pictures")
    os.makedirs(sources)
    env = dict(os.environ)
    env["MORAVEL_RELEASE_PROGRAM"] = "C:\\Moravel\\" + TOP
    env["MORAVEL_RELEASE_WORK"] = sources
    env["MORAVEL_TEST_DATA"] = os.environ.get("MORAVEL_TEST_DATA", "")
    avif = os.path.join(build, "tests", "formats", "avif", "rotated.avif")
    if os.path.isfile(avif):
        env["MORAVEL_RELEASE_AVIF"] = wine_path(avif)
    env.pop("WINEPREFIX", None)
    result = subprocess.run(["bash", args.wine_run, "--prefix", prefix, args.driver], env=env)
    check(result.returncode == 0, f"sendto_e2e_test failed ({result.returncode})")
    # The shortcut is a file of the prefix's own profile, naming the program.
    links = [os.path.join(root, name) for root, _, files in os.walk(os.path.join(prefix, "drive_c"))
             for name in files if name.lower().endswith(".lnk")]
    check([os.path.relpath(link, prefix).split(os.sep)[-2:] for link in links]
          == [["SendTo", "Moravel.lnk"]], f"shortcuts in the prefix: {links}")
    for link in links:
        with open(link, "rb") as f:
            target = ("C:\\Moravel\\" + TOP + "\\Pirex.exe").lower()
            body = f.read().lower()
            check(target.encode("ascii") in body or target.encode("utf-16-le") in body,
                  f"{link} does not name {target}")
    # Nothing was written into the program's folder.
    with zipfile.ZipFile(first) as archive:
        unpacked = {os.path.relpath(os.path.join(r, f), install).replace(os.sep, "/")
                    for r, _, fs in os.walk(install) for f in fs}
        check(unpacked == set(archive.namelist()),
              f"the program's folder changed: {sorted(unpacked ^ set(archive.namelist()))}")
    subprocess.run(["bash", args.wine_run, "--prefix", prefix, "--kill"], check=False)

    return finish("release checks passed")


if __name__ == "__main__":
    sys.exit(main())
