#!/bin/bash
# Builds an engine fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it from the seeds in tests/engine/corpus for the given number of seconds
# (600 by default). The growing corpus stays in the build folder.
# Targets: http_fuzz (response heads and download paths, the default),
# tls_stream_fuzz (responses as a TLS layer hands them up, cut at record ends)
# cookie_fuzz (Set-Cookie values, heads, cookies.txt and cookie dates),
# chunked_fuzz (chunked bodies fed whole and in pieces), inflate_fuzz
# (gzip and deflate pages fed whole and in pieces), h2_frame_fuzz (server
# bytes to an HTTP/2 session, whole and in pieces), hpack_fuzz (runs of HPACK
# header blocks) and host_message_fuzz (the browser extension's framed
# message, read into a snapshot); targets with seeds of their own keep them
# in tests/engine/corpus-<target>.
# usage: tools/engine-fuzz.sh [seconds] [target] [libFuzzer arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/engine-fuzz
seconds=${1:-600}
target=${2:-http_fuzz}
shift 2 || shift $# || true
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_FUZZ=ON -DFERROW_SANITIZE=ON >/dev/null
ninja -C "$build" "$target" >/dev/null
mkdir -p "$build/corpus-$target"
seeds=$root/tests/engine/corpus
[ -d "$root/tests/engine/corpus-$target" ] && seeds=$root/tests/engine/corpus-$target
exec "$(find "$build" -name "$target" -type f -perm -u+x | head -1)" "$build/corpus-$target" \
  "$seeds" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/" "$@"
