#!/usr/bin/env bash
# Installs everything Moravel needs to build and test, idempotently, on
# Debian 12 (run as root for the package part):
#
#   scripts/setup.sh [--no-apt] [--verbose] [--native-only]
#
#   1. Debian packages (one `apt-get update`, only when something is missing),
#   2. source package entries (deb-src) copied from the machine's own entries,
#   3. static libjpeg-turbo for the native and the windows target, cached in
#      build/deps (see scripts/build-libjpeg.sh). The picture libraries
#      (scripts/build-imagelibs.sh) are built from their source packages when
#      CMake first configures a target.
#
# When everything is already there it prints nothing and takes well under a
# second.  --no-apt (or MORAVEL_SKIP_APT=1) skips the package steps entirely.
# --native-only sets up just what the Linux `moravel` command needs (the
# ./moravel wrapper's first run): no Wine, no cross compiler, no Windows
# libraries.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"

skip_apt="${MORAVEL_SKIP_APT:-0}"
verbose=0
native_only=0
for arg in "$@"; do
  case "$arg" in
    --no-apt) skip_apt=1 ;;
    --verbose|-v) verbose=1 ;;
    --native-only) native_only=1 ;;
    -h|--help) sed -n '2,18p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "setup.sh: unknown argument '$arg'" >&2; exit 2 ;;
  esac
done

say() { echo "setup: $*"; }
die() { echo "setup: error: $*" >&2; exit 1; }

packages=(
  # compilers and build tools
  g++ clang libclang-rt-14-dev cmake ninja-build make dpkg-dev nasm meson
  g++-mingw-w64-x86-64-posix
  # Wine (headless) for the windows target; xvfb for screenshots
  wine64 wine fonts-wine fonts-liberation xvfb xauth
  # a Japanese font: the Japanese language library measured and shown under Wine
  fonts-ipafont-gothic
  # libraries
  zlib1g-dev libz-mingw-w64-dev googletest libbenchmark-dev
  # reference decoders and encoders of the picture libraries' formats
  webp libheif-examples libavif-bin
  # test oracles
  python3 python3-pil python3-numpy imagemagick libjpeg-turbo-progs pngcheck
  # the manual: chmcmd compiles it, enum_chmLib lists what it holds, zopflipng
  # stores its pictures smaller without changing a pixel
  fp-utils libchm-bin zopfli
  # used by the scripts; man-db renders the installed manual page in its test
  util-linux ca-certificates man-db groff-base
)

jpeg_targets=(native windows)
if [[ $native_only == 1 ]]; then
  # The Linux command alone: compilers, CMake, meson (dav1d), nasm
  # (libjpeg-turbo's and dav1d's SIMD code), dpkg-dev (the source packages)
  # and zlib.
  packages=(g++ cmake ninja-build make dpkg-dev nasm meson zlib1g-dev ca-certificates)
  jpeg_targets=(native)
fi

