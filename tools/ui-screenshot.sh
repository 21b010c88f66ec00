#!/bin/bash
# Saves a screenshot of Ferrow's main window after it analysed a small
# sample site served on 127.0.0.1.
# usage: tools/ui-screenshot.sh [Ferrow.exe] [output.png]
# With FERROW_SHOT_MENU=1 the "表示(V)" drop-down is open in the picture.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(readlink -f "${1:-$root/build/win64/bin/Ferrow.exe}")
out=${2:-$root/docs/screenshot.png}
source "$root/tools/wine-env.sh"
source "$root/tools/serve.sh"
unset DISPLAY  # the picture is taken on the virtual display
wine_ready

work=$(mktemp -d)
wine_pid=
trap 'serve_stop; [ -z "$wine_pid" ] || kill "$wine_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# The sample site: one page in Shift_JIS with a title, pictures and pages.
mkdir -p "$work/site" "$work/app/dl"
{
  printf '<html><head><title>夏の旅行アルバム</title></head><body>\n'
  for i in 01 02 03 04 05 06; do printf '<a href="photos/umi%s.jpg"><img src="thumbs/umi%s.gif"></a>\n' $i $i; done
  printf '<img src="logo.png"><a href="bgm.wav">BGM</a><a href="page2.html">次へ</a><a href="memo.txt">メモ</a>\n'
  printf '</body></html>\n'
} | iconv -f UTF-8 -t CP932 >"$work/site/index.html"
mkdir -p "$work/site/photos" "$work/site/thumbs"
n=0
for i in 01 02 03 04 05 06; do
  n=$((n + 1))
  head -c $((n * 48000 + 1234)) /dev/urandom >"$work/site/photos/umi$i.jpg"
  head -c $((n * 900 + 77)) /dev/urandom >"$work/site/thumbs/umi$i.gif"
done
head -c 5120 /dev/urandom >"$work/site/logo.png"
head -c 800000 /dev/urandom >"$work/site/bgm.wav"
printf '<html><title>2</title></html>' >"$work/site/page2.html"
printf 'memo' >"$work/site/memo.txt"

serve port "$work/server.log" "$work/server.log" python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site"

cp "$exe" "$work/app/Ferrow.exe"
# With the launcher library beside it the program registers it quietly.
[ -f "$(dirname "$exe")/Ferrow.dll" ] && cp "$(dirname "$exe")/Ferrow.dll" "$work/app/"
dl=$(winpath "$work/app/dl")
printf '[OPTION]\r\nDLPath=%s\r\nHeadCheck=1\r\nGIF=1\r\nPNG=1\r\nWAV=1\r\nJPG=1\r\nHTM=1\r\nExtension=txt\r\n[WINDOW]\r\nviewer=0\r\n' \
  "$dl" >"$work/app/Ferrow.ini"

# A Wine desktop window gives the program its frame and caption.
"$WINE64" explorer /desktop=Ferrow,660x520 "$work/app/Ferrow.exe" "http://127.0.0.1:$port/index.html" \
  >/dev/null 2>&1 &
wine_pid=$!
# Done when every listed file has had its HEAD request answered.
for _ in $(seq 300); do
  heads=$(grep -c '"HEAD ' "$work/server.log" || true)
  [ "$heads" -ge 16 ] && break
  sleep 0.1
done
# Let the last answers reach the list and the logo come to rest.
sleep 1.5
if [ "${FERROW_SHOT_MENU:-0}" = 1 ]; then
  xdotool mousemove 190 33 click 1
  sleep 1
fi
mkdir -p "$(dirname "$out")"
import -window root -crop 640x480+0+0 +repage "$out"
echo "ui-screenshot: saved $out"
# End the program this script started (its process runs the copied path).
for pid in $(pgrep -f "$(basename "$work")"'.app.Ferrow.exe' || true); do kill "$pid" 2>/dev/null || true; done
