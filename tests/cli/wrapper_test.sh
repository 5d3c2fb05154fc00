#!/usr/bin/env bash
# The ./moravel wrapper: builds only the Linux command (never the Windows
# libjpeg-turbo), then starts it; an ordinary user runs an up-to-date build
# without writing anything.
set -euo pipefail
repo="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
version="moravel $(sed -n 's/^project(Moravel VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"

out="$("$repo/moravel" --version 2>/tmp/moravel-wrapper-test.err)" || {
  cat /tmp/moravel-wrapper-test.err >&2; fail "./moravel --version"; }
[[ "${out%%$'\n'*}" == "$version" ]] || fail "unexpected output: $out (not $version)"
if grep -q "first run\|rebuilding" /tmp/moravel-wrapper-test.err; then
  grep -q "compiling" /tmp/moravel-wrapper-test.err || fail "no steps were printed"
  ! grep -qi "windows\|mingw" "$repo/build/.moravel-build.log" ||
    fail "the wrapper built something for Windows"
fi

if [[ $(id -u) == 0 ]] && command -v setpriv >/dev/null; then
  marker="$(mktemp)"
  sleep 1
  out="$(setpriv --reuid=nobody --regid=nogroup --init-groups env HOME=/ TMPDIR=/tmp \
    "$repo/moravel" --version)" || fail "an ordinary user cannot run ./moravel"
  [[ "${out%%$'\n'*}" == "$version" ]] || fail "unexpected output for nobody: $out"
  changed="$(find "$repo/build/moravel-cli" "$repo/build/.moravel-build.log" -newer "$marker" \
    2>/dev/null | head -5)"
  rm -f "$marker"
  [[ -z "$changed" ]] || fail "an up-to-date run wrote: $changed"
fi
echo "ok"
