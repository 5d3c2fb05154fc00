#!/usr/bin/env bash
# Builds the Windows release and packs it as dist/Moravel-<version>-win64.zip:
#
#   scripts/package.sh [--build-dir DIR] [--out DIR] [--no-build]
#
# The zip holds Pirex.exe, moravel.exe, the language libraries, Pirex.chm, a
# read-me for users and the licences of the libraries linked in. It is
# reproducible: the same commit gives the same bytes (fixed order, times and
# permissions; see scripts/release/make_zip.py).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
build="$repo/build/windows"
out="$repo/dist"
do_build=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build="$(realpath -m "$2")"; shift 2 ;;
    --out) out="$(realpath -m "$2")"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) echo "package.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
version=2.7.3.0
say() { echo "package: $*"; }

if [[ $do_build == 1 ]]; then
  say "building the windows preset (Release) in $build"
  cmake --preset windows -B "$build" --log-level=WARNING >/dev/null
  cmake --build "$build" -j "$(nproc)" --target Pirex moravel language_libraries manual
fi

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/licenses"
need() { [[ -f "$1" ]] || { echo "package.sh: missing $1 (build first)" >&2; exit 1; }; cp "$1" "$2"; }
need "$build/app/Pirex.exe" "$stage/"
need "$build/cli/moravel.exe" "$stage/"
need "$build/app/English.dll" "$stage/"
need "$build/app/Japanese.dll" "$stage/"
need "$build/app/Pirex.chm" "$stage/"
cp "$here/release/ReadMe.txt" "$stage/ReadMe.txt"

# Licence texts of what is linked into the programs.
jpeg_src="$(ls "${MORAVEL_DEPS_DIR:-$repo/build/deps}"/src/libjpeg-turbo/libjpeg-turbo_*.orig.tar.gz | head -n1)"
tar -xzf "$jpeg_src" -C "$stage" --wildcards '*/LICENSE.md' '*/README.ijg'
mv "$stage"/libjpeg-turbo-*/LICENSE.md "$stage/licenses/libjpeg-turbo-LICENSE.md"
mv "$stage"/libjpeg-turbo-*/README.ijg "$stage/licenses/libjpeg-turbo-README.ijg"
rmdir "$stage"/libjpeg-turbo-*
need /usr/share/doc/libz-mingw-w64-dev/copyright "$stage/licenses/zlib-copyright.txt"
need /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-runtime-copyright.txt"

# Plain-text files get Windows line ends so Notepad shows them properly.
for f in "$stage/ReadMe.txt" "$stage"/licenses/*; do sed -i 's/\r$//; s/$/\r/' "$f"; done

mkdir -p "$out"
zip="$out/Moravel-$version-win64.zip"
/usr/bin/python3 "$here/release/make_zip.py" "$stage" "$zip" "Moravel-$version"
say "$zip ($(stat -c %s "$zip") bytes; Pirex.exe $(stat -c %s "$stage/Pirex.exe") bytes)"
