#!/usr/bin/env bash
# The MPEG-aware jobs against their byte-level twins and against ffmpeg, on a
# 115 MB MPEG-2 program stream (60 s, 15 Mbit/s, made by ffmpeg once):
#   seamless join of three copies   vs  cat  and  ffmpeg -f concat -c copy
#   clean-cut EMH into 10 pieces    vs  plain EMH  and  ffmpeg -f segment -c copy
# Runs alternate, page cache warm; prints median wall times, the ratios and the peak
# resident memory of zarvo-cli. Usage: bench/bench_mpeg.sh [RUNS]   (RUNS >= 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

data=$(bench_data_dir "$top")/mpeg
mkdir -p "$data"
cd "$data"
if [[ ! -s a.vob ]]; then
  ffmpeg -loglevel error -y -f lavfi -i testsrc=size=720x576:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=48000 -t 60 -c:v mpeg2video -g 15 \
    -b:v 15000k -minrate 15000k -maxrate 15000k -bufsize 2000k -c:a mp2 -b:a 192k -f vob a.vob
fi
cp a.vob b.vob && cp a.vob c.vob
printf "file 'a.vob'\nfile 'b.vob'\nfile 'c.vob'\n" > list.txt
cat a.vob b.vob c.vob > /dev/null

# compare NAME "ZARVO COMMAND" "OTHER COMMAND" OTHER-NAME
compare() {
  local zarvo_times=() other_times=() peak=0
  for ((i = 0; i < runs; i++)); do
    rm -rf out.* pieces.* && mkdir -p pieces.zarvo pieces.other
    zarvo_times+=("$(wall_seconds sh -c "$2")")
    other_times+=("$(wall_seconds sh -c "$3")")
    rm -rf pieces.zarvo && mkdir -p pieces.zarvo
    peak=$(max "$peak" "$(peak_rss_kib sh -c "exec $2")")
  done
  local z o
  z=$(median "${zarvo_times[@]}") o=$(median "${other_times[@]}")
  printf '%-28s %-10s %-22s %-10s %-8s %s\n' "$1" "$z" "$4" "$o" "$(ratio "$z" "$o")" $((peak / 1024))
}

printf '%-28s %-10s %-22s %-10s %-8s %s\n' job "zarvo (s)" "against" "(s)" ratio "peak RSS (MiB)"
seamless="'$cli' pack --assume-yes --seamless --rate ufast -o out.zarvo a.vob b.vob c.vob >/dev/null 2>&1"
compare "seamless join" "$seamless" "cat a.vob b.vob c.vob > out.cat" "cat"
compare "seamless join" "$seamless" \
  "ffmpeg -v error -y -f concat -i list.txt -c copy -f vob out.ffmpeg" "ffmpeg concat"
clean="'$cli' unpack --assume-yes --type emh --clean-cuts --pieces 10 --rate ufast --to pieces.zarvo a.vob >/dev/null 2>&1"
compare "clean-cut EMH, 10 pieces" "$clean" \
  "'$cli' unpack --assume-yes --type emh --pieces 10 --rate ufast --to pieces.other a.vob >/dev/null 2>&1" \
  "plain EMH"
compare "clean-cut EMH, 10 pieces" "$clean" \
  "ffmpeg -v error -y -i a.vob -c copy -f segment -segment_time 6 -reset_timestamps 1 pieces.other/%03d.vob" \
  "ffmpeg segment"
rm -rf out.* pieces.* b.vob c.vob list.txt
release_bench_data "$data"
