#!/usr/bin/env bash
# The LZMA decoder against liblzma, natively, under the address and
# undefined-behaviour sanitizers: random and damaged streams
# (ZIMBRO_FUZZ_LZMA_CASES, 1,000,000 by default) from a new seed each run
# (ZIMBRO_FUZZ_SEED repeats one). Every case on which the two disagree is
# kept in build/fuzz/lzma/ as a file (`lzma_fuzzer --replay FILE` judges it
# again); the counts are printed; exit code 1 when there was any. The native
# program is the same for every build tree, so it runs once, with the first
# tree. Builds nothing. Called by scripts/fuzz.sh under scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ZIMBRO_ARCH:-i686}" != "$(echo "${ZIMBRO_ARCHES:-${ZIMBRO_ARCH:-i686}}" | awk '{ print $1 }')" ]; then
  echo "LZMA fuzzer: native, run with the first build tree"
  exit 0
fi
exe=$root/build/native-tests/lzma_fuzzer
[ -x "$exe" ] || { echo "no LZMA fuzzer at $exe: build the i686 tree first"; exit 1; }
cases=${ZIMBRO_FUZZ_LZMA_CASES:-1000000}
seed=${ZIMBRO_FUZZ_SEED:-$(( $(date +%s) % 4000000000 ))}
kept=$root/build/fuzz/lzma
mkdir -p "$kept"
echo "LZMA fuzzer (native, sanitizers): $cases cases, seed $seed; disagreeing cases go to $kept"
"$exe" "$cases" "$seed" "$kept"
