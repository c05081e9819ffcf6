#!/usr/bin/env bash
# `make demo`: packs examples/demo with Debian's zip (its comment.txt as the
# archive comment, which is the script), appends the archive to the stub,
# runs the result silently under Wine in a fresh folder, and shows what came
# out next to the sources. Run through scripts/with-wine.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
stub=$build/zimbro-sfx.exe
source=$root/examples/demo
demo=$build/demo

[ -f "$stub" ] || { echo "no stub at $stub: build it first (make build)"; exit 1; }
rm -rf "$demo"
mkdir -p "$demo/out"

# The archive: every file but the script, which becomes the comment.
(cd "$source" && zip -q -r -X "$demo/demo.zip" . -x comment.txt -z < comment.txt)
cat "$stub" "$demo/demo.zip" > "$demo/demo-setup.exe"
echo "stub $(stat -c %s "$stub") bytes + archive $(stat -c %s "$demo/demo.zip") bytes = $demo/demo-setup.exe"
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
