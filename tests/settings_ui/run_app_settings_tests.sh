#!/bin/bash
# Serves a page of three slow files on 127.0.0.1, then runs the settings
# tests that work a running Ferrow.exe under the emulator.
# usage: run_app_settings_tests.sh <emulator> <test program> <Ferrow.exe> [test arguments...]
set -u
emulator=$1 program=$2 ferrow=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/serve.sh"
source "$root/tools/wine-env.sh"
work=$(mktemp -d)
trap 'serve_stop; rm -rf "$work"' EXIT

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
serve_fixture port "$work/server.out" - --routes "$work/routes.json" --log "$work/requests.log" || exit 1
: >"$work/requests.log"

export FERROW_UI_SLOW_PORT=$port
export FERROW_SETTINGS_REQUESTS=$(winpath "$work/requests.log")
export FERROW_UI_EXE=$(winpath "$ferrow")
"$emulator" "$program" "$@"
