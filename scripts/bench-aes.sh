#!/usr/bin/env bash
# What AES costs at install time: the benchmark corpus (~100 MiB, see
# scripts/make-bench-corpus.sh) packed twice by zimbro-pack with the same
# settings, without encryption and with AES-256, each installed by this
# tree's stub under Wine into a fresh folder in memory, in turns, best of 3.
# The encrypted installer asks for its password once: the time its prompt
# stands waiting for the keys (from when it shows to the Return) is taken
# off, so both figures are the stub's own work. Target: AES at most 1.2
# times the time without. Figures, never pass/fail. Called by
# scripts/bench.sh, under scripts/with-wine.sh (which gives $WINE and the
# display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZIMBRO_BUILD_DIR:-$root/build}
build=$(cd "$build" && pwd)
stub=$build/zimbro-sfx.exe
pack=$root/build/zimbro-pack
corpus=$root/build/bench-corpus
work=$build/bench-aes
arch=${ZIMBRO_ARCH:-i686}
for f in "$stub" "$pack"; do [ -f "$f" ] || { echo "no $f: build it first"; exit 1; }; done
command -v xdotool >/dev/null || { echo "no xdotool: the password prompt cannot be answered"; exit 1; }
"$root/scripts/make-bench-corpus.sh" "$corpus"
mkdir -p "$work"
# shellcheck source=timing.sh
. "$root/scripts/timing.sh"
output_folder "$work" zimbro-aes

# A password from the environment, as a publisher's build gives it.
export ZIMBRO_BENCH_PASSWORD=bench-Pa55word
bytes=$(find "$corpus" -type f -printf "%s\n" | awk '{ n += $1 } END { print n }')
files=$(find "$corpus" -type f | wc -l)
for kind in plain aes256; do
  args=()
  [ "$kind" = plain ] || args=(--encryption "$kind" --password-env ZIMBRO_BENCH_PASSWORD)
  start=$(now)
  "$pack" -q -o "$work/$kind.exe" --stub "$stub" --mtime 2024-01-01 "${args[@]}" "$corpus"
  printf -v "packed_$kind" '%.2f' "$(echo "$(now) - $start" | bc -l)"
done

install_plain() {  # SETUP: prints the seconds it took
  rm -rf "$outs/out" && mkdir -p "$outs/out"
  local start
  start=$(now)
  (cd "$outs/out" && timeout 1200 "$WINE" "$1" /s >/dev/null 2>&1) || echo "WARNING: plain installer: exit code $?" >&2
  echo "$(now) - $start" | bc -l
}

# The same, answering the prompt as a user would; the prompt's waiting
# time is not counted. Prints nothing when no prompt came (a stub that
# reads no AES members refuses them without asking, and its error box
# would wait for a click): that run is ended.
install_aes() {  # SETUP
  rm -rf "$outs/out" && mkdir -p "$outs/out"
  local start shown answered window pid code=0
  start=$(now)
  (cd "$outs/out" && exec timeout 1200 "$WINE" "$1" /s >/dev/null 2>&1) &
  pid=$!
  # Polled every 20 ms: --sync looks only every half second, which would
  # count up to that much waiting as the stub's work.
  window=
  for _ in $(seq 3000); do
    window=$(xdotool search --onlyvisible --name '^Enter password$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
  done
  if [ -z "$window" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return
  fi
  shown=$(now)
  xdotool windowfocus --sync "$window"
  xdotool type --delay 0 "$ZIMBRO_BENCH_PASSWORD"
  xdotool key Return
  answered=$(now)
  wait "$pid" || code=$?
  [ "$code" = 0 ] || echo "WARNING: AES installer: exit code $code" >&2
  echo "$(now) - $start - ($answered - $shown)" | bc -l
}

echo "-- AES-256 against no encryption at install time, $arch stub under Wine (best of 3 in turns, output in $outs)"
echo "corpus: $files files, $bytes bytes; packed in $packed_plain s without encryption, $packed_aes256 s with AES-256"
"$pack" --test "$work/aes256.exe" --password-env ZIMBRO_BENCH_PASSWORD | tail -n 1
plain=999999 aes=999999 asked=1
for round in 1 2 3; do
  plain=$(lower "$(install_plain "$work/plain.exe")" "$plain")
  [ "$round" = 1 ] && { diff -rq "$corpus" "$outs/out" >/dev/null || echo "WARNING: the plain installer installed other files"; }
  took=$(install_aes "$work/aes256.exe")
  if [ -z "$took" ]; then
    asked=0
    break
  fi
  aes=$(lower "$took" "$aes")
  [ "$round" = 1 ] && { diff -rq "$corpus" "$outs/out" >/dev/null || echo "WARNING: the AES installer installed other files"; }
done
printf '  %-24s %12d bytes  %7.2f s\n' "install, no encryption" "$(stat -c %s "$work/plain.exe")" "$plain"
if [ "$asked" = 0 ]; then
  echo "  the AES-256 installer asked for no password: this stub reads no AES members"
  exit 0
fi
printf '  %-24s %12d bytes  %7.2f s\n' "install, AES-256" "$(stat -c %s "$work/aes256.exe")" "$aes"
printf '  AES-256 takes %.2f times the time without encryption (target <= 1.2)\n' "$(echo "$aes / $plain" | bc -l)"
