#!/bin/bash
# Engine benchmarks on loopback, against ordinary clients on the same server
# in the same run, natively and through Ferrow.exe under Wine:
#   1. one 256 MiB file: engine vs curl (throughput)
#   2. 500 small files (2 KiB), Sockets = 10 with the program's per-host limit
#      (HostSockets = 4), and again with HostSockets = 10: engine (one batch)
#      vs wget -i
#   3. a 100-page site with InternalLinks = 1: engine vs wget -r --spider
#   4. 200 files of 16 KiB from nginx through a relay that holds all data
#      20 ms each way (a 40 ms round trip), over HTTP and HTTPS: engine
#      with 4 sockets vs curl -Z --parallel-max 4, aria2c -j4, wget2 with
#      four threads and, under Wine, the Windows curl.exe of ../shared/peers
#   5. the same 200 files over HTTPS across the same 40 ms, nginx offering
#      HTTP/2: engine (Sockets = 4, HostSockets = 4 as in 4.; over HTTP/2 it
#      carries up to 100 streams on one connection whatever Sockets says)
#      vs wget2 --http2 with four threads, curl -Z --http2 and curl.exe
#      under Wine; each line names the protocol the client got and the
#      connections it opened, from nginx's log
# Targets: 1. >= 0.9x curl's throughput; 2. and 3. <= 2x wget's time;
# under Wine 2. <= curl.exe -Z --parallel-max 4's time, 4. (HTTP) <=
# 1.1x the best peer's time and 5. <= wget2's time.
# usage: tools/engine-bench.sh [native build folder [win64 build folder]]
#   (defaults build/native and build/win64; the Wine part runs when the
#   win64 folder holds Ferrow.exe and engine_bench_win.exe)
#   FERROW_BENCH_LOADS="4 5" runs only the loads named (all by default).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
winbuild=${2:-$root/build/win64}
bench=$(find "$build" -name engine_bench -type f | head -1)
[ -x "$bench" ] || { echo "engine-bench: build the engine_bench target first" >&2; exit 1; }
winbench=$(find "$winbuild" -name engine_bench_win.exe -type f 2>/dev/null | head -1)
winfloor=$(find "$winbuild" -name wine_floor_win.exe -type f 2>/dev/null | head -1)
trust=$(find "$winbuild" -name trust_root.exe -type f 2>/dev/null | head -1)
curlexe=$(readlink -f "$root/../shared/peers/curl.exe" 2>/dev/null || true)
[ -f "$curlexe" ] || curlexe=$(readlink -f /work/shared/peers/curl.exe 2>/dev/null || true)
ferrow=$(find "$winbuild" -name Ferrow.exe -path '*bin*' -type f 2>/dev/null | head -1)
loads=" ${FERROW_BENCH_LOADS:-1 2 3 4 5} "
want() { [[ $loads == *" $1 "* ]]; }
work=$(mktemp -d)
server=
pids=()
trap '[ -n "$server" ] && kill $server 2>/dev/null; for p in "${pids[@]}" $(cat "$work/relays" 2>/dev/null); do kill $p 2>/dev/null; done
      [ -n "$trust" ] && "$root/tools/wine-run.sh" "$trust" remove >/dev/null 2>&1; rm -rf "$work"' EXIT

if want 1 || want 2 || want 3; then
  site=$work/site
  mkdir -p "$site/small" "$site/pages"
  want 1 && head -c $((256 * 1024 * 1024)) /dev/urandom >"$site/big.jpg"
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
fi

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

winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
# curl.exe: the URL list as a config file, -Z with up to four connections.
curl_exe() {  # list, folder, more curl arguments...
  local list=$1 folder=$2; shift 2
  sed 's/.*/url = "&"/' "$list" >"$folder.cfg"
  local t0; t0=$(ms)
  "$root/tools/wine-run.sh" "$curlexe" -s -Z --parallel-max 4 --remote-name-all \
    --output-dir "$(winpath "$folder")" -K "$(winpath "$folder.cfg")" "$@" >/dev/null 2>&1 || true
  echo $(( $(ms) - t0 ))
}

if want 1; then
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
fi

# Connections the server's listen queue dropped (python's http.server keeps
# 5 waiting); each costs the client a second before it asks again.
drops() { command -v nstat >/dev/null && nstat -az TcpExtListenDrops 2>/dev/null | awk '/ListenDrops/ {print $2}'; }
dropped_since() { local now; now=$(drops); [ -n "$now" ] && [ -n "$1" ] && echo ", $(( now - $1 )) connections dropped by the server's listen queue"; }

if want 2; then
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
  if [ -n "$wine_ok" ] && [ -f "$curlexe" ]; then
    rm -rf "$work/c2"; mkdir -p "$work/c2"; c=$(curl_exe "$work/small.list" "$work/c2")
    echo "curl.exe -Z --parallel-max 4 under Wine ${c} ms, $(ls "$work/c2" | wc -l) files"
  fi
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
fi

