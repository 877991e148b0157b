#!/usr/bin/env bash
# Checksums written in the copying pass against `openssl dgst -sha256` of the same bytes
# alone, on a 1 GiB file (Ultra Fast, page cache warm, outputs removed untimed):
#   unpack --checksum into 100,000,000-byte pieces    vs  openssl dgst of the source
#   the same into 1,474,560-byte pieces (the default) vs  openssl dgst of the source
#   pack --checksum of its two halves                 vs  openssl dgst of the output
# Runs alternate; prints the median times, the median of the paired ratios and the peak
# resident memory of zarvo-cli. Usage: bench/bench_checksum.sh [RUNS]   (RUNS >= 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

data=$(bench_data_dir "$top")/checksum
mkdir -p "$data/pieces"
cd "$data"
[[ -s whole ]] || head -c $((1024 * 1024 * 1024)) /dev/urandom > whole
[[ -s first ]] || head -c $((512 * 1024 * 1024)) whole > first
[[ -s second ]] || tail -c $((512 * 1024 * 1024)) whole > second
cat whole first second > /dev/null  # warm the page cache

unpack=("$cli" unpack --checksum --size zip --rate ufast --to pieces whole)
small=("$cli" unpack --checksum --size high --rate ufast --to pieces whole)
pack=("$cli" pack --checksum --no-mpeg-check --assume-yes --rate ufast -o joined first second)

# NAME COMMAND...: times the job against openssl of `whole` (the source, and the packed
# output); the last run's outputs stay for the check.
compare() {
  local name=$1 job_times=() dgst_times=() pairs=() peak=0 job dgst
  shift
  for ((i = 0; i < runs; i++)); do
    settle pieces/* joined joined.sha256
    job=$(wall_seconds "$@")
    dgst=$(wall_seconds openssl dgst -sha256 whole)
    job_times+=("$job") dgst_times+=("$dgst") pairs+=("$(ratio "$job" "$dgst")")
    settle pieces/* joined joined.sha256
    peak=$(max "$peak" "$(peak_rss_kib "$@")")
  done
  printf '%-7s %-10s %-12s %-13s %s\n' "$name" "$(median "${job_times[@]}")" \
    "$(median "${dgst_times[@]}")" "$(median "${pairs[@]}")" $((peak / 1024))
}

printf '%-7s %-10s %-12s %-13s %s\n' job "zarvo (s)" "openssl (s)" "paired ratio" "peak RSS (MiB)"
for job in unpack small; do
  declare -n command=$job
  compare "$job" "${command[@]}"
  (cd pieces && sha256sum --quiet --ignore-missing -c whole.sha256) || { echo "$job checksums wrong" >&2; exit 1; }
done
compare pack "${pack[@]}"
sha256sum joined | cmp -s - joined.sha256 || { echo "pack checksum wrong" >&2; exit 1; }
rm -rf pieces joined joined.sha256
cd "$top"
release_bench_data "$data"
