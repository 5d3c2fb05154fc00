#!/usr/bin/env bash
# Runs shell_test in the test prefix after making its Desktop (which a new
# prefix links to $HOME) and Send To real folders inside the prefix, with
# Wine's menu builder off, and checks afterwards that no shortcut was written
# into $HOME.
#
#   run_shell_test.sh PREFIX shell_test.exe [gtest arguments...]
set -euo pipefail
prefix="$1"
program="$2"
shift 2

: "${MORAVEL_WINE:?run through ctest (MORAVEL_WINE names the Wine runner)}"
$MORAVEL_WINE --init
users="$prefix/drive_c/users"
[[ -d "$users" ]] || { echo "run_shell_test.sh: no users folder in $prefix" >&2; exit 1; }

for profile in "$users"/*/; do
  profile="${profile%/}"
  for folder in Desktop "AppData/Roaming/Microsoft/Windows/SendTo"; do
    path="$profile/$folder"
    if [[ -L "$path" ]]; then
      rm -f -- "$path"            # the link only, never what it points to
    fi
    mkdir -p -- "$path"
  done
done

# Where a Desktop link would have led: $HOME or its Desktop folder.
home_links=("${HOME:-/nonexistent}/Moravel.lnk" "${HOME:-/nonexistent}/Desktop/Moravel.lnk")
declare -A had=()
for link in "${home_links[@]}"; do
  [[ -e "$link" ]] && had[$link]=1
done

# Wine starts winemenubuilder for every saved shell link: it would keep the
# new link open for a moment (a delete right after then fails) and write menu
# entries into the Linux desktop outside the prefix.
# Help and the About link open web pages through the shell; the tests point
# ".html" at a recorder, and should that fail Wine's browser (which hands the
# page to the desktop's browser outside the prefix) must not start either.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d;winebrowser.exe=d"

status=0
MORAVEL_SHELL_FOLDERS_READY=1 $MORAVEL_WINE "$program" "$@" || status=$?

for link in "${home_links[@]}"; do
  if [[ -z "${had[$link]:-}" && -e "$link" ]]; then
    echo "run_shell_test.sh: a shortcut was written outside the prefix: $link" >&2
    exit 1
  fi
done
exit "$status"
