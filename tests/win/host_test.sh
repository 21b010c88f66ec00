#!/bin/bash
# FerrowHost.exe under Wine, fed messages on standard input as a browser
# feeds them: bad ones get an error reply and leave no snapshot; a good one
# gets {"ok":true} and its snapshot reaches Ferrow.exe, which the host
# starts when none runs and hands the file to when one does (Ferrow reads
# and deletes it).
# usage: host_test.sh <folder of Ferrow.exe and FerrowHost.exe>
set -uo pipefail
bin=$1
source "$(dirname "$0")/../../tools/wine-env.sh"
wine_ready || exit 125
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() { /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

temp=$("$WINE64" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_unix=$(/usr/lib/wine/winepath -u "$temp" 2>/dev/null || "$WINE64" winepath -u "$temp" | tr -d '\r')
snapshots() { ls "$temp_unix"/FerrowSnapshot-* 2>/dev/null | wc -l; }
rm -f "$temp_unix"/FerrowSnapshot-*

# frame <file> <json>: the 4-byte little-endian length, then the JSON.
frame() { python3 -c 'import struct,sys; b=sys.argv[2].encode(); open(sys.argv[1],"wb").write(struct.pack("<I",len(b))+b)' "$1" "$2"; }
# The reply goes to a file: under Wine a Ferrow.exe the host starts keeps
# the host's Unix standard output open, and a pipe would wait for it to end.
reply_of() {
  "$WINE64" "$bin/FerrowHost.exe" chrome-extension://x/ <"$1" >"$1.reply" 2>/dev/null
  tail -c +5 "$1.reply"
}

page='{"kind":"page","url":"http://127.0.0.1:9/gallery.html","html":"<img src=\"a.jpg\">","pictures":[],"cookies":[]}'
declare -A bad=(
  [file]='{"kind":"page","url":"file:///C:/windows/win.ini","html":"x"}'
  [javascript]='{"kind":"link","url":"javascript:alert(1)"}'
  [truncated]='{"kind":"page","url":"http://127.0.0.1/'
  [type]='{"kind":"page","url":"http://127.0.0.1/","html":7}'
  [cookie]='{"kind":"link","url":"http://127.0.0.1/","cookies":[{"name":"a","value":"1","path":"/"}]}'
)
for name in "${!bad[@]}"; do
  frame "$work/$name" "${bad[$name]}"
  reply=$(reply_of "$work/$name")
  [[ $reply == '{"error":"'* ]] || fail "$name: reply $reply"
done
# A length over 64 MiB and a message shorter than its length.
printf '\xff\xff\xff\x7f{}' >"$work/huge"
[[ $(reply_of "$work/huge") == '{"error":"the message length'* ]] || fail "huge length accepted"
printf '\x40\x00\x00\x00{"kind":' >"$work/short"
[[ $(reply_of "$work/short") == '{"error":"the message ended'* ]] || fail "short message accepted"
[ "$(snapshots)" = 0 ] || fail "a refused message left a snapshot"

# Nothing runs: the host starts Ferrow.exe, which reads and deletes the file.
frame "$work/page" "$page"
[ "$(reply_of "$work/page")" = '{"ok":true}' ] || fail "good message refused"
for _ in $(seq 60); do [ "$(snapshots)" = 0 ] && break; sleep 0.5; done
[ "$(snapshots)" = 0 ] || fail "the started Ferrow did not take the snapshot"
# Ferrow runs now: the file goes to it by WM_COPYDATA.
[ "$(reply_of "$work/page")" = '{"ok":true}' ] || fail "good message refused with Ferrow running"
for _ in $(seq 20); do [ "$(snapshots)" = 0 ] && break; sleep 0.5; done
[ "$(snapshots)" = 0 ] || fail "the running Ferrow did not take the snapshot"

[ $failures = 0 ] && echo "host_test: all passed"
exit $((failures > 0))
