#!/bin/bash
# Feeds wic.spi mutated PNG and GIF pictures under Wine for longer than the
# test command does: COUNT mutations of each seed picture (20000 by
# default). Needs build/win64 built; the pictures are made on the way.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-20000}
build=$root/build/win64
cmake --build "$build" --target wic_spi_tests wic_spi jpeg_spi >/dev/null
fixtures=$build/wic-fixtures
bash "$root/tools/wic-fixtures.sh" "$fixtures"
export FERROW_WIC_FIXTURES="Z:$fixtures" FERROW_WIC_SPI="Z:$build/bin/wic.spi"
export FERROW_WIC_FUZZ_COUNT=$count
exec "$root/tools/wine-run.sh" "$build/bin/wic_spi_tests.exe" --gtest_filter='WicFuzz.*'