if want 3; then
  echo "== 3. 100-page site, InternalLinks=1"
  t0=$(ms); wget -q -r -l inf --spider -np -P "$work/w3" "$base/pages/p1.html" 2>/dev/null || true; w3=$(( $(ms) - t0 ))
  echo "wget -r --spider ${w3} ms"
  out=$("$bench" analyse "$base/pages/p1.html"); e=$(echo "$out" | first_ms)
  echo "engine native ${e} ms (${out#* ms, }): $(ratio "$e" "$w3")x wget's time"
  if [ -n "$wine_ok" ]; then
    out=$(wine_run analyse "$base/pages/p1.html"); w=$(echo "$out" | first_ms)
    echo "Ferrow.exe under Wine ${w:-?} ms (${out#* ms, }): $(ratio "${w:-0}" "$w3")x wget's time"
  fi
fi

if want 4 || want 5; then
  kill $server 2>/dev/null || true; server=
  bash "$root/tools/tls-test-ca.sh" "$work/ca" >/dev/null
  mkdir -p "$work/n/www" "$work/n/run"
  for i in $(seq 200); do head -c 16384 /dev/urandom >"$work/n/www/g$i.jpg"; done
  for i in $(seq 200); do printf '<a href="g%d.jpg">%d</a>\n' "$i" "$i"; done >"$work/n/www/index.html"
  free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
  hp=$(free_port) sp=$(free_port) h2p=$(free_port)
  # Load 5's server logs each request's protocol and connection number.
  cat >"$work/n/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; pid $work/n/run/nginx.pid;
error_log $work/n/run/error.log;
events { worker_connections 256; }
http {
  access_log off; client_body_temp_path $work/n/run; proxy_temp_path $work/n/run;
  fastcgi_temp_path $work/n/run; uwsgi_temp_path $work/n/run; scgi_temp_path $work/n/run;
  keepalive_requests 1000;
  log_format proto '\$server_protocol \$connection';
  server { listen 127.0.0.1:$hp; root $work/n/www; }
  server { listen 127.0.0.1:$sp ssl; root $work/n/www;
           ssl_certificate $work/ca/localhost.pem; ssl_certificate_key $work/ca/localhost.key; }
  server { listen 127.0.0.1:$h2p ssl http2; root $work/n/www; access_log $work/n/run/h2.log proto;
           ssl_certificate $work/ca/localhost.pem; ssl_certificate_key $work/ca/localhost.key; }
}
CONF
  nginx -p "$work/n/run" -c "$work/n/nginx.conf" &
  pids+=($!)
  relay() {  # upstream port: prints the relay's port (run in a subshell, so its id goes to a file)
    python3 -u "$root/tools/delay_relay.py" --to "$1" --delay-ms 20 >"$work/relay$1.out" 2>/dev/null &
    echo $! >>"$work/relays"
    for _ in $(seq 100); do grep -q PORT "$work/relay$1.out" 2>/dev/null && break; sleep 0.05; done
    sed -n 's/^PORT //p' "$work/relay$1.out"
  }
  rh=$(relay "$hp") rs=$(relay "$sp") r2=$(relay "$h2p")
  [ -n "$trust" ] && [ -n "$wine_ok" ] && "$root/tools/wine-run.sh" "$trust" add "$(winpath "$work/ca/ca.der")" >/dev/null 2>&1
  count() { find "$1" -name 'g*.jpg' -size 16k | wc -l; }
  ca=(--cacert "$work/ca/ca.pem")
fi

