#!/usr/bin/env bash
# Times what grows with the user's data against its target: start-up with a settings
# file of 200,000 keys, a pack list of 32,767 entries (add, sort, save, load) and the
# browser in a folder of 20,000 files. Each target is under one second.
# Usage: bench/bench_scale.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
bench_prepare "$top" 5
data=$(bench_data_dir "$top")/scale
mkdir -p "$data/runtime" && chmod 700 "$data/runtime"
status=0
XDG_CONFIG_HOME="$data/config" XDG_DATA_HOME="$data/share" XDG_RUNTIME_DIR="$data/runtime" \
  QT_QPA_PLATFORM=offscreen \
  "$top/build/bench/zarvo-bench-scale" "$data" || status=$?
release_bench_data "$(dirname "$data")"
exit $status
