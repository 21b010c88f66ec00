#!/bin/bash
# Builds the JPEG fuzz target with clang (libFuzzer, ASan, UBSan) and runs it
# from the seeds in jpeg/fuzz/seeds for the given number of seconds (900 by
# default); further arguments go to libFuzzer (a longer -timeout=N on a busy
# machine, for one). The growing corpus stays in the build folder, and
# anything it finds is written there too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/jpeg-fuzz
seconds=${1:-900}
shift || true
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_FUZZ=ON >/dev/null
ninja -C "$build" jpeg_fuzz >/dev/null
mkdir -p "$build/corpus"
exec "$build/jpeg/jpeg_fuzz" "$build/corpus" "$root/jpeg/fuzz/seeds" -max_total_time="$seconds" \
  -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$build/" "$@"
