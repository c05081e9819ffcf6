#!/usr/bin/env bash
# Checks that the product's includes point one way: the support library
# includes nothing of ours outside itself; the user interface never includes
# the extraction engine; neither includes anything of the driver (the engine
# reports through its own port, zip/engine_ui.h, and the user interface sees
# the run through ui/run_view.h), and the engine takes from the user
# interface only the message numbers. Only the driver ties the layers
# together and decides the run's outcome. Prints every include that breaks a
# rule.
# Usage: check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# What each layer may include besides its own folder and support/.
allowed() {
  case $1 in
    support) echo "" ;;
    ui) echo "" ;;
    zip) echo "ui/message_ids.h" ;;
  esac
}

fail=0
for layer in support ui zip; do
  permitted=" $(allowed $layer) "
  while IFS=: read -r file line text; do
    header=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$text")
    [ -n "$header" ] || continue
    case $header in
      "$layer"/*) continue ;;
      support/*) continue ;;
    esac
    case $permitted in
      *" $header "*) continue ;;
    esac
    echo "FAIL: $file:$line includes $header"
    fail=1
  done < <(grep -n '#[[:space:]]*include' "$layer"/*.h "$layer"/*.cpp)
done
[ $fail -eq 0 ] && echo "layers: every include points down"
exit $fail
