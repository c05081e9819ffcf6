#!/usr/bin/env bash
# The whole stub against 7-Zip: a ~100 MiB archive (text and binary, made
# reproducibly from a seeded generator and packed by Debian's zip at level
# 6) is appended to the stub, which extracts it silently under Wine into a
# fresh folder; 7zz extracts the same archive natively. Prints both times,
# the throughput in MB/s of extracted data and the ratio. The stub's time
# includes starting a Wine process (tens of milliseconds).
# Called by scripts/bench.sh under scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
stub=$build/zimbro-sfx.exe
work=$build/bench-extract
[ -f "$stub" ] || { echo "no stub at $stub: build it first"; exit 1; }
mkdir -p "$work"

# ---------------------------------------------------------------------------
# The archive, made once from the shared corpus (seeded, times fixed)
# ---------------------------------------------------------------------------
src=$root/build/bench-corpus
"$root/scripts/make-bench-corpus.sh" "$src"
if [ ! -f "$work/bench.zip" ]; then
  (cd "$src" && zip -q -r -X -6 "$work/bench.zip" .)
fi
cat "$stub" "$work/bench.zip" > "$work/bench-setup.exe"
bytes=$(find "$src" -type f -printf "%s\n" | awk "{ n += \$1 } END { print n }")
echo "archive: $(stat -c %s "$work/bench.zip") bytes packed, $bytes bytes extracted"

now() { date +%s.%N; }

# ---------------------------------------------------------------------------
# The stub under Wine
# ---------------------------------------------------------------------------
rm -rf "$work/out-stub"
mkdir -p "$work/out-stub"
start=$(now)
set +e
(cd "$work/out-stub" && timeout 600 "$WINE" ../bench-setup.exe /s)
code=$?
set -e
stubTime=$(echo "$(now) - $start" | bc -l)
[ "$code" -eq 0 ] || echo "WARNING: stub exit code $code"
if ! diff -rq "$src" "$work/out-stub" >/dev/null; then echo "WARNING: stub output differs from the sources"; fi

# ---------------------------------------------------------------------------
# 7-Zip, native
# ---------------------------------------------------------------------------
rm -rf "$work/out-7z"
start=$(now)
7zz x -y -o"$work/out-7z" "$work/bench.zip" >/dev/null
sevenTime=$(echo "$(now) - $start" | bc -l)

rate() { echo "scale=1; $bytes / 1000000 / $1" | bc -l; }
printf 'stub (%s, Wine):  %6.2f s  %7s MB/s\n' "${ZIMBRO_ARCH:-i686}" "$stubTime" "$(rate "$stubTime")"
printf '7zz x (native):  %6.2f s  %7s MB/s\n' "$sevenTime" "$(rate "$sevenTime")"
printf 'ratio stub/7zz: %.2f\n' "$(echo "$stubTime / $sevenTime" | bc -l)"
rm -rf "$work/out-stub" "$work/out-7z"
