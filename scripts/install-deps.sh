#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing that is already there.
# Idempotent: on a machine that has everything it only runs a few dpkg queries.
set -euo pipefail

# Both compilers and both Wines: the product is the i686 stub, and the tests
# also run as an x86-64 build under 64-bit Wine, which is all a machine whose
# kernel cannot start 32-bit programs can run (wine32 installs there all the
# same, it just never starts). libz-mingw-w64-dev carries zlib for both.
# zimbro-pack is a native program: the host compiler, libdeflate and zopfli;
# the decoder benchmark's native build takes zlib and libdeflate as peers.
packages=(
  cmake make g++ zlib1g-dev libdeflate-dev libzopfli-dev libunistring-dev osslsigncode openssl python3-pefile g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine32:i386 wine64 xvfb xdotool x11-utils imagemagick
  zip unzip 7zip python3 locales googletest
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

need_locale=0
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then need_locale=1; fi

if [ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: enabling the i386 architecture (for wine32)"
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ $need_locale -eq 0 ] && locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then :; else
  echo "install-deps: generating the ja_JP.UTF-8 locale (double-byte code page tests)"
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
echo "install-deps: done"
