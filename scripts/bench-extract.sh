#!/usr/bin/env bash
# The whole stub against two peers, on three archives made reproducibly from
# seeded generators and packed by Debian's zip at level 6: the ~100 MiB
# corpus (text and binary), 5,000 small files in 50 folders, and a one-file
# archive (the fixed cost of a run). The stub, with the archive appended,
# extracts it silently under Wine into a fresh folder (in memory where the
# machine has a RAM file system). The peers:
#   - the plain extractor (bench/plain_extractor.cpp), a Win32 program on the
#     same system layer under the same Wine prefix, which inflates with zlib
#     and writes with CreateFile / WriteFile / SetFileTime, no window: the
#     ratio stub / plain is what the stub's window, checks and decoder cost;
#   - `7zz x` natively, which mixes two system layers (kept for reference).
# The three programs run in turns, five rounds, best time each, so that the
# ratios of one run share the disk's and the machine's moods. The stub's and
# the plain extractor's times include starting a Wine process.
#
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
stub=$build/zimbro-sfx.exe
timed=$build/bench/zimbro-sfx-timed.exe
peak=$build/bench/peak_memory.exe
plain=$build/bench/plain_extractor.exe
work=$build/bench-extract
for f in "$stub" "$timed" "$peak" "$plain"; do [ -f "$f" ] || { echo "no $f: build it first"; exit 1; }; done
mkdir -p "$work"
arch=${ZIMBRO_ARCH:-i686}
# The programs extract into a folder in memory where the machine has one:
# the disk's writeback moods swing a run of 5,000 small files by seconds,
# for every program alike, and would drown the ratios of the programs
# themselves. The archives stay on disk, in the page cache after a round.
# shellcheck source=timing.sh
. "$root/scripts/timing.sh"
output_folder "$work" zimbro-bench

# ---------------------------------------------------------------------------
# The archives, made once (seeded, times fixed)
# ---------------------------------------------------------------------------
corpus=$root/build/bench-corpus
"$root/scripts/make-bench-corpus.sh" "$corpus"
[ -f "$work/corpus.zip" ] || (cd "$corpus" && zip -q -r -X -6 "$work/corpus.zip" .)

small=$root/build/bench-small
if [ ! -f "$small.complete" ]; then
  rm -rf "$small"
  python3 - "$small" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(5000)
