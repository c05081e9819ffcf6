#!/usr/bin/env bash
# zimbro-pack against Debian's zip -9 on the benchmark corpus (~100 MiB, see
# scripts/make-bench-corpus.sh): the size of every archive and the time
# taken to make it. Figures, never pass/fail. The packer is a native
# program, so `make bench` runs this once, not per build tree.
# Archive sizes exclude the stub: archive against archive. zip runs with -D
# (no entries for folders that hold files, as the packer makes none).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pack=$root/build/zimbro-pack
stub=$root/build/zimbro-sfx.exe
src=$root/build/bench-corpus
work=$root/build/pack-bench
[ -x "$pack" ] && [ -f "$stub" ] || { echo "no packer or stub in $root/build: build them first"; exit 1; }
"$root/scripts/make-bench-corpus.sh" "$src"
rm -rf "$work"
mkdir -p "$work"

bytes=$(find "$src" -type f -printf "%s\n" | awk '{ n += $1 } END { print n }')
files=$(find "$src" -type f | wc -l)
echo "corpus: $bytes bytes in $files files; $(nproc) cores (the packer compresses members in parallel)"

now() { date +%s.%N; }
start=$(now)
(cd "$src" && zip -q -r -X -D -9 "$work/zip9.zip" .)
zipTime=$(echo "$(now) - $start" | bc -l)
zipSize=$(stat -c %s "$work/zip9.zip")
stubSize=$(stat -c %s "$stub")

printf '%-26s %14s %9s %9s\n' "" "archive bytes" "vs zip -9" "time"
printf '%-26s %14d %8.2f%% %7.2f s\n' "zip -9" "$zipSize" 100 "$zipTime"
row() {  # label, packer arguments...
  local label=$1 start size elapsed
  shift
  start=$(now)
  "$pack" -o "$work/out.exe" --stub "$stub" --mtime 2024-01-01 "$@" "$src" >/dev/null
  elapsed=$(echo "$(now) - $start" | bc -l)
  size=$(( $(stat -c %s "$work/out.exe") - stubSize ))
  printf '%-26s %14d %8.2f%% %7.2f s\n' "$label" "$size" "$(echo "100 * $size / $zipSize" | bc -l)" "$elapsed"
  [ "$label" != "zimbro-pack (default)" ] || defaultSize=$size
}
row "zimbro-pack -1" -1
row "zimbro-pack -9" -9
row "zimbro-pack (default)"
row "zimbro-pack -12" -12
row "zimbro-pack --zopfli 5" --zopfli 5
if [ "$defaultSize" -le "$zipSize" ]; then
  echo "the default level is not larger than zip -9"
else
  echo "WARNING: the default level is larger than zip -9"
fi
rm -f "$work/out.exe"
echo "==== installer sizes on three payloads of real files, against 7-Zip's solid archive"
"$root/scripts/pack-bench-payloads.sh"
