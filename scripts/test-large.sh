#!/usr/bin/env bash
# `make test-large`: the real sizes, once (not part of `make test`). Packs a
# tree of one generated member of 5 GiB and 70,000 small ones with this
# tree's zimbro-pack, tests the installer with unzip and 7-Zip, extracts it
# with `7zz x` and with the stub under Wine, checks every file (size and
# SHA-256) and prints the times. Needs about 17 GiB free in build/ (the
# tree, the installer and one extraction at a time); the tree and the
# installer are kept in build/test-large/ for the next run and the other
# build. Called by scripts/each-arch.sh under scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec python3 "$root/scripts/test_large.py" "$root"
