#!/bin/bash
# Serves a page of three slow files on 127.0.0.1, then runs the settings
# tests that work a running Ferrow.exe under the emulator.
# usage: run_app_settings_tests.sh <emulator> <test program> <Ferrow.exe> [test arguments...]
set -u
emulator=$1 program=$2 ferrow=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The page links three files; each sends a part, then holds until the test
# releases it (/release/partN) and sends the rest, so that downloads at the
# same time would overlap visibly.
python3 - "$work/routes.json" <<'PY'
import json, sys
page = '<html><title>drip</title>' + ''.join(
    '<a href="part%d.jpg">%d</a>' % (i, i) for i in (1, 2, 3)) + '</html>'
routes = {"/drip.html": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"
                                  "Content-Length: %d\r\n\r\n%s" % (len(page), page)}]}
for i in (1, 2, 3):
    routes["/part%d.jpg" % i] = [
        {"send": "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 3000\r\n\r\n"},
        {"body": 1000}, {"hold": "part%d" % i}, {"body": 2000}]
routes["*"] = [{"send": "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"}]
json.dump(routes, open(sys.argv[1], "w"))
PY
python3 -u "$root/tools/fixture_server.py" --routes "$work/routes.json" --log "$work/requests.log" \
  >"$work/server.out" &
pid=$!
port=
for _ in $(seq 200); do
  port=$(sed -n 's/^PORT \([0-9]*\)/\1/p' "$work/server.out" | head -1)
  [ -n "$port" ] && break
  sleep 0.05
done
if [ -z "$port" ]; then
  echo "run_app_settings_tests: the page server did not start" >&2
  exit 1
fi
: >"$work/requests.log"

windows_path() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
export FERROW_UI_SLOW_PORT=$port
export FERROW_SETTINGS_REQUESTS=$(windows_path "$work/requests.log")
export FERROW_UI_EXE=$(windows_path "$ferrow")
"$emulator" "$program" "$@"
