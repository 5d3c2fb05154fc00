#!/usr/bin/env bash
# Converts every test picture with every format and a spread of options into
# OUTDIR, one sub-folder per option set, so two builds can be compared byte
# for byte:
#
#   scripts/golden-batch.sh OLD_MORAVEL /tmp/old
#   scripts/golden-batch.sh build/native/cli/moravel /tmp/new
#   diff -r /tmp/old /tmp/new && echo identical
#
# Extra source folders (for example the comparison's photographs) can follow
# OUTDIR. The same source name in two folders exercises the +1, +2 naming.
set -uo pipefail
moravel="$1"; out="$2"; shift 2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mapfile -t sources < <(find "$here/tests/data" "$here/tests/formats/data" "$@" -type f \
  \( -iname '*.bmp' -o -iname '*.png' -o -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.gif' \
     -o -iname '*.tif' -o -iname '*.tiff' -o -iname '*.webp' -o -iname '*.heic' -o -iname '*.avif' \) \
  | sort)
rm -rf "$out" && mkdir -p "$out"
sets=(
  "--format bmp"
  "--format png"
  "--format gif"
  "--format jpeg"
  "--format jpeg --quality 92 --subsampling 444"
  "--format jpeg --subsampling 422 --size-limit 8"
  "--format jpegcopy"
  "--format png --keep-transparency"
  "--format gif --keep-transparency"
  "--format png --resize long:40"
  "--format bmp --resize width:17"
  "--format jpeg --resize height:33"
  "--format gif --resize long:64 --keep-transparency"
)
i=0
for set in "${sets[@]}"; do
  dir="$out/$(printf '%02d' $i)"; mkdir -p "$dir"
  # shellcheck disable=SC2086
  "$moravel" $set --output-folder "$dir" "${sources[@]}" >/dev/null 2>&1
  echo "$set: $(ls "$dir" | wc -l) files"
  i=$((i + 1))
done
