#!/bin/sh
# Builds the page scan benchmark in the native build folder and runs it; with
# --wine also the 64-bit Windows build of it under Wine, in the same run.
# Usage: tools/analysis-bench.sh [--wine] [page size in MB]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
wine=0
if [ "$1" = "--wine" ]; then
  wine=1
  shift
fi
launcher=
if command -v ccache >/dev/null 2>&1; then
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
build="$root/build/analysis-native"
cmake -S "$root" -B "$build" -G Ninja -DFERROW_BENCH=ON $launcher >/dev/null
ninja -C "$build" page_scan_bench >/dev/null
echo "== native"
"$build/tests/page_scan_bench" "$@"
if [ "$wine" = 1 ]; then
  winbuild="$root/build/analysis-win64"
  cmake -S "$root" -B "$winbuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DFERROW_BENCH=ON $launcher >/dev/null
  ninja -C "$winbuild" page_scan_bench >/dev/null
  echo "== Windows build under Wine (wall-clock time)"
  "$root/tools/wine-run.sh" "$winbuild/bin/page_scan_bench.exe" "$@"
fi
