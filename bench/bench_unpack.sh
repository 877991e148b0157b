#!/usr/bin/env bash
# Splits a 1 GiB file into 100,000,000-byte pieces with zarvo-cli (RAW and EMH, Ultra
# Fast) and with `split -b 100000000 -a 3 -d`, runs alternating, page cache warm.
# Prints the median times, the ratios RAW/split and EMH/RAW, and the peak memory.
# Usage: bench/bench_unpack.sh [RUNS]   (RUNS >= 5, default 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

data=$(bench_data_dir "$top")
mkdir -p "$data/raw" "$data/emh" "$data/split"
source_file="$data/movie.mpg"
if [[ ! -s "$source_file" ]]; then
  # A sequence header in the first block, as an MPEG file has, then random bytes.
  { printf '\x00\x00\x01\xb3\x16\x00\xf0\x13'; head -c $((1024 * 1024 * 1024 - 8)) /dev/urandom; } > "$source_file"
fi
cat "$source_file" > /dev/null  # warm the page cache

unpack() { # TYPE FOLDER
  "$cli" unpack --size zip --rate ufast --type "$1" --to "$2" "$source_file"
}

raw_times=() emh_times=() split_times=() peak=0
for ((i = 0; i < runs; i++)); do
  settle "$data"/split/* "$data"/raw/*
  split_times+=("$(wall_seconds sh -c "cd '$data/split' && split -b 100000000 -a 3 -d '$source_file' movie.mpg.")")
  settle "$data"/raw/*
  raw_times+=("$(wall_seconds unpack raw "$data/raw")")
  settle "$data"/emh/*
  emh_times+=("$(wall_seconds unpack emh "$data/emh")")
  settle "$data"/raw/*
  peak=$(max "$peak" "$(peak_rss_kib "$cli" unpack --size zip --rate ufast --to "$data/raw" "$source_file")")
done
cat "$data"/raw/movie.mpg.0* | cmp -s - "$source_file" || { echo "RAW pieces differ" >&2; exit 1; }
s=$(median "${split_times[@]}") r=$(median "${raw_times[@]}") e=$(median "${emh_times[@]}")
printf 'split %ss  zarvo RAW %ss  zarvo EMH %ss\n' "$s" "$r" "$e"
printf 'RAW / split: %s   EMH / RAW: %s   peak RSS: %s MiB\n' "$(ratio "$r" "$s")" "$(ratio "$e" "$r")" $((peak / 1024))
rm -rf "$data/raw" "$data/emh" "$data/split"
release_bench_data "$data"
