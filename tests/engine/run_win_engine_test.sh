#!/bin/bash
# Starts the servers that the Windows engine test program talks to on
# 127.0.0.1 (plain, and over TLS choosing HTTP/2 by ALPN, with a test
# authority trusted in this run's Wine prefix and removed at the end), then
# runs the program under the emulator with their ports.
# usage: run_win_engine_test.sh <emulator> <trust_root.exe> <program> [arguments...]
set -u
emulator=$1 trust=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/serve.sh"
source "$root/tools/wine-env.sh"
dir=$(mktemp -d)
trap '"$emulator" "$trust" remove >/dev/null 2>&1; serve_stop; rm -rf "$dir"' EXIT

mkdir -p "$dir/site"
printf '<html><title>Top</title><a href="a.jpg">a</a><img src="b.gif"><a href="sub.html">s</a></html>' >"$dir/site/index.html"
printf '<a href="c.png">c</a> sub page' >"$dir/site/sub.html"
printf 'AAAA' >"$dir/site/a.jpg"
printf 'GIF89a' >"$dir/site/b.gif"
printf 'PNG' >"$dir/site/c.png"
for i in 1 2 3 4; do
  head -c $((10000 * i)) /dev/zero | tr '\0' "$i" >"$dir/site/f$i.jpg"
done
cat >"$dir/routes.json" <<'JSON'
{"/r1.jpg": [{"send": "HTTP/1.0 302 Found\r\nLocation: final.jpg\r\n\r\n"}],
 "/final.jpg": [{"send": "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfinal"}],
 "/drip-body.jpg": [{"send": "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n"}, {"body": 1000}, {"hold": "drip"}]}
JSON

serve files_port "$dir/files.out" /dev/null python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$dir/site" || exit 1
serve_fixture fixture_port "$dir/fixture.out" - --routes "$dir/routes.json" --log "$dir/requests.log" || exit 1
bash "$root/tools/tls-test-ca.sh" "$dir/ca" || exit 1
serve_fixture alpn_port "$dir/alpn.out" /dev/null --cert "$dir/ca/localhost.pem" --key "$dir/ca/localhost.key" \
  --dir "$dir/site" --log "$dir/alpn.log" --alpn h2,http/1.1 || exit 1
"$emulator" "$trust" add "$(winpath "$dir/ca/ca.der")" || exit 1
"$emulator" "$@" --files-port="$files_port" --fixture-port="$fixture_port" --alpn-port="$alpn_port"
