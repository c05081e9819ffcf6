#!/usr/bin/env bash
# `make bench`: speed figures, never pass/fail. Runs every bench-*.sh beside
# this script (the decoder against zlib, the whole stub against 7-Zip).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for part in "$here"/bench-*.sh; do
  [ -e "$part" ] || continue
  echo "== $(basename "$part" .sh)"
  bash "$part"
done
