#!/usr/bin/env bash
# Joins two 512 MiB files with zarvo-cli at every transfer rate and compares the wall
# time with `cat a b > out` (without the MPEG check, which on these random bytes would
# read both files once more in search of a header), runs alternating, page cache warm.
# Prints the median ratio per rate and the peak resident memory of zarvo-cli.
# Usage: bench/bench_pack.sh [RUNS]   (RUNS >= 5, default 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

data=$(bench_data_dir "$top")
mkdir -p "$data"
for f in a b; do
  [[ -s "$data/$f" ]] || head -c $((512 * 1024 * 1024)) /dev/urandom > "$data/$f"
done
cat "$data/a" "$data/b" > /dev/null  # warm the page cache

printf '%-7s %-12s %-12s %-8s %s\n' rate "cat (s)" "zarvo (s)" ratio "peak RSS (MiB)"
for rate in slow normal fast ufast; do
  cat_times=() zarvo_times=() peak=0
  for ((i = 0; i < runs; i++)); do
    settle "$data/out.cat" "$data/out.zarvo"
    cat_times+=("$(wall_seconds sh -c "cat '$data/a' '$data/b' > '$data/out.cat'")")
    settle "$data/out.zarvo"
    zarvo_times+=("$(wall_seconds "$cli" pack --no-mpeg-check --assume-yes --rate "$rate" -o "$data/out.zarvo" "$data/a" "$data/b")")
    settle "$data/out.zarvo"
    peak=$(max "$peak" "$(peak_rss_kib "$cli" pack --no-mpeg-check --assume-yes --rate "$rate" -o "$data/out.zarvo" "$data/a" "$data/b")")
  done
  [[ -f "$data/out.cat" ]] || cat "$data/a" "$data/b" > "$data/out.cat"
  cmp -s "$data/out.cat" "$data/out.zarvo" || { echo "outputs differ at rate $rate" >&2; exit 1; }
  c=$(median "${cat_times[@]}") z=$(median "${zarvo_times[@]}")
  printf '%-7s %-12s %-12s %-8s %s\n' "$rate" "$c" "$z" "$(ratio "$z" "$c")" $((peak / 1024))
done
rm -f "$data/out.cat" "$data/out.zarvo"
release_bench_data "$data"
