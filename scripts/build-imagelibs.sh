#!/usr/bin/env bash
# Builds the picture libraries of the import plug-ins (webp.sph, heif.sph,
# avif.sph) and of `moravel` on Linux from Debian's source packages, static,
# and installs them into the dependency cache:
#
#   scripts/build-imagelibs.sh [windows|native] [webp] [heif]
#                                    (default: windows, both libraries)
#
#   <deps>/libwebp-<target>/{include/webp,lib/libwebp.a,lib/libwebpdecoder.a,lib/libwebpdemux.a}
#   <deps>/libheif-<target>/{include/libheif,lib/libheif.a,lib/libde265.a,lib/libdav1d.a}
#   <deps>/libheif-windows/lib/{libheif-hevc.a,libheif-av1.a}
#
# windows is cross-built with mingw-w64, native with the machine's gcc.
# libheif.a carries both decoders, libde265 (HEVC) and dav1d (AV1); its
# decoder registry refers to both, so a link keeps both. For Windows the same
# source is built twice more with one decoder each: heif.sph links
# libheif-hevc.a with libde265, avif.sph libheif-av1.a with dav1d.
#
# The libraries keep their internal checks (assert). A failed one must cost
# one file, not end the process: on Windows the plug-ins take the place of
# the runtime's assert (plugins/formats/susie_shell.cpp); natively the
# libraries are compiled against imagelibs/assert.h, whose assert calls
# moravel_library_check_failed, which the program defines
# (formats/library_check.cpp).
#
# <deps> is $MORAVEL_DEPS_DIR, else <repository>/build/deps.  A library whose
# cached install carries the current stamp is skipped, so a CI run builds each
# once for all its configurations. libwebp.a (decoder and encoder, for
# moravel's WebP output) is the marker of a complete libwebp install, and
# libheif-av1.a (installed last) that of a complete Windows libheif install.  Source packages are fetched with
# `apt-get source --download-only` (deb-src entries are enabled by
# scripts/setup.sh) and kept in <deps>/src.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
deps="${MORAVEL_DEPS_DIR:-$repo/build/deps}"
quiet="${MORAVEL_QUIET:-0}"
toolchain="$repo/cmake/toolchain-mingw64.cmake"

target=windows
libs=()
for arg in "$@"; do
  case "$arg" in
    windows|native) target="$arg" ;;
    *) libs+=("$arg") ;;
  esac
done
[[ ${#libs[@]} -gt 0 ]] || libs=(webp heif)

say() { [[ "$quiet" == 1 ]] || echo "build-imagelibs: $*"; }
die() { echo "build-imagelibs: error: $*" >&2; exit 1; }

work="$deps/work-imagelibs-$target"
# Source paths inside the libraries (their assert texts) start at the source
# folder, not at this checkout: the plug-ins do not depend on where they were
# built. The libraries keep their internal checks; the programs catch them.
path_map="-ffile-prefix-map=$work/="
if [[ $target == windows ]]; then
  target_flags=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  check_flags=""
else
  # Position-independent for Debian's PIE programs; unwind tables in the C
  # libraries too, so a failed check's exception crosses their frames.
  target_flags=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON)
  check_flags="-fexceptions -I$here/imagelibs"
fi
common_flags=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS_RELEASE=-O2 $path_map${check_flags:+ $check_flags}"
              "-DCMAKE_CXX_FLAGS_RELEASE=-O2 $path_map${check_flags:+ $check_flags}"
              -DBUILD_SHARED_LIBS=OFF "${target_flags[@]}")
webp_flags=(-DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF
            -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF
            -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_BUILD_WEBPMUX=OFF
            -DWEBP_BUILD_EXTRAS=OFF -DWEBP_USE_THREAD=OFF)
de265_flags=(-DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF -DDISABLE_SSE=OFF)
heif_flags=(-DWITH_LIBDE265=ON -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF
            -DWITH_DAV1D=ON -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF -DWITH_JPEG_DECODER=OFF
            -DWITH_JPEG_ENCODER=OFF -DWITH_OpenJPEG_DECODER=OFF -DWITH_OpenJPEG_ENCODER=OFF
            -DWITH_EXAMPLES=OFF -DWITH_GDK_PIXBUF=OFF -DBUILD_TESTING=OFF -DENABLE_PLUGIN_LOADING=OFF
            -DWITH_FUZZERS=OFF -DWITH_LIBSHARPYUV=OFF)
# dav1d (meson): AVIF pictures may be 10- or 12-bit, so both bit depths; its
# x86 assembly needs nasm.
dav1d_flags=(--buildtype=release --optimization=2 -Ddefault_library=static -Denable_tools=false
             -Denable_tests=false -Denable_examples=false -Denable_docs=false -Dbitdepths=8,16
             -Denable_asm=true -Dlogging=false "-Dc_args=$path_map${check_flags:+ $check_flags}")

# The stamp names the build's options, not this checkout's paths; a change
# of imagelibs/assert.h rebuilds the native libraries.
stamp_of() {
  local common="${common_flags[*]/$toolchain/toolchain}" dav1d="${dav1d_flags[*]}"
  common="${common//$work/work}"
  dav1d="${dav1d//$work/work}"
  common="${common//$here/scripts}"
  dav1d="${dav1d//$here/scripts}"
  [[ $target == windows ]] || common+=" assert.h:$(cksum <"$here/imagelibs/assert.h")"
  case "$1" in
    webp) echo "libwebp $common ${webp_flags[*]}" ;;
    heif) echo "libheif+libde265+dav1d $common ${de265_flags[*]} $dav1d ${heif_flags[*]}" ;;
  esac
}
out_of() { echo "$deps/lib$1-$target"; }
marker_of() {
  case "$1" in
    webp) echo "$(out_of webp)/lib/libwebp.a" ;;
    heif) if [[ $target == windows ]]; then echo "$(out_of heif)/lib/libheif-av1.a"
          else echo "$(out_of heif)/lib/libheif.a"; fi ;;
  esac
}

