#!/bin/bash
# Makes the viewer's test pictures, then runs the viewer and layout UI tests
# against the page server of the main window's UI test wrapper.
# usage: viewer-ui-tests.sh <emulator> <test program> <Ferrow.exe> [test arguments...]
# The pictures are blocks of flat colour, written as PPM, compressed with
# cjpeg and decoded again with djpeg: the decoded PPM is what the viewer's
# pixels are compared with.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/wine-env.sh"
fixtures=$(mktemp -d)
trap 'rm -rf "$fixtures"' EXIT

python3 - "$fixtures" <<'PY'
import sys
folder = sys.argv[1]
palette = [(220, 30, 30), (30, 200, 40), (40, 60, 220), (240, 220, 30), (30, 210, 220),
           (210, 40, 200), (20, 20, 20), (250, 140, 20), (120, 60, 20), (150, 150, 250)]
def picture(name, width, height, block, shift):
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            rows += bytes(palette[(x // block + 3 * (y // block) + shift) % len(palette)])
    with open(f"{folder}/{name}.ppm", "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(rows))
picture("wide", 400, 240, 40, 0)
picture("tall", 150, 450, 50, 4)
picture("small", 64, 48, 16, 7)
picture("large", 2400, 2400, 100, 2)
picture("badge", 200, 120, 40, 1)
PY
for name in wide tall small; do
  cjpeg -quality 95 -outfile "$fixtures/$name.jpg" "$fixtures/$name.ppm"
  djpeg -pnm -outfile "$fixtures/$name.decoded.ppm" "$fixtures/$name.jpg"
done
# A progressive picture large enough that its decode is still running when
# the viewer closes.
cjpeg -quality 95 -progressive -outfile "$fixtures/large.jpg" "$fixtures/large.ppm"
rm -f "$fixtures"/{wide,tall,small,large}.ppm
# The same picture in the lossless forms wic.spi reads: what is shown must be
# the picture itself.
convert "$fixtures/badge.ppm" "$fixtures/badge.png"
convert "$fixtures/badge.ppm" "$fixtures/badge.gif"
convert "$fixtures/badge.ppm" "BMP3:$fixtures/badge.bmp"
mv "$fixtures/badge.ppm" "$fixtures/badge.decoded.ppm"

export FERROW_VIEWER_FIXTURES=$(winpath "$fixtures")
export FERROW_VIEWER_SPI=$(winpath "$(dirname "$3")/jpeg.spi")
export FERROW_VIEWER_WIC=$(winpath "$(dirname "$3")/wic.spi")
# The plug-in that blocks until released (its unix path comes from ctest).
if [ -n "${FERROW_BLOCKING_SPI:-}" ]; then export FERROW_BLOCKING_SPI=$(winpath "$FERROW_BLOCKING_SPI"); fi
bash "$root/tests/ui/run_ui_tests.sh" "$@"