if want 4; then
  echo "== 4. 200 files of 16 KiB from nginx across a 40 ms round trip"
  for scheme in http https; do
    [ $scheme = http ] && base4=http://127.0.0.1:$rh || base4=https://localhost:$rs
    echo "-- $scheme"
    for i in $(seq 200); do echo "$base4/g$i.jpg"; done >"$work/list4"
    best=
    peer() {  # name, folder, command...
      local name=$1 folder=$2; shift 2
      rm -rf "$folder"; mkdir -p "$folder"
      local t0; t0=$(ms); "$@" >/dev/null 2>&1 || true; local t=$(( $(ms) - t0 ))
      echo "$name ${t} ms, $(count "$folder") files"
      [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
      return 0
    }
    peer "curl -Z --parallel-max 4" "$work/p1" sh -c "cd '$work/p1' && curl -s -Z --parallel-max 4 --remote-name-all ${ca[*]} \$(cat '$work/list4' | tr '\n' ' ')"
    peer "aria2c -j4" "$work/p2" aria2c -q -j4 --ca-certificate="$work/ca/ca.pem" -d "$work/p2" -i "$work/list4"
    peer "wget2 --max-threads=4" "$work/p3" wget2 -q --max-threads=4 --ca-certificate="$work/ca/ca.pem" -P "$work/p3" -i "$work/list4"
    if [ -n "$wine_ok" ] && [ -f "$curlexe" ]; then
      rm -rf "$work/p4"; mkdir -p "$work/p4"
      c=$(curl_exe "$work/list4" "$work/p4" --ssl-no-revoke)
      echo "curl.exe -Z --parallel-max 4 under Wine ${c} ms, $(count "$work/p4") files"
      wine_best=$c
    fi
    rm -rf "$work/e4"; mkdir -p "$work/e4"
    out=$(FERROW_BENCH_CA="$work/ca/ca.pem" "$bench" download "$work/e4" 4 "$work/list4" 4); e=$(echo "$out" | first_ms)
    echo "engine native ${e} ms, $(count "$work/e4") files: $(ratio "$e" "$best")x the best native peer's time"
    if [ -n "$wine_ok" ]; then
      out=$(wine_run download "$base4/index.html" 4 4); w=$(echo "$out" | first_ms)
      echo "Ferrow.exe under Wine ${w:-?} ms (${out#* ms, }): $(ratio "${w:-0}" "$best")x the best native peer's time$([ -n "${wine_best:-}" ] && echo ", $(ratio "${w:-0}" "$wine_best")x curl.exe's")"
    fi
  done
fi

if want 5; then
  echo "== 5. the same 200 files over HTTPS with HTTP/2 offered, across a 40 ms round trip"
  base5=https://localhost:$r2
  for i in $(seq 200); do echo "$base5/g$i.jpg"; done >"$work/list5"
  h2log=$work/n/run/h2.log; touch "$h2log"
  # The protocols nginx logged since line $1 of its log, and on how many connections.
  got() {
    tail -n +$(( $1 + 1 )) "$h2log" | awk '{ p[$1] = 1; c[$2] = 1 }
      END { for (k in p) s = s (s ? " and " : "") k; for (k in c) n++
            printf "%s on %d connection%s", s ? s : "nothing", n, n == 1 ? "" : "s" }'
  }
  # name, folder, command...: its line; t5 is its time.
  peer5() {
    local name=$1 folder=$2 l0; shift 2
    rm -rf "$folder"; mkdir -p "$folder"; l0=$(wc -l <"$h2log")
    local t0; t0=$(ms); "$@" >/dev/null 2>&1 || true; t5=$(( $(ms) - t0 ))
    echo "$name ${t5} ms, $(count "$folder") files, $(got "$l0")"
  }
  peer5 "wget2 --http2 --max-threads=4" "$work/q1" wget2 -q --http2 --max-threads=4 --ca-certificate="$work/ca/ca.pem" -P "$work/q1" -i "$work/list5"
  wg=$t5
  peer5 "curl -Z --http2" "$work/q2" sh -c "cd '$work/q2' && curl -s -Z --http2 --remote-name-all ${ca[*]} \$(tr '\n' ' ' <'$work/list5')"
  cz=$t5
  if [ -n "$wine_ok" ] && [ -f "$curlexe" ]; then
    rm -rf "$work/q3"; mkdir -p "$work/q3"; l0=$(wc -l <"$h2log")
    if "$root/tools/wine-run.sh" "$curlexe" -V 2>/dev/null | grep -q '^Features:.* HTTP2'; then
      h2=" --http2" note=
    else
      h2= note=" (this build has no HTTP/2)"
    fi
    cx=$(curl_exe "$work/list5" "$work/q3" --ssl-no-revoke $h2)
    echo "curl.exe -Z --parallel-max 4$h2 under Wine$note ${cx} ms, $(count "$work/q3") files, $(got "$l0")"
  fi
  rm -rf "$work/e5"; mkdir -p "$work/e5"; l0=$(wc -l <"$h2log")
  out=$(FERROW_BENCH_CA="$work/ca/ca.pem" "$bench" download "$work/e5" 4 "$work/list5" 4); e=$(echo "$out" | first_ms)
  echo "engine native (Sockets=4, HostSockets=4) ${e} ms, $(count "$work/e5") files, $(got "$l0"): $(ratio "$e" "$wg")x wget2's time, $(ratio "$e" "$cz")x curl's"
  if [ -n "$wine_ok" ]; then
    l0=$(wc -l <"$h2log")
    out=$(wine_run download "$base5/index.html" 4 4); w=$(echo "$out" | first_ms)
    echo "Ferrow.exe under Wine (Sockets=4, HostSockets=4) ${w:-?} ms (${out#* ms, }), $(got "$l0"): $(ratio "${w:-0}" "$wg")x wget2's time$([ -n "${cx:-}" ] && echo ", $(ratio "${w:-0}" "$cx")x curl.exe's")"
  fi
fi
