#!/usr/bin/env bash
# Decides which test builds this machine can run, and says why.
# Usage: eval "$(scripts/arches.sh [auto|i686|x64])"
# Sets ZIMBRO_ARCHES (the trees to run, i686 first) and ZIMBRO_ARCHES_NOTE
# (the words after "tests ran on: "). Exits 1 with a message on standard
# error when the wanted build cannot run here.
#
# A machine's kernel may lack 32-bit support altogether; then Wine's 32-bit
# loader fails with "Exec format error" and only the x86-64 tree can run.
# Asking each loader for its version starts it, which is the whole question.
set -euo pipefail
wanted=${1:-auto}

# why_not LOADER PACKAGE: empty when the loader starts, else the reason it
# does not. A missing loader is named by its package: where a partly broken
# package index keeps wine32 away, scripts/install-deps.sh goes on without it.
why_not() {
  local loader=$1 package=$2 out
  [ -x "$loader" ] || { echo "the Wine loader of $package is not installed"; return; }
  if out=$("$loader" --version 2>&1); then return; fi
  if grep -q 'Exec format error' <<<"$out"; then
    echo "this machine cannot start 32-bit programs (kernel without 32-bit support)"
  else
    echo "$(basename "$loader") does not start: $(head -n 1 <<<"$out")"
  fi
}

# The loaders can be replaced to try this decision on another kind of machine.
no32=$(why_not "${ZIMBRO_WINE32_LOADER:-/usr/lib/wine/wine}" "wine32:i386")
no64=$(why_not "${ZIMBRO_WINE64_LOADER:-/usr/lib/wine/wine64}" "wine64")

arches=() note=""
case $wanted in
  auto)
    [ -z "$no32" ] && arches+=(i686)
    [ -z "$no64" ] && arches+=(x64)
    if [ ${#arches[@]} -eq 2 ]; then note="i686, x64"
    elif [ ${#arches[@]} -eq 1 ] && [ "${arches[0]}" = x64 ]; then note="x64 only — $no32"
    elif [ ${#arches[@]} -eq 1 ]; then note="i686 only — the 64-bit Wine loader: $no64"
    else
      echo "no Wine loader starts here: 32-bit: $no32; 64-bit: $no64" >&2; exit 1
    fi ;;
  i686|x64)
    reason=$no32; [ "$wanted" = x64 ] && reason=$no64
    if [ -n "$reason" ]; then echo "ARCH=$wanted cannot run here: $reason" >&2; exit 1; fi
    arches=("$wanted") note="$wanted only — chosen by ARCH=$wanted" ;;
  *) echo "ARCH must be auto, i686 or x64, not '$wanted'" >&2; exit 1 ;;
esac

printf 'ZIMBRO_ARCHES=%q\nZIMBRO_ARCHES_NOTE=%q\n' "${arches[*]}" "$note"
