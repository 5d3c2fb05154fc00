#!/usr/bin/env bash
# Whole-batch comparison of moravel with other converters on real photographs.
# Usage: bash bench/compare.sh [--quick]   (--quick: two photographs, one mode)
# Needs the README's set-up; installs the peer converters from Debian's packages.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$root/build/compare"
mkdir -p "$work"

need=()
for pkg in imagemagick graphicsmagick libvips-tools python3-pil libjpeg-turbo-progs time; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get install -y -q "${need[@]}" >/dev/null
fi

# The release build of the command-line front end.
(cd "$root" && { [ -f build/bench/CMakeCache.txt ] || cmake --preset bench >/dev/null; } &&
  cmake --build build/bench --target moravel >/dev/null)

# Real photographs from Debian's wallpaper packages.
corpus="$work/corpus"
if [ ! -f "$corpus/.done" ]; then
  rm -rf "$corpus" && mkdir -p "$corpus/debs"
  (cd "$corpus/debs" && apt-get download lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 2>/dev/null)
  for deb in "$corpus"/debs/*.deb; do dpkg-deb -x "$deb" "$corpus/tree"; done
  mkdir -p "$corpus/jpeg" "$corpus/png" "$corpus/bmp"
  # 20.4, 13.4, 9.8 and 8.0 megapixels.
  for name in Kleiber_by_Lukas_Baubkus Dragonfly_by_Bolly Wine_by_Jakkub_Mede \
              picosdeeuropa_by_Aitzol_Berasategi; do
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
  touch "$corpus/.done"
fi

exec /usr/bin/python3 "$root/bench/compare.py" --moravel "$root/build/bench/cli/moravel" \
  --corpus "$corpus" --work "$work/out" "$@"
