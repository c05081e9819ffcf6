#!/usr/bin/env bash
# `make fuzz`: every fuzzer beside this script (scripts/fuzz-*.sh), one after
# the other, under the Wine that scripts/with-wine.sh prepared. Not part of
# `make test`: a full run takes many minutes. Fails when any fuzzer found a
# fault; each one keeps its failing inputs and says where.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
status=0
for fuzzer in "$here"/fuzz-*.sh; do
  echo "== $(basename "$fuzzer")"
  "$fuzzer" || status=1
done
exit $status
