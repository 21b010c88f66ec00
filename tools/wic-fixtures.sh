#!/bin/bash
# Makes the test pictures of wic.spi in the folder given: one source picture
# (gradients, hard-edged blocks, a diagonal line; a copy with graded
# transparency and one with all-or-nothing transparency) written by
# ImageMagick's convert in the forms each family takes on the web, and for
# each the first frame as convert itself decodes it, as 8-bit RGBA.
# Writes the pictures, NAME.rgba beside each, photo.jpg and photo.webp (not
# listed), and
# manifest.txt with lines
#   FILE WIDTH HEIGHT BITS
# where BITS is 32 for a picture with transparency, else 24.
set -euo pipefail
out=${1:?usage: wic-fixtures.sh OUTPUT_FOLDER}
mkdir -p "$out"
cd "$out"
command -v convert >/dev/null && command -v identify >/dev/null || {
  echo "wic-fixtures: convert and identify are needed (imagemagick)" >&2; exit 1; }

# source.ppm: opaque; graded.pam: alpha from 0 to 255 across; cutout.pam:
# alpha 0 or 255, few colours (for palettes with one transparent entry).
python3 - <<'PY'
import math
w, h = 61, 43
rgb, graded, cutout = bytearray(), bytearray(), bytearray()
blocks = [(230, 40, 40), (40, 190, 60), (50, 70, 220), (245, 215, 40), (20, 20, 20), (255, 255, 255)]
for y in range(h):
    for x in range(w):
        r = 255 * x // (w - 1)
        g = 255 * y // (h - 1)
        b = int(128 + 100 * math.sin((x + 2 * y) / 7.0))
        if (x // 8 + y // 6) % 5 == 0:
            r, g, b = 255 - g, 30, 240
        if abs(x - y) < 2:
            r = g = b = 0
        rgb += bytes((r, g, b))
        a = 0 if x < 4 else 255 if x > w - 6 else (x * 255) // (w - 1)
        graded += bytes((r, g, b, a))
        c = blocks[(x // 10 + y // 9) % len(blocks)]
        cutout += bytes(c + (0 if (x // 10 + y // 9) % 4 == 1 else 255,))
def pam(name, data):
    with open(name, 'wb') as f:
        f.write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (w, h))
        f.write(data)
with open('source.ppm', 'wb') as f:
    f.write(b'P6\n%d %d\n255\n' % (w, h) + rgb)
pam('graded.pam', graded)
pam('cutout.pam', cutout)
PY
# Three frames for an animation; only the first is shown.
convert source.ppm -rotate 180 frame2.ppm
convert source.ppm -negate frame3.ppm

: > manifest.txt
make() {  # make FILE BITS FORMAT convert-arguments...: convert ARGUMENTS FORMAT:FILE
  local file=$1 bits=$2 format=$3; shift 3
  convert "$@" "$format:$file"
  convert "$file[0]" -depth 8 "rgba:$file.rgba"
  echo "$file $(identify -format '%w %h' "$file[0]") $bits" >> manifest.txt
}

make png_rgb.png 24 PNG24 source.ppm
make png_palette.png 24 PNG8 source.ppm -colors 32
make png_grey.png 24 png source.ppm -colorspace Gray -define png:color-type=0 -define png:bit-depth=8
make png_grey1.png 24 png source.ppm -monochrome -define png:color-type=0 -define png:bit-depth=1
make png_alpha.png 32 PNG32 graded.pam
make png_grey_alpha.png 32 png graded.pam -colorspace Gray -define png:color-type=4
make png_palette_alpha.png 32 PNG8 cutout.pam
make png_interlaced.png 24 PNG24 source.ppm -interlace PNG
make png_interlaced_alpha.png 32 PNG32 graded.pam -interlace PNG
make png_48bit.png 24 PNG48 source.ppm
make png_64bit.png 32 PNG64 graded.pam
make gif_still.gif 24 gif source.ppm -colors 64
make gif_interlaced.gif 24 gif source.ppm -colors 64 -interlace GIF
make gif_transparent.gif 32 gif cutout.pam
make gif_animated.gif 24 gif -delay 20 source.ppm frame2.ppm frame3.ppm -colors 64
make bmp_24.bmp 24 BMP3 source.ppm
make bmp_8.bmp 24 BMP3 source.ppm -colors 200 -type Palette
make bmp_1.bmp 24 BMP3 source.ppm -monochrome
make bmp_rle8.bmp 24 BMP3 source.ppm -colors 100 -type Palette -compress RLE
make bmp_v5.bmp 24 BMP source.ppm
make tif_rgb.tif 24 tiff source.ppm -compress lzw
make tif_grey.tif 24 tiff source.ppm -colorspace Gray -compress none
# Colour maps hold 16-bit values; 8-bit ones read the same whether the reader
# rounds or takes the high byte.
make tif_palette.tif 24 tiff source.ppm -colors 50 -depth 8 -type Palette
make tif_msb.tif 24 tiff source.ppm -endian MSB -compress zip
make tif_alpha.tif 32 tiff graded.pam
make ico_32.ico 32 ico graded.pam -resize 32x32!
make ico_multi.ico 32 ico graded.pam -define icon:auto-resize=48,16
make ico_png.ico 32 ico graded.pam -resize 256x256! -define icon:auto-resize=256
# WebP decodes only where the system has its codec, so it is not listed.
convert source.ppm -define webp:lossless=true photo.webp
convert photo.webp -depth 8 rgba:photo.webp.rgba
# A JPEG, which wic.spi must leave to jpeg.spi.
convert source.ppm -quality 90 photo.jpg
rm -f source.ppm graded.pam cutout.pam frame2.ppm frame3.ppm
