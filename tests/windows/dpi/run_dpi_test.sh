#!/usr/bin/env bash
# Runs dpi_layout_test in a prefix of its own at 96 DPI (which writes the
# reference rectangles) and then at 120, 144 and 192 DPI, so that the shared
# test prefix keeps 96.
#
#   run_dpi_test.sh PREFIX dpi_layout_test.exe REFERENCE [gtest arguments...]
set -euo pipefail
prefix="$1"
program="$2"
reference="$3"
shift 3

: "${MORAVEL_SOURCE_DIR:?run through ctest}"
wine_run=("$MORAVEL_SOURCE_DIR/scripts/wine-run.sh" --prefix "$prefix")
"${wine_run[@]}" --init
rm -f -- "$reference"
export MORAVEL_DPI_REFERENCE="$reference"
status=0
for dpi in 96 120 144 192; do
  "${wine_run[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null
  echo "== $dpi DPI"
  MORAVEL_DPI="$dpi" "${wine_run[@]}" "$program" "$@" || status=1
  [[ -s "$reference" ]] || { echo "run_dpi_test.sh: no reference written" >&2; exit 1; }
done
"${wine_run[@]}" --kill || true
exit "$status"
