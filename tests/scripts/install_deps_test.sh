#!/usr/bin/env bash
# scripts/install-deps.sh on the machines a fresh clone meets, with no
# network: stand-ins for apt-get, dpkg, dpkg-query and locale come first on
# PATH and keep a pretend package database in a scratch folder. Each case
# checks the exit code, the lines printed, what was asked of apt, that the
# architecture list ends as it was found, and which builds scripts/arches.sh
# then chooses (the stand-in apt "installs" a 32-bit Wine loader with wine32).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=$work/bin
mkdir -p "$bin"

cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STATE/calls"
verb=$1; shift
if [ "$verb" = update ]; then
  n=$(( $(cat "$STATE/updates" 2>/dev/null || echo 0) + 1 )); echo $n >"$STATE/updates"
  if [ "$FAKE_UPDATE_FAILS" = always ] || [ "$n" -le "$FAKE_UPDATE_FAILS" ]; then
    echo "E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100
  fi
  exit 0
fi
sim=0 skip=0 pkgs=()
for a; do
  if [ $skip -eq 1 ]; then skip=0; continue; fi
  case $a in -s) sim=1 ;; -o) skip=1 ;; -*) ;; *) pkgs+=("$a") ;; esac
done
for p in "${pkgs[@]}"; do
  if [[ " $FAKE_UNRESOLVABLE " == *" $p "* ]]; then
    echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100
  fi
done
[ $sim -eq 1 ] && exit 0
for p in "${pkgs[@]}"; do
  if [[ " $FAKE_INSTALL_FAILS " == *" $p "* ]]; then
    echo "E: Failed to fetch http://mirror.invalid/pool/$p.deb  404  Not Found" >&2; exit 100
  fi
done
printf '%s\n' "${pkgs[@]}" >>"$STATE/installed"
if [[ " ${pkgs[*]} " == *" wine32:i386 "* ]]; then
  printf '#!/bin/sh\necho wine-8.0\n' >"$STATE/wine"; chmod +x "$STATE/wine"
fi
EOF

cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
# -W -f=FORMAT PACKAGE, or -W -f=FORMAT for every installed package.
if [ $# -ge 3 ]; then
  grep -qxF -- "$3" "$STATE/installed" 2>/dev/null || exit 1
  echo "install ok installed"; exit 0
fi
while read -r p; do
  [[ $p == *:i386 ]] && echo "install ok installed i386" || echo "install ok installed amd64"
done <"$STATE/installed"
EOF

cat >"$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STATE/calls"
case $1 in
  --print-foreign-architectures) cat "$STATE/arches" ;;
  --add-architecture) echo "$2" >>"$STATE/arches" ;;
  --remove-architecture) grep -vxF "$2" "$STATE/arches" >"$STATE/arches.new"; mv "$STATE/arches.new" "$STATE/arches" ;;
esac
EOF

