#!/usr/bin/env python3
"""The third-party library versions of a build (library-versions.txt).

    library_versions.py check MORAVEL [WRAPPER...] VERSIONS_TXT
        moravel --version names every library with the build's version,
        including the Debian revision; a source older than the newest one apt
        knows gives a warning line naming both (not a failure).
    library_versions.py fill READ_ME VERSIONS_TXT
        replaces the line @LIBRARIES@ of READ_ME with the list of libraries,
        saying which were built from an older source than Debian's newest.
"""
import subprocess
import sys

REQUIRED = ["libjpeg-turbo", "zlib", "libwebp", "libheif", "libde265", "dav1d"]


def read_versions(path):
    """[(name, source package, version)] in the order of the file."""
    with open(path, encoding="utf-8") as f:
        return [tuple(line.split()) for line in f if line.strip()]


def newest_known(package):
    """The newest version of a source package apt knows, or None."""
    try:
        listing = subprocess.run(["apt-cache", "showsrc", package], capture_output=True,
                                 text=True, check=False).stdout
    except OSError:
        return None
    known = [line.split()[1] for line in listing.splitlines() if line.startswith("Version:")]
    if not known:
        return None
    return max(known, key=lambda v: DebianVersion(v))


class DebianVersion:
    """Orders Debian version strings as dpkg does (dpkg --compare-versions)."""

    def __init__(self, text):
        self.text = text

    def __lt__(self, other):
        return subprocess.run(["dpkg", "--compare-versions", self.text, "lt", other.text],
                              check=False).returncode == 0


def without_epoch(version):
    return version.split(":", 1)[-1]


def older_source_warnings(versions):
    lines = []
    for name, package, version in versions:
        newest = newest_known(package)
        # Source file names (and so the stamps) leave out the epoch.
        if newest and DebianVersion(without_epoch(version)) < DebianVersion(without_epoch(newest)):
            lines.append(f"warning: {name} is built from {package} {version}, "
                         f"older than {newest} that apt knows")
    return lines


def read_me_lines(versions):
    """The read-me's list: one library a line, with its Debian version."""
    lines = []
    for name, package, version in versions:
        newest = newest_known(package)
        line = f"  {name} {version}"
        if newest and DebianVersion(without_epoch(version)) < DebianVersion(without_epoch(newest)):
            line += f" (older than Debian's newest, {newest})"
        lines.append(line)
    return lines


def fill(read_me, versions_path):
    with open(read_me, encoding="utf-8") as f:
        text = f.read()
    if "@LIBRARIES@\n" not in text:
        print(f"FAIL: {read_me} has no line @LIBRARIES@", file=sys.stderr)
        return 1
    listing = "\n".join(read_me_lines(read_versions(versions_path)))
    with open(read_me, "w", encoding="utf-8") as f:
        f.write(text.replace("@LIBRARIES@", listing))
    return 0


def check(command, versions_path):
    versions = read_versions(versions_path)
    names = [name for name, _, _ in versions]
    failures = [f"{name} is missing from {versions_path}" for name in REQUIRED
                if name not in names]
    shown = subprocess.run(command + ["--version"], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    expected = [f"{name} {version}" for name, _, version in versions]
    if shown[1:] != expected:
        failures.append(f"moravel --version lists {shown[1:]}, the build used {expected}")
    failures += [f"{name} {version} has no Debian revision" for name, _, version in versions
                 if "-" not in version]
    for line in older_source_warnings(versions):
        print(line)
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2:-1], sys.argv[-1]))
    if len(sys.argv) == 4 and sys.argv[1] == "fill":
        sys.exit(fill(sys.argv[2], sys.argv[3]))
    sys.exit(__doc__)
