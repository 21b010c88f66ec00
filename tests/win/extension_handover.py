#!/usr/bin/env python3
"""Headless Chromium with the extension loaded opens a page served on
127.0.0.1 whose picture is made by its script, calls ferrowAnalyse in the
extension's service worker over the DevTools pipe, and checks what the
native host received and what the worker's promise resolved to.

usage: extension_handover.py --extension DIR --host WRAPPER --work DIR
The wrapper leaves the framed message in WORK/message and its arguments in
WORK/arguments."""
import argparse
import fcntl
import http.server
import json
import os
import select
import struct
import subprocess
import sys
import threading
import time
import zlib

EXTENSION_ID = "idejaphapmgaefndihkndmnekkkhombd"  # kExtensionChromiumId

# The title is cut at 300 UTF-16 units, here between the halves of a pair.
TITLE = "x" * 299 + "\U0001F5BC"
PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>@TITLE@</title>
<style>
.banner { width: 200px; height: 50px; background-image: url("pics/back.png"); }
.hidden { width: 200px; height: 50px; background-image: url(pics/hidden.png); visibility: hidden; }
</style></head>
<body><div class="banner"></div><div class="hidden"></div><div id="gallery"></div>
<script>
addEventListener("load", () => {
  const img = document.createElement("img");
  img.id = "made";
  img.src = "pics/made.png?by=script";
  // Text a script made may hold a lone surrogate.
  document.getElementById("gallery").append(img, "\\ud800");
});
</script></body></html>
""".replace("@TITLE@", TITLE).encode()


def png():
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"\0\xff\0\0")) + chunk(b"IEND", b""))


class Site(http.server.BaseHTTPRequestHandler):
    # Every request: method, path, User-Agent, Cookie and the status given.
    seen = []

    def do_GET(self):
        self.serve(True)

    def do_HEAD(self):
        self.serve(False)

    def serve(self, body):
        status = 200
        if self.path == "/gallery.html":
            self.answer("text/html; charset=utf-8", PAGE, body, ["session=abc123; Path=/"])
        elif self.path.startswith("/pics/made.png") and "session=abc123" not in self.headers.get("Cookie", ""):
            status = 403  # the script's picture is only for a signed-in reader
            self.send_error(403)
        elif self.path.startswith("/pics/"):
            self.answer("image/png", png(), body)
        else:
            status = 404
            self.send_error(404)
        Site.seen.append((self.command, self.path, self.headers.get("User-Agent", ""),
                          self.headers.get("Cookie", ""), status))

    def answer(self, kind, content, body, cookies=()):
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(content)))
        for cookie in cookies:
            self.send_header("Set-Cookie", cookie)
        self.end_headers()
        if body:
            self.wfile.write(content)

    def log_message(self, *args):
        pass


class Browser:
    """Chromium driven over --remote-debugging-pipe: JSON messages ending
    in NUL, commands on its fd 3, answers and events on its fd 4."""

    def __init__(self, arguments, log):
        to_browser = os.pipe()
        from_browser = os.pipe()

        def place():
            # Above 4 first, so that placing one cannot close the other.
            reading = fcntl.fcntl(to_browser[0], fcntl.F_DUPFD, 10)
            writing = fcntl.fcntl(from_browser[1], fcntl.F_DUPFD, 10)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen(["chromium", "--remote-debugging-pipe", *arguments],
                                        pass_fds=(3, 4), preexec_fn=place, stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=log)
        os.close(to_browser[0])
        os.close(from_browser[1])
        self.send_to, self.read_from = to_browser[1], from_browser[0]
        self.pending = b""
        self.last = 0

    def call(self, method, session=None, timeout=10, **params):
        self.last += 1
        command = {"id": self.last, "method": method, "params": params}
        if session:
            command["sessionId"] = session
        os.write(self.send_to, json.dumps(command).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            while b"\0" not in self.pending:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([self.read_from], [], [], left)[0]:
                    raise TimeoutError(f"{method}: no answer in {timeout} s")
                piece = os.read(self.read_from, 1 << 20)
                if not piece:
                    raise ConnectionError(f"{method}: the browser closed the pipe")
                self.pending += piece
            text, self.pending = self.pending.split(b"\0", 1)
            message = json.loads(text)
            if message.get("id") == self.last:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]

    def evaluate(self, session, expression, timeout=10):
        result = self.call("Runtime.evaluate", session, timeout, expression=expression,
                           awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def attach(self, target):
        return self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def wait_for(what, check, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.2)
    raise TimeoutError(f"{what}: not within {seconds} s")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--extension", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()

    profile = os.path.join(args.work, "profile")
    hosts = os.path.join(profile, "NativeMessagingHosts")
    os.makedirs(hosts)
    with open(os.path.join(hosts, "ferrow.handover.json"), "w") as manifest:
        json.dump({"name": "ferrow.handover", "description": "Ferrow", "path": args.host,
                   "type": "stdio", "allowed_origins": [f"chrome-extension://{EXTENSION_ID}/"]},
                  manifest)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_port}/"
    page_url = base + "gallery.html"

    log_path = os.path.join(args.work, "chromium.log")
    browser = Browser(["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--disable-background-networking", "--disable-component-update",
                       "--disable-sync", "--disable-quic", f"--user-data-dir={profile}",
                       f"--load-extension={args.extension}", "about:blank"],
                      open(log_path, "wb"))
    try:
        reply = hand_over(browser, page_url)
        # The Ferrow.exe the host started checks the pictures (HEAD) with the
        # browser's cookie and User-Agent: the gated one answers 200.
        ferrow = lambda: [s for s in Site.seen if s[0] == "HEAD" and s[1] == "/pics/made.png?by=script"]
        checked = wait_for("Ferrow's HEAD check of the script's picture", ferrow, 60)
    except Exception as error:
        print(f"FAIL: {error}")
        with open(log_path, errors="replace") as log:
            lines = [line for line in log if "dbus" not in line]
        print("chromium said:\n" + "".join(lines[-20:]))
        return 1
    finally:
        browser.close()
        server.shutdown()

    failures = []
    check = lambda ok, text: ok or failures.append(text)
    check(reply == {"ok": True}, f"the worker's promise resolved to {reply}")
    with open(os.path.join(args.work, "arguments")) as arguments:
        check(f"chrome-extension://{EXTENSION_ID}/" in arguments.read().split(),
              "the host was not given the extension's origin")
    with open(os.path.join(args.work, "message"), "rb") as framed:
        data = framed.read()
    (length,) = struct.unpack("<I", data[:4])
    check(length == len(data) - 4, f"frame length {length} for {len(data) - 4} bytes")
    message = json.loads(data[4:])
    check(message.get("kind") == "page", f"kind {message.get('kind')}")
    check(message.get("url") == page_url, f"url {message.get('url')}")
    check(message.get("title") == TITLE[:299], f"title {message.get('title')!r}")
    check('id="made"' in message.get("html", ""), "the markup lacks the script's picture")
    check("\ufffd" in message.get("html", ""), "the lone surrogate was not replaced")
    pictures = message.get("pictures", [])
    check(base + "pics/made.png?by=script" in pictures, f"no currentSrc in {pictures}")
    check(base + "pics/back.png" in pictures, f"no background picture in {pictures}")
    check(base + "pics/hidden.png" not in pictures, "a hidden element's background was taken")
    session = [c for c in message.get("cookies", []) if c.get("name") == "session"]
    check(len(session) == 1 and session[0].get("value") == "abc123" and
          session[0].get("domain") == "127.0.0.1" and session[0].get("path") == "/" and
          session[0].get("hostOnly") is True, f"server's cookie: {session}")
    check("Chrome/" in message.get("userAgent", ""), f"userAgent {message.get('userAgent')}")
    check(checked[0][2] == message.get("userAgent") and checked[0][4] == 200,
          f"Ferrow's check of the gated picture: {checked[0]}")
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


def hand_over(browser, page_url):
    """The page opened, its picture shown, then ferrowAnalyse on its tab:
    what the worker's promise resolved to."""
    worker_url = f"chrome-extension://{EXTENSION_ID}/background.js"

    def worker():
        targets = browser.call("Target.getTargets")["targetInfos"]
        return next((t["targetId"] for t in targets
                     if t["type"] == "service_worker" and t["url"] == worker_url), None)

    worker_session = browser.attach(wait_for("the extension's service worker", worker, 20))
    page = browser.call("Target.createTarget", url=page_url)["targetId"]
    page_session = browser.attach(page)
    wait_for("the script's picture", lambda: browser.evaluate(
        page_session, "(() => { const i = document.getElementById('made');"
                      " return !!(i && i.complete && i.naturalWidth > 0); })()"), 20)
    # The host runs under Wine: its first start may take a while.
    return browser.evaluate(worker_session, f"""(async () => {{
        const tabs = await chrome.tabs.query({{}});
        const tab = tabs.find((t) => t.url === {json.dumps(page_url)});
        if (!tab) return {{error: "no tab for the page"}};
        return ferrowAnalyse(tab.id);
    }})()""", timeout=90)


if __name__ == "__main__":
    sys.exit(main())
