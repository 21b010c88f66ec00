#!/bin/bash
# Saves a screenshot of Ferrow's main window with the docked viewer showing
# a photograph-like picture that the user clicked in the file list: a JPEG
# decoded by jpeg.spi, or with "png" a PNG with rounded transparent corners
# decoded by wic.spi.
# usage: tools/viewer-screenshot.sh [Ferrow.exe] [output.png] [jpeg|png]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(readlink -f "${1:-$root/build/win64/bin/Ferrow.exe}")
kind=${3:-jpeg}
case $kind in
  jpeg) out=${2:-$root/docs/viewer.png} ext=jpg ;;
  png) out=${2:-$root/docs/viewer-png.png} ext=png ;;
  *) echo "viewer-screenshot: the picture is jpeg or png" >&2; exit 2 ;;
esac
source "$root/tools/wine-env.sh"
source "$root/tools/serve.sh"
unset DISPLAY  # the picture is taken on the virtual display
wine_ready

work=$(mktemp -d)
wine_pid=
trap 'serve_stop; [ -z "$wine_pid" ] || kill "$wine_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/site" "$work/app/dl"
# A sunset: sky gradient, a sun, and the sea with light stripes.
python3 - "$work/site" <<'PY'
import math, sys
w, h = 480, 320
rows = bytearray()
for y in range(h):
    for x in range(w):
        if y < 200:
            t = y / 200
            r, g, b = 40 + 215 * t, 60 + 110 * t, 140 - 60 * t
            d = math.hypot(x - 300, y - 170)
            if d < 45:
                r, g, b = 255, 220 - d, 90
        else:
            t = (y - 200) / 120
            shine = 60 if abs(x - 300) < 60 - 40 * t and (y // 6) % 2 == 0 else 0
            r, g, b = 30 + shine * 3, 70 + shine * 2, 120 - 40 * t + shine
        rows += bytes(max(0, min(255, int(v))) for v in (r, g, b))
open(f"{sys.argv[1]}/sunset.ppm", "wb").write(b"P6\n%d %d\n255\n" % (w, h) + bytes(rows))
# Transparency for the PNG form: corners rounded off with a soft edge.
alpha = bytearray()
for y in range(h):
    for x in range(w):
        cx, cy = min(max(x, 40), w - 41), min(max(y, 40), h - 41)
        alpha.append(max(0, min(255, int((40.5 - math.hypot(x - cx, y - cy)) * 128))))
open(f"{sys.argv[1]}/alpha.pgm", "wb").write(b"P5\n%d %d\n255\n" % (w, h) + bytes(alpha))
PY
if [ "$kind" = png ]; then
  convert "$work/site/sunset.ppm" "$work/site/alpha.pgm" -alpha off -compose CopyOpacity -composite \
    "PNG32:$work/site/yuuhi.png"
  convert "$work/site/sunset.ppm" -interlace PNG "PNG24:$work/site/umi.png"
else
  cjpeg -quality 90 -outfile "$work/site/yuuhi.jpg" "$work/site/sunset.ppm"
  cjpeg -quality 90 -progressive -outfile "$work/site/umi.jpg" "$work/site/sunset.ppm"
fi
rm "$work/site/sunset.ppm" "$work/site/alpha.pgm"
printf '<html><head><title>夕日の写真</title></head><body><a href="yuuhi.%s">1</a><a href="umi.%s">2</a></body></html>' "$ext" "$ext" |
  iconv -f UTF-8 -t CP932 >"$work/site/index.html"

serve port "$work/server.log" "$work/server.log" python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site"

cp "$exe" "$work/app/Ferrow.exe"
cp "$(dirname "$exe")/jpeg.spi" "$work/app/"
[ "$kind" = png ] && cp "$(dirname "$exe")/wic.spi" "$work/app/"
[ -f "$(dirname "$exe")/Ferrow.dll" ] && cp "$(dirname "$exe")/Ferrow.dll" "$work/app/"
dl=$(winpath "$work/app/dl")
printf '[OPTION]\r\nDLPath=%s\r\nHeadCheck=1\r\nJPG=1\r\nPNG=1\r\nHTM=1\r\nViewerDialog=0\r\n[WINDOW]\r\nx=0\r\ny=0\r\nwidth=760\r\nheight=600\r\nFramePosition=0.45\r\nViewerFramePosition=0.55\r\nviewer=1\r\n' \
  "$dl" >"$work/app/Ferrow.ini"

"$WINE64" explorer /desktop=Ferrow,780x620 "$work/app/Ferrow.exe" "http://127.0.0.1:$port/index.html" \
  >/dev/null 2>&1 &
wine_pid=$!
for _ in $(seq 300); do
  heads=$(grep -c '"HEAD ' "$work/server.log" || true)
  [ "$heads" -ge 2 ] && break
  sleep 0.1
done
sleep 1.5
# The first row of the list: a click fetches it into the viewer.
xdotool mousemove ${FERROW_SHOT_ROW_X:-60} ${FERROW_SHOT_ROW_Y:-118} click 1
for _ in $(seq 100); do
  grep -q "\"GET /yuuhi.$ext" "$work/server.log" && break
  sleep 0.1
done
sleep 1.5
mkdir -p "$(dirname "$out")"
import -window root -crop 760x600+0+0 +repage "$out"
echo "viewer-screenshot: saved $out"
for pid in $(pgrep -f "$(basename "$work")"'.app.Ferrow.exe' || true); do kill "$pid" 2>/dev/null || true; done
