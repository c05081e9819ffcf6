#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing that is already there.
# Idempotent: on a machine that has everything it only runs a few dpkg queries.
#
# A fresh machine's package index may be partly broken (a mirror caught in
# the middle of a sync serves one index of the wrong size, for hours). So:
#   - `apt-get update` is tried a few times; an index that still fails is
#     named in one line and the indexes that did arrive are used;
#   - the 32-bit Wine is optional: its i386 libraries are the first thing a
#     missing index takes away, and without it the tests run on the x86-64
#     build alone (scripts/arches.sh decides that from what is installed);
#   - every other package is required: one that cannot be installed ends
#     the script with its name.
# The machine's package configuration is left as it was found: the i386
# architecture, added for wine32, goes again when wine32 could not come.
#
# ZIMBRO_APT_RETRY_PAUSE sets the seconds between tries (the tests set 0).
set -euo pipefail

# Both compilers and both Wines: the product is the i686 stub, and the tests
# also run as an x86-64 build under 64-bit Wine, which is all a machine whose
# kernel cannot start 32-bit programs can run (wine32 installs there all the
# same, it just never starts). libz-mingw-w64-dev carries zlib for both.
# zimbro-pack is a native program: the host compiler, libdeflate, zopfli and
# liblzma (for LZMA members); the decoder benchmark's native build takes zlib
# and libdeflate as peers; the native checks of the cryptography take
# libcrypto and a native GoogleTest. The tests make AES-encrypted archives
# with bsdtar (libarchive-tools), and the packer's tests recompute an AES
# member's keys with Python's cryptography package.
required=(
  cmake make g++ zlib1g-dev libdeflate-dev libzopfli-dev liblzma-dev libunistring-dev osslsigncode openssl python3-pefile g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 xvfb xdotool x11-utils imagemagick
  zip unzip 7zip python3 locales googletest libgtest-dev libssl-dev
  libarchive-tools python3-cryptography
)
wine32=wine32:i386
tries=3
pause=${ZIMBRO_APT_RETRY_PAUSE:-5}

say() { echo "install-deps: $*"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# The last error apt printed, for a one-line reason.
last_error() { grep '^E:' <<<"$1" | tail -n 1 | sed 's/^E: //'; }

missing=()
for p in "${required[@]}"; do installed "$p" || missing+=("$p"); done
want32=0
installed "$wine32" || want32=1

need_locale=0
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then need_locale=1; fi

if [ ${#missing[@]} -eq 0 ] && [ $want32 -eq 0 ] && [ $need_locale -eq 0 ]; then
  say "everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# Another apt (a fresh machine's own first update) may hold the lock a while.
apt_opts=(-y -qq --no-install-recommends -o DPkg::Lock::Timeout=300)

# update_index: a few tries; what still fails is said once, and the rest used.
update_index() {
  local try out=""
  for try in $(seq 1 $tries); do
    if out=$($SUDO apt-get update -qq 2>&1); then return 0; fi
    [ "$try" -lt $tries ] && sleep "$pause"
  done
  local failed
  failed=$(grep -o 'Failed to fetch [^ ]*' <<<"$out" | sed 's/^Failed to fetch //; s#^.*/dists/##' | paste -sd ' ' -)
  say "some package indexes failed to download after $tries tries (${failed:-$(last_error "$out")}); going on with the indexes there are"
}

# resolvable PACKAGE...: apt can plan their installation (nothing is fetched).
resolvable() { $SUDO apt-get install -s "${apt_opts[@]}" "$@" >/dev/null 2>&1; }
# why_unresolvable PACKAGE...: apt's own reason, one line.
why_unresolvable() { last_error "$($SUDO apt-get install -s "${apt_opts[@]}" "$@" 2>&1)"; }

added_i386=0
no32=""
if [ ${#missing[@]} -gt 0 ] || [ $want32 -eq 1 ]; then
  listed=("${missing[@]}"); [ $want32 -eq 1 ] && listed+=("$wine32")
  say "installing ${listed[*]}"
  if [ $want32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "enabling the i386 architecture (for wine32)"
    $SUDO dpkg --add-architecture i386
    added_i386=1
  fi
  update_index

  if [ ${#missing[@]} -gt 0 ] && ! resolvable "${missing[@]}"; then
    bad=()
    for p in "${missing[@]}"; do resolvable "$p" || bad+=("$p"); done
    [ ${#bad[@]} -gt 0 ] || bad=("${missing[@]}")
    say "cannot install ${bad[*]}: $(why_unresolvable "${bad[@]}")" >&2
    exit 1
  fi
  wanted=("${missing[@]}")
  if [ $want32 -eq 1 ]; then
    if resolvable "${missing[@]}" "$wine32"; then wanted+=("$wine32")
    else no32=$(why_unresolvable "${missing[@]}" "$wine32"); fi
  fi

  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  install() { $SUDO apt-get install "${apt_opts[@]}" "$@" >"$log" 2>&1; }
  if [ ${#wanted[@]} -gt 0 ] && ! install "${wanted[@]}"; then
    # A download that fails late takes the whole transaction with it: the
    # required packages get a try of their own without the optional one.
    failure=$(last_error "$(cat "$log")")
    if [[ " ${wanted[*]} " == *" $wine32 "* ]]; then
      no32="the installation failed: $failure"
      if [ ${#missing[@]} -gt 0 ] && ! install "${missing[@]}"; then
        say "apt-get could not install ${missing[*]}: $(last_error "$(cat "$log")")" >&2
        exit 1
      fi
    else
      say "apt-get could not install ${missing[*]}: $failure" >&2
      exit 1
    fi
  fi

  if [ $want32 -eq 1 ] && ! installed "$wine32"; then
    say "the 32-bit Wine ($wine32) cannot be installed (apt-get: ${no32:-not installed}); make demo, test and bench will use the x86-64 build only"
    if [ $added_i386 -eq 1 ] && ! dpkg-query -W -f='${Status} ${Architecture}\n' 2>/dev/null | grep -q 'installed i386$'; then
      $SUDO dpkg --remove-architecture i386
    fi
  fi
fi

if [ $need_locale -eq 1 ]; then
  say "generating the ja_JP.UTF-8 locale (double-byte code page tests)"
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
say "done"
