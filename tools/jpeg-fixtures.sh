#!/bin/bash
# Makes the JPEG conformance fixtures in the folder given: synthesized
# pictures (smooth gradients, noise, sharp edges) compressed by cjpeg in many
# configurations, and for each the reference decode of djpeg with the
# accurate integer transform and plain (replicating) upsampling.
# Writes NAME.jpg, NAME.pnm and a manifest.txt listing the names.
set -euo pipefail
out=${1:?usage: jpeg-fixtures.sh OUTPUT_FOLDER}
mkdir -p "$out"
cd "$out"
command -v cjpeg >/dev/null && command -v djpeg >/dev/null || {
  echo "jpeg-fixtures: cjpeg and djpeg are needed (libjpeg-turbo-progs)" >&2; exit 1; }

picture() {  # picture WIDTH HEIGHT FILE
  python3 - "$1" "$2" "$3" <<'PY'
import sys, math
w, h, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
seed = 12345
rows = bytearray()
for y in range(h):
    for x in range(w):
        seed = (seed * 1103515245 + 12345) & 0x7fffffff
        noise = (seed >> 16) % 25 - 12
        r = 255 * x // max(w - 1, 1)
        g = 255 * y // max(h - 1, 1)
        b = int(128 + 100 * math.sin((x + 2 * y) / 9.0))
        if (x // 16 + y // 12) % 5 == 0:   # hard-edged blocks
            r, g, b = 255 - g, 30, 240
        if abs(x - y) < 2:                 # a sharp diagonal line
            r = g = b = 0
        rows += bytes(max(0, min(255, v + noise)) for v in (r, g, b))
with open(path, 'wb') as f:
    f.write(b'P6\n%d %d\n255\n' % (w, h))
    f.write(rows)
PY
}

picture 97 61 small.ppm
picture 1 1 p1x1.ppm
picture 7 9 p7x9.ppm
picture 33 17 p33x17.ppm
picture 1023 769 large.ppm

# Successive approximation with spectral selection, luma and chroma apart.
cat > sa.scans <<'S'
0 1 2: 0 0 0 1;
0: 1 5 0 2;
2: 1 63 0 1;
1: 1 63 0 1;
0: 6 63 0 2;
0: 1 63 2 1;
0 1 2: 0 0 1 0;
2: 1 63 1 0;
1: 1 63 1 0;
0: 1 63 1 0;
S
# Sequential, one component per scan and in an unusual order.
printf '2;\n0;\n1;\n' > single.scans
printf '1 2;\n0;\n' > reorder.scans

: > manifest.txt
make() {  # make NAME SOURCE cjpeg-options...
  local name=$1 src=$2; shift 2
  cjpeg "$@" -outfile "$name.jpg" "$src"
  djpeg -dct int -nosmooth -pnm -outfile "$name.pnm" "$name.jpg"
  echo "$name" >> manifest.txt
}

make b444 small.ppm -sample 1x1 -quality 90
make b422 small.ppm -sample 2x1 -quality 90
make b420 small.ppm -sample 2x2 -quality 90
make b440 small.ppm -sample 1x2 -quality 90
make b411 small.ppm -sample 4x1 -quality 90
make grey small.ppm -grayscale -quality 90
make optimised small.ppm -optimize
make restart1 small.ppm -restart 1
make restart2b small.ppm -sample 1x1 -restart 2B
make prog small.ppm -progressive
make prog444 small.ppm -progressive -sample 1x1
make proggrey small.ppm -progressive -grayscale
make progsa small.ppm -scans sa.scans
make progrestart small.ppm -progressive -restart 1
make single small.ppm -scans single.scans
make reorder small.ppm -scans reorder.scans
for q in 10 25 50 75 95 100; do make "q$q" small.ppm -quality "$q"; done
make s1x1 p1x1.ppm
make s7x9 p7x9.ppm -sample 2x2
make s33x17 p33x17.ppm -sample 2x1
make prog7x9 p7x9.ppm -progressive
make large large.ppm -quality 85
make largeprog large.ppm -progressive -quality 85
make largerestart large.ppm -sample 2x2 -restart 4B

# Colour models other than YCbCr. RGB as cjpeg stores it (Adobe marker with
# transform 0, components named R, G, B), and without the Adobe marker, where
# only the names tell. Four components: tjbench writes YCCK (Adobe transform
# 2); the same file with the transform byte set to 0 is a CMYK file, and
# without the marker a CMYK file that nothing names.
without_adobe() {  # without_adobe IN OUT: drops the APP14 segments
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
out, pos = bytearray(data[:2]), 2
while pos + 4 <= len(data) and data[pos] == 0xFF and data[pos + 1] != 0xDA:
    length = (data[pos + 2] << 8) | data[pos + 3]
    if data[pos + 1] != 0xEE:
        out += data[pos:pos + 2 + length]
    pos += 2 + length
out += data[pos:]
open(sys.argv[2], 'wb').write(bytes(out))
PY
}
adobe_transform() {  # adobe_transform IN OUT CODE: rewrites the transform byte
  python3 - "$1" "$2" "$3" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(bytes([0xFF, 0xEE]))
assert at > 0 and data[at + 4:at + 9] == b'Adobe'
data[at + 15] = int(sys.argv[3])
open(sys.argv[2], 'wb').write(bytes(data))
PY
}
reference() {  # reference NAME: djpeg's decode of an existing NAME.jpg
  djpeg -dct int -nosmooth -pnm -outfile "$1.pnm" "$1.jpg"
  echo "$1" >> manifest.txt
}
make rgb small.ppm -rgb -quality 90
make rgbprog small.ppm -rgb -progressive
without_adobe rgb.jpg rgbids.jpg && reference rgbids
for s in 444 420 422; do
  tjbench small.ppm 90 -cmyk -subsamp "$s" -quiet >/dev/null
  mv "small_${s}_Q90.jpg" "ycck$s.jpg" && reference "ycck$s"
done
jpegtran -progressive -outfile ycckprog.jpg ycck420.jpg && reference ycckprog
adobe_transform ycck444.jpg cmyk.jpg 0 && reference cmyk
without_adobe cmyk.jpg cmykplain.jpg && reference cmykplain
rm -f ./*.ppm ./*.scans
