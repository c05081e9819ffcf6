#!/usr/bin/env bash
# Three payloads of real files from this machine, the kinds an installer
# carries, for the size benchmarks (scripts/pack-bench-payloads.sh):
#   programs  Windows program files: MinGW's DLLs, then Wine's PE DLLs and
#             EXEs, up to ~105 MiB
#   kit       a developer kit: /usr/include, then /usr/share/doc, ~150 MiB
#   docs      documentation: the licences, the Python library's sources and
#             man pages (unpacked from their .gz), ~60 MiB
# Files are taken in sorted path order until the payload's size is reached,
# and what the machine lacks is skipped, so the same machine always gives
# the same payloads. Every file gets one fixed time. Made once; later calls
# find them made.
# Usage: scripts/make-bench-payloads.sh FOLDER
set -euo pipefail
out=${1:?usage: make-bench-payloads.sh FOLDER}
[ -f "$out/.complete" ] && exit 0
rm -rf "$out"
mkdir -p "$out"
python3 - "$out" <<'PY'
import glob, gzip, os, shutil, sys

out = sys.argv[1]
MiB = 1 << 20


def files_under(*roots, keep=lambda path: True):
    found = []
    for root in roots:
        for pattern in sorted(glob.glob(root)):
            for dirpath, dirs, names in os.walk(pattern):
                dirs.sort()
                for name in sorted(names):
                    path = os.path.join(dirpath, name)
                    if os.path.isfile(path) and not os.path.islink(path) and keep(path):
                        found.append(path)
    return found


def is_program(path):
    try:
        with open(path, "rb") as f:
            return f.read(2) == b"MZ"
    except OSError:
        return False


RESERVED = {"con", "prn", "aux", "nul"} | {"com%d" % i for i in range(1, 10)} | {"lpt%d" % i for i in range(1, 10)}


def windows_takes(name, taken):
    """Whether Windows can hold the name beside those taken (compared as it
    does, without case): the installer must be able to write every file."""
    parts = name.split("/")
    if any(set(part) & set('<>:"|?*\\') or part.endswith((".", " ")) or part.split(".")[0].lower() in RESERVED
           for part in parts):
        return False
    lower = name.lower()
    return lower not in taken and lower + "/" not in taken and \
        not any("/".join(parts[:i]).lower() in taken for i in range(1, len(parts)))


def fill(payload, sources, limit, unpack_gz=False):
    """Copies sources (in order) under payload/ with their paths, until limit bytes."""
    total = count = 0
    taken = set()
    for path in sources:
        try:
            data = open(path, "rb").read()
            if unpack_gz and path.endswith(".gz"):
                data, path = gzip.decompress(data), path[:-3]
        except (OSError, EOFError, gzip.BadGzipFile):
            continue
        if total + len(data) > limit:
            if total > limit * 0.95:
                break
            continue
        name = path.lstrip("/")
        if not windows_takes(name, taken):
            continue
        taken.add(name.lower())
        taken.update("/".join(name.split("/")[:i]).lower() + "/" for i in range(1, name.count("/") + 1))
        target = os.path.join(out, payload, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        total += len(data)
        count += 1
    print("%-9s %6d files, %6.1f MiB" % (payload, count, total / MiB))


fill("programs", files_under("/usr/lib/gcc/x86_64-w64-mingw32", "/usr/x86_64-w64-mingw32/lib",
                             "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/wine",
                             keep=is_program), 105 * MiB)
fill("kit", files_under("/usr/include", "/usr/share/doc"), 150 * MiB)
fill("docs", files_under("/usr/share/common-licenses") +
     files_under("/usr/lib/python3.*[0-9]", keep=lambda p: p.endswith(".py")) +
     files_under("/usr/share/man/man[1-8]"), 60 * MiB, unpack_gz=True)
PY
find "$out" -exec touch -h -d '2024-01-01 12:00:00' {} +
touch "$out/.complete"
