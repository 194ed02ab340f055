#!/usr/bin/python3
"""Loopback SMTP peers for the mail tests (aiosmtpd), run by CTest fixtures.

    smtp_server.py start --dir DIR   make the test certificates if missing, start the server in
                                     the background, wait until it listens, write DIR/ports.txt
    smtp_server.py stop --dir DIR    stop the server started from DIR
    smtp_server.py serve --dir DIR   the server itself (what "start" runs)

Listeners, all on loopback:
    plain      no TLS, AUTH LOGIN and PLAIN offered without TLS, log-in required
    plainonly  as plain, but only AUTH PLAIN is offered
    open       no TLS, no AUTH at all (a relay inside a LAN)
    silent     accepts connections and never says a word
    starttls   STARTTLS offered and required before AUTH and MAIL
    implicit   TLS from the first byte (as ports 465 and 994 of the providers)
    mismatch   as starttls, but on 127.0.0.2, which the certificate does not name
    wrongname  as starttls, with a certificate of the test CA for mail.other.test only
    untrusted  as starttls, with a self-signed certificate of the right names
    implicit465  implicit TLS on the real port 465 of 127.0.0.1, when that port can be had (0 if not)

Every accepted message is written to DIR/mail/<first recipient>.<n>.json (n counts the messages to
that recipient from 1) with its headers decoded by
Python's own e-mail parser, so a test compares what an independent reader made of our encoding.
Special recipients (local part): "refused" is refused at RCPT, "nodata" at the end of DATA,
"drop" makes the server hang up after RCPT. The sender "banned@..." is refused at MAIL.
"""
import argparse
import asyncio
import base64
import email
import email.policy
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import time
from pathlib import Path

USER = "sender@uptorra.test"
PASSWORD = "Right-Code-123"
MAX_LIFETIME_S = 30 * 60  # a forgotten server ends on its own
READY_TIMEOUT_S = 20


