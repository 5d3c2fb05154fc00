#!/usr/bin/env bash
# The Debian package of the Linux command: cpack builds it with the library
# dependencies dpkg-shlibdeps found; installed (dpkg -i as root, else unpacked
# with dpkg -x) it converts a picture, its manual page renders, its bash
# completion offers the options and format names, and it removes cleanly.
# Usage: deb_package_test.sh BUILD_DIR PICTURE
set -euo pipefail
build="$1"
picture="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }

work="$(mktemp -d)"
installed=0
cleanup() {
  [[ $installed == 1 ]] && dpkg -r moravel >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb="$(ls "$work"/pkg/moravel_*.deb)"
depends="$(dpkg-deb -f "$deb" Depends)"
[[ "$depends" == *libc6* ]] || fail "no dependencies from dpkg-shlibdeps: '$depends'"
contents="$(dpkg-deb -c "$deb")"
grep -q '\./usr/bin/moravel$' <<<"$contents" || fail "the package lacks usr/bin/moravel"

if [[ $(id -u) == 0 ]]; then
  dpkg -s moravel >/dev/null 2>&1 && fail "a moravel package is installed already"
  installed=1
  dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
  root=""
  [[ "$(command -v moravel)" == /usr/bin/moravel ]] || fail "moravel is not on the PATH"
else
  dpkg -x "$deb" "$work/root"
  root="$work/root"
fi
program="$root/usr/bin/moravel"
page="$root/usr/share/man/man1/moravel.1"
completion="$root/usr/share/bash-completion/completions/moravel"

mkdir "$work/out"
written="$("$program" --format png --output-folder "$work/out" "$picture")" ||
  fail "the installed moravel did not convert $picture"
[[ -s "$written" && "$written" == "$work/out/"*.png ]] || fail "unexpected output: $written"

rendered="$(MANWIDTH=80 man -l "$page" 2>&1)" || fail "man -l: $rendered"
for word in "EXIT STATUS" "--jobs N" "--format bmp|png|jpeg|gif|jpegcopy"; do
  grep -qF -- "$word" <<<"$rendered" || fail "the manual page lacks '$word'"
done

offered="$(bash -c 'source "$1"; COMP_WORDS=(moravel --format j); COMP_CWORD=2
  _moravel; echo "${COMPREPLY[*]}"' _ "$completion")"
[[ "$offered" == "jpeg jpegcopy" ]] || fail "completion of --format j: '$offered'"
offered="$(bash -c 'source "$1"; COMP_WORDS=(moravel --jo); COMP_CWORD=1
  _moravel; echo "${COMPREPLY[*]}"' _ "$completion")"
[[ "$offered" == "--jobs" ]] || fail "completion of --jo: '$offered'"

if [[ $installed == 1 ]]; then
  dpkg -r moravel >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -r"; }
  installed=0
  [[ ! -e /usr/bin/moravel && ! -e /usr/share/man/man1/moravel.1 ]] ||
    fail "files left after dpkg -r"
fi
echo "ok"
