#!/usr/bin/python3
"""A local stand-in for the WeChat push service's message API, for tests and benches.

It listens on 127.0.0.1 only, records every request exactly as it arrived (request line, raw
header bytes, body bytes) and answers POST /api/send/message the way the real service does:

  success     {"code":1000,"msg":"处理成功","data":[{...per topic...}],"success":true}
  refusal     {"code":1001,"msg":"<reason>","data":null,"success":false}
              for an unknown appToken, a content over 40000 characters, no topicIds/uids,
              a body that is not JSON, and more calls per token than the rate limit allows
              (default 20 per 10 s).

Control endpoints (never recorded):
  GET  /_health            "ok"
  GET  /_requests[?since=N] JSON list of recorded requests (see Recorder in peerhttp.py):
                           request_line, headers_text, headers_hex, body_hex, tls, seq, ...
  POST /_reset             forget requests and rate-limit history, mode back to "ok"
  GET  /_mode, POST /_mode  read or set the global mode (body: a mode setting)

Misbehaviour modes, set globally (POST /_mode) or per request with a path prefix
/_mode/<mode>/<rest of path> (the rest is then served as the path):
  ok          normal answers (default)
  bare        success answers without the "success" field (only "code" tells)
  slow:S      wait S seconds (fractions allowed), then answer normally
  status500   HTTP 500 with an HTML error page that happens to contain "true"
  reset       read the request, then close with a TCP reset
  close       read the request, then close without a word
  never       read the request and never answer (the connection is held until the client
              closes it)
  garbage     200 with binary garbage (zero bytes, invalid UTF-8, the word true)
  malformed   200 with a truncated JSON document that starts like a success
  huge:M      200 with an M MiB body (default 64), streamed
  redirect    302 to ?location= (default /api/send/message) with two Set-Cookie lines
              (sid=42; Path=/ and a=1), or the ?cookie= values given

Any other path answers 200 "ok", shaped by query parameters: status=<code>,
location=<url>, cookie=<Set-Cookie value> (repeatable), header=<Name: value> (repeatable),
body=<text, sent as UTF-8>.

Start it directly, or through peerctl.py for CTest fixtures:
  push_service.py --port 0 --ready-file /tmp/push.json [--tls]
The ready file (JSON: pid, host, port and with --tls tls_port and tls_ports) appears once it
listens.
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import random
import signal
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peerhttp  # noqa: E402

API_PATH = "/api/send/message"
CONTENT_LIMIT = 40000
MAX_TOPICS = 5
JSON_TYPE = "application/json;charset=UTF-8"


def answer_json(payload: dict) -> bytes:
    return json.dumps(payload, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def refusal(message: str) -> dict:
    return {"code": 1001, "msg": message, "data": None, "success": False}


class Mode:
    def __init__(self, setting: str):
        name, _, arg = (setting or "ok").partition(":")
        self.name = name or "ok"
        self.arg = arg
        if self.name not in {"ok", "bare", "slow", "status500", "reset", "close", "never",
                             "garbage", "malformed", "huge", "redirect"}:
            raise ValueError(f"unknown mode {setting!r}")

    def number(self, default: float) -> float:
        return float(self.arg) if self.arg else default

    def __str__(self) -> str:
        return f"{self.name}:{self.arg}" if self.arg else self.name


class PushService:
    def __init__(self, args: argparse.Namespace):
        self.tokens = set(args.app_token)
        self.accept_any_token = args.accept_any_token
        self.rate_limit = args.rate_limit
        self.rate_window = args.rate_window
        self.recorder = peerhttp.Recorder()
        self.lock = threading.Lock()
        self.mode = Mode(args.mode)
        self.calls: dict[str, collections.deque] = collections.defaultdict(collections.deque)
        self.next_id = 1_000_000
        self.stop = threading.Event()

    # -- connection loop ---------------------------------------------------------------------

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
            if not self.handle(sock, request, f"{client[0]}:{client[1]}", tls):
                return
            if request.wants_close():
                return

    def handle(self, sock, request: peerhttp.Request, client: str, tls: bool) -> bool:
        """Answers one request; False when the connection must end."""
        url = urllib.parse.urlsplit(request.target)
        path = url.path
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)

        control = self.control(request, path, query)
        if control is not None:
            sock.sendall(control)
            return True

        mode = self.current_mode()
        if path.startswith("/_mode/"):
            setting, _, rest = path[len("/_mode/"):].partition("/")
            try:
                mode = Mode(urllib.parse.unquote(setting))
            except ValueError as error:
                sock.sendall(peerhttp.response_bytes(400, "Bad Request", [], str(error).encode()))
                return True
            path = "/" + rest
        self.recorder.add(request, client, tls, {"path": path, "mode": str(mode)})

        if mode.name == "never":
            peerhttp.wait_until_client_closes(sock, self.stop)
            return False
        if mode.name == "reset":
            peerhttp.reset_connection(sock)
            return False
        if mode.name == "close":
            return False
        if mode.name == "slow":
            time.sleep(mode.number(3.0))
        if mode.name == "status500":
            page = (b"<html><head><title>500 Internal Server Error</title></head><body>"
                    b"<h1>Internal Server Error</h1><p>retry=true</p></body></html>")
            sock.sendall(peerhttp.response_bytes(500, "Internal Server Error",
                                                 [("Content-Type", "text/html")], page))
            return True
        if mode.name == "garbage":
            rng = random.Random(request.body)
            junk = bytes(rng.randrange(256) for _ in range(4096)) + b"\x00true\xff\xfe\xc3"
            sock.sendall(peerhttp.response_bytes(200, "OK", [("Content-Type", JSON_TYPE)], junk))
            return True
        if mode.name == "malformed":
            sock.sendall(peerhttp.response_bytes(
                200, "OK", [("Content-Type", JSON_TYPE)],
                '{"code":1000,"msg":"处理成功","data":[{"code":1000,"status":"ok"'.encode("utf-8")))
            return True
        if mode.name == "huge":
            self.send_huge(sock, int(mode.number(64) * 1024 * 1024))
            return False
        if mode.name == "redirect":
            location = query.get("location", [API_PATH])[0]
            cookies = query.get("cookie") or ["sid=42; Path=/", "a=1"]
            headers = [("Location", location)] + [("Set-Cookie", c) for c in cookies]
            sock.sendall(peerhttp.response_bytes(302, "Found", headers, b"moved"))
            return True

        if path == API_PATH:
            sock.sendall(self.push(request, bare=mode.name == "bare"))
        else:
            sock.sendall(self.generic(query))
        return True

    # -- endpoints ---------------------------------------------------------------------------

    def control(self, request: peerhttp.Request, path: str, query: dict) -> bytes | None:
        ok = [("Content-Type", "text/plain")]
        if path == "/_health":
            return peerhttp.response_bytes(200, "OK", ok, b"ok")
        if path == "/_requests":
            since = int(query.get("since", ["0"])[0] or 0)
            body = json.dumps(self.recorder.since(since)).encode()
            return peerhttp.response_bytes(200, "OK", [("Content-Type", "application/json")], body)
        if path == "/_reset":
            with self.lock:
                self.recorder.clear()
                self.calls.clear()
                self.mode = Mode("ok")
            return peerhttp.response_bytes(200, "OK", ok, b"ok")
        if path == "/_mode":
            if request.method == "POST":
                try:
                    new_mode = Mode(request.body.decode("utf-8").strip())
                except ValueError as error:
                    return peerhttp.response_bytes(400, "Bad Request", ok, str(error).encode())
                with self.lock:
                    self.mode = new_mode
            return peerhttp.response_bytes(200, "OK", ok, str(self.current_mode()).encode())
        return None

    def current_mode(self) -> Mode:
        with self.lock:
            return self.mode

    def push(self, request: peerhttp.Request, bare: bool) -> bytes:
        def answer(payload: dict, status: int = 200) -> bytes:
            return peerhttp.response_bytes(status, "OK", [("Content-Type", JSON_TYPE)], answer_json(payload))

        if request.method != "POST":
            return answer(refusal("请使用POST请求"))
        try:
            message = json.loads(request.body.decode("utf-8"))
            if not isinstance(message, dict):
                raise ValueError("not an object")
        except (UnicodeDecodeError, ValueError):
            return answer(refusal("请求参数错误，请检查JSON格式"))

        token = message.get("appToken")
        if not isinstance(token, str) or not (token in self.tokens or (self.accept_any_token and token)):
            return answer(refusal("appToken不正确，请检查"))
        if not self.take_call(token):
            return answer(refusal("调用频率过快，请稍后再试"))
        content = message.get("content")
        if not isinstance(content, str) or not content:
            return answer(refusal("content不能为空"))
        if len(content) > CONTENT_LIMIT:
            return answer(refusal(f"content长度不能超过{CONTENT_LIMIT}个字符"))
        topics = message.get("topicIds") or []
        uids = message.get("uids") or []
        if not isinstance(topics, list) or not all(isinstance(t, int) for t in topics):
            return answer(refusal("topicIds格式错误"))
        if len(topics) > MAX_TOPICS:
            return answer(refusal(f"topicIds最多{MAX_TOPICS}个"))
        if not topics and not uids:
            return answer(refusal("uids和topicIds不能同时为空"))

        data = []
        with self.lock:
            for target in list(topics) + list(uids):
                self.next_id += 1
                data.append({"uid": target if isinstance(target, str) else None,
                             "topicId": target if isinstance(target, int) else None,
                             "messageId": self.next_id, "messageContentId": self.next_id,
                             "sendRecordId": self.next_id, "code": 1000, "status": "创建发送任务成功"})
        payload = {"code": 1000, "msg": "处理成功", "data": data}
        if not bare:
            payload["success"] = True
        return answer(payload)

    def take_call(self, token: str) -> bool:
        """Sliding window per token: at most rate_limit accepted calls per rate_window seconds."""
        now = time.monotonic()
        with self.lock:
            calls = self.calls[token]
            while calls and now - calls[0] >= self.rate_window:
                calls.popleft()
            if self.rate_limit > 0 and len(calls) >= self.rate_limit:
                return False
            calls.append(now)
            return True

    def generic(self, query: dict) -> bytes:
        status = int(query.get("status", ["200"])[0] or 200)
        headers = [("Content-Type", "text/plain;charset=UTF-8")]
        if "location" in query:
            headers.append(("Location", query["location"][0]))
        headers += [("Set-Cookie", c) for c in query.get("cookie", [])]
        for line in query.get("header", []):
            name, _, value = line.partition(":")
            headers.append((name.strip(), value.strip()))
        body = query.get("body", ["ok"])[0].encode("utf-8")
        return peerhttp.response_bytes(status, "Found" if status == 302 else "Status", headers, body)

    def send_huge(self, sock, size: int) -> None:
        head = peerhttp.response_bytes(200, "OK", [("Content-Type", JSON_TYPE)], b"", close=True,
                                       content_length=size)
        piece = (b'{"code":1000,"success":true,"filler":"' + b"x" * 65000 + b'"},')[:65536]
        try:
            sock.sendall(head)
            sent = 0
            while sent < size and not self.stop.is_set():
                chunk = piece[: size - sent]
                sock.sendall(chunk)
                sent += len(chunk)
        except OSError:
            pass  # the client stopped reading: that is what a size cap does


def main() -> int:
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="loopback address to bind (127.0.0.1 or ::1)")
    parser.add_argument("--port", type=int, default=0, help="plain HTTP port; 0 picks a free one")
    parser.add_argument("--tls", action="store_true",
                        help="also listen with TLS on a second port, self-signed certificate (needs openssl)")
    parser.add_argument("--tls-port", type=int, default=0, help="TLS port with --tls; 0 picks a free one")
    parser.add_argument("--tls-count", type=int, default=1,
                        help="number of TLS listeners (free ports), for clients that keep connections alive "
                             "per host and port: tests that must not share a connection use different ports")
    parser.add_argument("--tls-cert", help="certificate PEM for TLS instead of a self-signed one")
    parser.add_argument("--tls-key", help="key PEM that goes with --tls-cert")
    parser.add_argument("--ready-file", help="JSON file written once listening: pid, host, port, tls_port")
    parser.add_argument("--app-token", action="append", default=[],
                        help="accepted appToken (repeatable); default AT_uptorra_test")
    parser.add_argument("--accept-any-token", action="store_true", help="accept every non-empty appToken")
    parser.add_argument("--rate-limit", type=int, default=20, help="accepted calls per window and token; 0 = no limit")
    parser.add_argument("--rate-window", type=float, default=10.0, help="rate-limit window in seconds")
    parser.add_argument("--mode", default="ok", help="initial global mode (see above)")
    parser.add_argument("--max-lifetime", type=float, default=1800.0,
                        help="exit after this many seconds even if nobody stops us; 0 = never")
    args = parser.parse_args()
    if not args.app_token:
        args.app_token = ["AT_uptorra_test"]

    service = PushService(args)
    servers = [peerhttp.LoopbackServer(args.host, args.port, peerhttp.ConnectionHandler, service)]
    info = {"pid": os.getpid(), "host": args.host, "port": servers[0].server_address[1]}
    if args.tls or args.tls_cert:
        with tempfile.TemporaryDirectory(prefix="push-tls-") as workdir:
            context = (peerhttp.make_context(args.tls_cert, args.tls_key) if args.tls_cert
                       else peerhttp.make_self_signed_context(workdir))
        tls_ports = []
        for index in range(max(1, args.tls_count)):
            port = args.tls_port if index == 0 else 0
            tls_server = peerhttp.LoopbackServer(args.host, port, peerhttp.ConnectionHandler, service, context)
            servers.append(tls_server)
            tls_ports.append(tls_server.server_address[1])
        info["tls_port"] = tls_ports[0]
        info["tls_ports"] = tls_ports

    def shut_down(*_):
        service.stop.set()

    signal.signal(signal.SIGTERM, shut_down)
    signal.signal(signal.SIGINT, shut_down)
    for server in servers:
        peerhttp.serve_in_background(server)
    peerhttp.start_lifetime_guard(args.max_lifetime, service.stop)
    peerhttp.write_ready_file(args.ready_file, info)
    print(json.dumps(info), flush=True)
    service.stop.wait()
    for server in servers:
        server.shutdown()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
