#!/usr/bin/python3
"""An HTTP/2 server over TLS on 127.0.0.1 for the engine's tests: the files
of a folder, every connection and request logged, and misbehaviours asked
for by the path. Prints "PORT <n>" once it listens. Needs Debian's python3
with python3-h2 (tools/setup.sh installs it).

Usage: h2_fixture_server.py --cert server.pem --key server.key --dir folder --log log
                            [--port n] [--settings name=value,...]
  --settings   the server's SETTINGS by h2's names (max_concurrent_streams,
               initial_window_size, header_table_size, max_frame_size ...)

ALPN offers h2 alone; a client that does not take it is logged and closed.

The log has one JSON line per event, c counting connections from 1:
  {"conn": c, "alpn": protocol}      a connection accepted
  {"conn": c, "stream": s, "open": k, "path": p, "raw": head}
        a request; head reads "GET /p HTTP/2\\r\\n:authority: ...\\r\\nname: value\\r\\n...\\r\\n"
        (cookie fields joined by "; "), k the streams open with it; with
        "refused": true when k is past max_concurrent_streams (RST_STREAM
        REFUSED_STREAM, and an "error" line once the client had acknowledged
        the limit)
  {"conn": c, "error": text}         the client broke the protocol (as h2 sees it)
  {"conn": c, "goaway": code}        the client's GOAWAY
  {"conn": c, "crash": traceback}    this server failed

Files answer with content-length, last-modified, etag "<name>-<size>" and
accept-ranges; "range: bytes=N-[M]" gets 206 when if-range is absent or
names the etag or the date. Paths may start with behaviours, taken off one
by one; the file is what remains (/once/rst/big.bin serves big.bin):
  once          what follows applies to the first request of this path only
  moved         301 to the rest of the path
  cookie        sets h2c=1 and seen=yes (two set-cookie fields)
  needcookie    403 unless the request carries h2c=1
  busy          503 with retry-after: 1
  slow          waits 0.3 s before the answer
  continuation  the head in HEADERS and CONTINUATION frames of 10 bytes
  evict         HPACK table size updates (0, then 200), and fields that evict
                others, then are named again from the table
  windows       the stream's and the connection's send windows raised to
                2^31-1, SETTINGS_INITIAL_WINDOW_SIZE 0 during the body, then
                back
  pings         1000 PINGs in one write before the head
  bomb          a head whose fields decode to 80 KB (one indexed field repeated)
  many          a head of 200 fields
  badhpack      a HEADERS frame whose block names index 0 (COMPRESSION_ERROR)
  overflow      a WINDOW_UPDATE taking the stream's window past 2^31-1
  refuse        RST_STREAM REFUSED_STREAM, no answer
  The rest send the head with the whole length and half the body, then:
  short         END_STREAM
  rst           RST_STREAM INTERNAL_ERROR
  drop          the connection is closed
  oversized     a DATA frame of 65537 bytes, above the client's maximum
  stall         nothing more: the connection is neither read nor written (20 s)
  goaway        before the head: GOAWAY NO_ERROR naming this stream last;
                later streams get no answer and the connection closes once
                the earlier ones are answered (the body is whole)
  goaway-error  GOAWAY INTERNAL_ERROR naming the newest stream, then the
                connection is closed
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
import traceback

import h2.config
import h2.connection
import h2.errors
import h2.events
import h2.exceptions
import h2.settings
import hpack

BEHAVIOURS = {"once", "moved", "cookie", "needcookie", "busy", "slow", "continuation", "evict",
              "windows", "pings", "bomb", "many", "badhpack", "overflow", "refuse", "short", "rst",
              "drop", "oversized", "stall", "goaway", "goaway-error"}
CUTS = ("short", "rst", "drop", "oversized", "stall")
MAX_WINDOW = 2**31 - 1
DATA, HEADERS, SETTINGS, PING, GOAWAY, WINDOW = 0, 1, 4, 6, 7, 8


def frame(kind, flags, stream, payload):
    """One frame's bytes, written past h2 where it would refuse them."""
    head = struct.pack(">I", len(payload))[1:] + bytes([kind, flags]) + struct.pack(">I", stream)
    return head + payload


PING_FLOOD = b"".join(frame(PING, 0, 0, struct.pack(">Q", i)) for i in range(1000))


def window_update(stream, increment):
    return frame(WINDOW, 0, stream, struct.pack(">I", increment))


def initial_window(size):
    return frame(SETTINGS, 0, 0, struct.pack(">HI", 4, size))


