#!/usr/bin/env bash
# Checks that the product's includes point one way: the support library
# includes nothing of ours outside itself; the user interface never includes
# the extraction engine; neither includes anything of the driver (the engine
# reports through its own port, zip/engine_ui.h, and the user interface sees
# the run through ui/run_view.h), and the engine takes from the user
# interface only the message numbers. Only the driver ties the layers
# together and decides the run's outcome. Prints every include that breaks a
# rule.
#
# Each layer's portable/ folder holds what the packer compiles from the
# stub's tree (pack/CMakeLists.txt takes every file there): it includes only
# other portable headers and the compiler's freestanding headers, so that no
# Win32 call and no runtime library reaches the packer through it.
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
  done < <(grep -n '#[[:space:]]*include' "$layer"/*.h "$layer"/*.cpp "$layer"/portable/*)
done

freestanding=" stddef.h stdint.h stdarg.h limits.h cpuid.h immintrin.h "
while IFS=: read -r file line text; do
  quoted=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$text")
  angled=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' <<<"$text")
  if [ -n "$quoted" ]; then
    case $quoted in
      */portable/*) continue ;;
    esac
    echo "FAIL: $file:$line (portable) includes $quoted"
    fail=1
  elif [ -n "$angled" ]; then
    case $freestanding in
      *" $angled "*) continue ;;
    esac
    echo "FAIL: $file:$line (portable) includes <$angled>"
    fail=1
  fi
done < <(grep -n '#[[:space:]]*include' */portable/*)
[ $fail -eq 0 ] && echo "layers: every include points down"
exit $fail
