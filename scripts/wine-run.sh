#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a private prefix.
#
#   wine-run.sh [--prefix DIR] PROGRAM.exe [ARGS...]
#   wine-run.sh [--prefix DIR] --init          (only create the prefix)
#   wine-run.sh [--prefix DIR] --start         (create it and keep its
#                                               wineserver up until --kill)
#   wine-run.sh [--prefix DIR] --kill          (stop that prefix's wineserver)
#
# The prefix is DIR, else $WINEPREFIX, else <repository>/build/wineprefix.
# It is created once, with the null display driver (no X server needed) and
# without the Mono/Gecko installers; concurrent callers wait on a lock while
# one of them creates it.  The exit status is the Windows program's.
#
# Temporary folder: Wine ignores the Unix TMP and TEMP and keeps its own
# server folder in $TMPDIR.  Here TMP, else TEMP, else TMPDIR of the caller
# becomes the Windows program's TMP and TEMP (a Unix path is given as Z:\...),
# while Wine itself always uses /tmp (one wineserver per prefix, nothing of
# Wine's left in the caller's folder).  Other variables Wine overrides can be
# passed as MORAVEL_WINE_ENV_<NAME>=<value>.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

prefix="${WINEPREFIX:-}"
if [[ "${1:-}" == "--prefix" ]]; then
  prefix="$2"
  shift 2
fi
[[ -n "$prefix" ]] || prefix="$(dirname "$here")/build/wineprefix"
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

export WINEPREFIX="$prefix"
export WINEDEBUG="${MORAVEL_WINEDEBUG:--all}"
export WINEARCH=win64
export HOME="${HOME:-/root}"

to_windows_path() {   # /a/b -> Z:\a\b ; anything else unchanged
  local p="$1"
  if [[ "$p" == /* ]]; then
    p="Z:${p//\//\\}"
  fi
  printf '%s' "$p"
}
win_tmp="${TMP:-${TEMP:-${TMPDIR:-}}}"
if [[ -n "$win_tmp" && -z "${MORAVEL_WINE_ENV_TMP:-}" ]]; then
  export MORAVEL_WINE_ENV_TMP="$(to_windows_path "$win_tmp")"
  export MORAVEL_WINE_ENV_TEMP="$MORAVEL_WINE_ENV_TMP"
fi
unset TMP TEMP
export TMPDIR="${MORAVEL_WINE_TMPDIR:-/tmp}"
# Wine's menu builder would run for every shell link a test saves, hold the
# new link open for a moment and write menu entries outside the prefix; its
# debugger would keep a crashed test program waiting until the time-out.
export WINEDLLOVERRIDES="winemenubuilder.exe,winedbg.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# The X11 driver is never wanted here; the registry says "null" as well.
unset DISPLAY WAYLAND_DISPLAY

# Debian's /usr/bin/wine is a shell wrapper that prefers a 32-bit loader and
# nags when it is missing; call the 64-bit loader directly when present.
if [[ -x /usr/lib/wine/wine64 ]]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then
  wine="$(command -v wine64)"
else
  wine="$(command -v wine)"
fi
if [[ -x /usr/lib/wine/wineserver64 ]]; then
  wineserver=/usr/lib/wine/wineserver64
elif command -v wineserver >/dev/null 2>&1; then
  wineserver="$(command -v wineserver)"
else
  wineserver=/usr/lib/wine/wineserver
fi
export WINESERVER="$wineserver"

stamp="$prefix/.moravel-ready"

create_prefix() {
  [[ -f "$stamp" ]] && return 0
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f "$stamp" ]]; then
    rm -rf "$prefix"
    local log="$prefix.log"
    # mscoree/mshtml disabled: no Mono or Gecko install prompts.
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" \
      "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
      >"$log" 2>&1 </dev/null; then
      echo "wine-run.sh: could not create the Wine prefix $prefix:" >&2
      cat "$log" >&2
      exit 125
    fi
    # Let wineboot finish writing the registry before anyone else starts.
    "$wineserver" -w || true
    touch "$stamp"
  fi
  flock -u 9
  exec 9>&-
}

case "${1:-}" in
  --init)
    create_prefix
    exit 0
    ;;
  --start)
    # A server that stops 3 s after its last client can be gone, or going,
    # when the next test's first process connects ("recvmsg: Connection
    # reset by peer").  A test run keeps one up from start to end.  The
    # services Wine starts with its first process inherit that process's
    # output and now live as long as the server: start them here, on
    # /dev/null, so no test's output pipe is held open.
    create_prefix
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
    "$wine" wineboot </dev/null >/dev/null 2>&1 || true
    exit 0
    ;;
  --kill)
    [[ -d "$prefix" ]] && "$wineserver" -k 2>/dev/null || true
    exit 0
    ;;
  "")
    echo "usage: wine-run.sh [--prefix DIR] PROGRAM.exe [ARGS...]" >&2
    exit 2
    ;;
esac

create_prefix

# Variables to set on the Windows side go through a small launcher.
if compgen -e | grep -q '^MORAVEL_WINE_ENV_'; then
  launcher="$prefix/moravel-envrun.exe"
  if [[ ! -f "$launcher" ]]; then
    exec 9>"$prefix.lock"
    flock 9
    if [[ ! -f "$launcher" ]]; then
      x86_64-w64-mingw32-gcc-posix -O2 -municode -static -o "$launcher.tmp" \
        "$here/wine-envrun.c" >"$prefix.log" 2>&1 && mv "$launcher.tmp" "$launcher"
    fi
    flock -u 9
    exec 9>&-
  fi
  if [[ -f "$launcher" ]]; then
    program="$1"
    shift
    if [[ "$program" == */* ]]; then
      program="$(to_windows_path "$(realpath -m "$program")")"
    fi
    exec "$wine" "$launcher" "$program" "$@"
  fi
  echo "wine-run.sh: warning: could not build $launcher; running without MORAVEL_WINE_ENV_*" >&2
fi
exec "$wine" "$@"