printf '#!/bin/sh\nprintf "C\\nC.utf8\\nja_JP.utf8\\n"\n' >"$bin/locale"
printf '#!/bin/sh\nexec "$@"\n' >"$bin/sudo"
printf '#!/bin/sh\necho wine-8.0\n' >"$work/wine64"
chmod +x "$bin"/* "$work/wine64"

failures=0
fail() { echo "FAIL ($name): $*"; failures=$((failures + 1)); }

# run NAME UPDATE-FAILS UNRESOLVABLE INSTALL-FAILS [ARCHES-BEFORE]: a fresh
# pretend machine with nothing installed, then the script.
run() {
  name=$1
  export STATE=$work/$1 FAKE_UPDATE_FAILS=$2 FAKE_UNRESOLVABLE=$3 FAKE_INSTALL_FAILS=$4
  mkdir -p "$STATE"; : >"$STATE/installed"; printf '%s' "${5:-}" >"$STATE/arches"
  again
}
# again: the script once more on the same pretend machine.
again() {
  out=$(PATH="$bin:$PATH" ZIMBRO_APT_RETRY_PAUSE=0 "$root/scripts/install-deps.sh" 2>&1)
  status=$?
}
expect_status() { [ "$status" -eq "$1" ] || fail "exit $status, expected $1: $out"; }
says() { grep -qF -- "$1" <<<"$out" || fail "lacks '$1': $out"; }
says_not() { ! grep -qF -- "$1" <<<"$out" || fail "says '$1': $out"; }
asked() { [ "$(grep -c -- "$1" "$STATE/calls")" -eq "$2" ] || fail "'$1' asked $(grep -c -- "$1" "$STATE/calls") times, expected $2"; }
arches_end() { [ "$(paste -sd ' ' "$STATE/arches")" = "$1" ] || fail "foreign architectures '$(paste -sd ' ' "$STATE/arches")', expected '$1'"; }
builds() {
  local decided
  decided=$(ZIMBRO_WINE32_LOADER="$STATE/wine" ZIMBRO_WINE64_LOADER="$work/wine64" "$root/scripts/arches.sh" auto)
  eval "$decided"
  [ "$ZIMBRO_ARCHES" = "$1" ] || fail "builds '$ZIMBRO_ARCHES', expected '$1'"
  [ -z "${2:-}" ] || [ "$ZIMBRO_ARCHES_NOTE" = "$2" ] || fail "note '$ZIMBRO_ARCHES_NOTE', expected '$2'"
}
no32_line="the 32-bit Wine (wine32:i386) cannot be installed"

# One index fails on every try, and wine32's i386 libraries are not to be
# had from the rest: everything else is installed, both facts said once,
# the i386 architecture that was added for wine32 taken away again.
run broken-index always "wine32:i386" ""
expect_status 0
says "some package indexes failed to download after 3 tries (bookworm-security/main/binary-i386/Packages.xz); going on with the indexes there are"
says "$no32_line (apt-get: Unable to correct problems, you have held broken packages.); make demo, test and bench will use the x86-64 build only"
asked "apt-get update" 3
asked "apt-get install -y" 1
grep -q '^apt-get install -y.* 7zip' "$STATE/calls" || fail "7zip was not installed"
grep -q '^apt-get install -y.* liblzma-dev' "$STATE/calls" || fail "liblzma-dev was not installed"
! grep -q '^apt-get install -y.*wine32' "$STATE/calls" || fail "wine32 was installed"
arches_end ""
builds x64 "x64 only — the Wine loader of wine32:i386 is not installed"

# The same machine the next time: wine32 is tried again, the rest is there.
again
expect_status 0
says "$no32_line"
asked "apt-get install -y" 1

# An index that fails once only: no line about it, both Wines, i386 stays.
run passing-failure 1 "" ""
expect_status 0
says_not "failed to download"
says_not "$no32_line"
asked "apt-get update" 2
arches_end "i386"
builds "i686 x64" "i686, x64"
again
expect_status 0
says "everything is installed"
asked "apt-get update" 2

# wine32 resolves but its download fails: the rest gets a try of its own.
run wine32-download always "" "wine32:i386"
expect_status 0
says "$no32_line (apt-get: the installation failed: Failed to fetch http://mirror.invalid/pool/wine32:i386.deb  404  Not Found)"
asked "apt-get install -y" 2
builds x64

# i386 was there before: it stays, though wine32 did not come.
run i386-before always "wine32:i386" "" "i386"
expect_status 0
asked "dpkg --add-architecture" 0
arches_end "i386"

# A required package that cannot be had is an error with its name.
run required-unresolvable always "wine32:i386 7zip" ""
expect_status 1
says "install-deps: cannot install 7zip: Unable to correct problems, you have held broken packages."
asked "apt-get install -y" 0

run required-download 0 "" "xvfb"
expect_status 1
says "install-deps: apt-get could not install"
says "Failed to fetch http://mirror.invalid/pool/xvfb.deb"

[ "$failures" -eq 0 ] && echo "every machine set up as expected"
exit "$failures"
