#!/usr/bin/env python3
"""A scriptable HTTP server on 127.0.0.1 for the engine's tests: it answers
each request path with a scripted sequence of raw steps, so a test can send
exact replies, drips, silence, early closes, huge or lying heads and redirect
chains. Every request head is logged as one JSON line.

Usage: fixture_server.py --routes routes.json --log requests.log
Prints "PORT <n>" on its first output line once it listens.

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
"""
import argparse
import json
import select
import socket
import socketserver
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


class Handler(socketserver.BaseRequestHandler):
    def read_head(self):
        data = b""
        self.request.settimeout(5)
        while b"\r\n\r\n" not in data and len(data) < 65536:
            try:
                piece = self.request.recv(4096)
            except OSError:
                break
            if not piece:
                break
            data += piece
        return data

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
        line = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        target = parts[1] if len(parts) > 1 else ""
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
                target = (head.split(b"\r\n", 1)[0].decode("latin-1").split(" ") + [""])[1]
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
        with server.lock:
            server.log.write(json.dumps({"path": path, "raw": head.decode("latin-1")}) + "\n")
            server.log.flush()
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


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--routes", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    with open(args.routes) as f:
        server.routes = json.load(f)
    server.log = open(args.log, "a")
    server.lock = threading.Lock()
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
