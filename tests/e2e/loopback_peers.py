"""Peers on loopback for the window tests: the local push service, and a pair of TCP ports on
127.0.0.1 (one listening, one bound but not listening, so that a connection to it is refused).
Each runs as a process of its own, in the test's network namespace when a runner is given."""
import json
import os
import subprocess
import sys
import tempfile

from uptorra_app import ROOT, wait_until

PORTS_SCRIPT = r"""
import json, socket, sys
listening = socket.socket()
listening.bind(("127.0.0.1", 0))
listening.listen(64)
closed = socket.socket()
closed.bind(("127.0.0.1", 0))  # bound, never listening: connections to it are refused
print(json.dumps([listening.getsockname()[1], closed.getsockname()[1]]), flush=True)
while True:
    connection, _ = listening.accept()
    connection.close()
"""


class _Local:
    """Runs commands on this machine, as NetnsSession runs them in its namespace."""

    @staticmethod
    def popen(argv, **kw):
        return subprocess.Popen(argv, **kw)

    @staticmethod
    def run(argv, **kw):
        return subprocess.run(argv, **kw)


class TcpPorts:
    """A listening port and a refusing port on 127.0.0.1."""

    def __init__(self, runner=None):
        runner = runner or _Local()
        self.process = runner.popen([sys.executable, "-c", PORTS_SCRIPT], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.listening, self.closed = json.loads(self.process.stdout.readline())

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class PushService:
    """tests/peers/push_service.py on 127.0.0.1, answering every message with success."""

    TOKEN = "AT_uptorra_test"  # the appToken it accepts

    def __init__(self, runner=None):
        self.runner = runner or _Local()
        ready = tempfile.mktemp(suffix=".json", prefix="uptorra-push-")
        self.process = self.runner.popen(
            [sys.executable, os.path.join(ROOT, "tests", "peers", "push_service.py"), "--port", "0",
             "--ready-file", ready, "--rate-limit", "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(ready) and os.path.getsize(ready) > 0, 20, what="the push service")
        with open(ready) as f:
            self.port = json.load(f)["port"]
        os.unlink(ready)

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}/api/send/message"

    def requests(self):
        """The messages received so far (control requests are not recorded)."""
        code = f"import urllib.request;print(urllib.request.urlopen('http://127.0.0.1:{self.port}/_requests').read().decode())"
        out = self.runner.run([sys.executable, "-c", code], capture_output=True, text=True, check=True, timeout=30)
        return json.loads(out.stdout)

    def messages(self):
        """The JSON bodies of the messages received so far."""
        return [json.loads(bytes.fromhex(r["body_hex"]).decode("utf-8")) for r in self.requests()]

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