class Connection(socketserver.BaseRequestHandler):
    def handle(self):
        server = self.server
        with server.lock:
            server.connections += 1
            self.number = server.connections
        try:
            self.sock = server.context.wrap_socket(self.request, server_side=True)
        except (OSError, ssl.SSLError):
            return server.record({"conn": self.number, "alpn": None})
        alpn = self.sock.selected_alpn_protocol()
        server.record({"conn": self.number, "alpn": alpn})
        if alpn != "h2":
            return self.close()
        self.h2 = h2.connection.H2Connection(
            h2.config.H2Configuration(client_side=False, header_encoding="latin-1"))
        # The stream limit goes in a SETTINGS frame of its own, which h2 does
        # not know: h2 would end the connection over one stream too many, where
        # a server refuses that stream.
        values = dict(self.h2.local_settings.items())
        values.update(server.settings)
        self.limit = values.pop(h2.settings.SettingCodes.MAX_CONCURRENT_STREAMS, None)
        self.h2.local_settings = h2.settings.Settings(client=False, initial_values=values)
        self.acks = 0        # SETTINGS the client acknowledged
        self.replies = {}    # stream -> steps left
        self.last = None     # the stream our GOAWAY named last
        self.highest = 0
        self.raised = False  # the connection window went to its maximum
        self.ended = False
        try:
            self.h2.initiate_connection()
            if self.limit is not None:
                self.raw(frame(SETTINGS, 0, 0, struct.pack(">HI", 3, self.limit)))
            self.serve()
        except (OSError, ssl.SSLError):
            pass
        except Exception:
            server.record({"conn": self.number, "crash": traceback.format_exc()})
        self.close()

    def flush(self):
        data = self.h2.data_to_send()
        if data:
            self.sock.sendall(data)

    def raw(self, data):
        self.flush()
        self.sock.sendall(data)

    def close(self):
        """Ends the connection between records, after the client had every
        byte: the write side first, then what the client still sends is
        drained, so that no reset throws away what it has not read."""
        try:
            if getattr(self, "h2", None):
                self.flush()
            self.sock.shutdown(socket.SHUT_WR)  # drops TLS: what follows reads raw bytes
            self.sock.settimeout(3)
            while self.sock.recv(65536):
                pass
        except (OSError, ssl.SSLError, AttributeError):
            pass
        self.request.close()

    def serve(self):
        idle = time.monotonic()
        while not self.ended:
            moved = False
            for stream in list(self.replies):
                if stream in self.replies:  # a GOAWAY may have dropped it
                    moved = self.advance(stream) or moved
                if self.ended:
                    return
            self.flush()
            if self.last is not None and not any(s <= self.last for s in self.replies):
                return  # after our GOAWAY, every stream it named is answered
            waits = [s[0][1] for s in self.replies.values() if s and s[0][0] == "wait"]
            now = time.monotonic()
            timeout = 0 if moved else max(0.0, min(waits + [now + 1]) - now)
            if self.sock.pending() or select.select([self.sock], [], [], timeout)[0]:
                data = self.sock.recv(65536)
                if not data:
                    return
                idle = time.monotonic()
                self.receive(data)
            elif not self.replies and time.monotonic() - idle > 60:
                return

    def receive(self, data):
        try:
            events = self.h2.receive_data(data)
        except h2.exceptions.ProtocolError as e:
            self.server.record({"conn": self.number, "error": "%s: %s" % (type(e).__name__, e)})
            self.ended = True
            return
        for event in events:
            if isinstance(event, h2.events.RequestReceived):
                self.request_received(event.stream_id, event.headers)
            elif isinstance(event, h2.events.SettingsAcknowledged):
                self.acks += 1
            elif isinstance(event, h2.events.StreamReset):
                self.replies.pop(event.stream_id, None)
            elif isinstance(event, h2.events.ConnectionTerminated):
                self.server.record({"conn": self.number, "goaway": event.error_code})
                self.ended = True

    def request_received(self, stream, headers):
        fields, cookies = [], []
        for name, value in headers:
            if name == "cookie":
                cookies.append(value)
            else:
                fields.append((name, value))
        if cookies:
            fields.append(("cookie", "; ".join(cookies)))
        pseudo = dict(f for f in fields if f[0].startswith(":"))
        method, path = pseudo.get(":method", ""), pseudo.get(":path", "")
        raw = "%s %s HTTP/2\r\n" % (method, path)
        raw += "".join("%s: %s\r\n" % f for f in fields if f[0] not in (":method", ":path"))
        raw += "\r\n"
        entry = {"conn": self.number, "stream": stream, "open": len(self.replies) + 1,
                 "path": path, "raw": raw}
        self.highest = max(self.highest, stream)
        if self.limit is not None and entry["open"] > self.limit:
            entry["refused"] = True
            self.server.record(entry)
            if self.acks >= 2:  # the client had the limit before it sent this
                error = "stream %d past the limit of %d" % (stream, self.limit)
                self.server.record({"conn": self.number, "error": error})
            return self.h2.reset_stream(stream, h2.errors.ErrorCodes.REFUSED_STREAM)
        self.server.record(entry)
        if self.last is None or stream <= self.last:
            self.replies[stream] = self.plan(stream, method, path, dict(fields))

    # ---- What to answer ----------------------------------------------------

    def plan(self, stream, method, path, fields):
        """The steps of the answer: ("wait", until), ("head", status, fields,
        end, how), ("body", bytes, sent, end), ("raw", bytes), ("rst", code),
        ("goaway", code, last), ("drop",), ("stall",)."""
        server = self.server
        with server.lock:
            first = server.seen.get(path, 0) == 0
            server.seen[path] = server.seen.get(path, 0) + 1
        name, query = (path.split("?", 1) + [""])[:2]
        ways = []  # each behaviour with the path after it
        while True:
            way, _, rest = name[1:].partition("/")
            if way not in BEHAVIOURS or not rest:
                break
            name = "/" + rest
            ways.append((way, name + ("?" + query if query else "")))
        if ways[:1] and ways[0][0] == "once":
            ways = ways[1:] if first else []
        steps, extra, how = [], [], set()

        def empty(status, *more):
            head = extra + list(more) + [("content-length", "0")]
            return steps + [("head", status, head, True, how)]
        for way, after in ways:
            if way == "moved":
                return empty(301, ("location", after))
            if way == "needcookie" and "h2c=1" not in fields.get("cookie", ""):
                return empty(403)
            if way == "busy":
                return empty(503, ("retry-after", "1"))
            if way == "refuse":
                return steps + [("rst", h2.errors.ErrorCodes.REFUSED_STREAM)]
            if way == "badhpack":
                return steps + [("raw", frame(HEADERS, 0x4, stream, b"\x80"))]
            if way == "goaway-error":
                return steps + [("goaway", h2.errors.ErrorCodes.INTERNAL_ERROR, None), ("drop",)]
            if way == "cookie":
                extra += [("set-cookie", "h2c=1; Path=/"), ("set-cookie", "seen=yes; Path=/")]
            elif way == "slow":
                steps.append(("wait", time.monotonic() + 0.3))
            elif way == "pings":
                steps.append(("raw", PING_FLOOD))
            elif way == "goaway":
                steps.append(("goaway", h2.errors.ErrorCodes.NO_ERROR, stream))
            elif way == "overflow":
                steps.append(("raw", window_update(stream, MAX_WINDOW)))
            elif way == "bomb":
                extra += [("x-bomb", "b" * 4000)] * 20
            elif way == "many":
                extra += [("x-many-%d" % i, str(i)) for i in range(200)]
            elif way in ("continuation", "evict", "windows") or way in CUTS:
                how.add(way)
        return steps + self.file_answer(stream, method, name, fields, extra, how)

    def file_answer(self, stream, method, name, fields, extra, how):
        folder = self.server.folder
        file = os.path.realpath(os.path.join(folder, name.lstrip("/")))
        if not file.startswith(folder + os.sep) or not os.path.isfile(file):
            return [("head", 404, extra + [("content-length", "0")], True, how)]
        with open(file, "rb") as f:
            body = f.read()
        size = len(body)
        etag = '"%s-%d"' % (os.path.basename(file), size)
        date = email.utils.formatdate(os.path.getmtime(file), usegmt=True)
        status, head = 200, [("last-modified", date), ("etag", etag), ("accept-ranges", "bytes")]
        wanted = fields.get("range", "")
        if wanted.startswith("bytes=") and fields.get("if-range", etag) in (etag, date):
            first, _, last = wanted[6:].partition("-")
            try:  # "N-" or "N-M"; anything else gets the whole file
                first, last = int(first), min(int(last or size - 1), size - 1)
            except ValueError:
                first, last = size, 0
            if first < size and first <= last:
                status = 206
                head.append(("content-range", "bytes %d-%d/%d" % (first, last, size)))
                body = body[first:last + 1]
        head = [("content-length", str(len(body)))] + head + extra
        if method == "HEAD" or not body:
            return [("head", status, head, True, how)]
        cut = [w for w in CUTS if w in how]
        if not cut:
            steps = [("head", status, head, False, how), ["body", body, 0, True]]
            if "windows" in how:
                steps.insert(-1, ("raw", initial_window(0)))
                steps.append(("raw", initial_window(self.h2.local_settings.initial_window_size)))
            return steps
        half = ["body", body[:len(body) // 2], 0, cut[0] == "short"]
        steps = [("head", status, head, False, how), half]
        if cut[0] == "rst":
            steps.append(("rst", h2.errors.ErrorCodes.INTERNAL_ERROR))
        elif cut[0] == "oversized":
            steps.append(("raw", frame(DATA, 0, stream, b"\0" * 65537)))
        elif cut[0] in ("drop", "stall"):
            steps.append((cut[0],))
        return steps

    # ---- Sending -----------------------------------------------------------

    def advance(self, stream):
        """Takes the stream's steps until one has to wait: a time, or the
        flow-control window. True when something was sent."""
        steps, moved = self.replies[stream], False
        try:
            while steps:
                step = steps[0]
                if step[0] == "wait":
                    if time.monotonic() < step[1]:
                        return moved
                elif step[0] == "body":
                    if not self.send_body(stream, step):
                        return True
                else:
                    self.act(stream, step)
                    if self.ended or stream not in self.replies:
                        return True
                steps.pop(0)
                moved = True
        except h2.exceptions.StreamClosedError:
            pass  # the client reset it meanwhile
        self.replies.pop(stream, None)
        return moved

    def send_body(self, stream, step):
        """One frame of the body (round robin between streams); True when
        the body is all sent."""
        _, body, sent, end = step
        n = min(self.h2.local_flow_control_window(stream), self.h2.max_outbound_frame_size,
                len(body) - sent)
        if n <= 0 and sent < len(body):
            return False
        step[2] = sent + n
        self.h2.send_data(stream, body[sent:sent + n], end_stream=end and step[2] == len(body))
        return step[2] == len(body)

    def act(self, stream, step):
        kind = step[0]
        if kind == "head":
            _, status, fields, end, how = step
            self.send_head(stream, [(":status", str(status))] + fields, end, how)
        elif kind == "raw":
            self.raw(step[1])
        elif kind == "rst":
            self.h2.reset_stream(stream, step[1])
        elif kind == "goaway":
            self.last = step[2] if step[2] is not None else self.highest
            self.raw(frame(GOAWAY, 0, 0, struct.pack(">II", self.last, step[1])))
            for other in [s for s in self.replies if s > self.last]:
                del self.replies[other]
        elif kind == "drop":
            self.ended = True
        elif kind == "stall":
            self.flush()
            time.sleep(20)
            self.ended = True

    def send_head(self, stream, fields, end, how):
        encoder = self.h2.encoder
        if "evict" in how:
            # In a table of 200 bytes (entries of about 60), x-evict-2 evicts
            # x-evict-0; x-evict-1 and -2 are then named by their indexes, the
            # older next to the table's end: a decoder that evicted too many
            # finds no such entry.
            encoder.header_table_size = 0
            encoder.header_table_size = 200
            fill = [("x-evict-%d" % i, "%020d" % stream) for i in range(3)]
            fields = fields[:1] + fill[:2] + fields[1:2] + fill[2:] + fill[1:] + fields[2:]
        if "windows" in how:
            if not self.raised:
                self.raised = True
                self.raw(window_update(0, MAX_WINDOW - 65535))
            self.raw(window_update(stream, MAX_WINDOW - self.h2.local_settings.initial_window_size))
        record = self.h2.streams[stream]  # h2 slices heads by its own copy of the size
        saved = self.h2.max_outbound_frame_size
        if "continuation" in how:  # never indexed: every stream's head is as long
            fields = [hpack.NeverIndexedHeaderTuple(*f) for f in fields]
            self.h2.max_outbound_frame_size = record.max_outbound_frame_size = 10
        try:
            self.h2.send_headers(stream, fields, end_stream=end)
        finally:
            self.h2.max_outbound_frame_size = record.max_outbound_frame_size = saved


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def record(self, entry):
        with self.lock:
            self.log.write(json.dumps(entry) + "\n")
            self.log.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--settings", default="")
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Connection)
    server.folder = os.path.realpath(args.dir)
    server.log = open(args.log, "a")
    server.lock = threading.Lock()
    server.connections = 0
    server.seen = {}
    server.settings = {}
    for item in filter(None, args.settings.split(",")):
        key, _, value = item.partition("=")
        server.settings[getattr(h2.settings.SettingCodes, key.upper())] = int(value)
    server.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    server.context.load_cert_chain(args.cert, args.key)
    server.context.set_alpn_protocols(["h2"])
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
