#!/usr/bin/env python3
"""A scriptable HTTP server on 127.0.0.1 for the engine's tests: it answers
each request path with a scripted sequence of raw steps, so a test can send
exact replies, drips, silence, early closes, huge or lying heads and redirect
chains. Every request head is logged as one JSON line.

Usage: fixture_server.py --routes routes.json --log requests.log
Prints "PORT <n>" on its first output line once it listens.

routes.json maps a request path (the path part of the request target, query
included, else without its query) to a list of steps; "*" is the fallback. Steps:
  {"send": text}             text as Latin-1 bytes; "{port}" is this port
  {"repeat": text, "times": n}
  {"body": n}                n bytes of a fixed pattern (see pattern_bytes)
  {"stream": n}              n bytes made on the fly, never stored (see stream_block)
  {"drip": text, "delay": s} one byte at a time
  {"sleep": s}               keep the connection open, silent
  {"hold": name}             keep it open, silent, until the test releases
                             name, or until the client closes it (then the
                             steps end); at most "limit" seconds (120)
  {"reset": true}            close with a TCP reset
The connection is closed after the last step.

Requests for /release/<name> release every connection held under name,
now and later; /hold/<name> makes name hold again.
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


def pattern_bytes(n):
    whole, rest = divmod(n, len(PATTERN))
    return PATTERN * whole + PATTERN[:rest]


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
        return False

    def handle(self):
        head = self.read_head()
        line = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        target = parts[1] if len(parts) > 1 else ""
        if self.control(target):
            return
        path = target
        if path.lower().startswith("http://"):
            slash = path.find("/", 7)
            path = path[slash:] if slash >= 0 else "/"
        server = self.server
        with server.lock:
            server.log.write(json.dumps({"path": path, "raw": head.decode("latin-1")}) + "\n")
            server.log.flush()
        fallback = server.routes.get("*", [{"send": "HTTP/1.0 404 Not Found\r\n\r\n"}])
        steps = server.routes.get(path, server.routes.get(path.split("?", 1)[0], fallback))
        port = str(server.server_address[1])
        try:
            for step in steps:
                if "send" in step:
                    self.request.sendall(step["send"].replace("{port}", port).encode("latin-1"))
                elif "repeat" in step:
                    self.request.sendall(step["repeat"].encode("latin-1") * step["times"])
                elif "body" in step:
                    self.request.sendall(pattern_bytes(step["body"]))
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
                        return
                elif "reset" in step:
                    self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.request.close()
                    return
        except OSError:
            pass


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
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
