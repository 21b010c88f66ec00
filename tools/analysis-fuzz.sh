#!/bin/bash
# Builds the page-scan fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it from the seeds in tests/analysis/corpus for the given number of seconds
# (600 by default). The growing corpus stays in the build folder. A second
# argument json_images_fuzz picks the structured-data reader's target
# instead. Further arguments go to libFuzzer (a longer -timeout= for a run
# that gets paused).
# Usage: tools/analysis-fuzz.sh [seconds] [page_scan_fuzz|json_images_fuzz] [libFuzzer arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/analysis-fuzz
seconds=${1:-600}
shift || true
target=page_scan_fuzz
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  target=$1
  shift
fi
seeds=$root/tests/analysis/corpus
[ "$target" = page_scan_fuzz ] || seeds=$root/tests/analysis/corpus-$target
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_FUZZ=ON -DFERROW_SANITIZE=ON >/dev/null
ninja -C "$build" "$target" >/dev/null
corpus=$build/corpus
[ "$target" = page_scan_fuzz ] || corpus=$build/corpus-$target
mkdir -p "$corpus"
exec "$(find "$build" -name "$target" -type f -perm -u+x | head -1)" "$corpus" \
  "$seeds" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/" "$@"
