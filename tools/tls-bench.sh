#!/bin/bash
# One 256 MiB file over HTTPS from 127.0.0.1, against curl in the same run:
#   1. from tools/fixture_server.py (HTTP/1.1): the engine natively (OpenSSL)
#      and under Wine (Schannel); also prints the exact request the engine sent
#   2. from nginx offering HTTP/2: the engine natively vs curl --http2; each
#      line names the protocol the client got, from nginx's log
# Throughput ratios engine/curl; target for 2.: >= curl's throughput.
# usage: tools/tls-bench.sh [native build, default build/native] [win64 build, default build/win64]
# (build the engine_bench target in both, and trust_root in win64, first)
#   FERROW_BENCH_LOADS=2 runs only the loads named (all by default).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:-$root/build/native}
win=${2:-$root/build/win64}
bench=$(find "$native" -name engine_bench -type f | head -1)
benchexe=$win/bin/engine_bench.exe
trust=$win/bin/trust_root.exe
[ -x "$bench" ] || { echo "tls-bench: build engine_bench natively first" >&2; exit 1; }
loads=" ${FERROW_BENCH_LOADS:-1 2} "
want() { [[ $loads == *" $1 "* ]]; }
source "$root/tools/serve.sh"
source "$root/tools/wine-env.sh"
work=$(mktemp -d)
trap 'serve_stop; [ -f "$trust" ] && "$root/tools/wine-run.sh" "$trust" remove >/dev/null 2>&1; rm -rf "$work"' EXIT

bash "$root/tools/tls-test-ca.sh" "$work/ca"
mkdir -p "$work/site"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$work/site/big.bin"

ms() { date +%s%N | cut -c1-13; }
rate() { python3 -c "print('%.0f' % (256 * 1000 / max($1, 1)))"; }
ratio() { python3 -c "print('%.2f' % ($1 / max($2, 1)))"; }
engine_ms() { sed -n 's/^\([0-9]*\) ms.*/\1/p'; }
same() { cmp -s "$1" "$work/site/big.bin" && echo "identical" || echo "DIFFERS"; }

if want 1; then
  serve_fixture port "$work/server.out" /dev/null --cert "$work/ca/localhost.pem" --key "$work/ca/localhost.key" \
    --dir "$work/site" --log "$work/requests.log"
  url=https://localhost:$port/big.bin

  echo "== 1. 256 MiB over HTTPS from 127.0.0.1"
  t0=$(ms); curl -s --cacert "$work/ca/ca.pem" -o "$work/curl.bin" "$url"; c=$(( $(ms) - t0 ))
  echo "curl          ${c} ms ($(rate "$c") MiB/s), $(same "$work/curl.bin")"

  echo "$url" >"$work/list"
  mkdir -p "$work/native"
  out=$(FERROW_BENCH_CA="$work/ca/ca.pem" "$bench" download "$work/native" 1 "$work/list")
  e=$(echo "$out" | engine_ms)
  echo "engine native ${e} ms ($(rate "$e") MiB/s), $(same "$work/native/big.bin"); throughput engine/curl $(ratio "$c" "$e")"

  if [ -f "$benchexe" ] && [ -f "$trust" ]; then
    "$root/tools/wine-run.sh" "$trust" add "$(winpath "$work/ca/ca.der")" >/dev/null
    mkdir -p "$work/wine"
    out=$("$root/tools/wine-run.sh" "$benchexe" download "$(winpath "$work/wine")" 1 "$(winpath "$work/list")")
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
  rm -f "$work"/curl*.bin "$work/native/big.bin" "$work/wine/big.bin"
fi

if want 2; then
  echo "== 2. 256 MiB over HTTPS from nginx offering HTTP/2 on 127.0.0.1"
  serve_nginx_h2 h2port "$work/n" "$work/site" "$work/ca"
  h2url=https://localhost:$h2port/big.bin
  # The protocols nginx logged since line $1 of its log.
  got() { tail -n +$(( $1 + 1 )) "$work/n/access.log" | awk '{ p[$2] = 1 } END { for (k in p) s = s (s ? " and " : "") k; print s ? s : "nothing" }'; }
  l0=$(wc -l <"$work/n/access.log")
  t0=$(ms); curl -s --http2 --cacert "$work/ca/ca.pem" -o "$work/curl.bin" "$h2url"; c=$(( $(ms) - t0 ))
  echo "curl --http2  ${c} ms ($(rate "$c") MiB/s), $(same "$work/curl.bin"), $(got "$l0")"
  rm -f "$work/curl.bin"
  echo "$h2url" >"$work/list2"
  mkdir -p "$work/native2"; l0=$(wc -l <"$work/n/access.log")
  out=$(FERROW_BENCH_CA="$work/ca/ca.pem" "$bench" download "$work/native2" 1 "$work/list2")
  e=$(echo "$out" | engine_ms)
  echo "engine native ${e} ms ($(rate "$e") MiB/s), $(same "$work/native2/big.bin"), $(got "$l0"); throughput engine/curl $(ratio "$c" "$e")"
fi
