#!/bin/bash
# Engine benchmarks on loopback, against ordinary clients on the same server:
#   1. one 256 MiB file: engine vs curl
#   2. 500 small files: engine (one batch) vs wget -i
#   3. a ~100-page site with InternalLinks = 1: engine vs wget -r --spider
# usage: tools/engine-bench.sh [build folder, default build/engine-native]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/engine-native}
bench=$(find "$build" -name engine_bench -type f | head -1)
[ -x "$bench" ] || { echo "engine-bench: build the engine_bench target first" >&2; exit 1; }
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"' EXIT

site=$work/site
mkdir -p "$site/small" "$site/pages"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$site/big.bin"
for i in $(seq 500); do head -c 2048 /dev/urandom >"$site/small/f$i.jpg"; done
for i in $(seq 100); do
  next=$(( i % 100 + 1 )); second=$(( (i * 7) % 100 + 1 ))
  printf '<html><title>p%d</title><a href="p%d.html">n</a> <a href="p%d.html">m</a> <img src="../small/f%d.jpg"></html>' \
    "$i" "$next" "$second" "$i" >"$site/pages/p$i.html"
done
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done
base=http://127.0.0.1:$port

ms() { date +%s%N | cut -c1-13; }
ratio() { python3 -c "print('%.2f' % ($1 / max($2, 1)))"; }
engine_ms() { sed -n 's/^\([0-9]*\) ms.*/\1/p'; }

echo "== 1. one 256 MiB file"
echo "$base/big.bin" >"$work/big.list"
mkdir -p "$work/e1"; out=$("$bench" download "$work/e1" 3 "$work/big.list"); e=$(echo "$out" | engine_ms)
cmp -s "$work/e1/big.bin" "$site/big.bin" || echo "engine: file differs!"
t0=$(ms); curl -s -o "$work/curl.bin" "$base/big.bin"; c=$(( $(ms) - t0 ))
echo "engine ${e} ms ($(( 256 * 1000 / (e > 0 ? e : 1) )) MiB/s), curl ${c} ms ($(( 256 * 1000 / (c > 0 ? c : 1) )) MiB/s), engine/curl time ratio $(ratio "$e" "$c")"

echo "== 2. 500 small files (2 KiB)"
for i in $(seq 500); do echo "$base/small/f$i.jpg"; done >"$work/small.list"
for sockets in 3 10; do
  mkdir -p "$work/e2-$sockets"
  out=$("$bench" download "$work/e2-$sockets" $sockets "$work/small.list"); e=$(echo "$out" | engine_ms)
  echo "engine (Sockets=$sockets) ${e} ms, $(ls "$work/e2-$sockets" | wc -l) files"
done
mkdir -p "$work/w2"; t0=$(ms); (cd "$work/w2" && wget -q -i "$work/small.list"); w=$(( $(ms) - t0 ))
echo "wget -i ${w} ms, $(ls "$work/w2" | wc -l) files; engine(Sockets=10)/wget time ratio $(ratio "$e" "$w")"

echo "== 3. 100-page site, InternalLinks=1"
out=$("$bench" analyse "$base/pages/p1.html"); e=$(echo "$out" | engine_ms)
echo "engine: $out"
t0=$(ms); wget -q -r -l inf --spider -np -P "$work/w3" "$base/pages/p1.html" 2>/dev/null || true; w=$(( $(ms) - t0 ))
echo "wget -r --spider ${w} ms; engine/wget time ratio $(ratio "$e" "$w")"
