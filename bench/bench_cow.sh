#!/usr/bin/env bash
# Block sharing on a copy-on-write file system: makes an XFS image with reflink,
# loop-mounts it, and on it times (alternating, page cache warm) the unpack of 1 GiB into
# 100 MiB pieces against `split -b 100MiB`, and the rejoin of those pieces against `cat`,
# at "Ultra Fast". Prints the median times and ratios, how much the used space grew, and
# whether FIEMAP shows the pieces' and the result's extents shared. Needs root and
# mkfs.xfs; without them it says what is missing and exits 0. Removes all it made.
# Usage: bench/bench_cow.sh [RUNS]   (RUNS >= 5, default 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
runs=${1:-5}
bench_prepare "$top" "$runs"
cli="$top/build/src/zarvo-cli"

if [[ $(id -u) -ne 0 ]] || ! command -v mkfs.xfs >/dev/null; then
  echo "bench_cow: needs root and mkfs.xfs to mount an XFS image; nothing measured"
  exit 0
fi
work=$(mktemp -d)
image="$work/xfs.img" mnt="$work/mnt"
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"
truncate -s 4G "$image"
mkfs.xfs -q -f -m reflink=1 "$image"
if ! mount -o loop "$image" "$mnt" 2>/dev/null; then
  echo "bench_cow: this machine refuses a loop mount; nothing measured"
  exit 0
fi

source_file="$mnt/src.bin"
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$source_file"
sync
mkdir -p "$mnt/z" "$mnt/s"
used_kib() { sync; df -Pk "$mnt" | awk 'NR == 2 { print $3 }'; }
# The growth of the used space while a command runs, in KiB, after the command's time.
timed_growth() {
  local before seconds
  before=$(used_kib)
  seconds=$(wall_seconds "$@")
  echo "$seconds $(( $(used_kib) - before ))"
}
unpack() { "$cli" unpack --rate ufast --piece-size 102400 --output "$mnt/z/src.bin" "$source_file" >/dev/null; }
rejoin() { "$cli" pack --no-mpeg-check --rate ufast --output "$mnt/joined.bin" "$mnt"/z/src.bin.0* >/dev/null; }
cat_pieces() { cat "$mnt"/z/src.bin.0* > "$mnt/cat.bin"; }

unpack_times=() split_times=() rejoin_times=() cat_times=() unpack_growth=0 rejoin_growth=0
for ((i = 0; i < runs; i++)); do
  settle "$mnt"/s/*
  split_times+=("$(wall_seconds sh -c "cd '$mnt/s' && split -b 100MiB '$source_file' src.bin.")")
  rm -f "$mnt"/s/*
  settle "$mnt"/z/*
  read -r seconds unpack_growth < <(timed_growth unpack)
  unpack_times+=("$seconds")
  settle "$mnt/cat.bin"
  cat_times+=("$(wall_seconds cat_pieces)")
  rm -f "$mnt/cat.bin"
  settle "$mnt/joined.bin"
  read -r seconds rejoin_growth < <(timed_growth rejoin)
  rejoin_times+=("$seconds")
done
cmp -s "$mnt/joined.bin" "$source_file" || { echo "the rejoined file differs" >&2; exit 1; }

# FIEMAP's "shared" flag (0x2000) on every extent of the pieces and of the result.
all_shared() { # FILE
  local flags
  while read -r flags; do
    (( flags & 0x2000 )) || return 1
  done < <(xfs_io -c "fiemap -v" "$1" | awk 'NR > 2 { print $NF }')
}
unshared=0
for file in "$mnt"/z/src.bin.0* "$mnt/joined.bin"; do
  all_shared "$file" || unshared=$((unshared + 1))
done

s=$(median "${split_times[@]}") u=$(median "${unpack_times[@]}")
c=$(median "${cat_times[@]}") j=$(median "${rejoin_times[@]}")
data_kib=$((1024 * 1024))
printf 'unpack %ss  split %ss  unpack / split: %s   used space grew %s KiB (%s%% of the data)\n' \
  "$u" "$s" "$(ratio "$u" "$s")" "$unpack_growth" "$(awk -v g="$unpack_growth" -v d="$data_kib" 'BEGIN { printf "%.2f", 100 * g / d }')"
printf 'rejoin %ss  cat %ss  rejoin / cat: %s   used space grew %s KiB (%s%% of the data)\n' \
  "$j" "$c" "$(ratio "$j" "$c")" "$rejoin_growth" "$(awk -v g="$rejoin_growth" -v d="$data_kib" 'BEGIN { printf "%.2f", 100 * g / d }')"
if [[ $unshared -eq 0 ]]; then
  echo "FIEMAP: every extent of the pieces and of the rejoined file is shared"
else
  echo "FIEMAP: $unshared file(s) hold extents that are not shared" >&2
  exit 1
fi
