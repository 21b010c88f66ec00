# Sourced by the scripts that start servers on 127.0.0.1 for tests and
# benchmarks.
#   serve NAME OUT ERR COMMAND...   starts COMMAND in the background with its
#       output in OUT and its errors in ERR ("-": where ours go; OUT again:
#       in OUT too), and sets NAME to the port it prints first ("PORT n" of
#       tools/fixture_server.py, "... port n ..." of python3 -m http.server);
#       says so and gives status 1 when none comes within 10 s
#   serve_fixture NAME OUT ERR ARGUMENTS...   the same for tools/fixture_server.py
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
serve_stop() {
  local serve_pid
  for serve_pid in "${serve_pids[@]}"; do kill "$serve_pid" 2>/dev/null || true; done
  serve_pids=()
}
