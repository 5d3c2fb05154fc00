#!/usr/bin/env bash
# Builds the static libjpeg-turbo (jpeg8 interface, library version 80) from
# Debian's source package and installs it into the dependency cache:
#
#   scripts/build-libjpeg.sh [native] [windows]     (default: both)
#
#   <deps>/libjpeg-native/{include,lib/libjpeg.a}
#   <deps>/libjpeg-windows/{include,lib/libjpeg.a}
#
# <deps> is $MORAVEL_DEPS_DIR, else <repository>/build/deps.  A target whose
# cached install exists is skipped.  The source package is fetched once with
# `apt-get source --download-only` (source entries must be enabled; that is
# what scripts/setup.sh does) and kept in <deps>/src.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
deps="${MORAVEL_DEPS_DIR:-$repo/build/deps}"
quiet="${MORAVEL_QUIET:-0}"

targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(native windows)

# Everything that changes the built library goes into the stamp.
config_flags=(-DWITH_JPEG8=1 -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0
              -DWITH_SIMD=1 -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DCMAKE_BUILD_TYPE=Release)
stamp_text="libjpeg-turbo ${config_flags[*]}"

say() { [[ "$quiet" == 1 ]] || echo "build-libjpeg: $*"; }
die() { echo "build-libjpeg: error: $*" >&2; exit 1; }

is_cached() {
  local out="$deps/libjpeg-$1"
  [[ -f "$out/lib/libjpeg.a" && -f "$out/include/jpeglib.h" && -f "$out/include/jconfig.h" \
     && -f "$out/.stamp" ]] && [[ "$(head -n1 "$out/.stamp")" == "$stamp_text" ]]
}

todo=()
for t in "${targets[@]}"; do
  case "$t" in native|windows) ;; *) die "unknown target '$t' (native or windows)";; esac
  is_cached "$t" || todo+=("$t")
done
[[ ${#todo[@]} -gt 0 ]] || exit 0

mkdir -p "$deps"
# One builder at a time (two configure runs may call this together).
exec 8>"$deps/.libjpeg.lock"
flock 8

# ---- source package --------------------------------------------------------
# shellcheck source=debian-source.sh
source "$here/debian-source.sh"
fetch_source libjpeg-turbo "$deps/src"
work="$deps/work"
src="$work/libjpeg-turbo-src"
rm -rf "$work"
mkdir -p "$work"
version="$(unpack_source libjpeg-turbo "$deps/src" "$src")"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
command -v nasm >/dev/null || say "warning: nasm not found, building without SIMD"

for t in "${todo[@]}"; do
  start=$SECONDS
  bld="$work/build-$t"
  out="$deps/libjpeg-$t"
  extra=()
  if [[ "$t" == windows ]]; then
    extra=(-DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw64.cmake")
  fi
  say "building $version for $t"
  log="$work/build-$t.log"
  if ! { cmake -S "$src" -B "$bld" "${generator[@]}" "${config_flags[@]}" "${extra[@]}" \
           -DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_INSTALL_LIBDIR=lib \
         && cmake --build "$bld" --target jpeg-static -j "$(nproc)"; } >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    die "building libjpeg-turbo for $t failed (full log: $log)"
  fi
  simd="$(grep -E '^WITH_SIMD:' "$bld/CMakeCache.txt" | cut -d= -f2)"
  [[ "$simd" == 1 || "$simd" == ON ]] || say "warning: SIMD code disabled for $t"

  rm -rf "$out"
  mkdir -p "$out/lib" "$out/include"
  lib="$(find "$bld" -maxdepth 1 -name 'libjpeg.a' | head -n1)"
  [[ -n "$lib" ]] || die "libjpeg.a not found in $bld"
  cp "$lib" "$out/lib/libjpeg.a"
  cp "$bld/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$out/include/"
  grep -q 'JPEG_LIB_VERSION *80' "$out/include/jconfig.h" \
    || die "jconfig.h does not declare JPEG_LIB_VERSION 80"
  printf '%s\n%s\n' "$stamp_text" "$version" >"$out/.stamp"
  say "installed $out ($((SECONDS - start)) s)"
done
rm -rf "$work"
