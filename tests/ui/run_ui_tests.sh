#!/bin/bash
# Serves a scratch folder on 127.0.0.1, then runs the UI test program under
# the emulator with the port, the folder and the program to test.
# usage: run_ui_tests.sh <emulator> <test program> <Ferrow.exe> [test arguments...]
set -u
emulator=$1 program=$2 ferrow=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
site="$work/site"
mkdir -p "$site"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# Files the tests write, served as they are; every request is logged.
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$site" >"$work/files.out" 2>"$work/requests.log" &
pids+=($!)
# Downloads that send a little and then stay silent, for the stop command.
cat >"$work/routes.json" <<'JSON'
{"*": [{"send": "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n"}, {"body": 2000}, {"hold": "slow"}]}
JSON
python3 -u "$root/tools/fixture_server.py" --routes "$work/routes.json" --log "$work/slow.log" >"$work/slow.out" &
pids+=($!)
port= slow_port=
for _ in $(seq 200); do
  port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/files.out" | head -1)
  slow_port=$(sed -n 's/^PORT \([0-9]*\)/\1/p' "$work/slow.out" | head -1)
  [ -n "$port" ] && [ -n "$slow_port" ] && break
  sleep 0.05
done
if [ -z "$port" ] || [ -z "$slow_port" ]; then
  echo "run_ui_tests: the page servers did not start" >&2
  exit 1
fi

windows_path() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
export FERROW_UI_PORT=$port FERROW_UI_SLOW_PORT=$slow_port
export FERROW_UI_REQUESTS=$(windows_path "$work/requests.log")
export FERROW_UI_SITE=$(windows_path "$site")
export FERROW_UI_EXE=$(windows_path "$ferrow")
# The start-up tests' window hook (its unix path comes from ctest).
if [ -n "${FERROW_REFUSE_HOOK:-}" ]; then export FERROW_REFUSE_HOOK=$(windows_path "$FERROW_REFUSE_HOOK"); fi
"$emulator" "$program" "$@"
