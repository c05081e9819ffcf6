# Sourced by the scripts that work a program's windows as a user would, on
# the X display Wine draws on (the demo, the screenshots).

# window_of PID TITLE: the visible window of that title, waited for up to
# 30 seconds; empty when it does not appear.
window_of() {
  local window=""
  for _ in $(seq 1 120); do
    window=$(xdotool search --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | tail -1 || true)
    [ -n "$window" ] && break
    sleep 0.25
  done
  echo "$window"
}

# press_enter WINDOW: the key a user presses for the default button.
press_enter() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --clearmodifiers Return
}
