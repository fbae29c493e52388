#!/usr/bin/env python3
"""A local stand-in for the update's servers, for the demo and the program tests.

Serves one package file at /package.zip (optionally slowed down, so that a pause can be
seen) and collects event reports: every POST is answered with the result envelope and
recorded as one JSON line in the events file. Analytics batches (POST /sa, a form of
crc, gzip and data_list: Base64 of a gzip stream of a JSON array) are decoded and their
checksum verified. Prints the chosen port on its first line.

usage: demo-server.py PACKAGE EVENTS_FILE [--rate BYTES_PER_SECOND]
"""
import base64
import gzip
import json
import urllib.parse
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

package_path, events_path = sys.argv[1], sys.argv[2]
rate = 0
if "--rate" in sys.argv:
    rate = int(sys.argv[sys.argv.index("--rate") + 1])
lock = threading.Lock()


def names_in(value):
    """Event names found anywhere in a decoded report (keys that name an event)."""
    found = []
    if isinstance(value, dict):
        for key in ("event", "eventId", "event_id", "name"):
            if isinstance(value.get(key), str):
                found.append(value[key])
                break
        for item in value.values():
            found += names_in(item)
    elif isinstance(value, list):
        for item in value:
            found += names_in(item)
    return found


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.split("?")[0] != "/package.zip":
            self.send_error(404)
            return
        data = open(package_path, "rb").read()
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        chunk = 16 * 1024
        for start in range(0, len(data), chunk):
            try:
                self.wfile.write(data[start:start + chunk])
                self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                return
            if rate:
                time.sleep(chunk / rate)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0") or 0))
        if self.path.startswith("/sa"):
            self.record({"path": self.path, "bytes": len(body), "analytics": True, "events": analytics_events(body)})
            self.reply(b"ok", "text/plain")
            return
        encoding = self.headers.get("Content-Encoding", "")
        try:
            if encoding == "gzip":
                body = gzip.decompress(body)
            elif encoding == "deflate":
                body = zlib.decompress(body)
        except Exception:
            pass
        try:
            decoded = json.loads(body.decode("utf-8"))
        except Exception:
            decoded = None
        self.record({"path": self.path, "bytes": len(body), "events": names_in(decoded) if decoded is not None else []})
        self.reply(json.dumps({"code": 0, "msg": "ok", "data": None}).encode(), "application/json")

    def record(self, record):
        with lock, open(events_path, "a") as out:
            out.write(json.dumps(record, ensure_ascii=False) + "\n")

    def reply(self, body, content_type):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def java_hash(text):
    """The batch checksum: h = h * 31 + each UTF-16 unit, as a signed 32-bit number."""
    encoded = text.encode("utf-16-be")
    h = 0
    for unit in (int.from_bytes(encoded[i:i + 2], "big") for i in range(0, len(encoded), 2)):
        h = (h * 31 + unit) & 0xFFFFFFFF
    return h - (1 << 32) if h >= 1 << 31 else h


def analytics_events(body):
    """The event names of one analytics batch, each with its properties' super keys."""
    form = urllib.parse.parse_qs(body.decode("utf-8"), keep_blank_values=True)
    data_list = form.get("data_list", [""])[0]
    if str(java_hash(data_list)) != form.get("crc", [""])[0]:
        return ["(checksum mismatch)"]
    events = json.loads(gzip.decompress(base64.b64decode(data_list)))
    return [e.get("event") or e.get("type", "?") for e in events]


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
