#!/usr/bin/env bash
# Screenshots of the real Pirex.exe: the convert window, the settings window,
# the options and plug-in dialogs and the About window, in English and
# Japanese at the normal and the large font, drawn by Wine's X11 driver under
# Xvfb. A developer tool (not part of ctest); look at every picture it makes.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR: a windows build folder (default build/windows); the script
# builds what it needs there. OUT_DIR: where the PNG files go (default
# BUILD_DIR/screenshots), named <language>-<scene>-<normal|large>.png.
# The manual and the README use the English normal-font ones taken at 144 DPI
# (below), copied to help/images/; the pages show them at their 96-DPI size.
# MORAVEL_SCREENSHOT_DPI=144 (or 120, 192) sets the display's DPI; the names
# then end in -<dpi>dpi.
set -euo pipefail

dpi="${MORAVEL_SCREENSHOT_DPI:-96}"
[[ "$dpi" =~ ^[0-9]+$ && "$dpi" -ge 96 && "$dpi" -le 480 ]] || {
  echo "screenshots: MORAVEL_SCREENSHOT_DPI must be 96 to 480" >&2
  exit 1
}
suffix=""
[[ "$dpi" != 96 ]] && suffix="-${dpi}dpi"
# The desktop grows with the DPI so that every window fits.
desktop_width=$((1024 * dpi / 96))
desktop_height=$((768 * dpi / 96))

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build/windows}"
build="$(cd "$build" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

for tool in xvfb-run import convert zopflipng wine wineserver; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done
if [[ "$(fc-list : family)" != *IPAPGothic* ]]; then
  echo "screenshots: no Japanese font (apt-get install fonts-ipafont-gothic)" >&2
  exit 1
fi

# Under Xvfb this script runs itself again to take the pictures.
if [[ -z "${MORAVEL_SCREENSHOT_DISPLAY:-}" ]]; then
  cmake --build "$build" --target Pirex English Japanese screenshot_driver \
    webp_plugin heif_plugin avif_plugin -j2 >/dev/null
  MORAVEL_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 ${desktop_width}x${desktop_height}x24" \
    "$0" "$build" "$out"
  exit
fi

driver="$(find "$build/tests/windows/settings" -name screenshot_driver.exe | head -n 1)"
[[ -n "$driver" && -f "$build/app/Pirex.exe" ]] || { echo "screenshots: build incomplete" >&2; exit 1; }

