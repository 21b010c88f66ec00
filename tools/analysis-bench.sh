#!/bin/sh
# Builds the page scan benchmark in the native build folder and runs it.
# Usage: tools/analysis-bench.sh [page size in MB]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/analysis-native"
cmake -S "$root" -B "$build" -G Ninja -DFERROW_BENCH=ON >/dev/null
ninja -C "$build" page_scan_bench >/dev/null
"$build/tests/page_scan_bench" "$@"
