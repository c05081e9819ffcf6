#!/usr/bin/env bash
# The Deflate decoder and CRC-32 against zlib's inflate and crc32: runs the
# decoder_bench executable of the build tree, which makes its own 64 MiB of
# data, compresses it with zlib and times both decoders in one process.
# Builds nothing. Called by scripts/bench.sh under scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
exe=$build/bench/decoder_bench.exe
[ -f "$exe" ] || { echo "no decoder benchmark at $exe: build it first"; exit 1; }
"$WINE" "$exe"
