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

corpus="$work/corpus"
bash "$root/bench/fetch-photos.sh" "$corpus"

exec /usr/bin/python3 "$root/bench/compare.py" --moravel "$root/build/bench/cli/moravel" \
  --corpus "$corpus" --work "$work/out" "$@"
