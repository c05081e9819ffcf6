#!/usr/bin/env bash
# Hostile archives through the whole stub: seeds from zip, 7-Zip, Python's
# zipfile and zimbro-pack are mutated (tests/fuzz/mutate_archives.py), each
# mutation is appended to the stub and run silently under Wine in an empty
# destination with a time limit (tests/fuzz/fuzz_runner.cpp, which starts
# many runs from one Windows process). Counts crashes, hangs and escapes
# (files created outside the destination: beside it, at the root of the
# drive, and anywhere on the prefix's drive C: between lists of runs), and
# keeps every failing input in BUILD/fuzz/failures/.
#
# Run through scripts/with-wine.sh (scripts/fuzz.sh does). Options:
#   --count N      archives to make and run (default 10000)
#   --seed S       random seed of the mutations (default: the time)
#   --inputs F...  run these archives instead of mutations (regressions)
#   --workers N    runs side by side (default: the number of cores)
#   --build DIR    the build tree (default $ZIMBRO_BUILD_DIR)
#   --no-drive-watch
#                  only the checks of each run (beside the destination, at
#                  the drive's root), not the look over the whole drive:
#                  under `make test` other tests write there at the same time
# Exit status 1 when any run crashed, hung or escaped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=10000 seed=$(date +%s) workers=$(nproc) build=${ZIMBRO_BUILD_DIR:-$root/build} inputs=() watch=1
while [ $# -gt 0 ]; do
  case $1 in
    --count) count=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --workers) workers=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --no-drive-watch) watch=0; shift ;;
    --inputs) shift; inputs=("$@"); break ;;
    *) echo "fuzz-archives: unknown option $1" >&2; exit 2 ;;
  esac
done
: "${WINE:?run through scripts/with-wine.sh}" "${WINEPREFIX:?run through scripts/with-wine.sh}"
# A crash must end the run with its exception code, not start a debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winedbg.exe="

stub=$build/zimbro-sfx.exe
runner=$build/tests/fuzz/fuzz_runner.exe
for f in "$stub" "$runner"; do
  [ -f "$f" ] || { echo "fuzz-archives: $f is not built" >&2; exit 2; }
done
windows() { printf 'Z:%s' "$1" | tr / '\\'; }

tag=$$
out=$build/fuzz/run-$tag
rm -rf "$out"
mkdir -p "$out" "$build/fuzz/failures"
started=$(date +%s)
# Copies: a build while this runs must not change the program under test.
cp "$stub" "$out/zimbro-sfx.exe" && stub=$out/zimbro-sfx.exe
cp "$runner" "$out/fuzz_runner.exe" && runner=$out/fuzz_runner.exe

