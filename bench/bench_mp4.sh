#!/usr/bin/env bash
# The MPEG-4 jobs against their peers, on three 1080p H.264/AAC parts of about 200 MB
# (20 s each, made by ffmpeg once):
#   seamless join (moov rebuilt, data copied)   vs  cat  and  ffmpeg -f concat -c copy
#   fallback join of fragmented parts (remux)   vs  ffmpeg -f concat -c copy
#   EMH split of a 600 MB MP4 into 10 pieces    vs  the RAW split  and  ffmpeg -f segment
# Each run times both sides one after the other with the outputs removed untimed; the
# ratio is the median of the runs' ratios. Also the peak resident memory of zarvo-cli.
# Usage: bench/bench_mp4.sh [RUNS]   (RUNS >= 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

data=$(bench_data_dir "$top")/mp4
mkdir -p "$data"
cd "$data"
if [[ ! -s base.mp4 ]]; then
  ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30,noise=alls=40:allf=t" \
    -f lavfi -i sine=frequency=440:sample_rate=48000 -t 20 -c:v libx264 -preset ultrafast \
    -pix_fmt yuv420p -g 30 -b:v 80M -maxrate 80M -bufsize 40M -c:a aac -b:a 192k base.mp4
fi
for part in a b c; do
  [[ -s $part.mp4 ]] || cp base.mp4 $part.mp4
  [[ -s frag_$part.mp4 ]] ||
    ffmpeg -loglevel error -y -i $part.mp4 -c copy -movflags frag_keyframe+empty_moov frag_$part.mp4
done
printf "file 'a.mp4'\nfile 'b.mp4'\nfile 'c.mp4'\n" > list.txt
[[ -s long.mp4 ]] || ffmpeg -loglevel error -y -f concat -i list.txt -c copy long.mp4
printf "file 'frag_a.mp4'\nfile 'frag_b.mp4'\nfile 'frag_c.mp4'\n" > frag_list.txt
cat ./*.mp4 > /dev/null

# compare NAME "ZARVO COMMAND" "OTHER COMMAND" OTHER-NAME
compare() {
  local zarvo_times=() other_times=() ratios=() peak=0 z o
  for ((i = 0; i < runs; i++)); do
    settle out.* && mkdir -p pieces.out
    z=$(wall_seconds sh -c "$2")
    settle out.* && rm -rf pieces.out && mkdir -p pieces.out
    o=$(wall_seconds sh -c "$3")
    rm -rf pieces.out
    zarvo_times+=("$z") other_times+=("$o") ratios+=("$(ratio "$z" "$o")")
  done
  settle out.* && mkdir -p pieces.out
  peak=$(peak_rss_kib sh -c "exec $2")
  rm -rf pieces.out
  printf '%-30s %-9s %-18s %-9s %-7s %s\n' "$1" "$(median "${zarvo_times[@]}")" "$4" \
    "$(median "${other_times[@]}")" "$(median "${ratios[@]}")" $((peak / 1024))
}

printf '%-30s %-9s %-18s %-9s %-7s %s\n' job "zarvo (s)" against "(s)" ratio "peak RSS (MiB)"
seamless="'$cli' pack --assume-yes --seamless --rate ufast -o out.zarvo.mp4 a.mp4 b.mp4 c.mp4 >/dev/null 2>&1"
compare "seamless join (fast path)" "$seamless" "cat a.mp4 b.mp4 c.mp4 > out.cat" "cat"
compare "seamless join (fast path)" "$seamless" \
  "ffmpeg -v error -y -f concat -i list.txt -c copy out.ffmpeg.mp4" "ffmpeg concat"
fallback="'$cli' pack --assume-yes --seamless --rate ufast -o out.zarvo.mp4 frag_a.mp4 frag_b.mp4 frag_c.mp4 >/dev/null 2>&1"
compare "seamless join (fallback)" "$fallback" \
  "ffmpeg -v error -y -f concat -i frag_list.txt -c copy out.ffmpeg.mp4" "ffmpeg concat"
emh="'$cli' unpack --assume-yes --type emh --clean-cuts --pieces 10 --rate ufast --to pieces.out long.mp4 >/dev/null 2>&1"
compare "EMH split, 10 pieces" "$emh" \
  "'$cli' unpack --assume-yes --type raw --pieces 10 --rate ufast --to pieces.out long.mp4 >/dev/null 2>&1" \
  "RAW split"
compare "EMH split, 10 pieces" "$emh" \
  "ffmpeg -v error -y -i long.mp4 -c copy -f segment -segment_time 6 -reset_timestamps 1 pieces.out/%03d.mp4" \
  "ffmpeg segment"
settle out.*
rm -rf pieces.out
rm -f list.txt frag_list.txt
release_bench_data "$data"