# ---- 1. which packages are missing -----------------------------------------
missing=()
if [[ "$skip_apt" != 1 ]]; then
  command -v dpkg-query >/dev/null || die "this script needs a Debian system (dpkg-query not found)"
  declare -A installed=()
  while read -r name status; do
    [[ "$status" == ii ]] && installed[$name]=1
  done < <(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
  for p in "${packages[@]}"; do
    [[ -n "${installed[$p]:-}" ]] || missing+=("$p")
  done
fi

# ---- 2. deb-src entries derived from the machine's own entries ------------
srcfile=/etc/apt/sources.list.d/moravel-deb-src.sources
srclist=/etc/apt/sources.list.d/moravel-deb-src.list
codename=""
if [[ -r /etc/os-release ]]; then
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
fi

# Prints deb822 stanzas for every Debian "deb" entry (suites of this release)
# of the given .sources files, with Types: deb-src.
derive_deb822() {
  awk -v codename="$codename" '
    function flush(   i, n, s, out, keep) {
      if (types ~ /(^|[ \t])deb([ \t]|$)/ && enabled !~ /^[ \t]*(no|false)/) {
        n = split(suites, s, /[ \t]+/)
        keep = ""
        for (i = 1; i <= n; i++) {
          if (s[i] == "") continue
          if (codename == "" || s[i] == codename || index(s[i], codename "-") == 1)
            keep = keep (keep == "" ? "" : " ") s[i]
        }
        if (keep != "") {
          out = "Types: deb-src\n"
          for (i = 1; i <= nf; i++) {
            if (fname[i] == "types") continue
            if (fname[i] == "suites") out = out "Suites: " keep "\n"
            else out = out field[i] "\n"
          }
          printf "%s\n", out
        }
      }
      nf = 0; types = ""; suites = ""; enabled = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (nf > 0) field[nf] = field[nf] "\n" $0; next }
    {
      key = tolower(substr($0, 1, index($0, ":") - 1))
      val = substr($0, index($0, ":") + 1)
      nf++; fname[nf] = key; field[nf] = $0
      if (key == "types") types = val
      else if (key == "suites") suites = val
      else if (key == "enabled") enabled = val
    }
    END { flush() }
  ' "$@"
}

# Prints one-line "deb-src" entries for the "deb" lines of the given .list files.
derive_oneline() {
  awk -v codename="$codename" '
    /^[ \t]*deb[ \t]/ {
      line = $0
      sub(/^[ \t]*deb[ \t]+/, "", line)
      opts = ""
      if (line ~ /^\[/) { opts = substr(line, 1, index(line, "]")) " "; line = substr(line, index(line, "]") + 1) }
      n = split(line, f, /[ \t]+/)
      j = 1; while (j <= n && f[j] == "") j++
      uri = f[j]; suite = f[j + 1]
      if (codename != "" && suite != codename && index(suite, codename "-") != 1) next
      rest = ""
      for (k = j + 2; k <= n; k++) if (f[k] != "") rest = rest " " f[k]
      print "deb-src " opts uri " " suite rest
    }
  ' "$@"
}

need_update=0
write_if_changed() {   # file content
  local file="$1" content="$2"
  if [[ -z "$content" ]]; then
    if [[ -f "$file" ]]; then rm -f "$file"; need_update=1; fi
    return 0
  fi
  if [[ ! -f "$file" ]] || [[ "$(cat "$file")" != "$content" ]]; then
    printf '%s\n' "$content" >"$file"
    need_update=1
  fi
}

enable_deb_src() {
  local sources=() lists=() f
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" && "$f" != "$srcfile" ]] && sources+=("$f")
  done
  [[ -f /etc/apt/sources.list ]] && lists+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" && "$f" != "$srclist" ]] && lists+=("$f")
  done
  # Source entries configured by the machine itself: nothing to do.
  if { [[ ${#sources[@]} -gt 0 ]] && grep -Eqi '^Types:.*deb-src' "${sources[@]}"; } ||
     { [[ ${#lists[@]} -gt 0 ]] && grep -Eq '^[[:space:]]*deb-src[[:space:]]' "${lists[@]}"; }; then
    return 0
  fi
  local body822="" bodylist=""
  [[ ${#sources[@]} -gt 0 ]] && body822="$(derive_deb822 "${sources[@]}")"
  [[ ${#lists[@]} -gt 0 ]] && bodylist="$(derive_oneline "${lists[@]}")"
  [[ -n "$body822" || -n "$bodylist" ]] || die "found no Debian 'deb' entries in /etc/apt to derive source entries from"
  local header="# Source packages for scripts/build-libjpeg.sh (Moravel), derived from this
# machine's own binary package entries by scripts/setup.sh."
  write_if_changed "$srcfile" "${body822:+$header
$body822}"
  write_if_changed "$srclist" "${bodylist:+$header
$bodylist}"
}

# The library builds need source packages only when a cached build is
# missing and the sources have not been downloaded yet.
deps="${MORAVEL_DEPS_DIR:-$repo/build/deps}"
need_source=0
for t in "${jpeg_targets[@]}"; do
  for l in libjpeg libwebp libheif; do
    [[ -f "$deps/$l-$t/.stamp" ]] || need_source=1
  done
done
if [[ $need_source == 1 ]]; then
  need_source=0
  for p in libjpeg-turbo libwebp libheif libde265 dav1d; do
    ls "$deps/src/$p/$p"_*.dsc >/dev/null 2>&1 || need_source=1
  done
fi

if [[ "$skip_apt" != 1 && ( ${#missing[@]} -gt 0 || $need_source == 1 ) ]]; then
  if [[ $(id -u) != 0 ]]; then
    if command -v sudo >/dev/null && [[ "${MORAVEL_NO_SUDO:-0}" != 1 ]]; then
      exec sudo -E bash "${BASH_SOURCE[0]}" "$@"
    fi
    die "packages are missing (${missing[*]:-none}) or source entries are needed; run this script as root"
  fi
  export DEBIAN_FRONTEND=noninteractive
  enable_deb_src
  if [[ $need_source == 1 ]] && ! apt-cache showsrc libheif 2>/dev/null | grep -q '^Package:'; then
    need_update=1
  fi
  if [[ ${#missing[@]} -gt 0 ]]; then
    need_update=1
  fi
  if [[ $need_update == 1 ]]; then
    say "apt-get update"
    apt-get -q update </dev/null >/tmp/moravel-apt-update.log 2>&1 \
      || { cat /tmp/moravel-apt-update.log >&2; die "apt-get update failed"; }
  fi
  if [[ ${#missing[@]} -gt 0 ]]; then
    say "installing ${missing[*]}"
    apt_log=/tmp/moravel-apt-install.log
    if ! apt-get -q -y --no-install-recommends install "${missing[@]}" </dev/null >"$apt_log" 2>&1; then
      tail -n 40 "$apt_log" >&2
      die "apt-get install failed (log: $apt_log)"
    fi
    [[ $verbose == 1 ]] && cat "$apt_log"
  fi
fi

# ---- 3. libjpeg-turbo for both targets --------------------------------------
bash "$here/build-libjpeg.sh" "${jpeg_targets[@]}"
[[ $verbose == 1 ]] && say "done"
exit 0
