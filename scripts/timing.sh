# Wall-clock helpers the benchmark scripts source.
now() { date +%s.%N; }
seconds() {  # COMMAND...: the wall time of one run
  local start
  start=$(now)
  "$@" >/dev/null 2>&1 || true
  echo "$(now) - $start" | bc -l
}
lower() { echo "if ($1 < $2) $1 else $2" | bc -l; }
