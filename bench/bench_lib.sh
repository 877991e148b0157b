# Shared helpers of the benchmarks (sourced).

# Checks the run count, installs what is missing and builds the release tree.
bench_prepare() {
  (( $2 >= 5 )) || { echo "at least 5 runs" >&2; exit 2; }
  "$1/scripts/deps"
  "$1/scripts/build" "$1/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
}

# Where the test data lives: $BENCH_DATA, else a tmpfs folder (page cache without
# disk writeback, whose timing swings wildly on this kind of machine), else bench/data.
bench_data_dir() {
  if [[ -n "${BENCH_DATA:-}" ]]; then
    echo "$BENCH_DATA"
  elif [[ -d /dev/shm && -w /dev/shm ]]; then
    echo /dev/shm/zarvo-bench
  else
    echo "$1/bench/data"
  fi
}

# The tmpfs copy holds memory: dropped at the end unless BENCH_KEEP=1.
release_bench_data() {
  [[ "$1" == /dev/shm/* && "${BENCH_KEEP:-0}" != 1 ]] && rm -rf "$1"
  return 0
}

# Untimed: the previous run's outputs are removed and written back first, so that
# neither side pays for the other's deletion or writeback.
settle() {
  rm -f "$@"
  sync
}

# Wall time of a command in seconds, its output discarded. Bash's own clock: a `date`
# process on either side would add milliseconds to a command that takes a few.
wall_seconds() {
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN {printf "%.4f", e - s}'
}

# Peak resident memory of a command in KiB.
peak_rss_kib() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}

median() {
  printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'
}

max() {
  (( $1 > $2 )) && echo "$1" || echo "$2"
}
