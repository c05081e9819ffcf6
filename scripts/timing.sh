# Wall-clock helpers the benchmark scripts source.
now() { date +%s.%N; }
seconds() {  # COMMAND...: the wall time of one run
  local start
  start=$(now)
  "$@" >/dev/null 2>&1 || true
  echo "$(now) - $start" | bc -l
}
lower() { echo "if ($1 < $2) $1 else $2" | bc -l; }
# Where a benchmark writes what it installs: a fresh folder in memory, where
# the machine has one (so that the disk's speed is not measured), removed
# when the script ends; the given folder otherwise. Sets $outs.
output_folder() {  # FALLBACK NAME
  outs=$1
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    outs=$(mktemp -d "/dev/shm/$2.XXXXXX")
    trap 'rm -rf "$outs"' EXIT
  fi
}
