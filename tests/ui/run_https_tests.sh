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
source "$root/tools/serve.sh"
source "$root/tools/wine-env.sh"
work=$(mktemp -d)
site="$work/site"
mkdir -p "$site/dir"
trap '"$emulator" "$trust" remove >/dev/null 2>&1; serve_stop; rm -rf "$work"' EXIT

bash "$root/tools/tls-test-ca.sh" "$work/ca" || exit 1
head -c 300000 /dev/urandom >"$site/dir/photo.jpg"
printf 'GIF89a-secure' >"$site/b.gif"

tls() {  # port variable, certificate
  serve_fixture "$1" "$work/$2.out" /dev/null --cert "$work/ca/$2.pem" --key "$work/ca/$2.key" \
    --dir "$site" --log "$work/$2.log" || exit 1
}
tls good localhost
tls untrusted untrusted
tls wronghost wronghost
printf '<html><title>Secure</title><a href="dir/photo.jpg">p</a><img src="//localhost:%s/b.gif"></html>' \
  "$good" >"$site/index.html"

# The plain server: a redirect to the https page, and a page whose files sit
# behind certificates that must be refused.
bad_page="<html><title>Bad</title><a href=\\\"https://localhost:$untrusted/dir/photo.jpg\\\">u</a><a href=\\\"https://localhost:$wronghost/b.gif\\\">w</a></html>"
cat >"$work/routes.json" <<JSON
{"/up.html": [{"send": "HTTP/1.0 302 Found\r\nLocation: https://localhost:$good/index.html\r\n\r\n"}],
 "/bad.html": [{"send": "HTTP/1.0 200 OK\r\n\r\n$bad_page"}]}
JSON
serve_fixture plain "$work/plain.out" - --routes "$work/routes.json" --log "$work/plain.log" || exit 1
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
serve_pids+=($!)
for _ in $(seq 100); do (echo >/dev/tcp/127.0.0.1/$proxy) 2>/dev/null && break; sleep 0.05; done

"$emulator" "$trust" add "$(winpath "$work/ca/ca.der")" || exit 1

export FERROW_TLS_GOOD=$good FERROW_TLS_UNTRUSTED=$untrusted FERROW_TLS_WRONGHOST=$wronghost
export FERROW_TLS_PLAIN=$plain FERROW_TLS_PROXY=$proxy
export FERROW_TLS_PROXY_LOG=$(winpath "$work/tinyproxy.log")
export FERROW_UI_SITE=$(winpath "$site")
export FERROW_UI_EXE=$(winpath "$ferrow")
"$emulator" "$program" "$@"
