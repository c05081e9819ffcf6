#!/usr/bin/env bash
# Installer sizes on three payloads of real files (scripts/make-bench-payloads.sh):
# per payload, zip -9, zimbro-pack's default (Deflate), --method lzma and
# --solid, against 7-Zip's strongest solid archive (7zz a -t7z -mx=9), with
# the time each took. Figures, never pass/fail; run by scripts/pack-bench.sh.
#
# Sizes are archives without the stub. A ZIP archive also carries two
# headers per member (about 76 bytes plus the name twice, 44 bytes more in
# a solid block), which 7-Zip's archive keeps compressed: "data" is the
# --solid archive without them, the compressed bytes alone.
# zip -9 and 7zz depend on the payload only: their figures are kept in
# FOLDER/baseline.txt and measured again only when it is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pack=$root/build/zimbro-pack
stub=$root/build/zimbro-sfx.exe
payloads=$root/build/bench-payloads
work=$root/build/pack-bench-payloads
"$root/scripts/make-bench-payloads.sh" "$payloads"
rm -rf "$work"
mkdir -p "$work"
stubSize=$(stat -c %s "$stub")
now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }
percent() { echo "100 * $1 / $2" | bc -l; }

baseline=$payloads/baseline.txt
if [ ! -f "$baseline" ]; then
  for p in programs kit docs; do
    start=$(now)
    (cd "$payloads/$p" && zip -q -r -X -D -9 "$work/$p.zip" .)
    zipTime=$(since "$start")
    start=$(now)
    (cd "$payloads/$p" && 7zz a -t7z -mx=9 "$work/$p.7z" . >/dev/null)
    echo "$p $(stat -c %s "$work/$p.zip") $zipTime $(stat -c %s "$work/$p.7z") $(since "$start")"
  done > "$baseline.partial"
  mv "$baseline.partial" "$baseline"
fi

# The bytes of a ZIP archive that are member data, without any header.
data_bytes() {
  python3 -c 'import sys, zipfile; print(sum(i.compress_size for i in zipfile.ZipFile(sys.argv[1]).infolist()))' "$1"
}

echo "$(nproc) cores; each size is the archive without the stub, and its share of 7zz -t7z -mx=9's"
while read -r p zipSize zipTime sevenSize sevenTime; do
  bytes=$(find "$payloads/$p" -type f -printf "%s\n" | awk '{ n += $1 } END { print n }')
  files=$(find "$payloads/$p" -type f | wc -l)
  echo "== $p: $bytes bytes in $files files"
  printf '  %-24s %12s %8s %10s\n' "" "bytes" "vs 7z" "time"
  line() { printf '  %-24s %12d %7.1f%% %8.1f s\n' "$1" "$2" "$(percent "$2" "$sevenSize")" "$3"; }
  line "zip -9" "$zipSize" "$zipTime"
  for row in "default:" "--method lzma:--method lzma" "--solid:--solid"; do
    label=${row%%:*}
    start=$(now)
    # shellcheck disable=SC2086
    "$pack" -q -o "$work/out.exe" --stub "$stub" --mtime 2024-01-01 ${row#*:} "$payloads/$p"
    elapsed=$(since "$start")
    line "zimbro-pack $label" $(( $(stat -c %s "$work/out.exe") - stubSize )) "$elapsed"
  done
  data=$(data_bytes "$work/out.exe")
  printf '  %-24s %12d %7.1f%%\n' "  without ZIP headers" "$data" "$(percent "$data" "$sevenSize")"
  line "7zz a -t7z -mx=9" "$sevenSize" "$sevenTime"
done < "$baseline"
rm -f "$work/out.exe"
