#!/bin/bash
# Serves a scratch folder on 127.0.0.1, then runs the UI test program under
# the emulator with the port, the folder and the program to test.
# usage: run_ui_tests.sh <emulator> <test program> <Ferrow.exe> [test arguments...]
set -u
emulator=$1 program=$2 ferrow=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/serve.sh"
source "$root/tools/wine-env.sh"
work=$(mktemp -d)
site="$work/site"
mkdir -p "$site"
trap 'serve_stop; rm -rf "$work"' EXIT

# Files the tests write, served as they are; every request is logged.
serve port "$work/files.out" "$work/requests.log" python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$site" || exit 1
# Downloads too large to be kept in memory that send a little and then stay
# silent, for the stop command; pictures without an extension, typed only by
# their answer.
cat >"$work/routes.json" <<'JSON'
{"*": [{"send": "HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n"}, {"body": 2000}, {"hold": "slow"}],
 "/noext/page.html": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><img src=\"cc6f7a?s=48\"><meta property=\"og:image\" content=\"err\"><img src=\"count\" width=\"1\" height=\"1\"></html>"}],
 "/noext/cc6f7a": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 8\r\n\r\nJPEGDATA"}],
 "/noext/err": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 15\r\n\r\n<html>no</html>"}],
 "/snap/a.jpg": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 5\r\n\r\nAAAAA"}],
 "/snap/b.jpg": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 3\r\n\r\nBBB"}]}
JSON
serve_fixture slow_port "$work/slow.out" - --routes "$work/routes.json" --log "$work/slow.log" || exit 1

export FERROW_UI_PORT=$port FERROW_UI_SLOW_PORT=$slow_port
export FERROW_UI_REQUESTS=$(winpath "$work/requests.log")
export FERROW_UI_SLOW_REQUESTS=$(winpath "$work/slow.log")
export FERROW_UI_SITE=$(winpath "$site")
export FERROW_UI_EXE=$(winpath "$ferrow")
# The start-up tests' window hook (its unix path comes from ctest).
if [ -n "${FERROW_REFUSE_HOOK:-}" ]; then export FERROW_REFUSE_HOOK=$(winpath "$FERROW_REFUSE_HOOK"); fi
"$emulator" "$program" "$@"
