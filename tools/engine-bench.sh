#!/bin/bash
# Engine benchmarks on loopback, against ordinary clients on the same server
# in the same run, natively and through Ferrow.exe under Wine:
#   1. one 256 MiB file: engine vs curl (throughput)
#   2. 500 small files (2 KiB), Sockets = 10 with the program's per-host limit
#      (HostSockets = 4), and again with HostSockets = 10: engine (one batch)
#      vs wget -i
#   3. a 100-page site with InternalLinks = 1: engine vs wget -r --spider
# Targets: 1. >= 0.9x curl's throughput; 2. and 3. <= 2x wget's time.
# usage: tools/engine-bench.sh [native build folder [win64 build folder]]
#   (defaults build/native and build/win64; the Wine part runs when the
#   win64 folder holds Ferrow.exe and engine_bench_win.exe)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
winbuild=${2:-$root/build/win64}
bench=$(find "$build" -name engine_bench -type f | head -1)
[ -x "$bench" ] || { echo "engine-bench: build the engine_bench target first" >&2; exit 1; }
winbench=$(find "$winbuild" -name engine_bench_win.exe -type f 2>/dev/null | head -1)
winfloor=$(find "$winbuild" -name wine_floor_win.exe -type f 2>/dev/null | head -1)
ferrow=$(find "$winbuild" -name Ferrow.exe -path '*bin*' -type f 2>/dev/null | head -1)
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"' EXIT

site=$work/site
mkdir -p "$site/small" "$site/pages"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$site/big.jpg"
printf '<a href="big.jpg">big</a>' >"$site/big.html"
for i in $(seq 500); do head -c 2048 /dev/urandom >"$site/small/f$i.jpg"; done
for i in $(seq 500); do printf '<a href="f%d.jpg">%d</a>\n' "$i" "$i"; done >"$site/small/index.html"
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
first_ms() { sed -n 's/^\([0-9]*\) ms.*/\1/p' | head -1; }

# Ferrow.exe under Wine, through the driver; prints its first line.
wine_run() {
  FERROW_UI_EXE="Z:$(readlink -f "$ferrow" | tr / '\\')" "$root/tools/wine-run.sh" "$winbench" "$@" |
    tr -d '\r' | grep ' ms' | head -1
}
wine_ok=
if [ -n "$winbench" ] && [ -n "$ferrow" ] && [ -x /usr/lib/wine/wine64 ]; then
  wine_ok=1
  # Wine starts its services once, outside the measured runs.
  "$root/tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
else
  echo "(no Ferrow.exe or engine_bench_win.exe in $winbuild: native figures only)"
fi

echo "== 1. one 256 MiB file"
t0=$(ms); curl -s -o "$work/curl.bin" "$base/big.jpg"; c=$(( $(ms) - t0 ))
echo "$base/big.jpg" >"$work/big.list"
mkdir -p "$work/e1"; e=$("$bench" download "$work/e1" 3 "$work/big.list" | first_ms)
cmp -s "$work/e1/big.jpg" "$site/big.jpg" || echo "engine: file differs!"
rm -f "$work/e1/big.jpg" "$work/curl.bin"
echo "curl ${c} ms ($(( 256 * 1000 / (c > 0 ? c : 1) )) MiB/s)"
echo "engine native ${e} ms ($(( 256 * 1000 / (e > 0 ? e : 1) )) MiB/s): throughput $(ratio "$c" "$e")x curl's"
if [ -n "$wine_ok" ]; then
  out=$(wine_run download "$base/big.html" 3); w=$(echo "$out" | first_ms)
  echo "Ferrow.exe under Wine ${w:-?} ms ($(( 256 * 1000 / (${w:-0} > 0 ? ${w:-1} : 1) )) MiB/s): throughput $(ratio "$c" "${w:-0}")x curl's"
fi

# Connections the server's listen queue dropped (python's http.server keeps
# 5 waiting); each costs the client a second before it asks again.
drops() { command -v nstat >/dev/null && nstat -az TcpExtListenDrops 2>/dev/null | awk '/ListenDrops/ {print $2}'; }
dropped_since() { local now; now=$(drops); [ -n "$now" ] && [ -n "$1" ] && echo ", $(( now - $1 )) connections dropped by the server's listen queue"; }

echo "== 2. 500 small files (2 KiB), Sockets=10"
for i in $(seq 500); do echo "$base/small/f$i.jpg"; done >"$work/small.list"
mkdir -p "$work/w2"; t0=$(ms); (cd "$work/w2" && wget -q -i "$work/small.list"); w2=$(( $(ms) - t0 ))
echo "wget -i ${w2} ms, $(ls "$work/w2" | wc -l) files"
for host in 4 10; do
  echo "-- HostSockets=$host$([ $host = 4 ] && echo ' (the default)')"
  rm -rf "$work/e2"; mkdir -p "$work/e2"; d0=$(drops)
  out=$("$bench" download "$work/e2" 10 "$work/small.list" $host); e=$(echo "$out" | first_ms)
  echo "engine native ${e} ms, $(ls "$work/e2" | wc -l) files: $(ratio "$e" "$w2")x wget's time$(dropped_since "$d0")"
  if [ -n "$wine_ok" ]; then
    d0=$(drops)
    out=$(wine_run download "$base/small/index.html" 10 $host); w=$(echo "$out" | first_ms)
    echo "Ferrow.exe under Wine ${w:-?} ms (${out#* ms, }): $(ratio "${w:-0}" "$w2")x wget's time$(dropped_since "$d0")"
  fi
done
if [ -n "$wine_ok" ] && [ -n "$winfloor" ]; then
  # What a bare Windows client pays under Wine: plain blocking calls, no
  # window, no list, one file after another and four side by side.
  echo "-- plain blocking Winsock client under Wine (the floor there)"
  for threads in 1 4; do
    rm -rf "$work/f2"; mkdir -p "$work/f2"
    out=$("$root/tools/wine-run.sh" "$winfloor" "Z:$(echo "$work/small.list" | tr / '\\')" \
          "Z:$(echo "$work/f2" | tr / '\\')" $threads | tr -d '\r' | grep ' ms' | head -1)
    f=$(echo "$out" | first_ms)
    echo "wine_floor_win, $threads at a time: ${f:-?} ms (${out#* ms, }): $(ratio "${f:-0}" "$w2")x wget's time"
  done
  echo "-- one call of each kind Ferrow makes per file, under Wine"
  "$root/tools/wine-run.sh" "$winfloor" calls "Z:$(echo "$work/f2" | tr / '\\')" | tr -d '\r' | paste -sd ';' | sed 's/;/; /g'
fi

echo "== 3. 100-page site, InternalLinks=1"
t0=$(ms); wget -q -r -l inf --spider -np -P "$work/w3" "$base/pages/p1.html" 2>/dev/null || true; w3=$(( $(ms) - t0 ))
echo "wget -r --spider ${w3} ms"
out=$("$bench" analyse "$base/pages/p1.html"); e=$(echo "$out" | first_ms)
echo "engine native ${e} ms (${out#* ms, }): $(ratio "$e" "$w3")x wget's time"
if [ -n "$wine_ok" ]; then
  out=$(wine_run analyse "$base/pages/p1.html"); w=$(echo "$out" | first_ms)
  echo "Ferrow.exe under Wine ${w:-?} ms (${out#* ms, }): $(ratio "${w:-0}" "$w3")x wget's time"
fi
