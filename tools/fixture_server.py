#!/usr/bin/env python3
"""Test servers on 127.0.0.1 for the engine's tests and benchmarks. Each
prints "PORT <n>" on its first output line once it listens and logs every
request head as one JSON line {"path": ..., "raw": ...}.

Usage: fixture_server.py --routes routes.json --log requests.log [--port n]
       fixture_server.py --cert server.pem --key server.key [--dir folder]
                         [--log requests.log] [--mode MODE] [--redirect PATH=LOCATION ...]
                         [--alpn h2,http/1.1]
New options go to the parser in main(); handlers read them as self.server.args.

With --routes, a scriptable HTTP server: it answers each request path with a
scripted sequence of raw steps, so a test can send exact replies, drips,
silence, early closes, huge or lying heads and redirect chains.
routes.json maps a request path (the path part of the request target, query
included, else without its query) to an answer; "*" is the fallback. An answer
is a list of steps, or
  {"turns": [answer, ...]}   the n-th request to the path takes the n-th
                             answer, the last one from then on
  {"when": [header, text], "then": answer, "else": answer}
                             "then" when a request header of that name
                             (any case) contains text
Steps:
  {"send": text}             text as Latin-1 bytes; "{port}" is this port
  {"repeat": text, "times": n}
  {"body": n, "from": k}     n bytes of a fixed pattern from its byte k on
                             ("from" optional, see pattern_bytes)
  {"stream": n}              n bytes made on the fly, never stored (see stream_block)
  {"drip": text, "delay": s} one byte at a time
  {"sleep": s}               keep the connection open, silent
  {"hold": name}             keep it open, silent, until the test releases
                             name, or until the client closes it (then the
                             steps end); at most "limit" seconds (120)
  {"reset": true}            close with a TCP reset
  {"again": true}            read the next request on this connection and
                             answer it (as a server that keeps connections)
The connection is closed after the last step.

Requests for /release/<name> release every connection held under name,
now and later; /hold/<name> makes name hold again; /stats answers
{"most_open": n, "connections": c}, the largest number of other connections
open at once and the number of them accepted since the last /stats.

With --cert, a TLS server that runs the TLS layer on memory buffers, so it
can also misbehave exactly: cut a record in two, send an oversized one, or
never finish the handshake. Modes, for every connection:
  serve    (default) TLS; files of --dir with Content-Length and Last-Modified,
           302 for the --redirect paths, 404 otherwise; then close_notify.
           Paths with a behaviour of their own (the file is still served):
             /cut/NAME       no Content-Length; the last record is cut short
             /oversized/NAME half the file, then a record header announcing 20480 bytes
             /abrupt/NAME    closed without close_notify, between records
  garbage  answers the client's hello with plain HTTP text
  stall    reads the client's hello and says nothing for 30 s
  bighello answers with a handshake record longer than any allowed
"""
import argparse
import email.utils
import json
import os
import select
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time

PATTERN = bytes(range(256))


def pattern_bytes(n, start=0):
    """Bytes start to start + n of an endless repetition of 0..255."""
    turned = PATTERN[start % 256:] + PATTERN[:start % 256]
    whole, rest = divmod(n, len(turned))
    return turned * whole + turned[:rest]


