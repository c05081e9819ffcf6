#!/usr/bin/env bash
# Which test builds scripts/arches.sh chooses on the kinds of machine there
# are, simulated with stand-in loaders: one that starts, one that fails as
# Wine's 32-bit loader does on a kernel without 32-bit support, and one that
# is not installed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\necho wine-8.0\n' > "$work/starts"
printf '#!/bin/sh\necho "/usr/lib/wine/wine: Exec format error" >&2\nexit 126\n' > "$work/noexec"
printf '#!/bin/sh\necho "wine: could not load ntdll.so" >&2\nexit 1\n' > "$work/broken"
chmod +x "$work/starts" "$work/noexec" "$work/broken"

failures=0
# expect WINE32 WINE64 ARCH EXIT ARCHES NOTE-or-ERROR-PATTERN
expect() {
  local out status arches note
  out=$(ZIMBRO_WINE32_LOADER="$work/$1" ZIMBRO_WINE64_LOADER="$work/$2" "$root/scripts/arches.sh" "$3" 2>&1)
  status=$?
  if [ "$status" -ne "$4" ]; then
    echo "FAIL ($1, $2, ARCH=$3): exit $status, expected $4: $out"; failures=$((failures + 1)); return
  fi
  if [ "$status" -ne 0 ]; then
    grep -q -- "$6" <<<"$out" || { echo "FAIL ($1, $2, ARCH=$3): '$out' lacks '$6'"; failures=$((failures + 1)); }
    return
  fi
  eval "$out"
  if [ "$ZIMBRO_ARCHES" != "$5" ] || [ "$ZIMBRO_ARCHES_NOTE" != "$6" ]; then
    echo "FAIL ($1, $2, ARCH=$3): '$ZIMBRO_ARCHES' / '$ZIMBRO_ARCHES_NOTE'"; failures=$((failures + 1))
  fi
}

expect starts  starts  auto 0 "i686 x64" "i686, x64"
expect noexec  starts  auto 0 "x64" "x64 only — this machine cannot start 32-bit programs (kernel without 32-bit support)"
expect missing starts  auto 0 "x64" "x64 only — the Wine loader of wine32:i386 is not installed"
expect starts  broken  auto 0 "i686" "i686 only — the 64-bit Wine loader: broken does not start: wine: could not load ntdll.so"
expect starts  starts  x64  0 "x64" "x64 only — chosen by ARCH=x64"
expect starts  starts  i686 0 "i686" "i686 only — chosen by ARCH=i686"
expect noexec  starts  i686 1 "" "ARCH=i686 cannot run here: this machine cannot start 32-bit programs"
expect noexec  missing auto 1 "" "no Wine loader starts here"
expect starts  starts  arm  1 "" "ARCH must be auto, i686 or x64"

[ "$failures" -eq 0 ] && echo "all machine kinds decided as expected"
exit "$failures"
