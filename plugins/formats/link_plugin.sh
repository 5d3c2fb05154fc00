#!/bin/sh
# Links an import plug-in (a 64-bit Windows DLL) from object files and static
# libraries, with the C and C++ runtimes linked in:
#
#   link_plugin.sh OUTPUT.sph OBJECT-OR-ARCHIVE...
#
# CXX names the mingw-w64 C++ compiler (default x86_64-w64-mingw32-g++-posix).
# The same inputs give the same bytes, wherever the output goes: no link time,
# no symbols, and a fixed preferred base rather than one derived from the
# output path (the system relocates a plug-in wherever it loads it anyway).
set -eu
[ $# -ge 2 ] || { echo "usage: link_plugin.sh OUTPUT.sph OBJECT-OR-ARCHIVE..." >&2; exit 2; }
out=$1
shift
exec "${CXX:-x86_64-w64-mingw32-g++-posix}" -shared -static -static-libgcc -static-libstdc++ \
  -Wl,--gc-sections -s -Wl,--no-insert-timestamp -Wl,--disable-auto-image-base \
  -o "$out" "$@" -luser32 -lkernel32