def header_value(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name.lower().encode("latin-1"):
            return value.strip().decode("latin-1")
    return None


STREAM_BLOCK = 1 << 20
STREAM_BASE = None


def stream_block(k):
    """Block k (1 MiB) of a stream: byte i of every block is
    (i * 131 + (i >> 8) * 7) & 255, except that its first 8 bytes hold k
    (little-endian), so that no two blocks are alike."""
    global STREAM_BASE
    if STREAM_BASE is None:
        STREAM_BASE = bytes((i * 131 + (i >> 8) * 7) & 255 for i in range(STREAM_BLOCK))
    return struct.pack("<Q", k) + STREAM_BASE[8:]


def send_stream(sock, n):
    stream_block(0)  # makes the base block
    base = memoryview(STREAM_BASE)
    k = 0
    while n > 0:
        # The stamp and the rest of the block go out apart: nothing is copied.
        stamp = struct.pack("<Q", k)[:n]
        sock.sendall(stamp)
        rest = base[8:min(STREAM_BLOCK, n)]
        if len(rest):
            sock.sendall(rest)
        n -= len(stamp) + len(rest)
        k += 1


def request_line(head, no_target):
    """The method and the target of a request head's first line."""
    parts = head.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
    return parts[0], parts[1] if len(parts) > 1 else no_target


def read_head(recv):
    """A request head: bytes until the blank line, 64 KiB at most, or what
    came before recv() answered nothing."""
    data = b""
    while b"\r\n\r\n" not in data and len(data) < 65536:
        piece = recv()
        if not piece:
            break
        data += piece
    return data


class Handler(socketserver.BaseRequestHandler):
    """The scripted HTTP answers of --routes."""
    def recv(self):
        try:
            return self.request.recv(4096)
        except OSError:
            return b""

    def read_head(self):
        self.request.settimeout(5)
        return read_head(self.recv)

    def event(self, name):
        with self.server.lock:
            return self.server.holds.setdefault(name, threading.Event())

    def hold(self, name, limit):
        """True once released; False when the client closed or the limit passed."""
        released = self.event(name)
        end = time.monotonic() + limit
        while not released.is_set():
            if time.monotonic() > end:
                return False
            readable, _, _ = select.select([self.request], [], [], 0.05)
            if readable and not self.request.recv(4096, socket.MSG_PEEK):
                return False
        return True

    def control(self, target):
        """Answers /release/<name> and /hold/<name>; False for other paths."""
        for prefix, release in (("/release/", True), ("/hold/", False)):
            if target.startswith(prefix):
                event = self.event(target[len(prefix):])
                event.set() if release else event.clear()
                self.request.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")
                return True
        if target == "/stats":
            with self.server.lock:
                body = json.dumps({"most_open": self.server.most_open,
                                   "connections": self.server.accepted}).encode()
                self.server.most_open = self.server.open_now
                self.server.accepted = 0
            self.request.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
            return True
        return False

    def choose(self, answer, path, head):
        """The steps of an answer for this request (see the module's notes)."""
        server = self.server
        while isinstance(answer, dict):
            if "turns" in answer:
                with server.lock:
                    n = server.turns.get(path, 0)
                    server.turns[path] = n + 1
                answer = answer["turns"][min(n, len(answer["turns"]) - 1)]
            elif "when" in answer:
                name, text = answer["when"]
                value = header_value(head, name)
                answer = answer["then"] if value is not None and text in value else answer["else"]
            else:
                return []
        return answer

    def handle(self):
        head = self.read_head()
        target = request_line(head, "")[1]
        if self.control(target):
            return
        with self.server.lock:
            self.server.open_now += 1
            self.server.accepted += 1
            self.server.most_open = max(self.server.most_open, self.server.open_now)
        try:
            while self.answer(head, target):
                head = self.read_head()
                if not head:
                    break
                target = request_line(head, "")[1]
        finally:
            with self.server.lock:
                self.server.open_now -= 1

    def answer(self, head, target):
        """True when the steps ask for the connection's next request."""
        path = target
        if path.lower().startswith("http://"):
            slash = path.find("/", 7)
            path = path[slash:] if slash >= 0 else "/"
        server = self.server
        server.record(path, head)
        fallback = server.routes.get("*", [{"send": "HTTP/1.0 404 Not Found\r\n\r\n"}])
        answer = server.routes.get(path, server.routes.get(path.split("?", 1)[0], fallback))
        steps = self.choose(answer, path, head)
        port = str(server.server_address[1])
        try:
            for step in steps:
                if "send" in step:
                    self.request.sendall(step["send"].replace("{port}", port).encode("latin-1"))
                elif "repeat" in step:
                    self.request.sendall(step["repeat"].encode("latin-1") * step["times"])
                elif "body" in step:
                    self.request.sendall(pattern_bytes(step["body"], step.get("from", 0)))
                elif "stream" in step:
                    send_stream(self.request, step["stream"])
                elif "drip" in step:
                    for b in step["drip"].replace("{port}", port).encode("latin-1"):
                        self.request.sendall(bytes([b]))
                        time.sleep(step.get("delay", 0.01))
                elif "sleep" in step:
                    time.sleep(step["sleep"])
                elif "hold" in step:
                    if not self.hold(step["hold"], step.get("limit", 120)):
                        return False
                elif "reset" in step:
                    self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.request.close()
                    return False
                elif "again" in step:
                    return True
        except OSError:
            pass
        return False


def http_date(seconds):
    return email.utils.formatdate(seconds, usegmt=True)


class TlsHandler(socketserver.BaseRequestHandler):
    """The files and misbehaviours of --cert."""
    def handle(self):
        conn = self.request
        conn.settimeout(20)
        mode = self.server.args.mode
        try:
            if mode not in ("garbage", "stall", "bighello"):
                return self.serve()
            conn.recv(4096)
            if mode == "garbage":
                conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\nnot tls")
            elif mode == "stall":
                time.sleep(30)
            elif mode == "bighello":
                conn.sendall(b"\x16\x03\x03\x50\x00" + b"\x02" * 4096)
                time.sleep(1)
        except (OSError, ssl.SSLError):
            pass

    def flush(self, limit=None):
        data = self.outgoing.read()
        if limit is not None:
            data = data[:limit]
        if data:
            self.request.sendall(data)

    def pump(self):
        """Sends what the TLS layer wrote, then hands it what comes in."""
        self.flush()
        data = self.request.recv(65536)
        if not data:
            raise ConnectionError("closed")
        self.incoming.write(data)

    def recv(self):
        while True:
            try:
                return self.tls.read(65536)
            except ssl.SSLWantReadError:
                self.pump()

    def send_all(self, data):
        self.tls.write(data)
        self.flush()

    def close(self):
        try:
            self.tls.unwrap()
        except ssl.SSLError:
            pass
        self.flush()

    def serve(self):
        server = self.server
        self.incoming, self.outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.tls = server.context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        while True:
            try:
                self.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self.pump()
            except ssl.SSLError:
                self.flush()  # the alert
                return
        self.flush()
        head = read_head(self.recv)
        method, path = request_line(head, "/")
        server.record(path, head)
        behaviour = ""
        name = path.split("?", 1)[0]
        for prefix in ("/cut/", "/oversized/", "/abrupt/"):
            if name.startswith(prefix):
                behaviour = prefix.strip("/")
                name = "/" + name[len(prefix):]
        if path in server.redirects:
            self.send_all(b"HTTP/1.0 302 Found\r\nLocation: %s\r\n\r\n"
                          % server.redirects[path].encode("latin-1"))
            return self.close()
        file = os.path.join(server.args.dir, name.lstrip("/"))
        if name.endswith("/"):
            file = os.path.join(file, "index.html")
        if not os.path.isfile(file):
            self.send_all(b"HTTP/1.0 404 Not Found\r\n\r\n")
            return self.close()
        size = os.path.getsize(file)
        lines = "HTTP/1.0 200 OK\r\nLast-Modified: %s\r\n" % http_date(os.path.getmtime(file))
        if behaviour != "cut":
            lines += "Content-Length: %d\r\n" % size
        self.send_all((lines + "\r\n").encode("latin-1"))
        if behaviour == "oversized":
            with open(file, "rb") as f:
                self.tls.write(f.read(size // 2))
            self.flush()
            self.request.sendall(b"\x17\x03\x03\x50\x00" + b"\x00" * 2048)
            return
        if method != "HEAD":
            with open(file, "rb") as f:
                for piece in iter(lambda: f.read(1 << 20), b""):
                    self.tls.write(piece)
                    if behaviour != "cut":
                        self.flush()
        if behaviour == "cut":
            self.flush(max(self.outgoing.pending - 7, 0))  # the last record loses its tail
        elif behaviour == "abrupt":
            self.flush()
        else:
            self.close()


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def record(self, path, head):
        with self.lock:
            if self.log:
                self.log.write(json.dumps({"path": path, "raw": head.decode("latin-1")}) + "\n")
                self.log.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--routes")
    parser.add_argument("--log")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--dir", default=".")
    parser.add_argument("--mode", default="serve")
    parser.add_argument("--redirect", action="append", default=[])
    parser.add_argument("--alpn", default="", help="protocols the TLS server chooses from, comma-separated")
    args = parser.parse_args()
    tls = args.cert is not None
    if (tls and not args.key) or (not tls and not (args.routes and args.log)):
        parser.error("give --routes and --log, or --cert and --key")
    server = Server(("127.0.0.1", args.port), TlsHandler if tls else Handler)
    server.args = args
    server.log = open(args.log, "a") if args.log else None
    server.lock = threading.Lock()
    if tls:
        server.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server.context.load_cert_chain(args.cert, args.key)
        if args.alpn:
            server.context.set_alpn_protocols(args.alpn.split(","))
        server.redirects = dict(r.split("=", 1) for r in args.redirect)
    else:
        with open(args.routes) as f:
            server.routes = json.load(f)
        server.holds = {}
        server.turns = {}
        server.open_now = 0
        server.most_open = 0
        server.accepted = 0
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
