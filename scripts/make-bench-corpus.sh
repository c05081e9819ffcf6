#!/usr/bin/env bash
# The benchmark corpus: ~100 MiB of text and binary files (text, random and
# structured binary, 200 small files), made reproducibly from a seeded
# generator with one fixed time, once; later calls find it made.
# Used by scripts/bench-extract.sh and scripts/pack-bench.sh.
# Usage: scripts/make-bench-corpus.sh FOLDER
set -euo pipefail
src=${1:?usage: make-bench-corpus.sh FOLDER}
[ -f "$src.complete" ] && exit 0
rm -rf "$src"
python3 - "$src" <<'PY'
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
find "$src" -exec touch -h -d '2024-01-01 12:00:00' {} +
touch "$src.complete"
