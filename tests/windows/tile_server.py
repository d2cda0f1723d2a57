#!/usr/bin/env python3
"""Tiles on 127.0.0.1 for the Win32 track view's tests: GET /<mode>/<z>/<x>/<y>.png is one colour,
red 12 per level (plus 5 when served again), green x, blue y (mod 256), and only to a User-Agent
"Quorvel/...". Modes: fresh (kept a day), stale (kept no time), once (kept no time, then HTTP 500),
e500, broken (not a PNG), stall. Prints its port and one where nothing listens."""
import http.server, socket, struct, threading, time, zlib

AGES = {"fresh": 86400, "stale": 0, "once": 0}


def png(r, g, b, side=256):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = (b"\0" + bytes((r, g, b)) * side) * side
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    served, lock = set(), threading.Lock()

    def do_GET(self):
        parts = self.path.removesuffix(".png").split("/")
        mode = parts[1] if len(parts) == 5 else ""
        if mode == "stall":
            return time.sleep(60)
        with Handler.lock:
            again = self.path in Handler.served
            Handler.served.add(self.path)
        status, body = 200, b"not a picture"
        if not self.headers.get("User-Agent", "").startswith("Quorvel/"):
            status = 403
        elif mode == "e500" or (mode == "once" and again):
            status = 500
        elif mode in AGES:
            z, x, y = (int(p) for p in parts[2:])
            body = png(z * 12 + (5 if again else 0), x & 255, y & 255)
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "max-age=%d" % AGES.get(mode, 86400))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
with socket.socket() as unused:
    unused.bind(("127.0.0.1", 0))
    print(server.server_address[1], unused.getsockname()[1], flush=True)
server.serve_forever()
