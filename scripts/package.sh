#!/usr/bin/env bash
# Builds the Windows release and packs it as dist/Moravel-<version>-win64.zip,
# with the relink folder as dist/Moravel-<version>-win64-relink.zip and the
# SHA-256 sums of both in dist/SHA256SUMS:
#
#   scripts/package.sh [--build-dir DIR] [--out DIR] [--no-build]
#
#   --build-dir DIR  the windows build to use (default build/windows, as in CI)
#   --out DIR        where the zip goes (default dist/)
#   --no-build       pack what DIR already holds; it must be a Release build
#
# The zip holds Pirex.exe, moravel.exe, the language libraries, Pirex.chm and
# the same manual as HTML pages (manual/index.html), a read-me for users, the
# licences of the libraries linked in and, when they
# were built, the image plug-ins (plugins/*.sph) with their libraries'
# licences; for the plug-ins that link LGPL libraries, the relink zip holds
# the relink folder. Both are reproducible: the same commit gives the same
# bytes (fixed order, times and permissions, see scripts/release/make_zip.py;
# no compile time in the manual, see chm_clear_time.py). Entry times are the commit's time, or
# SOURCE_DATE_EPOCH when set.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
build="$repo/build/windows"
out="$repo/dist"
do_build=1
usage="usage: scripts/package.sh [--build-dir DIR] [--out DIR] [--no-build]"
fail() { echo "package.sh: $*" >&2; exit 1; }
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir|--out)
      [[ $# -ge 2 && -n "$2" ]] || { echo "package.sh: $1 needs a folder" >&2; echo "$usage" >&2; exit 2; }
      if [[ "$1" == --out ]]; then out="$(realpath -m "$2")"; else build="$(realpath -m "$2")"; fi
      shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h|--help) echo "$usage"; exit 0 ;;
    *) echo "package.sh: unknown argument '$1'" >&2; echo "$usage" >&2; exit 2 ;;
  esac
done
deps="${MORAVEL_DEPS_DIR:-$repo/build/deps}"
python=/usr/bin/python3  # Debian's, whatever python3 comes first on PATH
say() { echo "package: $*"; }

[[ -x "$python" ]] || fail "$python is missing (scripts/setup.sh installs it)"
command -v cmake >/dev/null || fail "cmake is missing (scripts/setup.sh installs it)"

