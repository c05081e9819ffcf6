#!/usr/bin/env bash
# The stub's AES, HMAC-SHA1 and key derivation against libcrypto's, natively
# (bench/native/crypto_bench.cpp, built by the i686 tree). The figures are
# the same on every build and are printed once, with the first build's.
# Builds nothing. Called by scripts/bench.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/bench/native/crypto_bench_native
if [ "${ZIMBRO_ARCH:-i686}" = "$(echo "${ZIMBRO_ARCHES:-i686}" | awk '{ print $1 }')" ]; then
  if [ -x "$native" ]; then
    "$native"
  else
    echo "no native cryptography benchmark at $native: build the i686 tree first"
  fi
fi
