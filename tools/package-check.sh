#!/bin/bash
# Checks the 64-bit package as a user meets it: unpacked into an empty
# folder, Ferrow.exe starts under a fresh Wine prefix and analyses a page
# served on 127.0.0.1 (the page is fetched, its title becomes the caption,
# and its files are asked for their size and date).
# usage: tools/package-check.sh [Ferrow-<version>-win64.zip]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^#define FERROW_VERSION "\(.*\)"$/\1/p' "$root/resources/version.h")
zip=${1:-$root/build/dist/Ferrow-$version-win64.zip}
[ -f "$zip" ] || { echo "package-check: no package $zip (run tools/package.sh)" >&2; exit 1; }
work=$(mktemp -d)
started_xvfb=0
# A fresh prefix of its own.
WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/tools/wine-env.sh"
source "$root/tools/serve.sh"
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  serve_stop
  [ $started_xvfb = 1 ] && "$root/tools/xvfb.sh" stop
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  DISPLAY=$("$root/tools/xvfb.sh" start); export DISPLAY
  started_xvfb=1
fi
fail() { echo "package-check: FAILED: $*" >&2; exit 1; }

mkdir "$work/Ferrow" "$work/site"
unzip -q "$zip" -d "$work/Ferrow" || fail "the package does not unpack"
for name in Ferrow.exe Ferrow.dll ie_menu.htm Ferrow.chm jpeg.sph readme.txt LICENSE.txt; do
  [ -f "$work/Ferrow/$name" ] || fail "$name is not in the package"
done

cat >"$work/site/index.html" <<'HTML'
<html><head><title>Package check</title></head><body>
<a href="photo.jpg">photo</a> <img src="small.jpg"> <a href="page2.html">next</a>
</body></html>
HTML
head -c 5000 /dev/zero >"$work/site/photo.jpg"
head -c 700 /dev/zero >"$work/site/small.jpg"
echo "<html></html>" >"$work/site/page2.html"
serve port "$work/server.out" "$work/requests.log" python3 -u -m http.server 0 --bind 127.0.0.1 \
  --directory "$work/site" || fail "the page server did not start"

echo "package-check: fresh Wine prefix, Ferrow.exe from the unpacked package"
"$WINE64" wineboot --init >/dev/null 2>&1
"$WINE64" "$work/Ferrow/Ferrow.exe" "http://127.0.0.1:$port/index.html" >/dev/null 2>&1 &
caption=
for _ in $(seq 120); do
  caption=$(xwininfo -root -children 2>/dev/null | grep -o '"Package check - Ferrow"' | head -1)
  grep -q 'HEAD /photo.jpg' "$work/requests.log" && grep -q 'HEAD /small.jpg' "$work/requests.log" &&
    [ -n "$caption" ] && break
  sleep 0.5
done
grep -q 'GET /index.html' "$work/requests.log" || fail "the page was not fetched"
[ -n "$caption" ] || fail "the caption did not become the page's title"
grep -q 'HEAD /photo.jpg' "$work/requests.log" || fail "the listed files were not asked for size and date"
grep -q 'HEAD /small.jpg' "$work/requests.log" || fail "the listed files were not asked for size and date"
echo "package-check: OK (page analysed, caption \"Package check - Ferrow\", sizes asked)"
