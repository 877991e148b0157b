#!/usr/bin/env bash
# What hostile MPEG-4 files cost zarvo-cli: wall time (median of RUNS) and peak resident
# memory, and how soon Ctrl+C ends a long look at a source's pictures.
#   the refused join of two parts that claim 2^27 one-byte samples each
#   the join of two parts of 2^26 such samples (one constant stsz, no stss)
#   a 2-hour 30 fps H.264/AAC recording joined to itself (tables of a real encoder)
#   the EMH split of a day at 60 frames a second with its sound (9,234,000 samples)
#   the EMH split of 600 HEVC key frames made of 6-byte parameter-set units
# Usage: bench/bench_hostile.sh [RUNS]   (RUNS >= 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

data=$(bench_data_dir "$top")/hostile
mkdir -p "$data"
cd "$data"
[[ -s look.mp4 ]] || "$top/build/bench/zarvo-bench-hostile" "$data"
if [[ ! -s twohours.mp4 ]]; then
  # Small pictures: the tables of two hours are what is measured, not the data.
  ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=160x90:rate=30 -f lavfi \
    -i sine=sample_rate=48000 -t 7200 -c:v libx264 -preset ultrafast -g 30 -c:a aac -b:a 32k \
    twohours.mp4
fi

# measure NAME COMMAND: median wall time and peak RSS of COMMAND (status ignored).
measure() {
  local times=() peak
  for ((i = 0; i < runs; i++)); do
    settle out.* ./*.mp4.0*
    times+=("$(wall_seconds sh -c "$2")")
  done
  settle out.* ./*.mp4.0*
  peak=$(peak_rss_kib sh -c "exec $2")
  printf '%-34s %8s %10s\n' "$1" "$(median "${times[@]}")" $((peak / 1024))
}

printf '%-34s %8s %10s\n' job "time (s)" "peak (MiB)"
pack="$cli pack --seamless --no-mpeg-check --assume-yes -o out.mp4"
unpack="$cli unpack --type emh --pieces 10 --assume-yes"
measure "refused 2^27 + 2^27 join" "$pack claim27.mp4 claim27.mp4"
measure "2^26 + 2^26 join" "$pack claim26.mp4 claim26.mp4"
measure "2-hour recording joined twice" "$pack twohours.mp4 twohours.mp4"
measure "day split (9.2 M samples)" "$unpack day.mp4"
measure "600 key frames of 6 MB units" "$unpack units.mp4"

# Ctrl+C half a second into the look at two million pictures: how long until it exits.
answers=()
for ((i = 0; i < runs; i++)); do
  settle ./*.mp4.0*
  "$cli" unpack --type emh --pieces 2 --assume-yes look.mp4 >/dev/null 2>&1 &
  pid=$!
  sleep 0.5
  start=$EPOCHREALTIME
  kill -INT "$pid"
  status=0
  wait "$pid" || status=$?
  end=$EPOCHREALTIME
  (( status == 130 )) || echo "exit status $status, not 130" >&2
  answers+=("$(awk -v s="$start" -v e="$end" 'BEGIN {printf "%.4f", e - s}')")
done
settle ./*.mp4.0*
printf '%-34s %8s\n' "Ctrl+C during the look, answered in" "$(median "${answers[@]}")"
release_bench_data "$data"
