#!/usr/bin/env bash
# The preview following the browser through 50 clips with the Down key, under a virtual
# X display with real video output: how long each key takes to be handled.
# Usage: bench/bench_preview.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/bench_lib.sh"
bench_prepare "$top" 5
data=$(bench_data_dir "$top")/preview
mkdir -p "$data/runtime" && chmod 700 "$data/runtime"
status=0
XDG_CONFIG_HOME="$data/config" XDG_DATA_HOME="$data/share" XDG_RUNTIME_DIR="$data/runtime" \
  xvfb-run -a -s "-screen 0 1280x800x24" "$top/build/bench/zarvo-bench-preview" "$data" || status=$?
release_bench_data "$(dirname "$data")"
exit $status
