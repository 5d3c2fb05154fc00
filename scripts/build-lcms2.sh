#!/usr/bin/env bash
# Builds Little CMS 2 (colour profiles) from Debian's lcms2 source package,
# static, for the Linux program and for the Windows programs and plug-ins,
# with the same compiler flags for both, and installs it into the dependency
# cache:
#
#   scripts/build-lcms2.sh [native] [windows]       (default: both)
#
#   <deps>/lcms2-<target>/{include/lcms2.h,lib/liblcms2.a,licences/lcms2-COPYING.txt,src}
#
# src keeps the library's C sources, so that the fuzz build can compile them
# with its coverage and sanitizers.
#
# Both targets compile the same C files with -O2 and no fused multiply-add,
# on x86-64's SSE2 arithmetic, so the transforms they build give the same
# bytes. The library's own build system is not used: it is 27 C files with
# no configuration.
#
# <deps> is $MORAVEL_DEPS_DIR, else <repository>/build/deps.  A target whose
# cached install carries the current stamp is skipped.  The source package is
# fetched once with `apt-get source --download-only` (deb-src entries are
# enabled by scripts/setup.sh) and kept in <deps>/src.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
deps="${MORAVEL_DEPS_DIR:-$repo/build/deps}"
quiet="${MORAVEL_QUIET:-0}"

targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(native windows)

say() { [[ "$quiet" == 1 ]] || echo "build-lcms2: $*"; }
die() { echo "build-lcms2: error: $*" >&2; exit 1; }

# Everything that changes the built library goes into the stamp.
# -fwrapv: the library's fixed-point arithmetic overflows on absurd profile
# values and counts on wrapping around.
cflags=(-O2 -ffp-contract=off -fno-strict-aliasing -fwrapv -DNDEBUG)
stamp_text="lcms2 ${cflags[*]}"

compiler_of() {
  case "$1" in
    native) echo gcc ;;
    windows)
      local triplet
      triplet="$(sed -n 's/^set(MORAVEL_MINGW_TRIPLET \(.*\))$/\1/p' "$repo/cmake/toolchain-mingw64.cmake")"
      [[ -n "$triplet" ]] || die "no MORAVEL_MINGW_TRIPLET in the toolchain file"
      echo "$triplet-gcc-posix" ;;
  esac
}
archiver_of() {
  case "$1" in
    native) echo ar ;;
    windows) echo "$(compiler_of windows | sed 's/-gcc-posix$//')-ar" ;;
  esac
}

is_cached() {
  local out="$deps/lcms2-$1"
  [[ -f "$out/lib/liblcms2.a" && -f "$out/include/lcms2.h" && -f "$out/src/lcms2_plugin.h" \
     && -f "$out/.stamp" ]] \
    && [[ "$(head -n1 "$out/.stamp")" == "$stamp_text" ]]
}

todo=()
for t in "${targets[@]}"; do
  case "$t" in native|windows) ;; *) die "unknown target '$t' (native or windows)";; esac
  is_cached "$t" || todo+=("$t")
done
[[ ${#todo[@]} -gt 0 ]] || exit 0

mkdir -p "$deps"
exec 8>"$deps/.lcms2.lock"
flock 8

# shellcheck source=debian-source.sh
source "$here/debian-source.sh"
fetch_source lcms2 "$deps/src"
work="$deps/work-lcms2"
rm -rf "$work" && mkdir -p "$work"
version="$(unpack_source lcms2 "$deps/src" "$work/lcms2")"

for t in "${todo[@]}"; do
  start=$SECONDS
  cc="$(compiler_of "$t")" ar="$(archiver_of "$t")"
  command -v "$cc" >/dev/null || die "$cc not found (run scripts/setup.sh)"
  extra=()
  [[ $t == native ]] && extra=(-fPIC)
  objects="$work/obj-$t" log="$work/build-$t.log"
  mkdir -p "$objects"
  for c in "$work/lcms2/src/"*.c; do
    "$cc" "${cflags[@]}" "${extra[@]}" "-ffile-prefix-map=$work/=" -I"$work/lcms2/include" \
      -c "$c" -o "$objects/$(basename "$c" .c).o" >>"$log" 2>&1 \
      || { tail -n 40 "$log" >&2; die "compiling $(basename "$c") for $t failed"; }
  done
  out="$deps/lcms2-$t"
  rm -rf "$out" && mkdir -p "$out/lib" "$out/include" "$out/licences"
  "$ar" rcsD "$out/lib/liblcms2.a" "$objects"/*.o
  cp "$work/lcms2/include/lcms2.h" "$out/include/"
  mkdir -p "$out/src"
  cp "$work/lcms2/src/"*.c "$work/lcms2/src/"*.h "$work/lcms2/include/"*.h "$out/src/"
  cp "$work/lcms2/COPYING" "$out/licences/lcms2-COPYING.txt"
  printf '%s\n%s\n' "$stamp_text" "$version" >"$out/.stamp"
  say "installed $out ($version, $((SECONDS - start)) s)"
done
rm -rf "$work"
