#!/usr/bin/env python3
"""A local stand-in for the update's servers, for the demo and the program tests.

Serves one package file at /package.zip (optionally slowed down, so that a pause can be
seen) and collects event reports: every POST is answered with the result envelope and
recorded as one JSON line in the events file. Prints the chosen port on its first line.

usage: demo-server.py PACKAGE EVENTS_FILE [--rate BYTES_PER_SECOND]
"""
import gzip
import json
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
        record = {"path": self.path, "bytes": len(body), "events": names_in(decoded) if decoded is not None else []}
        with lock, open(events_path, "a") as out:
            out.write(json.dumps(record, ensure_ascii=False) + "\n")
        reply = json.dumps({"code": 0, "msg": "ok", "data": None}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
