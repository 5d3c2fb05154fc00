#!/usr/bin/env bash
# Fetches the bench photographs once into CORPUS (jpeg/, png/, bmp/):
#
#   bench/fetch-photos.sh CORPUS
#
set -euo pipefail
corpus="$1"
# Real photographs from Debian's wallpaper packages: 20.4, 13.4, 9.8 and 8.0
# megapixels, 51.6 in all (three of them progressive, one with an EXIF block).
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

