#!/usr/bin/env bash
# The Deflate decoder and CRC-32 against zlib's inflate and crc32: runs the
# decoder_bench executable of the build tree under Wine, which makes its own
# data, compresses it with zlib and times both decoders in one process. Then
# the same benchmark built natively (bench/native/, by the i686 tree), where
# libdeflate joins zlib as a peer: the distance to the fastest decoder we
# know of, as a printed ratio. The native figures are the same on every build
# and are printed once, with the first build's. Builds nothing. Called by
# scripts/bench.sh under scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
exe=$build/bench/decoder_bench.exe
[ -f "$exe" ] || { echo "no decoder benchmark at $exe: build it first"; exit 1; }
"$WINE" "$exe" | tr -d '\r'
native=$root/build/bench/native/decoder_bench_native
if [ "${ZIMBRO_ARCH:-i686}" = "$(echo "${ZIMBRO_ARCHES:-i686}" | awk '{ print $1 }')" ]; then
  if [ -x "$native" ]; then
    echo "-- the same benchmark built natively, with libdeflate beside zlib"
    "$native"
  else
    echo "no native decoder benchmark at $native: build the i686 tree first"
  fi
fi
