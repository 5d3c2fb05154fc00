#!/usr/bin/env bash
# Measures the release as a user gets it: the zip's and Pirex.exe's sizes,
# and the time from starting the unpacked Pirex.exe until its settings window
# is visible, under Wine in a fresh prefix (a measurement, not a test).
#
#   scripts/release/measure-startup.sh [--build-dir DIR] [--runs N]
#
# DIR is a Release build of the windows preset (default build/windows) with
# the zip's programs and tests/release/startup_timer.exe built:
#   cmake --build DIR --target Pirex moravel language_libraries manual startup_timer
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$(dirname "$here")")"
build="$repo/build/windows"
runs=7
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build="$(realpath -m "${2:?--build-dir needs a folder}")"; shift 2 ;;
    --runs) runs="${2:?--runs needs a number}"; shift 2 ;;
    *) echo "measure-startup.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
timer="$build/tests/release/startup_timer.exe"
[[ -f "$timer" ]] || { echo "measure-startup.sh: missing $timer (build the startup_timer target)" >&2; exit 1; }

work="$build/release-measure"
rm -rf "$work"
mkdir -p "$work"
"$repo/scripts/package.sh" --no-build --build-dir "$build" --out "$work" >/dev/null
zip="$(ls "$work"/Moravel-*-win64.zip)"
wine_run="$repo/scripts/wine-run.sh"
"$wine_run" --prefix "$work/prefix" --init
# The settings file goes to the profile: keep the profile's folders inside.
find "$work/prefix/drive_c/users" -type l | while read -r link; do rm "$link" && mkdir "$link"; done
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$zip" "$work/prefix/drive_c/Moravel"
program="$(ls -d "$work"/prefix/drive_c/Moravel/Moravel-*)"

echo "zip:       $(stat -c %s "$zip") bytes ($(basename "$zip"))"
echo "Pirex.exe: $(stat -c %s "$program/Pirex.exe") bytes"
echo "moravel.exe: $(stat -c %s "$program/moravel.exe") bytes"
echo "start until the settings window is visible (Wine $(wine --version 2>/dev/null || echo '?'), null display driver):"

"$wine_run" --prefix "$work/prefix" "$timer" "C:\\Moravel\\$(basename "$program")\\Pirex.exe" "$runs"
"$wine_run" --prefix "$work/prefix" --kill