# A prefix of its own with the X11 driver (the test prefix uses the null one).
export WINEPREFIX="$build/wineprefix-screenshots"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs; no menu entries or links outside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [[ ! -f "$WINEPREFIX/.screenshots-ready" ]]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # The Japanese library's face and the system fonts of a Japanese Windows
  # (captions, dialogs), drawn with Debian's IPA fonts.
  for face in 'Meiryo UI' 'MS UI Gothic' 'MS PGothic'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'IPAPGothic' /f >/dev/null 2>&1
  done
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Gothic' /d 'IPAGothic' /f >/dev/null 2>&1
  wineserver -w
  # Wine draws the caption buttons with its Marlett font; without a copy in
  # the prefix they come out as plain letters.
  if [[ -f /usr/share/wine/fonts/marlett.ttf ]]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  # The profile's Desktop links to $HOME: make it a folder of the prefix.
  for profile in "$WINEPREFIX"/drive_c/users/*/; do
    desktop="${profile%/}/Desktop"
    if [[ -L "$desktop" ]]; then rm -f -- "$desktop"; fi
    mkdir -p -- "$desktop"
  done
  touch "$WINEPREFIX/.screenshots-ready"
fi

# The display's DPI, set on every run so that a run without it is back at 96.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wineserver -w

winpath() { echo "Z:${1//\//\\}"; }

# A settings file next to the program: language, font height, plug-in folder,
# and the Send To migration already done (the shortcuts are left alone).
write_settings() {  # FILE LANGUAGE FONT_HEIGHT PLUGIN_FOLDER
  /usr/bin/python3 - "$@" <<'EOF'
import struct, sys
path, language, height, plugins = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
slots = [(0, 0)] * 19
data = b""
def text(slot, value):
    global data
    raw = value.encode("utf-16-le")
    slots[slot] = (156 + len(data), len(raw)) if raw else (0, 0)
    data += raw
def number(slot, value):
    slots[slot] = (1, value & 0xFFFFFFFF)
text(0, language)
number(1, height)
number(2, 85)
number(5, 300)
number(7, 2)
number(8, 1280)
text(11, "Output")
text(13, plugins)
number(15, 1)
number(16, 1)
with open(path, "wb") as f:
    f.write(struct.pack("<HH", 19, 0x0A9A))
    for a, b in slots:
        f.write(struct.pack("<II", a, b))
    f.write(data)
EOF
}

storing=()  # the zopflipng runs still storing pictures
take() {  # STATE SCENE OUTPUT: waits for the driver's rectangle, shoots, crops
  local state="$1" scene="$2" picture="$3"
  for _ in $(seq 1 300); do
    [[ -f "$state/$scene.rect" ]] && break
    sleep 0.1
  done
  [[ -f "$state/$scene.rect" ]] || { echo "screenshots: no $scene" >&2; return 1; }
  read -r x y width height < "$state/$scene.rect"
  import -window root "$state/full.png"
  convert "$state/full.png" -crop "${width}x${height}+${x}+${y}" +repage "$state/$scene-cropped.png"
  touch "$state/$scene.done"
  # Stored as small as the pixels allow (the manual's pictures go into the
  # download twice: Pirex.chm and manual/), beside the next scene: at 192 DPI
  # one picture takes longer than the driver waits for the next.
  zopflipng -y -m --filters=0me "$state/$scene-cropped.png" "$picture" >/dev/null &
  storing+=($!)
  echo "$picture"
}

for language in English Japanese; do
  locale=en_US.UTF-8
  # Japanese text runs on a Japanese Windows (code page 932, Japanese system fonts).
  [[ "$language" == Japanese ]] && locale=ja_JP.UTF-8
  for size in normal large; do
    height=-12
    [[ "$size" == large ]] && height=-14
    stage="$build/screenshot-stage/$language-$size"
    rm -rf "$stage"
    mkdir -p "$stage/state" "$stage/pictures"
    cp "$build/app/Pirex.exe" "$build/app/English.dll" "$build/app/Japanese.dll" "$stage/"
    # The plug-ins that ship, where a user would unpack them.
    plugins="$WINEPREFIX/drive_c/Moravel/plugins"
    rm -rf "$plugins" && mkdir -p "$plugins"
    cp "$build"/app/plugins/*.sph "$plugins/"
    cp "$repo/tests/data/bmp/rgb24.bmp" "$stage/pictures/photo.bmp"
    write_settings "$stage/Pirex.ini" "$language" "$height" 'C:\Moravel\plugins'

    LANG=$locale LC_ALL=$locale wine explorer /desktop=shot,${desktop_width}x${desktop_height} "$(winpath "$driver")" \
      convert "$(winpath "$stage/Pirex.exe")" "$(winpath "$stage/state")" \
      "$(winpath "$stage/pictures/photo.bmp")" &
    take "$stage/state" convert "$out/$language-convert-$size$suffix.png"
    wait $! || true

    LANG=$locale LC_ALL=$locale wine explorer /desktop=shot,${desktop_width}x${desktop_height} "$(winpath "$driver")" \
      settings "$(winpath "$stage/Pirex.exe")" "$(winpath "$stage/state")" &
    for scene in settings options plugins about; do
      take "$stage/state" "$scene" "$out/$language-$scene-$size$suffix.png"
    done
    wait $! || true
  done
done
wineserver -k || true
for pid in "${storing[@]}"; do wait "$pid"; done
