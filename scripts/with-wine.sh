#!/usr/bin/env bash
# Runs a command (ctest, the demo, a benchmark) with Wine ready to start
# Windows programs fast and without ever blocking:
#   - a private prefix inside the build tree, never the user's own: 32-bit
#     for the i686 tree (build/), 64-bit for the x86-64 tree (build/x64/);
#   - the loader of that architecture called directly (Debian's `wine`
#     script picks the 32-bit loader whenever it is installed), exported as
#     $WINE for the scripts this runs;
#   - no debug chatter, and the DLLs that could pop up an installer prompt or
#     a never-loading browser control disabled;
#   - a persistent wineserver, and wineboot run once with every output
#     detached, so that Wine's background services do not hold ctest's pipe
#     and each process start costs tens of milliseconds, not seconds;
#   - an Xvfb display for the tests that open real windows.
# Usage: [ZIMBRO_ARCH=i686|x64] scripts/with-wine.sh COMMAND [ARG...]
set -euo pipefail

# Wine needs a few fixed addresses, among them the shared user data page at
# 0x7ffe0000, just above its loader, which it links at 0x7d000000. Debian's
# Wine starts without a preloader, so nothing reserves them before the kernel
# lays the loader out, and a 64-bit kernel puts the loader's heap (brk)
# anywhere in the gigabyte after it: about one 64-bit process start in a few
# thousand finds its heap on that page and ends at once with exit code 1 and
# no output ("failed to map the shared user data", shown only with WINEDEBUG
# on). Without address randomisation the heap always starts right after the
# loader. The setting holds for every process the command starts.
if [ $(( 0x$(cat /proc/self/personality) & 0x40000 )) -eq 0 ]; then
  if setarch "$(uname -m)" --addr-no-randomize true 2>/dev/null; then
    exec setarch "$(uname -m)" --addr-no-randomize "$0" "$@"
  fi
  echo "with-wine: cannot turn address randomisation off; a Wine start may now and then fail" >&2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
export ZIMBRO_ARCH=${ZIMBRO_ARCH:-i686}
case $ZIMBRO_ARCH in
  i686)
    default_build=$root/build
    export WINEARCH=win32 WINE=/usr/lib/wine/wine ;;
  x64)
    default_build=$root/build/x64
    export WINEARCH=win64 WINE=/usr/lib/wine/wine64 ;;
  *) echo "with-wine: unknown architecture '$ZIMBRO_ARCH' (i686 or x64)" >&2; exit 2 ;;
esac
build=${ZIMBRO_BUILD_DIR:-$default_build}
mkdir -p "$build"
export ZIMBRO_BUILD_DIR=$build
# Programs that Wine starts on our behalf use the same loader.
export WINELOADER=$WINE
# A 64-bit server serves both kinds of prefix; a 32-bit one only the first.
if [ -x /usr/lib/wine/wineserver64 ]; then
  export WINESERVER=/usr/lib/wine/wineserver64
else
  export WINESERVER=/usr/lib/wine/wineserver32
fi

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;ieframe=;winemenubuilder.exe="
# Wine's CreateSymbolicLink reports success and makes nothing, while a
# symbolic link of the host's file system shows to Windows programs as a
# reparse point (a link to a folder as a folder that is a reparse point).
# Tests that plant a link make one on the host through this command line
# (Wine starts a host program by its path on Z: and hands it the arguments
# as they are); it takes the link and its target as Windows paths on Z:.
export ZIMBRO_LINK_MAKER="Z:\\bin\\sh $root/scripts/host-link.sh"
# The planted-DLL tests put DLLs of these names beside an installer named so;
# an installer of the other name finds no common controls (see the prefix
# settings below).
export ZIMBRO_PLANTED_INSTALLER=zimbro_planted.exe
export ZIMBRO_PLANTED_DLLS="riched20 riched32 uxtheme version shlwapi imm32 msimg32"
export ZIMBRO_NO_COMCTL32_INSTALLER=zimbro_no_comctl32.exe
export DISPLAY_NUMBER=${ZIMBRO_DISPLAY_NUMBER:-87}
export DISPLAY=":$DISPLAY_NUMBER"

# The display first: wineboot and every window-opening test need it.
if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  rm -f "/tmp/.X$DISPLAY_NUMBER-lock" "/tmp/.X11-unix/X$DISPLAY_NUMBER"
  setsid Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 50); do
    xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