is_cached() {
  local out; out="$(out_of "$1")"
  [[ -f "$(marker_of "$1")" && -f "$out/.stamp" ]] && [[ "$(head -n1 "$out/.stamp")" == "$(stamp_of "$1")" ]]
}

todo=()
for l in "${libs[@]}"; do
  case "$l" in webp|heif) ;; *) die "unknown library '$l' (webp or heif)";; esac
  is_cached "$l" || todo+=("$l")
done
[[ ${#todo[@]} -gt 0 ]] || exit 0

mkdir -p "$deps"
# One builder per target at a time (configure runs of several presets).
exec 8>"$deps/.imagelibs-$target.lock"
flock 8
todo=()
for l in "${libs[@]}"; do
  is_cached "$l" || todo+=("$l")
done
[[ ${#todo[@]} -gt 0 ]] || exit 0

# shellcheck source=debian-source.sh
source "$here/debian-source.sh"
fetch() { fetch_source "$1" "$deps/src"; }
unpack() { unpack_source "$1" "$deps/src" "$2"; }

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

# cmake_build <name> <src> <install> <targets...> -- <flags...>
cmake_build() {
  local name="$1" src="$2" prefix="$3"; shift 3
  local targets=()
  while [[ "$1" != -- ]]; do targets+=("$1"); shift; done
  shift
  local bld="$work/build-$name" log="$work/build-$name.log"
  if ! { cmake -S "$src" -B "$bld" "${generator[@]}" "${common_flags[@]}" "$@" \
           -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
         && cmake --build "$bld" -j "$(nproc)" --target "${targets[@]}"; } >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    die "building $name for $target failed (full log: $log)"
  fi
}

build_webp() {
  local out; out="$(out_of webp)"
  fetch libwebp
  local version; version="$(unpack libwebp "$work/libwebp")"
  say "building $version for $target"
  cmake_build libwebp "$work/libwebp" "$out" webp webpdecoder webpdemux -- "${webp_flags[@]}"
  rm -rf "$out" && mkdir -p "$out/lib" "$out/include/webp" "$out/licences"
  cp "$work/build-libwebp/libwebp.a" "$work/build-libwebp/libwebpdecoder.a" \
     "$work/build-libwebp/libwebpdemux.a" "$out/lib/"
  cp "$work/libwebp/src/webp/decode.h" "$work/libwebp/src/webp/demux.h" "$work/libwebp/src/webp/encode.h" \
     "$work/libwebp/src/webp/mux_types.h" "$work/libwebp/src/webp/types.h" "$out/include/webp/"
  cp "$work/libwebp/COPYING" "$out/licences/libwebp-COPYING.txt"
  cp "$work/libwebp/PATENTS" "$out/licences/libwebp-PATENTS.txt"
  printf '%s\n%s\n' "$(stamp_of webp)" "$version" >"$out/.stamp"
}

# meson_cross_file <file>: the compilers of the cmake toolchain file, for meson.
meson_cross_file() {
  local triplet
  triplet="$(sed -n 's/^set(MORAVEL_MINGW_TRIPLET \(.*\))$/\1/p' "$toolchain")"
  [[ -n "$triplet" ]] || die "no MORAVEL_MINGW_TRIPLET in $toolchain"
  cat >"$1" <<EOF
[binaries]
c = '$triplet-gcc-posix'
cpp = '$triplet-g++-posix'
ar = '$triplet-ar'
strip = '$triplet-strip'
windres = '$triplet-windres'
nasm = 'nasm'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
}

# build_dav1d <stage>: dav1d's static library and headers into <stage>.
build_dav1d() {
  local stage="$1" log="$work/build-dav1d.log" cross=()
  command -v meson >/dev/null || die "meson not found (run scripts/setup.sh)"
  command -v nasm >/dev/null || die "nasm not found (run scripts/setup.sh)"
  if [[ $target == windows ]]; then
    meson_cross_file "$work/mingw64.meson"
    cross=(--cross-file "$work/mingw64.meson")
  fi
  if ! { meson setup "$work/build-dav1d" "$work/dav1d" "${cross[@]}" \
           "${dav1d_flags[@]}" --prefix="$stage" --libdir=lib \
         && ninja -C "$work/build-dav1d" -j "$(nproc)" \
         && ninja -C "$work/build-dav1d" install; } >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    die "building dav1d for $target failed (full log: $log)"
  fi
}

build_heif() {
  local out; out="$(out_of heif)"
  fetch libde265
  fetch dav1d
  fetch libheif
  local v1 v2 v3
  v1="$(unpack libde265 "$work/libde265")"
  v2="$(unpack dav1d "$work/dav1d")"
  v3="$(unpack libheif "$work/libheif")"
  say "building $v1, $v2 and $v3 for $target"
  local stage="$work/stage-heif"
  cmake_build libde265 "$work/libde265" "$stage" de265 -- "${de265_flags[@]}"
  cmake --install "$work/build-libde265" >/dev/null 2>&1 \
    || die "installing libde265 into $stage failed"
  build_dav1d "$stage"
  local stage_flags=(-DLIBDE265_INCLUDE_DIR="$stage/include" -DLIBDE265_LIBRARY="$stage/lib/libde265.a"
                     -DDAV1D_INCLUDE_DIR="$stage/include" -DDAV1D_LIBRARY="$stage/lib/libdav1d.a"
                     -DCMAKE_C_FLAGS=-DLIBDE265_STATIC_BUILD -DCMAKE_CXX_FLAGS=-DLIBDE265_STATIC_BUILD
                     -DCMAKE_PREFIX_PATH="$stage")
  cmake_build libheif "$work/libheif" "$stage" heif -- "${heif_flags[@]}" "${stage_flags[@]}"
  # One decoder each for the Windows plug-ins (the later -D wins).
  local variants=()
  if [[ $target == windows ]]; then
    variants=(hevc av1)
    cmake_build libheif-hevc "$work/libheif" "$stage" heif -- "${heif_flags[@]}" "${stage_flags[@]}" \
      -DWITH_DAV1D=OFF
    cmake_build libheif-av1 "$work/libheif" "$stage" heif -- "${heif_flags[@]}" "${stage_flags[@]}" \
      -DWITH_LIBDE265=OFF
  fi
  rm -rf "$out" && mkdir -p "$out/lib" "$out/include/libheif" "$out/licences"
  cp "$(find "$work/build-libheif" -name libheif.a | head -n1)" "$out/lib/"
  local variant
  for variant in "${variants[@]}"; do
    cp "$(find "$work/build-libheif-$variant" -name libheif.a | head -n1)" "$out/lib/libheif-$variant.a"
  done
  cp "$stage/lib/libde265.a" "$stage/lib/libdav1d.a" "$out/lib/"
  cp "$work/libheif/libheif/heif.h" "$out/include/libheif/"
  cp "$(find "$work/build-libheif" -name heif_version.h | head -n1)" "$out/include/libheif/"
  cp "$work/libheif/COPYING" "$out/licences/libheif-COPYING.txt"
  cp "$work/libde265/COPYING" "$out/licences/libde265-COPYING.txt"
  cp "$work/dav1d/COPYING" "$out/licences/dav1d-COPYING.txt"
  printf '%s\n%s\n%s\n%s\n' "$(stamp_of heif)" "$v1" "$v2" "$v3" >"$out/.stamp"
}

for l in "${todo[@]}"; do
  start=$SECONDS
  rm -rf "$work" && mkdir -p "$work"
  "build_$l"
  say "installed $(out_of "$l") ($((SECONDS - start)) s)"
done
rm -rf "$work"
