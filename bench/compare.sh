#!/usr/bin/env bash
# Whole-batch comparison of moravel with other converters on real photographs.
#
# Usage: bash bench/compare.sh [--quick] [--repeat N] [--jobs W1,W3] [--modes single,default]
#   --quick      two photographs, single-threaded mode only (a smoke run)
#   --repeat N   run every command N times and keep the best of each measure
# Other options are handed to compare.py (see `compare.py --help`).
#
# Needs the README's set-up (scripts/setup.sh: compilers, CMake, Ninja, libjpeg-turbo).
# Installs the peer converters from Debian's packages when they are missing
# (root or sudo), fetches the photographs from Debian's wallpaper packages, builds
# moravel in the `bench` preset and writes the table to build/compare/results.md.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$root/build/compare"
mkdir -p "$work"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

need=()
for pkg in imagemagick graphicsmagick libvips-tools python3-pil libjpeg-turbo-progs time; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}" >&2
  as_root apt-get install -y -q "${need[@]}" >/dev/null ||
    { as_root apt-get update -q >/dev/null && as_root apt-get install -y -q "${need[@]}" >/dev/null; }
fi

# The release build of the command-line front end. An existing build/bench folder
# (perhaps configured by hand with another generator) is reused as it is.
echo "building moravel (bench preset)" >&2
(cd "$root" && { [ -f build/bench/CMakeCache.txt ] || cmake --preset bench >/dev/null; } &&
  cmake --build build/bench --target moravel -j "$(nproc)" >/dev/null)

# Real photographs from Debian's wallpaper packages: 20.4, 13.4, 9.8 and 8.0
# megapixels, 51.6 in all (three of them progressive, one with an EXIF block).
corpus="$work/corpus"
photos=(Kleiber_by_Lukas_Baubkus Dragonfly_by_Bolly Wine_by_Jakkub_Mede
        picosdeeuropa_by_Aitzol_Berasategi)
if [ ! -f "$corpus/.done" ]; then
  echo "fetching the photographs" >&2
  rm -rf "$corpus" && mkdir -p "$corpus/debs"
  if ! (cd "$corpus/debs" && apt-get download -q lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 \
        >/dev/null); then
    echo "apt-get download failed; run 'apt-get update' (as root) and try again" >&2
    exit 1
  fi
  for deb in "$corpus"/debs/*.deb; do dpkg-deb -x "$deb" "$corpus/tree"; done
  mkdir -p "$corpus/jpeg" "$corpus/png" "$corpus/bmp"
  for name in "${photos[@]}"; do
    cp "$corpus/tree/usr/share/backgrounds/$name.jpg" "$corpus/jpeg/"
  done
  # PNG and BMP copies made by an independent tool.
  /usr/bin/python3 - "$corpus" <<'PY'
import sys, pathlib
from PIL import Image
root = pathlib.Path(sys.argv[1])
for jpg in sorted((root / "jpeg").glob("*.jpg")):
    img = Image.open(jpg).convert("RGB")
    img.save(root / "png" / (jpg.stem + ".png"), compress_level=6)
    img.save(root / "bmp" / (jpg.stem + ".bmp"))
PY
  rm -rf "$corpus/debs" "$corpus/tree"
  touch "$corpus/.done"
fi

exec /usr/bin/python3 "$root/bench/compare.py" --moravel "$root/build/bench/cli/moravel" \
  --corpus "$corpus" --work "$work/out" "$@"