# The prefix's settings below carry a version: a prefix made before they last
# changed gets them again.
settings_version=3
fresh=0
[ "$(cat "$WINEPREFIX/.zimbro-ready" 2>/dev/null)" = "$settings_version" ] || fresh=1

# A prefix whose making was cut short (the harness killed while wineboot
# copied the system's DLLs into it) stays without them: a later wineboot
# sees its timestamp current and copies nothing, and every program then
# fails to load ("shell32.dll not found"). Only a prefix that wineboot
# finished counts; any other is made anew.
if [ ! -f "$WINEPREFIX/.zimbro-booted" ] && [ -d "$WINEPREFIX" ]; then
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  fresh=1
fi

# A persistent server outlives every client, so starting a test only connects.
# wineboot returns once the prefix is up to date; its services stay with the
# server, detached from our output.
setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
if setsid "$WINE" wineboot </dev/null >/dev/null 2>&1 && [ ! -f "$WINEPREFIX/.zimbro-booted" ]; then
  : > "$WINEPREFIX/.zimbro-booted"
fi

if [ $fresh -eq 1 ]; then
  # No window manager runs on the test display: without this, Wine waits
  # about two seconds for one after every dialog or message box that closes.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # Per-program Windows version: these copies of the file-layer tests see a
  # Windows 98 system, so the ANSI code paths really run.
  for exe in support_win98_tests.exe; do
    "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d win98 /f </dev/null >/dev/null 2>&1
  done
  # Wine loads its own built-in copy of a system DLL even when a file of that
  # name lies in the program's folder; Windows takes that file (every DLL
  # that is not a known one is looked for there before System32). For the
  # planted-DLL tests' installer Wine looks in the program's folder first,
  # as Windows does, for the DLLs the stub loads by name and those that
  # system DLLs load on its behalf. Per program, in the registry: Wine 8
  # ignores a WINEDLLOVERRIDES that a test puts into the environment of the
  # installer it starts (a WINEDEBUG passed the same way does apply). Wine
  # also resolves the delay-loaded imports of its own DLLs (uxtheme's
  # msimg32, in a run with the dialog) with the program's folder first, even
  # after SetDefaultDllDirectories; the stub loads such DLLs from System32
  # before they are asked for, which holds under Wine as well.
  for dll in $ZIMBRO_PLANTED_DLLS; do
    "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$ZIMBRO_PLANTED_INSTALLER\\DllOverrides" /v "$dll" /d native,builtin /f </dev/null >/dev/null 2>&1
  done
  # An empty load order: Wine loads no comctl32 at all for this program, as
  # if the system had none (the run must end with an exit code, not crash).
  "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$ZIMBRO_NO_COMCTL32_INSTALLER\\DllOverrides" /v comctl32 /d "" /f </dev/null >/dev/null 2>&1
  echo "$settings_version" > "$WINEPREFIX/.zimbro-ready"
fi

# Wine links the user's shell folders (Desktop, Documents, ...) to the host's
# home folder. Shortcuts and files that the installers under test create there
# belong inside the prefix: make those folders real ones.
for folder in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$folder" ]; then rm -f "$folder" && mkdir -p "$folder"; fi
done

# Keep the desktop up between test processes while the command runs (see
# tests/common/desktop_keeper.cpp): each command has a keeper of its own that
# ends when the command's hold file goes. Holds left by shells that were
# killed go first.
hold=""
if [ -f "$build/desktop_keeper.exe" ]; then
  mkdir -p "$build/keeper"
  for old in "$build"/keeper/hold.*; do
    if [ -e "$old" ] && ! kill -0 "${old##*.}" 2>/dev/null; then rm -f "$old"; fi
  done
  hold=$build/keeper/hold.$$
  : > "$hold"
  trap 'rm -f "$hold" "$hold.up"' EXIT
  setsid "$WINE" "$build/desktop_keeper.exe" "$(printf 'Z:%s' "$hold" | tr / '\\')" </dev/null >/dev/null 2>&1 &
  # The command starts once the desktop is up: a test executable started
  # while Wine was still bringing the desktop up was seen to hang as it
  # ended (ctest listing its cases, after the whole list was printed).
  for _ in $(seq 1 600); do [ -e "$hold.up" ] && break; sleep 0.1; done
  [ -e "$hold.up" ] || echo "with-wine: the desktop did not come up within a minute" >&2
fi

set +e
"$@"
exit $?
