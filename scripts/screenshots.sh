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

# ---------------------------------------------------------------------------
# The program itself: installers made from this build's stub, photographed at
# the moments a user sees - the help text, a script's text, the license, an
# extraction under way, and Close mode after an error.
# ---------------------------------------------------------------------------
installers=$out/installers
run=$out/run
python3 "$root/tests/driver/make_setup_programs.py" "$build/zimbro-sfx.exe" "$installers"

source "$root/scripts/user-hands.sh"

# program INSTALLER TITLE PNG [STEP...]: starts the installer in a fresh
# folder, waits for its window, performs the steps, photographs, ends it.
# Steps: "enter" presses the default button of the window, "box" presses it
# on the next message box, "sleep:S" waits.
program() {
  local installer=$1 title=$2 png=$out/$3
  shift 3
  rm -rf "$run"
  mkdir -p "$run"
  (cd "$run" && exec "$WINE" "$installers/$installer") </dev/null >/dev/null 2>&1 &
  local pid=$! window
  window=$(window_of "$pid" "$title")
  if [ -z "$window" ]; then
    echo "no window '$title' for $installer" >&2
  else
    sleep 1
    for step in "$@"; do
      case $step in
        enter) press_enter "$window" ;;
        box) local box; box=$(window_of "$pid" "Error"); [ -n "$box" ] && press_enter "$box" ;;
        sleep:*) sleep "${step#sleep:}" ;;
      esac
    done
    import -window "$window" "$png"
    echo "$png"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

program plain.exe "Zimbro self-extracting archive" program-start-help.png
program texts.exe "Zimbro Texts Test" program-start-text.png
program license.exe "Zimbro Terms" program-license.png
program big.exe "Zimbro Big Test" program-extracting.png enter sleep:0.15
program crc.exe "Zimbro CRC Test" program-close-mode.png enter sleep:1 box sleep:1
rm -rf "$run"
