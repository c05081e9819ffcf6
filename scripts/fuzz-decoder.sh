#!/usr/bin/env bash
# The Deflate decoder against zlib's inflate, in one process: random and
# damaged streams (ZIMBRO_FUZZ_DECODER_INPUTS, 1,000,000 by default) from a
# new seed each run (ZIMBRO_FUZZ_SEED repeats one). Every stream on which the
# two disagree is kept in <build>/fuzz/decoder/ as a file; the counts are
# printed; exit code 1 when there was any. Builds nothing.
# Called by scripts/fuzz.sh under scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
exe=$build/tests/zip/inflate_fuzzer.exe
[ -f "$exe" ] || { echo "no decoder fuzzer at $exe: build it first"; exit 1; }
inputs=${ZIMBRO_FUZZ_DECODER_INPUTS:-1000000}
seed=${ZIMBRO_FUZZ_SEED:-$(( $(date +%s) % 4000000000 ))}
kept=$build/fuzz/decoder
mkdir -p "$kept"
echo "decoder fuzzer ($ZIMBRO_ARCH build): $inputs inputs, seed $seed; disagreeing inputs go to $kept"
"$WINE" "$exe" "$inputs" "$seed" "Z:$kept"