words = "setup readme license program library data image icon help table index".split()
for i in range(5000):
    folder = os.path.join(root, "dir%02d" % (i % 50))
    os.makedirs(folder, exist_ok=True)
    size = int(rng.expovariate(1 / 3000))
    text = " ".join(rng.choice(words) for _ in range(size // 6 + 1)).encode()[:size]
    with open(os.path.join(folder, "file%04d.txt" % i), "wb") as f:
        f.write(text)
PY
  find "$small" -exec touch -h -d '2024-01-01 12:00:00' {} +
  touch "$small.complete"
fi
[ -f "$work/small.zip" ] || (cd "$small" && zip -q -r -X -6 "$work/small.zip" .)

tiny=$work/tiny
if [ ! -f "$work/tiny.zip" ]; then
  rm -rf "$tiny" && mkdir -p "$tiny" && echo "one small file" > "$tiny/one.txt"
  (cd "$tiny" && zip -q -X -6 "$work/tiny.zip" one.txt)
fi


# ---------------------------------------------------------------------------
# Stub against the plain extractor and 7-Zip
# ---------------------------------------------------------------------------
run_stub() {  # SETUP: extract into a fresh out-stub
  rm -rf "$outs/out-stub" && mkdir -p "$outs/out-stub"
  (cd "$outs/out-stub" && timeout 600 "$WINE" "$1" /s)
}
run_plain() {  # ZIP: the same archive, same layer, into a fresh out-plain
  rm -rf "$outs/out-plain" && mkdir -p "$outs/out-plain"
  (cd "$outs/out-plain" && timeout 600 "$WINE" "$plain" "$1")
}
run_7zz() {  # ZIP
  rm -rf "$outs/out-7z"
  7zz x -y -o"$outs/out-7z" "$1"
}

compare() {  # NAME ZIP SOURCE TARGET: TARGET is the wanted ratio stub/plain
  local name=$1 zip=$2 src=$3 target=$4
  cat "$stub" "$zip" > "$work/setup-$name.exe"
  local bytes files
  bytes=$(find "$src" -type f -printf "%s\n" | awk '{ n += $1 } END { print n }')
  files=$(find "$src" -type f | wc -l)
  run_stub "$work/setup-$name.exe" >/dev/null 2>&1 || echo "WARNING: stub exit code $?"
  diff -rq "$src" "$outs/out-stub" >/dev/null || echo "WARNING: stub output differs from the sources"
  run_plain "$zip" >/dev/null 2>&1 || echo "WARNING: plain extractor exit code $?"
  diff -rq "$src" "$outs/out-plain" >/dev/null || echo "WARNING: plain extractor output differs from the sources"
  local s=999999 p=999999 z=999999 round
  for round in 1 2 3 4 5; do
    s=$(lower "$(seconds run_stub "$work/setup-$name.exe")" "$s")
    p=$(lower "$(seconds run_plain "$zip")" "$p")
    z=$(lower "$(seconds run_7zz "$zip")" "$z")
  done
  echo "archive $name: $files files, $bytes bytes extracted, $(stat -c %s "$zip") bytes packed"
  printf '  stub (%s, Wine):             %6.2f s  %7.1f MB/s\n' "$arch" "$s" "$(echo "$bytes / 1000000 / $s" | bc -l)"
  printf '  plain extractor (%s, Wine):  %6.2f s  %7.1f MB/s\n' "$arch" "$p" "$(echo "$bytes / 1000000 / $p" | bc -l)"
  printf '  7zz x (native):                %6.2f s  %7.1f MB/s\n' "$z" "$(echo "$bytes / 1000000 / $z" | bc -l)"
  printf '  ratio stub/plain: %.2f (target <= %s)   ratio stub/7zz: %.2f\n' \
    "$(echo "$s / $p" | bc -l)" "$target" "$(echo "$s / $z" | bc -l)"
  best_stub[$name]=$s
  best_plain[$name]=$p
}
declare -A best_stub best_plain

# The same ratios without the fixed cost of a run (the tiny archive's time,
# which for the stub is mostly starting the window libraries and swings
# with the machine's state): what the members themselves cost each program.
beyond_fixed() {  # NAME
  local name=$1
  printf '  %s without the fixed cost of a run: stub/plain %.2f ((%.2f - %.2f) / (%.2f - %.2f) s)\n' "$name" \
    "$(echo "(${best_stub[$name]} - ${best_stub[tiny]}) / (${best_plain[$name]} - ${best_plain[tiny]})" | bc -l)" \
    "${best_stub[$name]}" "${best_stub[tiny]}" "${best_plain[$name]}" "${best_plain[tiny]}"
}

# Where the time goes: one run of the timed stub; the stages in milliseconds.
breakdown() {  # NAME ZIP
  local name=$1 zip=$2 times start wall
  cat "$timed" "$zip" > "$work/timed-$name.exe"
  times=$work/stages-$name.txt
  rm -f "$times" && rm -rf "$outs/out-stub" && mkdir -p "$outs/out-stub"
  start=$(now)
  (cd "$outs/out-stub" && ZIMBRO_STAGE_TIMES="Z:${times//\//\\}" timeout 600 "$WINE" "$work/timed-$name.exe" /s) \
    >/dev/null 2>&1 || true
  wall=$(echo "$(now) - $start" | bc -l)
  [ -f "$times" ] || { echo "  (no stage times written)"; return; }
  tr -d '\r' < "$times" | awk -v wall="$wall" -v name="$name" '
    { ms[$1] = $2 / 1000; total += $2 / 1000; order[n++] = $1 }
    END {
      printf "  where the time goes (%s, timed copy of the stub, one run, %.0f ms wall):\n", name, wall * 1000
      printf "    %-44s %7.0f ms\n", "process start, dialog, shutdown (wall - stages)", wall * 1000 - total
      label["directory"] = "directory (end record, central headers)"
      label["member"] = "local headers, names, folders, existing files"
      label["create"] = "creating output files"
      label["decode"] = "decoding (Deflate or Stored copy)"
      label["crc"] = "CRC-32"
      label["write"] = "writing"
      label["close"] = "closing, setting times and attributes"
      label["other"] = "progress, message pump, engine set-up"
      label["report"] = "a line per member in the information window"
      for (i = 0; i < n; ++i) printf "    %-44s %7.0f ms\n", label[order[i]], ms[order[i]]
    }'
}

echo "-- whole extraction, $arch stub under Wine against the plain extractor under Wine and 7zz natively (best of 5 rounds in turns, output in $outs)"
compare corpus "$work/corpus.zip" "$corpus" 1.1
breakdown corpus "$work/corpus.zip"
compare small "$work/small.zip" "$small" 1.1
breakdown small "$work/small.zip"
compare tiny "$work/tiny.zip" "$tiny" 2.0
beyond_fixed corpus
beyond_fixed small

# ---------------------------------------------------------------------------
# Peak memory
# ---------------------------------------------------------------------------
echo "-- peak working set of the $arch stub while extracting (as the system counts it)"
for name in tiny small corpus; do
  cat "$stub" "$work/$name.zip" > "$work/setup-$name.exe"
  rm -rf "$outs/out-stub" && mkdir -p "$outs/out-stub"
  printf '  %-7s %11s bytes packed: ' "$name" "$(stat -c %s "$work/$name.zip")"
  (cd "$outs/out-stub" && "$WINE" "$peak" "$work/setup-$name.exe" /s 2>/dev/null | tr -d '\r')
done

# ---------------------------------------------------------------------------
# Size
# ---------------------------------------------------------------------------
for image in "$root/build/zimbro-sfx.exe" "$stub"; do
  [ -f "$image" ] || continue
  objdump=i686-w64-mingw32-objdump
  [ "$image" = "$root/build/zimbro-sfx.exe" ] || objdump=x86_64-w64-mingw32-objdump
  code=0 data=0 res=0
  while read -r section hex; do
    bytes=$((16#$hex))
    case $section in
      .text) code=$((code + bytes)) ;;
      .rsrc) res=$((res + bytes)) ;;
      .bss) ;;
      *) data=$((data + bytes)) ;;
    esac
  done < <("$objdump" -h "$image" | awk '$2 ~ /^\./ { print $2, $3 }')
  size=$(stat -c %s "$image")
  echo "-- size of $image: $size bytes (ceiling 81920): code $code, data and imports $data," \
    "resources $res, headers and alignment $((size - code - data - res))"
  [ "$image" = "$stub" ] && break
done
rm -rf "$outs/out-stub" "$outs/out-plain" "$outs/out-7z"
