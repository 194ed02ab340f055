"""Shared pieces of the local test peers: raw HTTP/1.1 request reading, a request recorder,
response writing, the ready file and the lifetime guard.

Stdlib only (run with /usr/bin/python3). Every peer binds loopback addresses only.
"""

from __future__ import annotations

import json
import os
import select
import socket
import socketserver
import ssl
import threading
import time
from dataclasses import dataclass, field

MAX_LINE = 64 * 1024
MAX_HEADER_LINES = 200
MAX_BODY = 64 * 1024 * 1024

LOOPBACK_HOSTS = ("127.0.0.1", "::1")


class ClientGone(Exception):
    """The client closed the connection before a whole request arrived."""


@dataclass
class Request:
    request_line: bytes
    header_block: bytes  # the header lines exactly as received, final empty line excluded
    headers: list[tuple[str, str]]
    body: bytes
    method: str = ""
    target: str = ""
    version: str = ""

    def header(self, name: str, default: str | None = None) -> str | None:
        lowered = name.lower()
        for key, value in self.headers:
            if key.lower() == lowered:
                return value
        return default

    def header_all(self, name: str) -> list[str]:
        lowered = name.lower()
        return [value for key, value in self.headers if key.lower() == lowered]

    def wants_close(self) -> bool:
        connection = (self.header("Connection") or "").lower()
        if self.version == "HTTP/1.0":
            return connection != "keep-alive"
        return connection == "close"


def _read_line(rfile) -> bytes:
    line = rfile.readline(MAX_LINE + 1)
    if len(line) > MAX_LINE:
        raise ValueError("line too long")
    return line


def read_request(rfile) -> Request:
    """Reads one request; raises ClientGone on a clean end of the connection."""
    line = _read_line(rfile)
    while line in (b"\r\n", b"\n"):  # tolerate stray blank lines between requests
        line = _read_line(rfile)
    if not line:
        raise ClientGone()
    request_line = line.rstrip(b"\r\n")
    parts = request_line.decode("latin-1").split()
    method, target, version = (parts + ["", "", ""])[:3]

    raw_lines: list[bytes] = []
    headers: list[tuple[str, str]] = []
    while True:
        line = _read_line(rfile)
        if not line:
            raise ClientGone()
        if line in (b"\r\n", b"\n"):
            break
        raw_lines.append(line)
        if len(raw_lines) > MAX_HEADER_LINES:
            raise ValueError("too many header lines")
        name, _, value = line.decode("latin-1").rstrip("\r\n").partition(":")
        headers.append((name.strip(), value.strip()))
    request = Request(request_line, b"".join(raw_lines), headers, b"", method, target, version)

    if (request.header("Transfer-Encoding") or "").lower() == "chunked":
        chunks = []
        total = 0
        while True:
            size_line = _read_line(rfile)
            if not size_line:
                raise ClientGone()
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            if size == 0:
                while _read_line(rfile) not in (b"\r\n", b"\n", b""):
                    pass
                break
            total += size
            if total > MAX_BODY:
                raise ValueError("body too large")
            chunks.append(rfile.read(size))
            rfile.readline()
        request.body = b"".join(chunks)
    else:
        length = int(request.header("Content-Length") or "0")
        if length > MAX_BODY:
            raise ValueError("body too large")
        body = rfile.read(length) if length else b""
        if len(body) < length:
            raise ClientGone()
        request.body = body
    return request


def response_bytes(status: int, reason: str, headers: list[tuple[str, str]], body: bytes,
                   close: bool = False, content_length: int | None = None) -> bytes:
    lines = [f"HTTP/1.1 {status} {reason}"]
    lines += [f"{name}: {value}" for name, value in headers]
    lines.append(f"Content-Length: {len(body) if content_length is None else content_length}")
    if close:
        lines.append("Connection: close")
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body


