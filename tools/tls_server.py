#!/usr/bin/env python3
"""A TLS server on 127.0.0.1 for the engine's tests and benchmarks. It runs
the TLS layer on memory buffers, so it can also misbehave exactly: cut a
record in two, send an oversized one, or never finish the handshake.

Usage: tls_server.py --cert server.pem --key server.key --dir folder
                     [--log requests.log] [--mode MODE] [--redirect PATH=LOCATION ...]
Prints "PORT <n>" on its first output line once it listens.

Modes, for every connection:
  serve    (default) TLS; files of --dir with Content-Length and Last-Modified,
           302 for the --redirect paths, 404 otherwise; then close_notify.
           Paths with a behaviour of their own (the file is still served):
             /cut/NAME       no Content-Length; the last record is cut short
             /oversized/NAME half the file, then a record header announcing 20480 bytes
             /abrupt/NAME    closed without close_notify, between records
  garbage  answers the client's hello with plain HTTP text
  stall    reads the client's hello and says nothing for 30 s
  bighello answers with a handshake record longer than any allowed
Every request head is logged as a JSON line {"path": ..., "raw": ...}.
"""
import argparse
import email.utils
import json
import os
import socket
import socketserver
import ssl
import sys
import threading
import time


def http_date(seconds):
    return email.utils.formatdate(seconds, usegmt=True)


class Handler(socketserver.BaseRequestHandler):
    def flush(self, obj_out, limit=None):
        data = obj_out.read()
        if limit is not None:
            data = data[:limit]
        if data:
            self.request.sendall(data)

    def handle(self):
        server = self.server
        conn = self.request
        conn.settimeout(20)
        mode = server.mode
        try:
            if mode == "garbage":
                conn.recv(4096)
                conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\nnot tls")
                return
            if mode == "stall":
                conn.recv(4096)
                time.sleep(30)
                return
            if mode == "bighello":
                conn.recv(4096)
                conn.sendall(b"\x16\x03\x03\x50\x00" + b"\x02" * 4096)
                time.sleep(1)
                return
            self.serve()
        except (OSError, ssl.SSLError):
            pass

    def serve(self):
        server = self.server
        conn = self.request
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        obj = server.context.wrap_bio(incoming, outgoing, server_side=True)
        while True:
            try:
                obj.do_handshake()
                break
            except ssl.SSLWantReadError:
                self.flush(outgoing)
                data = conn.recv(65536)
                if not data:
                    return
                incoming.write(data)
            except ssl.SSLError:
                self.flush(outgoing)  # the alert
                return
        self.flush(outgoing)
        head = b""
        while b"\r\n\r\n" not in head and len(head) < 65536:
            try:
                head += obj.read(65536)
            except ssl.SSLWantReadError:
                self.flush(outgoing)
                data = conn.recv(65536)
                if not data:
                    return
                incoming.write(data)
        line = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        method = parts[0]
        path = parts[1] if len(parts) > 1 else "/"
        with server.lock:
            if server.log:
                server.log.write(json.dumps({"path": path, "raw": head.decode("latin-1")}) + "\n")
                server.log.flush()
        behaviour = ""
        name = path.split("?", 1)[0]
        for prefix in ("/cut/", "/oversized/", "/abrupt/"):
            if name.startswith(prefix):
                behaviour = prefix.strip("/")
                name = "/" + name[len(prefix):]
        if path in server.redirects:
            self.send_all(obj, outgoing, b"HTTP/1.0 302 Found\r\nLocation: %s\r\n\r\n"
                          % server.redirects[path].encode("latin-1"))
            return self.close(obj, outgoing)
        file = os.path.join(server.folder, name.lstrip("/"))
        if name.endswith("/"):
            file = os.path.join(file, "index.html")
        if not os.path.isfile(file):
            self.send_all(obj, outgoing, b"HTTP/1.0 404 Not Found\r\n\r\n")
            return self.close(obj, outgoing)
        size = os.path.getsize(file)
        lines = "HTTP/1.0 200 OK\r\nLast-Modified: %s\r\n" % http_date(os.path.getmtime(file))
        if behaviour != "cut":
            lines += "Content-Length: %d\r\n" % size
        self.send_all(obj, outgoing, (lines + "\r\n").encode("latin-1"))
        if behaviour == "oversized":
            with open(file, "rb") as f:
                obj.write(f.read(size // 2))
            self.flush(outgoing)
            self.request.sendall(b"\x17\x03\x03\x50\x00" + b"\x00" * 2048)
            return
        if method != "HEAD":
            with open(file, "rb") as f:
                while True:
                    piece = f.read(1 << 20)
                    if not piece:
                        break
                    obj.write(piece)
                    if behaviour == "cut":
                        continue
                    self.flush(outgoing)
        if behaviour == "cut":
            pending = outgoing.pending
            self.flush(outgoing, max(pending - 7, 0))  # the last record loses its tail
            return
        if behaviour == "abrupt":
            self.flush(outgoing)
            return
        self.close(obj, outgoing)

    def send_all(self, obj, outgoing, data):
        obj.write(data)
        self.flush(outgoing)

    def close(self, obj, outgoing):
        try:
            obj.unwrap()
        except ssl.SSLError:
            pass
        self.flush(outgoing)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--dir", default=".")
    parser.add_argument("--log")
    parser.add_argument("--mode", default="serve")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--redirect", action="append", default=[])
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    server.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    server.context.load_cert_chain(args.cert, args.key)
    server.folder = args.dir
    server.mode = args.mode
    server.redirects = dict(r.split("=", 1) for r in args.redirect)
    server.log = open(args.log, "a") if args.log else None
    server.lock = threading.Lock()
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
