#!/usr/bin/python3
"""A proxy in front of the test's web server that makes one kind of fault,
for the first COUNT requests it sees (of the GRIB files only, with
--data-only): refuse (reset the connection), delay (answer nothing for
DELAY seconds), 503, cut (the body cut after CUT bytes, the connection
closed), ignore-range (the Range header taken away), lie-range (another
Content-Range), short and long (a body shorter or longer than the range,
its Content-Length agreeing).  Every request is logged, one line each:
the fault made or 'forwarded'.  Standard library only.  It binds a free
port and writes it to --port-file; it ends by itself after --lifetime
seconds.
"""
import argparse
import http.client
import socket
import socketserver
import struct
import threading
import time

args = None
lock = threading.Lock()
seen = [0]


def log(line):
    with lock:
        with open(args.log, "a") as f:
            f.write(line + "\n")


def read_request(rfile):
    line = rfile.readline(65536)
    if not line:
        return None
    method, path, _ = line.decode("latin-1").split(" ", 2)
    headers = {}
    while True:
        h = rfile.readline(65536).decode("latin-1")
        if h in ("\r\n", "\n", ""):
            break
        k, v = h.split(":", 1)
        headers[k.strip()] = v.strip()
    return method, path, headers


def faulty(path):
    """Whether this request gets the fault."""
    if args.data_only and (path.endswith(".idx") or path.endswith(".index")):
        return False
    with lock:
        seen[0] += 1
        return seen[0] <= args.count


def send(wfile, status, reason, headers, body):
    out = "HTTP/1.1 %d %s\r\n" % (status, reason)
    for k, v in headers:
        out += "%s: %s\r\n" % (k, v)
    wfile.write(out.encode("latin-1") + b"\r\n" + body)
    wfile.flush()


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        while True:
            req = read_request(self.rfile)
            if req is None:
                return
            method, path, headers = req
            fault = args.mode if faulty(path) else None
            log("%s %s %s %s" % (fault or "forwarded", method, path, headers.get("Range", "-")))
            if fault == "refuse":
                self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            if fault == "delay":
                time.sleep(args.delay)
                return
            if fault == "503":
                send(self.wfile, 503, "Service Unavailable", [("Content-Length", "0")], b"")
                continue
            if fault == "ignore-range":
                headers.pop("Range", None)
            up = http.client.HTTPConnection("127.0.0.1", args.upstream, timeout=30)
            up.request(method, path, headers={k: v for k, v in headers.items() if k.lower() != "connection"})
            resp = up.getresponse()
            body = resp.read()
            up.close()
            kept = [(k, v) for k, v in resp.getheaders()
                    if k.lower() not in ("connection", "content-length", "transfer-encoding", "keep-alive")]
            if fault == "cut":
                send(self.wfile, resp.status, resp.reason, kept + [("Content-Length", str(len(body)))],
                     body[:args.cut])
                self.request.shutdown(socket.SHUT_RDWR)
                return
            if fault == "lie-range":
                kept = [(k, v) for k, v in kept if k.lower() != "content-range"]
                first, rest = resp.getheader("Content-Range", "bytes 0-0/0")[6:].split("-", 1)
                kept.append(("Content-Range", "bytes %d-%s" % (int(first) + 1, rest)))
            if fault == "short":
                body = body[:len(body) // 2]
            if fault == "long":
                body = body + b"7777" * 64
            send(self.wfile, resp.status, resp.reason, kept + [("Content-Length", str(len(body)))], body)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global args
    p = argparse.ArgumentParser()
    p.add_argument("--upstream", type=int, required=True)
    p.add_argument("--mode", required=True)
    p.add_argument("--count", type=int, default=1)
    p.add_argument("--cut", type=int, default=1000)
    p.add_argument("--delay", type=float, default=3)
    p.add_argument("--data-only", action="store_true")
    p.add_argument("--log", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--lifetime", type=float, default=120)
    args = p.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.rename(args.port_file + ".tmp", args.port_file)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