if [ ${#inputs[@]} -eq 0 ]; then
  # The packer's seed needs the i686 tree's zimbro-pack (beside its stub).
  packer=$root/build/zimbro-pack
  python3 "$root/tests/fuzz/mutate_archives.py" seeds "$build/fuzz/seeds" --stub "$stub" --packer "$packer"
  python3 "$root/tests/fuzz/mutate_archives.py" mutate "$build/fuzz/seeds" "$out/cases" "$count" "$seed"
  mapfile -t inputs < "$out/cases/list.txt"
  echo "fuzz-archives: $count archives from $(ls "$build/fuzz/seeds" | wc -l) seeds, seed $seed"
fi

# Lists of at most 500 runs, dealt to the workers in turn; each worker works
# in a folder of its own on drive C:, made before any run starts so that no
# worker takes another's folder for an escape.
split_dir=$out/lists
mkdir -p "$split_dir"
printf '%s\n' "${inputs[@]}" | python3 -c '
import os, sys
split_dir, workers = sys.argv[1], int(sys.argv[2])
paths = [os.path.realpath(line.strip()) for line in sys.stdin if line.strip()]
for i, path in enumerate(paths):
    name = os.path.join(split_dir, "w%d-%04d.txt" % (i % workers, i // (500 * workers)))
    with open(name, "a") as f:
        f.write("Z:" + path.replace("/", "\\") + "\n")
' "$split_dir" "$workers"
drive=$WINEPREFIX/drive_c
for w in $(seq 0 $((workers - 1))); do mkdir -p "$drive/zimbro-fuzz/$tag-w$w"; done

run_worker() {
  local w=$1 list stamp strays
  for list in "$split_dir"/w"$w"-*.txt; do
    [ -f "$list" ] || continue
    stamp=$list.stamp
    touch "$stamp"
    "$WINE" "$runner" "$(windows "$stub")" "$(windows "$list")" "C:\\zimbro-fuzz\\$tag-w$w\\work" \
      "$(windows "$list.results")" 60000 </dev/null >/dev/null 2>&1 || true
    # Anything new on the drive, outside the workers' folders, came from one
    # of these runs.
    [ $watch -eq 1 ] || continue
    strays=$(find "$drive" -newer "$stamp" -not -path "$drive/zimbro-fuzz/*" -type f 2>/dev/null | head -20)
    if [ -n "$strays" ]; then
      printf '%s\n' "$strays" > "$list.strays"
    fi
  done
}
pids=()
for w in $(seq 0 $((workers - 1))); do run_worker "$w" & pids+=($!); done
for pid in "${pids[@]}"; do wait "$pid"; done
rm -rf "$drive"/zimbro-fuzz/"$tag"-*

elapsed=$(( $(date +%s) - started ))
status=0
python3 - "$split_dir" "$build/fuzz/failures" "$elapsed" "${#inputs[@]}" <<'PY' || status=$?
import glob, os, shutil, sys
split_dir, failures, elapsed, expected = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
counts = {"ok": 0, "crash": 0, "hang": 0, "escape": 0, "skipped": 0}
codes, failed, slowest = {}, [], (0, "")
def unix(path):
    return path[2:].replace("\\", "/") if path[1:2] == ":" else path
for results in sorted(glob.glob(os.path.join(split_dir, "*.results"))):
    for line in open(results, encoding="latin-1"):
        path, code, verdict, ms, detail = (line.rstrip("\n").split("\t") + [""] * 5)[:5]
        counts[verdict] = counts.get(verdict, 0) + 1
        codes[code] = codes.get(code, 0) + 1
        if verdict in ("crash", "hang", "escape", "skipped"):
            failed.append((verdict, unix(path), code, detail))
        if ms.isdigit() and int(ms) > slowest[0]:
            slowest = (int(ms), unix(path))
    strays = results.replace(".results", ".strays")
    if os.path.exists(strays):
        # Not tied to one run: every archive of that list is kept.
        listed = open(results.replace(".results", ""), encoding="latin-1").read().split()
        counts["escape"] += 1
        for path in listed:
            failed.append(("escape-suspect", unix(path), "-", open(strays).read().replace("\n", " ")))
ran = sum(counts.values())
for verdict, path, code, detail in failed:
    kept = os.path.join(failures, verdict + "-" + os.path.basename(path))
    if verdict == "skipped":  # not run at all: a fault of the machine, nothing to keep
        kept = "-"
    elif os.path.exists(path):
        shutil.copyfile(path, kept)
    print("FAILED %s code %s: %s %s (kept as %s)" % (verdict, code, path, detail, kept))
print("fuzz-archives: archives %d (of %d), crashes %d, hangs %d, escapes %d, time %d s"
      % (ran, expected, counts["crash"], counts["hang"], counts["escape"], elapsed))
print("fuzz-archives: exit codes " + ", ".join("%s: %d" % (int(c, 16) if c != "-" else c, n)
                                              for c, n in sorted(codes.items())))
print("fuzz-archives: slowest run %d ms (%s)" % slowest)
sys.exit(1 if failed or ran != expected else 0)
PY
# The mutated archives are made again from the seed at will; only the
# failures are kept.
[ $status -eq 0 ] && rm -rf "$out"
exit $status
