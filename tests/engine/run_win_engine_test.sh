#!/bin/bash
# Starts the servers that the Windows engine test program talks to on
# 127.0.0.1, then runs the program under the emulator with their ports.
# usage: run_win_engine_test.sh <emulator> <program> [arguments...]
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$dir"
}
trap cleanup EXIT

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

python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$dir/site" >"$dir/files.out" 2>/dev/null &
pids+=($!)
python3 -u "$root/tools/fixture_server.py" --routes "$dir/routes.json" --log "$dir/requests.log" >"$dir/fixture.out" &
pids+=($!)
files_port= fixture_port=
for _ in $(seq 100); do
  files_port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$dir/files.out" | head -1)
  fixture_port=$(sed -n 's/^PORT \([0-9]*\)/\1/p' "$dir/fixture.out" | head -1)
  [ -n "$files_port" ] && [ -n "$fixture_port" ] && break
  sleep 0.05
done
if [ -z "$files_port" ] || [ -z "$fixture_port" ]; then
  echo "run_win_engine_test: the servers did not start" >&2
  exit 1
fi
"$@" --files-port="$files_port" --fixture-port="$fixture_port"
