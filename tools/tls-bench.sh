#!/bin/bash
# One 256 MiB file over HTTPS from one local TLS server (tools/fixture_server.py
# with a throw-away authority): the engine natively (OpenSSL) and under Wine
# (Schannel) against curl in the same run; throughput ratios engine/curl.
# Also prints the exact request the engine sent.
# usage: tools/tls-bench.sh [native build, default build/native] [win64 build, default build/win64]
# (build the engine_bench target in both, and trust_root in win64, first)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:-$root/build/native}
win=${2:-$root/build/win64}
bench=$(find "$native" -name engine_bench -type f | head -1)
benchexe=$win/bin/engine_bench.exe
trust=$win/bin/trust_root.exe
[ -x "$bench" ] || { echo "tls-bench: build engine_bench natively first" >&2; exit 1; }
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill $server 2>/dev/null; [ -f "$trust" ] && "$root/tools/wine-run.sh" "$trust" remove >/dev/null 2>&1; rm -rf "$work"' EXIT

bash "$root/tools/tls-test-ca.sh" "$work/ca"
mkdir -p "$work/site"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$work/site/big.bin"
python3 -u "$root/tools/fixture_server.py" --cert "$work/ca/localhost.pem" --key "$work/ca/localhost.key" \
  --dir "$work/site" --log "$work/requests.log" >"$work/server.out" 2>/dev/null &
server=$!
for _ in $(seq 100); do grep -q PORT "$work/server.out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^PORT //p' "$work/server.out")
url=https://localhost:$port/big.bin

ms() { date +%s%N | cut -c1-13; }
rate() { python3 -c "print('%.0f' % (256 * 1000 / max($1, 1)))"; }
ratio() { python3 -c "print('%.2f' % ($1 / max($2, 1)))"; }
engine_ms() { sed -n 's/^\([0-9]*\) ms.*/\1/p'; }
same() { cmp -s "$1" "$work/site/big.bin" && echo "identical" || echo "DIFFERS"; }

echo "== 256 MiB over HTTPS from 127.0.0.1"
t0=$(ms); curl -s --cacert "$work/ca/ca.pem" -o "$work/curl.bin" "$url"; c=$(( $(ms) - t0 ))
echo "curl          ${c} ms ($(rate "$c") MiB/s), $(same "$work/curl.bin")"

echo "$url" >"$work/list"
mkdir -p "$work/native"
out=$(FERROW_BENCH_CA="$work/ca/ca.pem" "$bench" download "$work/native" 1 "$work/list")
e=$(echo "$out" | engine_ms)
echo "engine native ${e} ms ($(rate "$e") MiB/s), $(same "$work/native/big.bin"); throughput engine/curl $(ratio "$c" "$e")"

if [ -f "$benchexe" ] && [ -f "$trust" ]; then
  windows_path() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
  "$root/tools/wine-run.sh" "$trust" add "$(windows_path "$work/ca/ca.der")" >/dev/null
  mkdir -p "$work/wine"
  out=$("$root/tools/wine-run.sh" "$benchexe" download "$(windows_path "$work/wine")" 1 "$(windows_path "$work/list")")
  w=$(echo "$out" | engine_ms)
  echo "  (engine_bench.exe: $(echo "$out" | tr -d "\r" | tail -1))"
  echo "engine Wine   ${w} ms ($(rate "$w") MiB/s), $(same "$work/wine/big.bin"); throughput engine/curl $(ratio "$c" "$w")"
  t0=$(ms); curl -s --cacert "$work/ca/ca.pem" -o "$work/curl2.bin" "$url"; c2=$(( $(ms) - t0 ))
  echo "curl again    ${c2} ms ($(rate "$c2") MiB/s)"
else
  echo "engine Wine   skipped (build engine_bench and trust_root in $win)"
fi
echo "== the engine's request, as the server received it"
python3 -c "
import json,sys
lines=[json.loads(l) for l in open('$work/requests.log')]
raw=[l['raw'] for l in lines if 'Ferrow' in l['raw']][0]
print(repr(raw))"
