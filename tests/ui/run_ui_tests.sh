#!/bin/bash
# Serves a scratch folder on 127.0.0.1, then runs the UI test program under
# the emulator with the port, the folder and the program to test.
# usage: run_ui_tests.sh <emulator> <test program> <Ferrow.exe> [test arguments...]
set -u
emulator=$1 program=$2 ferrow=$3
shift 3
site=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  rm -rf "$site"
}
trap cleanup EXIT

log="$site.server"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$site" >"$log" 2>/dev/null &
server=$!
port=
for _ in $(seq 200); do
  port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$log" | head -1)
  [ -n "$port" ] && break
  sleep 0.05
done
rm -f "$log"
if [ -z "$port" ]; then
  echo "run_ui_tests: the page server did not start" >&2
  exit 1
fi

windows_path() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
export FERROW_UI_PORT=$port
export FERROW_UI_SITE=$(windows_path "$site")
export FERROW_UI_EXE=$(windows_path "$ferrow")
"$emulator" "$program" "$@"
