#!/bin/bash
# Makes a test authority, serves a site over TLS on 127.0.0.1 (with a good
# certificate, one of an unknown authority and one for another host), a
# plain server that redirects to it and tinyproxy, adds the authority to the
# trusted roots of this run's Wine prefix (removed again at the end), then
# runs the HTTPS test program under the emulator.
# usage: run_https_tests.sh <emulator> <test program> <Ferrow.exe> <trust_root.exe> [args...]
set -u
emulator=$1 program=$2 ferrow=$3 trust=$4
shift 4
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
site="$work/site"
mkdir -p "$site/dir"
pids=()
cleanup() {
  "$emulator" "$trust" remove >/dev/null 2>&1
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

bash "$root/tools/tls-test-ca.sh" "$work/ca" || exit 1
head -c 300000 /dev/urandom >"$site/dir/photo.jpg"
printf 'GIF89a-secure' >"$site/b.gif"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
good=$(free_port)
printf '<html><title>Secure</title><a href="dir/photo.jpg">p</a><img src="//localhost:%s/b.gif"></html>' \
  "$good" >"$site/index.html"

start_tls() {  # certificate, port file
  python3 -u "$root/tools/fixture_server.py" --cert "$work/ca/$1.pem" --key "$work/ca/$1.key" \
    --dir "$site" --log "$work/$1.log" --port "${3:-0}" >"$work/$2" 2>/dev/null &
  pids+=($!)
}
start_tls localhost good.out "$good"
start_tls untrusted untrusted.out
start_tls wronghost wronghost.out
port_of() {
  for _ in $(seq 200); do
    p=$(sed -n 's/^PORT \([0-9]*\)/\1/p' "$work/$1" 2>/dev/null | head -1)
    [ -n "$p" ] && { echo "$p"; return; }
    sleep 0.05
  done
}
untrusted=$(port_of untrusted.out) wronghost=$(port_of wronghost.out)
[ -n "$(port_of good.out)" ] && [ -n "$untrusted" ] && [ -n "$wronghost" ] ||
  { echo "run_https_tests: the TLS servers did not start" >&2; exit 1; }

# The plain server: a redirect to the https page, and a page whose files sit
# behind certificates that must be refused.
bad_page="<html><title>Bad</title><a href=\\\"https://localhost:$untrusted/dir/photo.jpg\\\">u</a><a href=\\\"https://localhost:$wronghost/b.gif\\\">w</a></html>"
cat >"$work/routes.json" <<JSON
{"/up.html": [{"send": "HTTP/1.0 302 Found\r\nLocation: https://localhost:$good/index.html\r\n\r\n"}],
 "/bad.html": [{"send": "HTTP/1.0 200 OK\r\n\r\n$bad_page"}]}
JSON
python3 -u "$root/tools/fixture_server.py" --routes "$work/routes.json" --log "$work/plain.log" >"$work/plain.out" &
pids+=($!)
plain=$(port_of plain.out)
proxy=$(free_port)
cat >"$work/tinyproxy.conf" <<CONF
Port $proxy
Listen 127.0.0.1
Timeout 10
Allow 127.0.0.1
MaxClients 8
LogLevel Connect
PidFile "$work/tinyproxy.pid"
LogFile "$work/tinyproxy.log"
CONF
tinyproxy -d -c "$work/tinyproxy.conf" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do (echo >/dev/tcp/127.0.0.1/$proxy) 2>/dev/null && break; sleep 0.05; done
[ -n "$plain" ] || { echo "run_https_tests: the plain server did not start" >&2; exit 1; }

"$emulator" "$trust" add "Z:$(readlink -f "$work/ca/ca.der" | tr / '\\')" || exit 1

windows_path() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
export FERROW_TLS_GOOD=$good FERROW_TLS_UNTRUSTED=$untrusted FERROW_TLS_WRONGHOST=$wronghost
export FERROW_TLS_PLAIN=$plain FERROW_TLS_PROXY=$proxy
export FERROW_TLS_PROXY_LOG=$(windows_path "$work/tinyproxy.log")
export FERROW_UI_SITE=$(windows_path "$site")
export FERROW_UI_EXE=$(windows_path "$ferrow")
"$emulator" "$program" "$@"
