#!/usr/bin/env bash
# Photographs the five dialogs as a user sees them: plain English, enlarged
# by a size entry of 120*110, mirrored by the direction entry, and both; each
# shown by tests/ui/dialog_viewer.exe with a messages-block file written
# here. Run under scripts/with-wine.sh (make screenshots); the PNG files go
# to <build>/screenshots/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
viewer=$build/tests/ui/dialog_viewer.exe
out=$build/screenshots
mkdir -p "$out/blocks"
[ -x "$viewer" ] || { echo "missing $viewer (build the dialog_viewer target)" >&2; exit 1; }

# A display of our own: windows of tests running at the same time on the
# shared display would otherwise cover the dialogs in the pictures.
display_number=""
for n in $(seq 120 160); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display_number=$n; break; fi
done
[ -n "$display_number" ] || { echo "no free display number" >&2; exit 1; }
Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
export DISPLAY=":$display_number"
for _ in $(seq 1 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done

windows_path() { echo "Z:$1" | tr / '\\'; }

# There is no window manager on the test display: let Wine draw the caption
# bar itself, for this program only, so that captions show in the pictures.
"$WINE" reg add 'HKCU\Software\Wine\AppDefaults\dialog_viewer.exe\X11 Driver' /v Decorated /d N /f \
  </dev/null >/dev/null 2>&1

dialogs=(STARTDLG LICENSEDLG GETPASSWORD1 REPLACEFILEDLG RENAMEDLG)

# The blocks: the translators' template from zimbro-pack (every text under
# its key, the values in English) with the size entries or the direction
# entry changed.
"$root/build/zimbro-pack" --messages-template --stub "$build/zimbro-sfx.exe" -o "$out/blocks/template.txt"
sed 's/="100\*100"/="120*110"/' "$out/blocks/template.txt" > "$out/blocks/scaled.txt"
sed 's/="LTR"/="RTL"/' "$out/blocks/template.txt" > "$out/blocks/rtl.txt"
sed 's/="LTR"/="RTL"/' "$out/blocks/scaled.txt" > "$out/blocks/both.txt"

shoot() {  # dialog variant blockfile-or-dash
  local dialog=$1 variant=$2 block=$3 png=$out/$1-$2.png
  "$WINE" "$viewer" "$dialog" "$block" 8 </dev/null >/dev/null 2>&1 &
  local pid=$! window=""
  for _ in $(seq 1 60); do
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | tail -1 || true)
    [ -n "$window" ] && break
    sleep 0.25
  done
  if [ -z "$window" ]; then
    echo "no window for $dialog ($variant)" >&2
  else
    sleep 2  # let it paint
    import -window "$window" "$png"
    echo "$png"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

for d in "${dialogs[@]}"; do
  shoot "$d" plain -
  shoot "$d" scaled "$(windows_path "$out/blocks/scaled.txt")"
  shoot "$d" rtl "$(windows_path "$out/blocks/rtl.txt")"
  shoot "$d" scaled-rtl "$(windows_path "$out/blocks/both.txt")"
done
