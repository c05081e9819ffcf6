#!/usr/bin/env bash
# What each method costs at install time, on the three payloads of real
# files (scripts/make-bench-payloads.sh): the installer of each payload made
# with the default (Deflate), --method lzma and --solid, each installed
# silently by this tree's stub under Wine into a fresh folder in memory
# (best of 3 rounds, in turns), beside `7zz x` of 7-Zip's solid archive of
# the same files natively.
#
# Solid blocks should cost nothing but their decoding: Wine's per-file
# costs are the same for both installers. So the figure to watch is the
# --solid install time minus the Deflate one, against the time liblzma
# (Python's lzma, natively) takes to decode the very streams of the --solid
# installer; the target is at most 1.2 times that. Then the peak working
# set of each installer's run: the dictionary plus a fixed amount.
# Figures, never pass/fail. ZIMBRO_BENCH_PAYLOADS chooses payloads
# ("programs kit docs" by default).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
stub=$build/zimbro-sfx.exe
peak=$build/bench/peak_memory.exe
pack=$root/build/zimbro-pack
payloads=$root/build/bench-payloads
work=$build/bench-install
arch=${ZIMBRO_ARCH:-i686}
for f in "$stub" "$peak" "$pack"; do [ -f "$f" ] || { echo "no $f: build it first"; exit 1; }; done
"$root/scripts/make-bench-payloads.sh" "$payloads"
mkdir -p "$work"
# shellcheck source=timing.sh
. "$root/scripts/timing.sh"
output_folder "$work" zimbro-install

install() {  # SETUP
  rm -rf "$outs/out" && mkdir -p "$outs/out"
  (cd "$outs/out" && timeout 1200 "$WINE" "$1" /s)
}
unpack7z() {  # ARCHIVE
  rm -rf "$outs/out-7z"
  7zz x -y -o"$outs/out-7z" "$1"
}

# The solid streams of an installer, decoded by liblzma: the seconds the
# decoding alone takes (best of 3), the stream bytes and the blocks.
decode_blocks() {  # INSTALLER
  python3 - "$1" <<'PY'
import lzma, struct, sys, time, zipfile
path = sys.argv[1]
data = open(path, "rb").read()


def opens_block(extra):
    """The member's solid record puts it at the start of its block."""
    at = 0
    while at + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, at)
        if tag == 0x5A53 and size >= 18:
            return struct.unpack_from("<Q", extra, at + 14)[0] == 0
        at += 4 + size
    return False


raw = []
with zipfile.ZipFile(path) as z:
    # zipfile's offsets already count the stub in front of the archive.
    for info in z.infolist():
        if info.compress_type != 90 or not opens_block(info.extra):
            continue
        n, e = struct.unpack_from("<HH", data, info.header_offset + 26)
        start = info.header_offset + 30 + n + e
        body = data[start:start + info.compress_size]
        lc, rest = body[4] % 9, body[4] // 9
        dictionary = max(struct.unpack_from("<I", body, 5)[0], 4096)
        raw.append((body[9:], {"id": lzma.FILTER_LZMA1, "lc": lc, "lp": rest % 5, "pb": rest // 5,
                               "dict_size": dictionary}))
best = None
for _ in range(3):
    start = time.perf_counter()
    for stream, lzma_filter in raw:
        lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma_filter]).decompress(stream)
    took = time.perf_counter() - start
    best = took if best is None else min(best, took)
print("%.3f %d %d" % (best, sum(len(s) for s, _ in raw), len(raw)))
PY
}

echo "-- install time per method, $arch stub under Wine (best of 3 in turns, output in $outs)"
for p in ${ZIMBRO_BENCH_PAYLOADS:-programs kit docs}; do
  src=$payloads/$p
  [ -d "$src" ] || continue
  bytes=$(find "$src" -type f -printf "%s\n" | awk '{ n += $1 } END { print n }')
  files=$(find "$src" -type f | wc -l)
  [ -f "$work/$p.7z" ] || (cd "$src" && 7zz a -t7z -mx=9 "$work/$p.7z" . >/dev/null)
  declare -A best=()
  for m in deflate lzma solid; do
    case $m in
      deflate) args=() ;;
      lzma) args=(--method lzma) ;;
      solid) args=(--solid) ;;
    esac
    "$pack" -q -o "$work/$p-$m.exe" --stub "$stub" --mtime 2024-01-01 "${args[@]}" "$src" 2>/dev/null
    install "$work/$p-$m.exe" >/dev/null 2>&1 || echo "WARNING: $m installer of $p: exit code $?"
    diff -rq "$src" "$outs/out" >/dev/null || echo "WARNING: the $m installer of $p installed other files"
    best[$m]=999999
  done
  best[7z]=999999
  for round in 1 2 3; do
    for m in deflate lzma solid; do best[$m]=$(lower "$(seconds install "$work/$p-$m.exe")" "${best[$m]}"); done
    best[7z]=$(lower "$(seconds unpack7z "$work/$p.7z")" "${best[7z]}")
  done
  read -r decode streamBytes blockCount < <(decode_blocks "$work/$p-solid.exe")
  echo "$p: $files files, $bytes bytes"
  for m in deflate lzma solid; do
    printf '  %-22s %12d bytes  %7.2f s\n' "install, $m" "$(stat -c %s "$work/$p-$m.exe")" "${best[$m]}"
  done
  printf '  %-22s %12d bytes  %7.2f s\n' "7zz x of the 7z" "$(stat -c %s "$work/$p.7z")" "${best[7z]}"
  extra=$(echo "${best[solid]} - ${best[deflate]}" | bc -l)
  printf '  --solid costs %.2f s over Deflate; liblzma decodes its %d block(s), %d bytes, in %.2f s natively: %.2f times (target <= 1.2)\n' \
    "$extra" "$blockCount" "$streamBytes" "$decode" "$(echo "$extra / $decode" | bc -l)"
  for m in deflate lzma solid; do
    rm -rf "$outs/out" && mkdir -p "$outs/out"
    printf '  peak working set, %-8s ' "$m:"
    (cd "$outs/out" && "$WINE" "$peak" "$work/$p-$m.exe" /s 2>/dev/null | tr -d '\r')
  done
  unset best
done
