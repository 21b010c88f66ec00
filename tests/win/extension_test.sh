#!/bin/bash
# The extension in headless Chromium hands a page over to FerrowHost.exe:
# Chromium starts the native host through a wrapper that keeps the framed
# message and runs the real host under Wine, reply to a file (a Ferrow.exe
# the host starts keeps the host's Unix standard output open, and the
# browser would wait for it). The Ferrow.exe the host starts then checks
# the script-made picture, which the server gives only with the browser's
# cookie, with the browser's User-Agent.
# usage: extension_test.sh <folder of Ferrow.exe and FerrowHost.exe>
set -uo pipefail
given=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
command -v chromium >/dev/null || { echo "chromium is not installed (tools/setup.sh)"; exit 77; }
source "$root/tools/wine-env.sh"
wine_ready || exit 1
work=$(mktemp -d)
cleanup() { /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
# One server for the whole run, started here rather than under the browser.
/usr/lib/wine/wineserver -p
temp=$("$WINE64" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_unix=$(/usr/lib/wine/winepath -u "$temp" 2>/dev/null || "$WINE64" winepath -u "$temp" | tr -d '\r')
snapshots() { ls "$temp_unix"/FerrowSnapshot-* 2>/dev/null | wc -l; }
rm -f "$temp_unix"/FerrowSnapshot-*
# The programs in a folder of their own, so that the Ferrow.exe the host
# starts reads this test's settings: PNG listed, HEAD checks on.
bin=$work/bin
mkdir -p "$bin"
cp "$given/Ferrow.exe" "$given/FerrowHost.exe" "$bin/"
printf '[OPTION]\r\nHeadCheck=1\r\nPNG=1\r\nJPG=1\r\nGIF=1\r\n[WINDOW]\r\nviewer=0\r\n' >"$bin/Ferrow.ini"

cat >"$work/host.sh" <<EOF
#!/bin/bash
export WINEPREFIX='$WINEPREFIX' WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='$WINEDLLOVERRIDES'
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 DISPLAY='$DISPLAY'
printf '%s\n' "\$@" >'$work/arguments'
# One byte at a time for the length: nothing of the body is read ahead.
dd bs=1 count=4 of='$work/message' status=none
length=\$(od -An -tu4 '$work/message' | tr -d ' ')
dd bs="\$length" count=1 iflag=fullblock status=none >>'$work/message'
'$WINE64' '$bin/FerrowHost.exe' "\$@" <'$work/message' >'$work/reply' 2>/dev/null
cat '$work/reply'
EOF
chmod +x "$work/host.sh"

python3 "$here/extension_handover.py" --extension "$root/extension" --host "$work/host.sh" \
  --work "$work" || exit 1
# The Ferrow.exe the host started reads and deletes the snapshot.
for _ in $(seq 60); do [ "$(snapshots)" = 0 ] && break; sleep 0.5; done
[ "$(snapshots)" = 0 ] || { echo "FAIL: the started Ferrow did not take the snapshot"; exit 1; }
echo "extension_test: all passed"
