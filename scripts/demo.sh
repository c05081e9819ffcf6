#!/usr/bin/env bash
# `make demo`: makes an installer from examples/demo with zimbro-pack (its
# comment.txt is the script: title, text, license, destination in the
# programs folder, two shortcuts and a Setup program), branded with an icon
# and version information and signed with a test certificate made on the
# spot, verifies the signature and every member, then installs it
# twice under Wine - once silently (/s), once through its dialogs with the
# keys a user presses (Accept, then Install) - and lists each result: the
# files against the sources, the shortcuts, what Setup printed and the exit
# code. Run through scripts/with-wine.sh.
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
mkdir -p "$demo"

# A publisher's marks: the project's icon, version information, and a
# signature from a code-signing certificate made here on the spot (a real
# publisher signs with one a certificate authority issued).
certs=$demo/certificate
mkdir -p "$certs"
printf 'extendedKeyUsage=codeSigning\n' > "$certs/ext.cnf"
openssl req -new -newkey rsa:2048 -nodes -keyout "$certs/signer.key" -out "$certs/signer.csr" \
  -subj "/CN=Zimbro Demo Publisher" 2>/dev/null
openssl x509 -req -in "$certs/signer.csr" -signkey "$certs/signer.key" -days 7 -extfile "$certs/ext.cnf" \
  -out "$certs/signer.crt" 2>/dev/null
"$pack" -o "$demo/demo-setup.exe" --stub "$stub" --script "$source/comment.txt" \
  --icon "$root/resources/zimbro.ico" --version-info ProductName="Zimbro Demo" \
  --version-info FileVersion=1.0.0 --version-info CompanyName="Zimbro SFX" \
  --version-info FileDescription="Zimbro Demo installer" --version-info LegalCopyright="Zimbro SFX" \
  --sign-cert "$certs/signer.crt" --sign-key "$certs/signer.key" "$source"
echo "the installer, as --list shows it:"
"$pack" --list "$demo/demo-setup.exe" | sed -n '2,8p' | sed 's/^/  /'
echo "its signature, checked by osslsigncode:"
osslsigncode verify -in "$demo/demo-setup.exe" -CAfile "$certs/signer.crt" 2>&1 |
  grep -E '^(Signature verification|Number of verified signatures)' | sed 's/^/  /'
"$pack" --test "$demo/demo-setup.exe" | tail -n 1 | sed 's/^/  /'
echo "script (archive comment):"
sed 's/^/  | /' "$source/comment.txt"

# Where the installer puts things, as this prefix's programs see it.
unix_path() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
shell_folder() {  # a value of the shell's user folders, as a Unix path
  local value
  value=$("$WINE" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v "$1" \
            2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p")
  unix_path "$value"
}
programs_folder=$("$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir \
                    2>/dev/null | tr -d '\r' | sed -n 's/^ *ProgramFilesDir *REG_SZ *//p')
target=$(unix_path "$programs_folder\\Zimbro Demo")
desktop_link="$(shell_folder Desktop)/Zimbro Demo readme.lnk"
programs_link="$(shell_folder Programs)/Zimbro Demo/Zimbro Demo guide.lnk"
[ -n "$target" ] || { echo "cannot find the programs folder of the Wine prefix"; exit 1; }

clean() { rm -rf "$target" "$desktop_link" "$(dirname "$programs_link")"; }

fail=0
report() {  # how=... code
  local how=$1 code=$2
  echo "extracted into $target:"
  while IFS= read -r -d '' file; do
    relative=${file#"$source/"}
    [ "$relative" = comment.txt ] && continue
    if [ ! -f "$target/$relative" ]; then verdict=missing; fail=1
    elif cmp -s "$file" "$target/$relative"; then verdict=OK
    else verdict=DIFF; fail=1; fi
    printf '  %-22s %8d bytes  %s\n' "$relative" "$(stat -c %s "$file")" "$verdict"
  done < <(find "$source" -type f -print0 | sort -z)
  for link in "$desktop_link" "$programs_link"; do
    if [ -f "$link" ]; then echo "  shortcut: ${link#"$WINEPREFIX/"}"; else echo "  shortcut missing: $link"; fail=1; fi
  done
  # Setup starts as the installer ends and runs on its own.
  for _ in $(seq 1 100); do [ -s "$target/setup-ran.txt" ] && break; sleep 0.1; done
  if [ -s "$target/setup-ran.txt" ]; then echo "  Setup: $(tr -d '\r' < "$target/setup-ran.txt")"
  else echo "  Setup did not run"; fail=1; fi
  echo "  exit code ($how): $code"
  [ "$code" -eq 0 ] || fail=1
}

# ---------------------------------------------------------------------------
# Silently
# ---------------------------------------------------------------------------
clean
echo
echo "== running: demo-setup.exe /s"
set +e
(cd "$demo" && timeout 120 "$WINE" demo-setup.exe /s)
code=$?
set -e
report silent "$code"

# ---------------------------------------------------------------------------
# Through the dialogs, as a user: Accept, then Install
# ---------------------------------------------------------------------------
source "$root/scripts/user-hands.sh"

clean
echo
echo "== running: demo-setup.exe, pressing Accept and Install"
(cd "$demo" && exec timeout 120 "$WINE" demo-setup.exe) </dev/null &
pid=$!
for title in "Zimbro Demo license" "Zimbro Demo 1.0 Setup"; do
  window=$(window_of "$pid" "$title")
  if [ -z "$window" ]; then echo "  no window '$title'"; fail=1; break; fi
  echo "  window '$title': pressing Enter"
  sleep 0.5
  press_enter "$window"
done
set +e
wait "$pid"
code=$?
set -e
report dialog "$code"

[ "$fail" -eq 0 ]
