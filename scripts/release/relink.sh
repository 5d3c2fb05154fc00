#!/bin/sh
# Relinks the import plug-ins listed in this folder (<name>.relink: the
# objects and archives of <name>.sph, in link order) into a folder:
#
#   sh relink.sh [OUTPUT-FOLDER]        (default: ./plugins beside this script)
#
# CXX names the mingw-w64 C++ compiler (default x86_64-w64-mingw32-g++-posix).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/plugins}
mkdir -p "$out"
for list in "$here"/*.relink; do
  [ -f "$list" ] || continue
  name=$(basename "$list" .relink)
  set --
  while IFS= read -r input; do
    input=$(printf '%s' "$input" | tr -d '\r')
    [ -n "$input" ] && set -- "$@" "$here/$input"
  done <"$list"
  sh "$here/link_plugin.sh" "$out/$name.sph" "$@"
  echo "relinked $out/$name.sph"
done
