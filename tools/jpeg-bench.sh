#!/bin/bash
# Builds the JPEG benchmark and runs it on 12-Mpixel pictures (baseline 4:2:0
# and progressive, made by cjpeg) against libjpeg-turbo and stb_image.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/jpeg-native
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERROW_BENCH=ON >/dev/null
ninja -C "$build" jpeg_bench >/dev/null
work=$build/jpeg-bench
mkdir -p "$work"
if [ ! -f "$work/big420.jpg" ]; then
  "$build/tests/jpeg_bench" --make-ppm "$work/big.ppm" 4256 2848
  cjpeg -quality 85 -sample 2x2 -outfile "$work/big420.jpg" "$work/big.ppm"
  cjpeg -quality 85 -sample 2x2 -progressive -outfile "$work/bigprog.jpg" "$work/big.ppm"
  cjpeg -quality 85 -sample 1x1 -outfile "$work/big444.jpg" "$work/big.ppm"
  rm -f "$work/big.ppm"
fi
"$build/tests/jpeg_bench" "$work/big420.jpg" "$work/bigprog.jpg" "$work/big444.jpg"
