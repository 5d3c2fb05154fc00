# Debian source packages for the libraries built from them (sourced by
# build-libjpeg.sh and build-imagelibs.sh, which define say and die).
#
#   fetch_source <package> <downloads>   the source package into
#                                        <downloads>/<package>, once
#   unpack_source <package> <downloads> <dir>
#                                        its newest downloaded version with
#                                        Debian's patches; prints its name

# The newest version (often a security update) can be missing on the mirror;
# then every version apt knows is tried, newest first. deb-src entries are
# enabled by scripts/setup.sh.
fetch_source() {
  local pkg="$1" download="$2/$1"
  ls "$download"/"$pkg"_*.dsc >/dev/null 2>&1 && return 0
  command -v apt-get >/dev/null || die "apt-get not found"
  mkdir -p "$2"
  # The builds of several targets may fetch the same package at once.
  exec 7>"$2/.$pkg.lock"
  flock 7
  ls "$download"/"$pkg"_*.dsc >/dev/null 2>&1 && { exec 7>&-; return 0; }
  local tmp="$2/$pkg.tmp" aptopts=(-q -o APT::Sandbox::User=root) ok=0 v
  rm -f "$tmp.log"
  say "fetching the $pkg source package"
  for v in "" $(apt-cache showsrc "$pkg" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -Vru); do
    rm -rf "$tmp" && mkdir -p "$tmp"
    if (cd "$tmp" && apt-get "${aptopts[@]}" source --download-only "$pkg${v:+=$v}") >>"$tmp.log" 2>&1; then
      ok=1
      break
    fi
    say "retrying $pkg with an older version"
  done
  if [[ $ok != 1 ]]; then
    tail -n 20 "$tmp.log" >&2
    die "could not download the $pkg source package (are deb-src entries enabled? run scripts/setup.sh as root)"
  fi
  rm -rf "$download"
  mv "$tmp" "$download"
  rm -f "$tmp.log"
  exec 7>&-
}

unpack_source() {
  local dsc
  command -v dpkg-source >/dev/null || die "dpkg-source not found (package dpkg-dev)"
  dsc="$(ls "$2/$1"/"$1"_*.dsc | sort -V | tail -n1)"
  dpkg-source --no-check -x "$dsc" "$3" >"$3.extract.log" 2>&1 \
    || { cat "$3.extract.log" >&2; die "could not unpack $dsc"; }
  basename "$dsc" .dsc
}