if [[ $do_build == 1 ]]; then
  say "building the windows preset (Release) in $build"
  cmake --preset windows -B "$build" -DCMAKE_BUILD_TYPE=Release --log-level=WARNING >/dev/null \
    || fail "configuring $build failed"
  cmake --build "$build" -j "$(nproc)" --target Pirex moravel language_libraries manual \
    || fail "building in $build failed"
  # The image plug-ins (targets <name>_plugin) exist when their libraries do.
  # (A build without them lists none; grep finding nothing is no failure.)
  mapfile -t plugin_targets < <(sed -n 's/^build \([a-z0-9]*_plugin\): phony.*/\1/p' "$build/build.ninja")
  if [[ ${#plugin_targets[@]} -gt 0 ]]; then
    cmake --build "$build" -j "$(nproc)" --target "${plugin_targets[@]}" \
      || fail "building the image plug-ins failed"
  fi
fi

# Only a Release build of the windows target is a release: checked rather than
# trusted, since --no-build takes whatever the folder holds.
cache="$build/CMakeCache.txt"
[[ -f "$cache" ]] || fail "$build is not a configured build (run without --no-build)"
grep -q '^CMAKE_BUILD_TYPE:[A-Z]*=Release$' "$cache" \
  || fail "$build is not a Release build (configure it with: cmake --preset windows -B $build)"
grep -q '^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*mingw' "$cache" \
  || fail "$build is not a windows build (configure it with: cmake --preset windows -B $build)"

# The version the build was made with.
version="$(sed -n 's/^#define MORAVEL_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/version.h" 2>/dev/null)"
[[ "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]] || fail "$build/generated/version.h gives no version (rebuild $build)"
top="Moravel-$version"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/licenses"
need() { [[ -f "$1" ]] || fail "missing $1 (build first, or run without --no-build)"; cp "$1" "$2"; }
need "$build/app/Pirex.exe" "$stage/"
need "$build/cli/moravel.exe" "$stage/"
need "$build/app/English.dll" "$stage/"
need "$build/app/Japanese.dll" "$stage/"
need "$build/app/Pirex.chm" "$stage/"
# The manual's pages as plain HTML: help opens manual\index.html when
# Pirex.chm is missing, and the About window links to it.
[[ -f "$build/app/manual/index.html" ]] || fail "missing $build/app/manual/index.html (build the manual first, or run without --no-build)"
cp -R "$build/app/manual" "$stage/manual"
need "$here/release/ReadMe.txt" "$stage/ReadMe.txt"
sed -i "s/@VERSION@/$version/g" "$stage/ReadMe.txt"
# The libraries of this build, with their Debian versions.
[[ -f "$build/library-versions.txt" ]] || fail "missing $build/library-versions.txt (configure $build again)"
"$python" "$here/release/library_versions.py" fill "$stage/ReadMe.txt" "$build/library-versions.txt" \
  || fail "cannot list the libraries in the read-me"
# The help compiler writes its compile time into the manual.
"$python" "$here/release/chm_clear_time.py" "$stage/Pirex.chm" \
  || fail "cannot clear the compile time in $build/app/Pirex.chm"

# Licence texts of what is linked into the programs: libjpeg-turbo (with the
# IJG notice), zlib, Little CMS 2 and the mingw-w64 runtime (static, with
# winpthreads).
jpeg_src=""
for candidate in "$deps"/src/libjpeg-turbo/libjpeg-turbo_*.orig.tar.gz; do
  [[ -f "$candidate" ]] && jpeg_src="$candidate"
done
[[ -n "$jpeg_src" ]] \
  || fail "no libjpeg-turbo source in $deps/src/libjpeg-turbo (its licence is taken from there; configuring the build fetches it)"
tar -xzf "$jpeg_src" -C "$stage" --wildcards '*/LICENSE.md' '*/README.ijg' \
  || fail "$jpeg_src lacks LICENSE.md or README.ijg"
mv "$stage"/libjpeg-turbo-*/LICENSE.md "$stage/licenses/libjpeg-turbo-LICENSE.md"
mv "$stage"/libjpeg-turbo-*/README.ijg "$stage/licenses/libjpeg-turbo-README.ijg"
rmdir "$stage"/libjpeg-turbo-*
need /usr/share/doc/libz-mingw-w64-dev/copyright "$stage/licenses/zlib-copyright.txt"
need /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-runtime-copyright.txt"
# Little CMS 2 (colour profiles), built by scripts/build-lcms2.sh.
need "$deps/lcms2-windows/licences/lcms2-COPYING.txt" "$stage/licenses/lcms2-COPYING.txt"

# Image plug-ins, each with the licences of the libraries it links in. A
# plug-in whose licences are unknown here is not shipped silently.
shopt -s nullglob
plugins=("$build"/app/plugins/*.sph)
shopt -u nullglob
relinkable=()
if [[ ${#plugins[@]} -gt 0 ]]; then
  mkdir -p "$stage/plugins"
  for plugin in "${plugins[@]}"; do
    name="$(basename "$plugin" .sph)"
    # heif.sph links libheif with libde265 alone, avif.sph with dav1d alone.
    libheif="$deps/libheif-windows/licences"
    case "$name" in
      webp) texts=("$deps/libwebp-windows/licences"/*) ;;
      heif) texts=("$libheif/libheif-COPYING.txt" "$libheif/libde265-COPYING.txt"); relinkable+=("$name") ;;
      avif) texts=("$libheif/libheif-COPYING.txt" "$libheif/dav1d-COPYING.txt"); relinkable+=("$name") ;;
      *) fail "plug-in $plugin: no licence texts known for it (add them to scripts/package.sh)" ;;
    esac
    for text in "${texts[@]}"; do
      [[ -f "$text" ]] || fail "plug-in $plugin: missing licence text $text"
    done
    cp "$plugin" "$stage/plugins/"
    cp "${texts[@]}" "$stage/licenses/"
  done
fi

# The plug-ins that link LGPL libraries (libheif, libde265) statically come
# with what it takes to relink them with changed libraries: their own objects,
# every archive each of them links (listed per plug-in in <name>.relink), the link script, the libraries' Debian source
# packages and the script that built them. The relinked plug-ins must be the
# shipped bytes, or the folder is not what it claims to be.
if [[ ${#relinkable[@]} -gt 0 ]]; then
  kit="$stage/relink"
  mkdir -p "$kit/lib" "$kit/sources" "$kit/build"
  need "$repo/plugins/formats/link_plugin.sh" "$kit/"
  need "$here/release/relink.sh" "$kit/"
  need "$here/release/relink-ReadMe.txt" "$kit/ReadMe.txt"
  need "$here/build-imagelibs.sh" "$kit/build/"
  need "$here/debian-source.sh" "$kit/build/"
  need "$repo/cmake/toolchain-mingw64.cmake" "$kit/build/"
  for name in "${relinkable[@]}"; do
    list="$build/plugins/formats/$name.relink"
    [[ -f "$list" ]] || fail "missing $list (the link inputs of $name.sph; rebuild $build)"
    mkdir -p "$kit/$name"
    : >"$kit/$name.relink"
    while IFS= read -r input; do
      [[ -n "$input" ]] || continue
      [[ -f "$input" ]] || fail "$name.sph: link input $input is missing"
      case "$input" in
        *.a) into=lib ;;
        *) into="$name" ;;
      esac
      if [[ -f "$kit/$into/$(basename "$input")" ]]; then
        cmp -s "$input" "$kit/$into/$(basename "$input")" \
          || fail "$name.sph: two different link inputs are called $(basename "$input")"
      else
        cp "$input" "$kit/$into/"
      fi
      echo "$into/$(basename "$input")" >>"$kit/$name.relink"
    done <"$list"
  done
  # The source packages the libraries were built from, as the build recorded
  # them: each .dsc with the files it lists.
  stamp="$deps/libheif-windows/.stamp"
  [[ -f "$stamp" ]] || fail "missing $stamp (run scripts/build-imagelibs.sh)"
  while read -r package_version; do
    package="${package_version%%_*}"
    dsc="$deps/src/$package/$package_version.dsc"
    [[ -f "$dsc" ]] || fail "the source package $dsc the libraries were built from is missing"
    cp "$dsc" "$kit/sources/"
    for file in $(awk '/^Files:/ {files = 1; next} /^[^ ]/ {files = 0} files && NF == 3 {print $3}' "$dsc"); do
      need "$deps/src/$package/$file" "$kit/sources/"
    done
  done < <(tail -n +2 "$stamp")
  relinked="$(mktemp -d)"
  CXX="${MORAVEL_RELINK_CXX:-x86_64-w64-mingw32-g++-posix}" sh "$kit/relink.sh" "$relinked" >/dev/null \
    || fail "relinking the plug-ins from $kit failed"
  for name in "${relinkable[@]}"; do
    cmp -s "$relinked/$name.sph" "$stage/plugins/$name.sph" \
      || fail "$name.sph relinked from the relink folder differs from the built one"
  done
  rm -rf "$relinked"
fi

# Plain-text files get Windows line ends so Notepad shows them properly.
for f in "$stage/ReadMe.txt" "$stage"/licenses/* "$stage"/relink/ReadMe.txt; do
  [[ -f "$f" ]] && sed -i 's/\r$//; s/$/\r/' "$f"
done

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]] && commit_time="$(git -C "$repo" log -1 --format=%ct 2>/dev/null)"; then
  export SOURCE_DATE_EPOCH="$commit_time"
fi
mkdir -p "$out" || fail "cannot make the folder $out"
# The relink folder is a download of its own: few users need it. Unzipped
# into the same place as the program, it adds the relink folder beside it.
zips=("$top-win64.zip")
if [[ -d "$stage/relink" ]]; then
  kit_stage="$(mktemp -d)"
  trap 'rm -rf "$stage" "$kit_stage"' EXIT
  mv "$stage/relink" "$kit_stage/relink"
  zips+=("$top-win64-relink.zip")
fi
rm -f "$out/SHA256SUMS" "$out/$top"-win64*.zip
"$python" "$here/release/make_zip.py" "$stage" "$out/${zips[0]}" "$top" \
  || fail "packing $out/${zips[0]} failed"
if [[ ${#zips[@]} -gt 1 ]]; then
  "$python" "$here/release/make_zip.py" "$kit_stage" "$out/${zips[1]}" "$top" \
    || fail "packing $out/${zips[1]} failed"
fi
(cd "$out" && sha256sum "${zips[@]}" >SHA256SUMS) || fail "cannot write $out/SHA256SUMS"
for zip in "${zips[@]}"; do
  say "$out/$zip ($(stat -c %s "$out/$zip") bytes)"
done
say "$out/SHA256SUMS; Pirex.exe $(stat -c %s "$stage/Pirex.exe") bytes"
