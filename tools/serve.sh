# Sourced by the scripts that start servers on 127.0.0.1 for tests and
# benchmarks.
#   serve NAME OUT ERR COMMAND...   starts COMMAND in the background with its
#       output in OUT and its errors in ERR ("-": where ours go; OUT again:
#       in OUT too), and sets NAME to the port it prints first ("PORT n" of
#       tools/fixture_server.py, "... port n ..." of python3 -m http.server);
#       says so and gives status 1 when none comes within 10 s
#   serve_fixture NAME OUT ERR ARGUMENTS...   the same for tools/fixture_server.py
#   serve_nginx_h2 NAME FOLDER ROOT CA   starts nginx serving ROOT over TLS with
#       HTTP/2 offered (CA's localhost certificate), its files in FOLDER and
#       its requests in FOLDER/access.log as "CONNECTION PROTOCOL REQUEST"
#       lines, emptied once it answers; sets NAME to its port
#   free_port                      prints a port that was free a moment ago
#   serve_stop                     ends every server started here
serve_tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
serve_pids=()
serve() {
  # Local names of their own: NAME is the caller's.
  local serve_name=$1 serve_out=$2 serve_err=$3 serve_port serve_try
  shift 3
  case $serve_err in
    -) "$@" >"$serve_out" & ;;
    "$serve_out") "$@" >"$serve_out" 2>&1 & ;;
    *) "$@" >"$serve_out" 2>"$serve_err" & ;;
  esac
  serve_pids+=($!)
  for serve_try in $(seq 200); do
    serve_port=$(sed -n 's/^PORT \([0-9]*\).*/\1/p; s/^Serving HTTP on .* port \([0-9]*\).*/\1/p' "$serve_out" 2>/dev/null | head -1)
    [ -n "$serve_port" ] && { printf -v "$serve_name" %s "$serve_port"; return 0; }
    sleep 0.05
  done
  echo "${0##*/}: the server did not start: $*" >&2
  return 1
}
serve_fixture() { serve "$1" "$2" "$3" python3 -u "$serve_tools/fixture_server.py" "${@:4}"; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
serve_nginx_h2() {
  local serve_name=$1 folder=$2 site=$3 ca=$4 serve_port serve_try
  serve_port=$(free_port)
  mkdir -p "$folder"
  # One process as this user, which can read temporary folders.
  cat >"$folder/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; pid $folder/nginx.pid;
error_log $folder/error.log;
events { worker_connections 256; }
http {
  log_format h2 '\$connection \$server_protocol \$request'; access_log $folder/access.log h2;
  client_body_temp_path $folder; proxy_temp_path $folder; fastcgi_temp_path $folder;
  uwsgi_temp_path $folder; scgi_temp_path $folder;
  server { listen 127.0.0.1:$serve_port ssl http2; root $site;
           ssl_certificate $ca/localhost.pem; ssl_certificate_key $ca/localhost.key; }
}
CONF
  nginx -p "$folder" -c "$folder/nginx.conf" &
  serve_pids+=($!)
  for serve_try in $(seq 200); do
    if curl -sk -o /dev/null "https://127.0.0.1:$serve_port/"; then
      : >"$folder/access.log"
      printf -v "$serve_name" %s "$serve_port"
      return 0
    fi
    sleep 0.05
  done
  echo "${0##*/}: nginx did not start" >&2
  return 1
}
serve_stop() {
  local serve_pid
  for serve_pid in "${serve_pids[@]}"; do kill "$serve_pid" 2>/dev/null || true; done
  serve_pids=()
}
