#!/usr/bin/env bash
# Makes a delay-import library for one system DLL from MinGW's own import
# library of it: the functions it exports (read with nm) go into a .def
# file, and dlltool turns that into a library whose calls go through the
# stub's delay-load helper (support/delay_load.cpp) instead of the loader.
# Usage: make-delay-library.sh NM DLLTOOL IMPORT_LIBRARY DLL_NAME OUTPUT i686|x64
set -euo pipefail
nm=$1 dlltool=$2 import_library=$3 dll=$4 output=$5 arch=$6

# Every import of MinGW's libraries defines __imp_<symbol>. On i686 the
# symbol carries the C prefix "_" (dropped here) and, for stdcall, the
# "@<bytes>" suffix, which --kill-at keeps in the symbol and drops from the
# name imported, as the DLL exports it.
case $arch in
  i686) unprefix='s/^_//'; kill_at=--kill-at ;;
  x64)  unprefix='';       kill_at= ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

# dlltool names the library's own symbols after the output file: made in
# the output's folder under its bare name, they do not depend on the path.
cd "$(dirname "$output")"
name=$(basename "$output")
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  "$nm" "$import_library" | awk '$3 ~ /^__imp_/ { print substr($3, 7) }' | sed -e "$unprefix" | sort -u
} > "${name%.a}.def"
"$dlltool" --input-def "${name%.a}.def" --dllname "$dll" $kill_at --output-delaylib "$name"
