#!/bin/bash
# Builds the page-scan fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it from the seeds in tests/analysis/corpus for the given number of seconds
# (600 by default). The growing corpus stays in the build folder. Further
# arguments go to libFuzzer (a longer -timeout= for a run that gets paused).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/analysis-fuzz
seconds=${1:-600}
shift || true
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_FUZZ=ON -DFERROW_SANITIZE=ON >/dev/null
ninja -C "$build" page_scan_fuzz >/dev/null
mkdir -p "$build/corpus"
exec "$(find "$build" -name page_scan_fuzz -type f -perm -u+x | head -1)" "$build/corpus" \
  "$root/tests/analysis/corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/" "$@"
