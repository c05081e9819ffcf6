#!/usr/bin/env bash
# `make fuzz`: runs every fuzz-*.sh beside this script for the build tree
# that scripts/with-wine.sh chose. Each prints its counts and keeps the inputs
# it found wanting; the run fails when any of them does. Not part of
# `make test`: a full run takes many minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
status=0
for part in "$here"/fuzz-*.sh; do
  [ -e "$part" ] || continue
  echo "== $(basename "$part" .sh)"
  bash "$part" || status=1
done
exit $status
