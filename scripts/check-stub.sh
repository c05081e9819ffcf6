#!/usr/bin/env bash
# Checks the stub's image: the expected machine (PE32 i386 for the product,
# PE32+ x86-64 for the copy the 64-bit test tree builds), GUI subsystem, no
# global constructors, a size ceiling; a hardened image (relocations, a
# dynamic base, no execution from data, aware of terminal servers, and on
# x86-64 the high-entropy base); and kernel32 as its only load-time import,
# every other DLL delay-loaded and one that ships with Windows, so that
# neither a runtime dependency nor a DLL loaded before the entry could set
# the search order can creep in unnoticed. Needs no Wine: it runs on every
# machine (python3-pefile reads the import tables).
# Usage: check-stub.sh zimbro-sfx.exe [i686|x64]
set -euo pipefail
stub=${1:?usage: check-stub.sh zimbro-sfx.exe [i686|x64]}
arch=${2:-i686}
case $arch in
  i686) objdump=i686-w64-mingw32-objdump;   format=pei-i386;   pointer=4 ;;
  x64)  objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64; pointer=8 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
dump=$("$objdump" -p "$stub")
headers=$("$objdump" -h "$stub")
fail=0

grep -q "file format $format\$" <<<"$dump" || { echo "FAIL: not a $format image"; fail=1; }
grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$dump" || { echo "FAIL: not the Windows GUI subsystem"; fail=1; }

# The Python that has pefile (a version manager's python3 may come first).
python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import pefile' 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "FAIL: no python3 with pefile (python3-pefile) to read the import tables"; exit 1; }

# One line for each import directory: "import <dll>" and "delay <dll>"; then
# the DllCharacteristics in hex.
tables=$("$python" - "$stub" <<'PYTHON'
import sys
import pefile
pe = pefile.PE(sys.argv[1])
for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
    print("import", entry.dll.decode().lower())
for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
    print("delay", entry.dll.decode().lower())
print("characteristics %x" % pe.OPTIONAL_HEADER.DllCharacteristics)
PYTHON
)
imports=$(awk '$1 == "import" {print $2}' <<<"$tables" | sort -u)
delayed=$(awk '$1 == "delay" {print $2}' <<<"$tables" | sort -u)
[ "$imports" = kernel32.dll ] || { echo "FAIL: load-time imports are not kernel32.dll alone: $(echo $imports)"; fail=1; }
# Without the delay-import directory nothing says what the stub loads; the
# step after the link (scripts/mark-delay-imports.py) enters it.
[ -n "$delayed" ] || { echo "FAIL: no delay-import directory"; fail=1; }
allowed='^(user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|shlwapi|comdlg32|version)\.dll$'
for dll in $delayed; do
  if ! grep -Eq "$allowed" <<<"$dll"; then echo "FAIL: delay-loads $dll"; fail=1; fi
done

# The system moves an image with a dynamic base only if it can relocate it.
if ! awk '{print $2}' <<<"$headers" | grep -qx '\.reloc'; then echo "FAIL: no relocation section"; fail=1; fi
characteristics=$(( 0x$(awk '$1 == "characteristics" {print $2}' <<<"$tables") ))
flags="DYNAMIC_BASE:0x40 NX_COMPAT:0x100 TERMINAL_SERVER_AWARE:0x8000"
[ "$arch" = x64 ] && flags="$flags HIGH_ENTROPY_VA:0x20"
for flag in $flags; do
  if [ $(( characteristics & ${flag#*:} )) -eq 0 ]; then echo "FAIL: DllCharacteristics lacks ${flag%:*}"; fail=1; fi
done

# Nothing runs constructors in this image: a constructor list longer than its
# two end markers would be code that silently never runs.
ctors_hex=$(awk '$2 == ".ctors" || $2 == ".init_array" {print $3}' <<<"$headers" | head -n 1)
ctors=$(( ${ctors_hex:+0x}${ctors_hex:-0} ))
if [ "${ctors}" -gt $((2 * pointer)) ]; then echo "FAIL: global constructors present (${ctors} bytes)"; fail=1; fi

# Every byte goes out with every installer: 96 KiB with everything in, which
# leaves room for the work still planned. A runtime linked in by mistake, or
# constant tables and art that could be smaller, cross it at once.
size=$(stat -c %s "$stub")
limit=98304
# The x86-64 copy only runs the tests: its pointers, import thunks and
# unwind tables are twice as wide, so it gets its own, looser ceiling, in
# the same proportion as before; the product's is the one above.
[ "$arch" = x64 ] && limit=103424
if [ "$size" -gt "$limit" ]; then echo "FAIL: $size bytes, over the $limit-byte ceiling"; fail=1; fi

echo "stub ($format): $size bytes; DllCharacteristics 0x$(printf %04x $characteristics); imports: $(echo $imports); delay-loaded: $(echo $delayed)"
exit $fail
