#!/bin/bash
# Starts the fixture server with the routes of engine_app_test.cpp, and
# nginx speaking HTTP/2 over TLS with a test authority trusted in this run's
# Wine prefix (removed at the end), then runs that program under the
# emulator against Ferrow.exe.
# usage: run_engine_app_tests.sh <emulator> <test program> <Ferrow.exe> <trust_root.exe> [test arguments...]
set -u
emulator=$1 program=$2 ferrow=$3 trust=$4
shift 4
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/serve.sh"
source "$root/tools/wine-env.sh"
work=$(mktemp -d)
trap '"$emulator" "$trust" remove >/dev/null 2>&1; serve_stop; rm -rf "$work"' EXIT

# Twelve held files whose names, sizes and dates sort three different ways,
# a page that lists them, a page with one file past 2 GiB made on the fly,
# a page of files that need retries, and the cookie pages below.
python3 - "$work/routes.json" <<'PY'
import json, sys
routes = {}
links = ""
for i in range(12):
    name = "%c%02d.jpg" % (chr(ord("a") + (i * 5) % 12), i)
    size = 1000 + (i * 7) % 12 * 111
    head = ("HTTP/1.0 200 OK\r\nContent-Length: %d\r\n"
            "Last-Modified: Sun, %02d Nov 1994 08:49:37 GMT\r\n\r\n" % (size, i + 1))
    # Answered in three groups of four as the test releases them.
    routes["/slow/" + name] = [{"hold": "slow%d" % (i // 4)}, {"send": head}]
    links += '<a href="slow/%s">%d</a>' % (name, i)
routes["/slow.html"] = [{"send": "HTTP/1.0 200 OK\r\n\r\n<html>" + links + "</html>"}]
big = (1 << 31) + 1234
routes["/big.html"] = [{"send": 'HTTP/1.0 200 OK\r\n\r\n<a href="big.jpg">big</a>'}]
routes["/big.jpg"] = [{"send": "HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % big},
                      {"stream": big}]
# Answers that ask for a retry or break off: a 429 then the file, a 5 MiB
# file cut at 60% then sent from there (206), and eight slow files whose
# connections the server counts.
big, cut = 5 << 20, (5 << 20) * 6 // 10
retry_links = '<a href="busy.jpg">b</a><a href="resume.bin">r</a>'
routes["/busy.jpg"] = {"turns": [
    [{"send": "HTTP/1.0 429 Too Many Requests\r\nRetry-After: 1\r\n\r\n"}],
    [{"send": "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n"}, {"body": 10}]]}
routes["/resume.bin"] = {"turns": [
    [{"send": "HTTP/1.0 200 OK\r\nContent-Length: %d\r\nAccept-Ranges: bytes\r\n"
              "ETag: \"r1\"\r\n\r\n" % big}, {"body": cut}],
    [{"send": "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes %d-%d/%d\r\n"
              "Content-Length: %d\r\n\r\n" % (cut, big - 1, big, big - cut)},
     {"body": big - cut, "from": cut}]]}
for i in range(8):
    routes["/host/%d.jpg" % i] = [{"sleep": 0.2},
                                  {"send": "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n"},
                                  {"body": 5}]
    retry_links += '<a href="host/%d.jpg">%d</a>' % (i, i)
routes["/retry.html"] = [{"send": "HTTP/1.0 200 OK\r\n\r\n<html>" + retry_links + "</html>"}]
# A page that sets a session cookie and images refused without it; a page
# whose files come from two host names, for the cookies of a cookies.txt.
def ok(body, lines=""):
    return [{"send": "HTTP/1.0 200 OK\r\nContent-Length: %d\r\n%s\r\n%s" % (len(body), lines, body)}]
routes["/cookie/page.html"] = ok('<a href="a.jpg">a</a><a href="b.jpg">b</a>',
                                 "Set-Cookie: sid=abc; Path=/cookie\r\n")
for name, body in (("a", "AAAA"), ("b", "BBBB")):
    routes["/cookie/%s.jpg" % name] = {"when": ["Cookie", "sid=abc"], "then": ok(body),
                                       "else": [{"send": "HTTP/1.0 403 Forbidden\r\n\r\n"}]}
# No length: "{port}" changes it.
routes["/jar/page.html"] = [{"send": 'HTTP/1.0 200 OK\r\n\r\n<a href="a.jpg">a</a>'
                                     '<a href="http://localhost:{port}/jar/b.jpg">b</a>'}]
routes["/jar/a.jpg"] = ok("jar-a")
routes["/jar/b.jpg"] = ok("jar-b")
# A gzip page of twelve files on a server that keeps its connections.
import gzip
keep = gzip.compress(("<html>%s%s</html>" % ("".join('<a href="keep/%d.jpg">%d</a>' % (i, i)
                                                     for i in range(12)), " " * 4000)).encode())
routes["/keep.html"] = [{"send": "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n"
                                 "Content-Length: %d\r\n\r\n" % len(keep) + keep.decode("latin-1")},
                        {"again": True}]
for i in range(12):
    routes["/keep/%d.jpg" % i] = [{"send": "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"},
                                  {"body": 5}, {"again": True}]
json.dump(routes, open(sys.argv[1], "w"))
PY
serve_fixture port "$work/server.out" - --routes "$work/routes.json" --log "$work/requests.log" || exit 1

# A site of three pages whose pictures (some past the size kept in memory)
# come over HTTP/2, for a crawl and a batch on one connection.
site=$work/h2site
mkdir -p "$site/pics"
for p in 1 2 3; do
  links=""
  for i in 1 2 3 4; do
    head -c $((p * 97000 + i * 1000)) /dev/urandom >"$site/pics/p$p-$i.jpg"
    links+="<img src=\"pics/p$p-$i.jpg\">"
  done
  printf '<html><a href="page%d.html">next</a>%s</html>' $((p % 3 + 1)) "$links" >"$site/page$p.html"
done
bash "$root/tools/tls-test-ca.sh" "$work/ca" >/dev/null || exit 1
serve_nginx_h2 h2port "$work/nginx" "$site" "$work/ca" || exit 1
"$emulator" "$trust" add "$(winpath "$work/ca/ca.der")" || exit 1
export FERROW_H2_PORT=$h2port
export FERROW_H2_SITE=$(winpath "$site")
export FERROW_H2_LOG=$(winpath "$work/nginx/access.log")

export FERROW_UI_PORT=$port
export FERROW_FIXTURE_LOG=$(winpath "$work/requests.log")
export FERROW_UI_EXE=$(winpath "$ferrow")
"$emulator" "$program" "$@"