def wait_until_client_closes(sock: socket.socket, stop: threading.Event) -> None:
    """Holds a connection without answering until the client gives up (or the peer stops)."""
    sock.setblocking(True)
    while not stop.is_set():
        readable, _, _ = select.select([sock], [], [], 0.5)
        if readable:
            try:
                if not sock.recv(65536):
                    return
            except OSError:
                return


def reset_connection(sock: socket.socket) -> None:
    """Closes with a TCP reset instead of an orderly shutdown."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    sock.close()


@dataclass
class Recorder:
    """Every request a peer received, in order, for the tests to read back."""

    entries: list[dict] = field(default_factory=list)
    lock: threading.Lock = field(default_factory=threading.Lock)
    seq: int = 0

    def add(self, request: Request, client: str, tls: bool, extra: dict | None = None) -> dict:
        with self.lock:
            self.seq += 1
            entry = {
                "seq": self.seq,
                "time": time.time(),
                "client": client,
                "tls": tls,
                "request_line": request.request_line.decode("latin-1"),
                "method": request.method,
                "target": request.target,
                "headers_text": request.header_block.decode("latin-1"),
                "headers_hex": request.header_block.hex(),
                "body_hex": request.body.hex(),
                "body_length": len(request.body),
            }
            if extra:
                entry.update(extra)
            self.entries.append(entry)
            return entry

    def since(self, seq: int = 0) -> list[dict]:
        with self.lock:
            return [e for e in self.entries if e["seq"] > seq]

    def clear(self) -> None:
        with self.lock:
            self.entries.clear()


class LoopbackServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, host: str, port: int, handler, peer, tls_context: ssl.SSLContext | None = None):
        if host not in LOOPBACK_HOSTS:
            raise SystemExit(f"refusing to bind {host}: loopback only")
        self.address_family = socket.AF_INET6 if ":" in host else socket.AF_INET
        self.peer = peer
        self.tls_context = tls_context
        super().__init__((host, port), handler)


class ConnectionHandler(socketserver.BaseRequestHandler):
    """Wraps the socket in TLS when the server has a context, then hands over to the peer."""

    def handle(self) -> None:
        sock = self.request
        server: LoopbackServer = self.server  # type: ignore[assignment]
        if server.tls_context is not None:
            sock.settimeout(10)
            try:
                sock = server.tls_context.wrap_socket(sock, server_side=True)
            except (ssl.SSLError, OSError):
                return  # a client that refuses our certificate ends here
            sock.settimeout(None)
        try:
            server.peer.serve_connection(sock, self.client_address, server.tls_context is not None)
        except (ConnectionError, OSError, ssl.SSLError):
            pass
        finally:
            try:
                sock.close()
            except OSError:
                pass


def serve_in_background(server: socketserver.BaseServer) -> threading.Thread:
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
    thread.start()
    return thread


def write_ready_file(path: str | None, info: dict) -> None:
    """Announces the chosen ports; written whole (temporary file, then rename)."""
    if not path:
        return
    tmp = f"{path}.tmp{os.getpid()}"
    with open(tmp, "w", encoding="utf-8") as out:
        json.dump(info, out)
    os.replace(tmp, path)


def start_lifetime_guard(seconds: float, stop: threading.Event) -> None:
    """Ends the process after its lifetime, so a peer nobody stops never lingers."""
    if seconds <= 0:
        return

    def expire() -> None:
        if not stop.wait(seconds):
            os._exit(0)

    threading.Thread(target=expire, daemon=True).start()


def make_self_signed_context(workdir: str) -> ssl.SSLContext:
    """A server context with a fresh self-signed certificate for 127.0.0.1 (needs openssl)."""
    import subprocess

    cert = os.path.join(workdir, "peer-cert.pem")
    key = os.path.join(workdir, "peer-key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
         "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
         "-keyout", key, "-out", cert],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return make_context(cert, key)


def make_context(cert: str, key: str) -> ssl.SSLContext:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context
