#!/usr/bin/env bash
# Checks the stub's image: PE32 for i386, GUI subsystem, no global
# constructors, and imports from DLLs that ship with Windows only, so that a
# runtime dependency cannot creep in unnoticed.
set -euo pipefail
stub=${1:?usage: check-stub.sh zimbro-sfx.exe}
dump=$(i686-w64-mingw32-objdump -p "$stub")
headers=$(i686-w64-mingw32-objdump -h "$stub")
fail=0

grep -q 'file format pei-i386' <<<"$dump" || { echo "FAIL: not a PE32 i386 image"; fail=1; }
grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$dump" || { echo "FAIL: not the Windows GUI subsystem"; fail=1; }

allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|shlwapi|comdlg32|version)\.dll$'
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump" | sort -u)
for dll in $dlls; do
  if ! grep -Eq "$allowed" <<<"$dll"; then echo "FAIL: imports $dll"; fail=1; fi
done

# Nothing runs constructors in this image: a non-empty constructor list would
# be code that silently never runs.
ctors_hex=$(awk '$2 == ".ctors" || $2 == ".init_array" {print $3}' <<<"$headers" | head -n 1)
ctors=$(( ${ctors_hex:+0x}${ctors_hex:-0} ))
if [ "${ctors}" -gt 8 ]; then echo "FAIL: global constructors present (${ctors} bytes)"; fail=1; fi

size=$(stat -c %s "$stub")
echo "stub: $size bytes; imports: $(echo $dlls | tr '\n' ' ')"
exit $fail
