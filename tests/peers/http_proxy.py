#!/usr/bin/python3
"""A small forward HTTP proxy for tests: it relays requests to loopback destinations only.

  - absolute-form requests ("GET http://127.0.0.1:8080/x HTTP/1.1") are recorded and forwarded
    to the origin with "Connection: close"; the answer is relayed as it comes and the client
    connection is closed after it;
  - CONNECT host:port opens a tunnel (for https through the proxy);
  - any destination outside 127.0.0.0/8 and ::1 (and the name localhost) is refused with 403.

Control endpoints, as origin-form requests to the proxy itself (never recorded):
  GET /_health, GET /_requests[?since=N] (JSON, same fields as push_service.py), POST /_reset

  http_proxy.py --port 0 --ready-file /tmp/proxy.json
"""

from __future__ import annotations

import argparse
import ipaddress
import json
import os
import select
import signal
import socket
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerhttp  # noqa: E402

HOP_BY_HOP = {"connection", "proxy-connection", "keep-alive", "proxy-authorization", "te", "trailer", "upgrade"}


def is_loopback(host: str) -> bool:
    host = host.strip("[]")
    if host.lower() == "localhost":
        return True
    try:
        return ipaddress.ip_address(host).is_loopback
    except ValueError:
        return False  # other names are never resolved: we only talk to loopback


class Proxy:
    def __init__(self) -> None:
        self.recorder = peerhttp.Recorder()
        self.stop = threading.Event()

    def serve_connection(self, sock, client, tls: bool) -> None:
        rfile = sock.makefile("rb")
        while not self.stop.is_set():
            try:
                request = peerhttp.read_request(rfile)
            except peerhttp.ClientGone:
                return
            except ValueError:
                sock.sendall(peerhttp.response_bytes(400, "Bad Request", [], b"bad request", close=True))
                return
            if request.target.startswith("/"):
                sock.sendall(self.control(request))
                if request.wants_close():
                    return
                continue
            client_text = f"{client[0]}:{client[1]}"
            if request.method == "CONNECT":
                self.recorder.add(request, client_text, tls)
                self.tunnel(sock, rfile, request.target)
                return
            self.recorder.add(request, client_text, tls)
            self.forward(sock, request)
            return

    def control(self, request: peerhttp.Request) -> bytes:
        url = urllib.parse.urlsplit(request.target)
        query = urllib.parse.parse_qs(url.query)
        if url.path == "/_requests":
            since = int(query.get("since", ["0"])[0] or 0)
            return peerhttp.response_bytes(200, "OK", [("Content-Type", "application/json")],
                                           json.dumps(self.recorder.since(since)).encode())
        if url.path == "/_reset":
            self.recorder.clear()
            return peerhttp.response_bytes(200, "OK", [], b"ok")
        if url.path == "/_health":
            return peerhttp.response_bytes(200, "OK", [], b"ok")
        return peerhttp.response_bytes(404, "Not Found", [], b"not a proxy request")

    def forward(self, sock, request: peerhttp.Request) -> None:
        url = urllib.parse.urlsplit(request.target)
        if url.scheme != "http" or not url.hostname or not is_loopback(url.hostname):
            sock.sendall(peerhttp.response_bytes(403, "Forbidden", [], b"loopback destinations only", close=True))
            return
        path = url.path or "/"
        if url.query:
            path += "?" + url.query
        lines = [f"{request.method} {path} {request.version or 'HTTP/1.1'}"]
        for name, value in request.headers:
            if name.lower() not in HOP_BY_HOP and name.lower() != "content-length":
                lines.append(f"{name}: {value}")
        if request.body or request.method not in ("GET", "HEAD"):
            lines.append(f"Content-Length: {len(request.body)}")
        lines.append("Connection: close")
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        try:
            with socket.create_connection((url.hostname, url.port or 80), timeout=30) as upstream:
                upstream.sendall(head + request.body)
                while True:
                    data = upstream.recv(65536)
                    if not data:
                        break
                    sock.sendall(data)
        except OSError:
            sock.sendall(peerhttp.response_bytes(502, "Bad Gateway", [], b"upstream failed", close=True))

    def tunnel(self, sock, rfile, target: str) -> None:
        host, _, port = target.rpartition(":")
        if not is_loopback(host) or not port.isdigit():
            sock.sendall(peerhttp.response_bytes(403, "Forbidden", [], b"loopback destinations only", close=True))
            return
        try:
            upstream = socket.create_connection((host.strip("[]"), int(port)), timeout=30)
        except OSError:
            sock.sendall(peerhttp.response_bytes(502, "Bad Gateway", [], b"", close=True))
            return
        # The client waits for this line before it sends a byte of the tunnel, so nothing
        # can be left unread in rfile's buffer.
        sock.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        with upstream:
            upstream.settimeout(None)
            ends = [sock, upstream]
            while not self.stop.is_set():
                readable, _, _ = select.select(ends, [], [], 0.5)
                for end in readable:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is sock else sock).sendall(data)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="loopback address to bind")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--ready-file", help="JSON file written once listening: pid, host, port")
    parser.add_argument("--max-lifetime", type=float, default=1800.0,
                        help="exit after this many seconds even if nobody stops us; 0 = never")
    args = parser.parse_args()

    proxy = Proxy()
    server = peerhttp.LoopbackServer(args.host, args.port, peerhttp.ConnectionHandler, proxy)
    info = {"pid": os.getpid(), "host": args.host, "port": server.server_address[1]}

    def shut_down(*_):
        proxy.stop.set()

    signal.signal(signal.SIGTERM, shut_down)
    signal.signal(signal.SIGINT, shut_down)
    peerhttp.serve_in_background(server)
    peerhttp.start_lifetime_guard(args.max_lifetime, proxy.stop)
    peerhttp.write_ready_file(args.ready_file, info)
    print(json.dumps(info), flush=True)
    proxy.stop.wait()
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
