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
# The archive, made once and kept (the generator is seeded, the times fixed)
# ---------------------------------------------------------------------------
if [ ! -f "$work/bench.zip" ]; then
  rm -rf "$work/src"
  python3 - "$work/src" <<'PY'
import os, random, sys
src = sys.argv[1]
rng = random.Random(1951)
words = ("archive member window block length distance literal code table header "
         "folder file time attribute stream buffer offset signature record").split()
def text(size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randrange(4, 14)))
        line = "%07d %s\n" % (n, line)
        out.append(line); n += len(line)
    return "".join(out).encode()[:size]
def semi(size):
    # Binary with structure: runs, small integers, repeated records.
    out = bytearray()
    while len(out) < size:
        kind = rng.randrange(3)
        if kind == 0:
            out += bytes([rng.randrange(256)]) * rng.randrange(1, 200)
        elif kind == 1:
            out += bytes(rng.randrange(16) for _ in range(rng.randrange(50, 500)))
        else:
            out += rng.randbytes(rng.randrange(20, 300))
    return bytes(out[:size])
MiB = 1 << 20
plan = ([("text/doc%02d.txt" % i, text, 3 * MiB) for i in range(14)] +
        [("bin/random%02d.bin" % i, lambda s: rng.randbytes(s), 4 * MiB) for i in range(8)] +
        [("bin/table%02d.dat" % i, semi, 2 * MiB) for i in range(12)] +
        [("small/f%03d.txt" % i, text, 20000) for i in range(200)])
for name, make, size in plan:
    path = os.path.join(src, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(make(size))
PY
  find "$work/src" -exec touch -h -d '2024-01-01 12:00:00' {} +
  (cd "$work/src" && zip -q -r -X -6 "$work/bench.zip" .)
fi
cat "$stub" "$work/bench.zip" > "$work/bench-setup.exe"
bytes=$(find "$work/src" -type f -printf "%s\n" | awk "{ n += \$1 } END { print n }")
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
if ! diff -rq "$work/src" "$work/out-stub" >/dev/null; then echo "WARNING: stub output differs from the sources"; fi

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
