#!/usr/bin/env bash
# `make demo`: makes an installer from examples/demo with zimbro-pack (its
# comment.txt is the script; the packer leaves it out of the members), runs
# it silently under Wine in a fresh folder, and shows what came out next to
# the sources. Run through scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
stub=$build/zimbro-sfx.exe
pack=$root/build/zimbro-pack
source=$root/examples/demo
demo=$build/demo

[ -f "$stub" ] || { echo "no stub at $stub: build it first (make build)"; exit 1; }
[ -x "$pack" ] || { echo "no zimbro-pack at $pack: build it first (make build)"; exit 1; }
rm -rf "$demo"
mkdir -p "$demo/out"

"$pack" -o "$demo/demo-setup.exe" --stub "$stub" --script "$source/comment.txt" "$source"
echo "script (archive comment):"
sed 's/^/  | /' "$source/comment.txt"

echo "running: demo-setup.exe /s in $demo/out"
set +e
(cd "$demo/out" && timeout 120 "$WINE" ../demo-setup.exe /s)
code=$?
set -e

echo "extracted:"
fail=0
while IFS= read -r -d '' file; do
  relative=${file#"$demo/out/"}
  size=$(stat -c %s "$file")
  if cmp -s "$file" "$source/$relative"; then verdict=OK; else verdict=DIFF; fail=1; fi
  printf '  %-22s %8d bytes  %s\n' "$relative" "$size" "$verdict"
done < <(find "$demo/out" -type f -print0 | sort -z)
while IFS= read -r -d '' file; do
  relative=${file#"$source/"}
  [ "$relative" = comment.txt ] && continue
  [ -f "$demo/out/$relative" ] || { printf '  %-22s missing\n' "$relative"; fail=1; }
done < <(find "$source" -type f -print0 | sort -z)
echo "exit code: $code"
[ "$code" -eq 0 ] && [ "$fail" -eq 0 ]