def make_certificates(folder: Path) -> None:
    """A test CA and a server certificate for localhost and 127.0.0.1, made once per build folder
    so that the CA the tests import into the Wine prefix stays the same from run to run."""
    if all((folder / name).exists() for name in ("server.pem", "rogue.pem", "wrongname.pem", "ca.der")):
        return
    folder.mkdir(parents=True, exist_ok=True)

    def openssl(*args: str) -> None:
        subprocess.run(["openssl", *args], check=True, cwd=folder,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    (folder / "server.ext").write_text(
        "basicConstraints=CA:FALSE\n"
        "keyUsage=digitalSignature,keyEncipherment\n"
        "extendedKeyUsage=serverAuth\n"
        "subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650",
            "-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Uptorra Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key",
            "-out", "server.csr", "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "825", "-extfile", "server.ext", "-out", "server.pem")
    # Signed by the test CA, but for another name only.
    (folder / "wrongname.ext").write_text(
        "basicConstraints=CA:FALSE\n"
        "extendedKeyUsage=serverAuth\n"
        "subjectAltName=DNS:mail.other.test\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "wrongname.key",
            "-out", "wrongname.csr", "-subj", "/CN=mail.other.test")
    openssl("x509", "-req", "-in", "wrongname.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "825", "-extfile", "wrongname.ext", "-out", "wrongname.pem")
    # Right names, but signed by nobody the client trusts.
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "825",
            "-keyout", "rogue.key", "-out", "rogue.pem", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
            "-addext", "extendedKeyUsage=serverAuth")
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der.tmp")
    os.replace(folder / "ca.der.tmp", folder / "ca.der")


class Recorder:
    """The handler of every SMTP listener."""

    counts: dict = {}  # messages per recipient, over all listeners

    def __init__(self, name: str, mail_dir: Path):
        self.name = name
        self.mail_dir = mail_dir

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if address.lower().startswith("banned@"):
            return "553 5.7.1 Sender refused"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.split("@")[0].lower()
        if local == "refused":
            return "550 5.1.1 Mailbox unavailable"
        if local == "drop":
            server.transport.close()
            return "421 Closing"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if envelope.rcpt_tos[0].split("@")[0].lower() == "nodata":
            return "554 5.6.0 Message refused"
        raw = envelope.original_content or envelope.content
        message = email.message_from_bytes(raw, policy=email.policy.default)
        sender = message["From"]
        to = message["To"]
        record = {
            "listener": self.name,
            # session.ssl is set only by STARTTLS; the transport knows for implicit TLS too.
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "login": auth_value(session, "login"),
            "auth_mechanism": auth_value(session, "mechanism"),
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "subject": str(message["Subject"]) if message["Subject"] is not None else None,
            "from_name": sender.addresses[0].display_name if sender else None,
            "from_address": sender.addresses[0].addr_spec if sender else None,
            "to_address": to.addresses[0].addr_spec if to else None,
            "date": str(message["Date"]) if message["Date"] is not None else None,
            "date_parsed": message["Date"].datetime is not None if message["Date"] is not None else False,
            "message_id": str(message["Message-ID"]) if message["Message-ID"] is not None else None,
            "mime_version": str(message["MIME-Version"]) if message["MIME-Version"] is not None else None,
            "content_type": message.get_content_type(),
            "charset": message.get_content_charset(),
            "transfer_encoding": str(message["Content-Transfer-Encoding"]),
            "body": message.get_content() if message.get_content_maintype() == "text" else None,
            "defects": [type(d).__name__ for d in message.defects],
            "raw": base64.b64encode(raw).decode("ascii"),
        }
        name = "".join(c if c.isalnum() or c in "-_.@" else "_" for c in envelope.rcpt_tos[0])
        self.counts[name] = self.counts.get(name, 0) + 1
        target = self.mail_dir / f"{name}.{self.counts[name]}.json"
        temp = self.mail_dir / f"{name}.tmp"
        temp.write_text(json.dumps(record, ensure_ascii=False), encoding="utf-8")
        os.replace(temp, target)
        return "250 OK queued"


def auth_value(session, key: str) -> str | None:
    data = session.auth_data
    return data.get(key) if isinstance(data, dict) else None


def authenticator(server, session, envelope, mechanism, auth_data):
    from aiosmtpd.smtp import AuthResult, LoginPassword
    ok = (isinstance(auth_data, LoginPassword)
          and auth_data.login == USER.encode() and auth_data.password == PASSWORD.encode())
    record = {"login": auth_data.login.decode("utf-8", "replace"), "mechanism": mechanism} if ok else None
    # handled=False: let aiosmtpd answer 535 itself on a failure (by default it stays silent).
    return AuthResult(success=ok, handled=False, auth_data=record)


class Silent(asyncio.Protocol):
    """Takes the connection and never greets."""

    def connection_made(self, transport):
        self.transport = transport


async def serve(folder: Path) -> None:
    from aiosmtpd.smtp import SMTP

    mail_dir = folder / "mail"
    mail_dir.mkdir(exist_ok=True)
    for old in mail_dir.glob("*"):
        old.unlink()

    server_tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    server_tls.load_cert_chain(folder / "server.pem", folder / "server.key")

    rogue_tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    rogue_tls.load_cert_chain(folder / "rogue.pem", folder / "rogue.key")

    wrongname_tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    wrongname_tls.load_cert_chain(folder / "wrongname.pem", folder / "wrongname.key")

    loop = asyncio.get_running_loop()

    def factory(name: str, **options):
        options.setdefault("authenticator", authenticator)
        return lambda: SMTP(Recorder(name, mail_dir), hostname="peer.uptorra.test", loop=loop,
                            timeout=60, **options)

    listeners = {
        "plain": (factory("plain", auth_required=True, auth_require_tls=False), "127.0.0.1", 0, None),
        "plainonly": (factory("plainonly", auth_required=True, auth_require_tls=False,
                              auth_exclude_mechanism=["LOGIN"]), "127.0.0.1", 0, None),
        "open": (factory("open", authenticator=None, auth_require_tls=True), "127.0.0.1", 0, None),
        "silent": (Silent, "127.0.0.1", 0, None),
        "starttls": (factory("starttls", tls_context=server_tls, require_starttls=True,
                             auth_required=True), "127.0.0.1", 0, None),
        "implicit": (factory("implicit", auth_required=True, auth_require_tls=False), "127.0.0.1", 0,
                     server_tls),
        "mismatch": (factory("mismatch", tls_context=server_tls, require_starttls=True,
                             auth_required=True), "127.0.0.2", 0, None),
        "wrongname": (factory("wrongname", tls_context=wrongname_tls, require_starttls=True,
                              auth_required=True), "127.0.0.1", 0, None),
        "untrusted": (factory("untrusted", tls_context=rogue_tls, require_starttls=True,
                              auth_required=True), "127.0.0.1", 0, None),
    }
    ports = {}
    servers = []
    for name, (make, host, port, tls) in listeners.items():
        srv = await loop.create_server(make, host, port, ssl=tls, reuse_address=True)
        servers.append(srv)
        ports[name] = srv.sockets[0].getsockname()[1]
    try:
        srv = await loop.create_server(
            factory("implicit465", auth_required=True, auth_require_tls=False),
            "127.0.0.1", 465, ssl=server_tls, reuse_address=True)
        servers.append(srv)
        ports["implicit465"] = 465
    except OSError:
        ports["implicit465"] = 0

    temp = folder / "ports.tmp"
    temp.write_text("".join(f"{k}={v}\n" for k, v in ports.items()))
    os.replace(temp, folder / "ports.txt")

    stop = loop.create_future()
    loop.add_signal_handler(signal.SIGTERM, lambda: stop.done() or stop.set_result(None))
    try:
        await asyncio.wait_for(stop, MAX_LIFETIME_S)
    except asyncio.TimeoutError:
        pass
    for srv in servers:
        srv.close()


def alive(pid: int) -> bool:
    """Running, and not a zombie waiting for a parent that does not reap."""
    try:
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def stop_running(folder: Path) -> None:
    pid_file = folder / "server.pid"
    try:
        pid = int(pid_file.read_text())
    except (OSError, ValueError):
        return
    # Only our own server: a recycled process id must not be hit.
    try:
        cmdline = Path(f"/proc/{pid}/cmdline").read_bytes()
    except OSError:
        cmdline = b""
    if b"smtp_server.py" in cmdline and b"serve" in cmdline:
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 5
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if alive(pid):
            os.kill(pid, signal.SIGKILL)
    pid_file.unlink(missing_ok=True)


def start(folder: Path) -> int:
    folder.mkdir(parents=True, exist_ok=True)
    stop_running(folder)
    make_certificates(folder)
    (folder / "ports.txt").unlink(missing_ok=True)
    log = open(folder / "server.log", "wb")
    # Detached from our standard handles: CTest reads them to their end.
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--dir", str(folder)],
                             stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                             start_new_session=True)
    (folder / "server.pid").write_text(str(child.pid))
    deadline = time.monotonic() + READY_TIMEOUT_S
    while time.monotonic() < deadline:
        if (folder / "ports.txt").exists():
            print((folder / "ports.txt").read_text(), end="")
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print("SMTP peer did not start:", (folder / "server.log").read_text(errors="replace"), file=sys.stderr)
    stop_running(folder)
    return 1


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop", "serve"])
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()
    folder = Path(args.dir)
    if args.command == "start":
        return start(folder)
    if args.command == "stop":
        stop_running(folder)
        (folder / "ports.txt").unlink(missing_ok=True)
        return 0
    asyncio.run(serve(folder))
    return 0


if __name__ == "__main__":
    sys.exit(main())
