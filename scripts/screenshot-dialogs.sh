#!/usr/bin/env bash
# Screenshots of the language libraries: the options and plug-in dialogs, the
# convert and settings windows' captions and an error box, in every language
# at 9 and 11 pt, drawn by Wine's X11 driver under Xvfb.  A developer tool for
# checking translations and layouts by eye; not part of ctest.
#
#   scripts/screenshot-dialogs.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR: a windows build folder (default build/windows); it builds the
# targets dialog_preview, English and Japanese.  OUT_DIR: where the PNG files
# go (default BUILD_DIR/screenshots).  Japanese text needs a Japanese font on
# the host (Debian's fonts-ipafont-gothic); the prefix maps the libraries'
# face "Meiryo UI" to it.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build/windows}"
build="$(cd "$build" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

for tool in xvfb-run import convert wine; do
  command -v "$tool" >/dev/null || { echo "screenshot-dialogs: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done
if [[ "$(fc-list : family)" != *IPAPGothic* ]]; then
  echo "screenshot-dialogs: no Japanese font (apt-get install fonts-ipafont-gothic)" >&2
  exit 1
fi

cmake --build "$build" --target dialog_preview English Japanese -j2 >/dev/null
preview="$(find "$build" -name dialog_preview.exe -newer "$repo/tests/windows/lang/dialog_preview.cpp" | head -n 1)"
[[ -n "$preview" ]] || preview="$(find "$build" -name dialog_preview.exe | head -n 1)"
libraries="$build/app"

# A prefix of its own with the X11 driver (the test prefix uses the null one).
export WINEPREFIX="$build/wineprefix-x11"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/.screenshot-ready" ]]; then
  rm -rf "$WINEPREFIX"
  # The libraries' Japanese face, and the system fonts of a Japanese Windows
  # (captions, message boxes), drawn with the IPA fonts.
  for face in 'Meiryo UI' 'MS UI Gothic' 'MS PGothic'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'IPAPGothic' /f >/dev/null 2>&1
  done
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Gothic' /d 'IPAGothic' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.screenshot-ready"
fi

shoot() {  # shoot LANGUAGE VIEW POINTS
  local name="$out/$1-$2-$3pt.png" target="$libraries/$1.dll"
  local locale=en_US.UTF-8
  # Japanese text runs on a Japanese Windows (code page 932, Japanese system fonts).
  [[ "$1" == Japanese ]] && locale=ja_JP.UTF-8
  # "program": the real Pirex.exe, which picks its language from the UI language.
  [[ "$2" == program ]] && target="$libraries/Pirex.exe"
  LANG=$locale LC_ALL=$locale wine explorer /desktop=shot,1024x768 "$preview" "$target" "$2" "$3" 6000 &
  local pid=$!
  sleep 4
  import -window root "$name.full.png"
  wait "$pid" || true
  # The desktop is one flat colour: cut it away, keep a small border.
  convert "$name.full.png" -trim -bordercolor '#3a6ea5' -border 6 "$name"
  rm -f "$name.full.png"
  echo "$name"
}

# Under Xvfb this script runs itself again to take the pictures.
if [[ -z "${MORAVEL_SCREENSHOT_DISPLAY:-}" ]]; then
  MORAVEL_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$out"
  exit
fi
for language in English Japanese; do
  for points in 9 11; do
    for view in options plugins windows; do shoot "$language" "$view" "$points"; done
  done
  shoot "$language" error 9
  # The program's own settings window, when the build has it (default font).
  if [[ -f "$libraries/Pirex.exe" ]]; then shoot "$language" program 9; fi
done
wineserver -k || true
