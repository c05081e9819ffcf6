#!/usr/bin/env bash
# Runs a command (ctest, the demo, a benchmark) with Wine ready to start
# Windows programs fast and without ever blocking:
#   - a private 32-bit prefix under build/, never the user's own;
#   - no debug chatter, and the DLLs that could pop up an installer prompt or
#     a never-loading browser control disabled;
#   - a persistent wineserver, and wineboot run once with every output
#     detached, so that Wine's background services do not hold ctest's pipe
#     and each process start costs tens of milliseconds, not seconds;
#   - an Xvfb display for the tests that open real windows.
# Usage: scripts/with-wine.sh COMMAND [ARG...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
mkdir -p "$build"

export WINEPREFIX="$build/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;ieframe=;winemenubuilder.exe="
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

fresh=0
[ -f "$WINEPREFIX/.zimbro-ready" ] || fresh=1

# A persistent server outlives every client, so starting a test only connects.
# wineboot returns once the prefix is up to date; its services stay with the
# server, detached from our output.
setsid wineserver -p </dev/null >/dev/null 2>&1 || true
setsid wine wineboot </dev/null >/dev/null 2>&1 || true

if [ $fresh -eq 1 ]; then
  # Per-program Windows version: these copies of the file-layer tests see a
  # Windows 98 system, so the ANSI code paths really run.
  for exe in support_win98_tests.exe; do
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d win98 /f </dev/null >/dev/null 2>&1
  done
  touch "$WINEPREFIX/.zimbro-ready"
fi

# Keep the desktop up between test processes (see tests/common/desktop_keeper.cpp).
if [ -f "$build/desktop_keeper.exe" ]; then
  setsid wine "$build/desktop_keeper.exe" 1200 </dev/null >/dev/null 2>&1 &
fi

exec "$@"
