"""A network namespace with hosts that never answer, and a Wine session that lives in it.

Namespace "probe" (where the program runs): loopback, and a veth link 10.99.0.1/24 to the
namespace "router" (10.99.0.2). Addresses:
  10.99.0.77     on the link, but nobody owns it: echoes and connections go unanswered.
  10.97.0.0/24   routed via the router, which has an "unreachable" route for it and answers
                 every packet with an ICMP host-unreachable error.
There is no default route, so a name lookup cannot leave the machine: the DNS server is
unreachable and an unknown name fails at once. Traffic never leaves these namespaces.
"""
import os
import shutil
import subprocess
import uuid

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SILENT_HOST = "10.99.0.77"
ERROR_HOST = "10.97.0.5"


def _ip(*args, ns=None, check=True):
    cmd = ["ip"] + (["netns", "exec", ns, "ip"] if ns else []) + list(args)
    return subprocess.run(cmd, check=check, capture_output=True, text=True)


def namespaces_available():
    if os.geteuid() != 0 or shutil.which("ip") is None:
        return False
    probe = subprocess.run(["unshare", "-n", "true"], capture_output=True)
    return probe.returncode == 0


class NetnsSession:
    """Creates the namespaces and runs commands (Wine ones with their own prefix) inside."""

    def __init__(self, prefix_name="wineprefix-netns"):
        tag = uuid.uuid4().hex[:6]
        self.ns = f"upt-probe-{tag}"
        self.router = f"upt-router-{tag}"
        self.build = os.environ.get("UPTORRA_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
        # Its own prefix, so its wineserver (and the ICMP service Wine runs under it) is
        # started inside the namespace and never shared with a session outside it.
        self.env = dict(os.environ, UPTORRA_BUILD_DIR=self.build,
                        WINEPREFIX=os.path.join(self.build, prefix_name))

    def __enter__(self):
        subprocess.run(["ip", "netns", "add", self.ns], check=True)
        subprocess.run(["ip", "netns", "add", self.router], check=True)
        a, b = "upt-a-" + self.ns[-6:], "upt-b-" + self.ns[-6:]
        subprocess.run(["ip", "link", "add", a, "netns", self.ns, "type", "veth", "peer", "name", b,
                        "netns", self.router], check=True)
        _ip("link", "set", "lo", "up", ns=self.ns)
        _ip("addr", "add", "10.99.0.1/24", "dev", a, ns=self.ns)
        _ip("link", "set", a, "up", ns=self.ns)
        _ip("route", "add", "10.97.0.0/24", "via", "10.99.0.2", ns=self.ns)
        _ip("link", "set", "lo", "up", ns=self.router)
        _ip("addr", "add", "10.99.0.2/24", "dev", b, ns=self.router)
        _ip("link", "set", b, "up", ns=self.router)
        _ip("route", "add", "unreachable", "10.97.0.0/24", ns=self.router)
        subprocess.run(["ip", "netns", "exec", self.router, "sysctl", "-qw", "net.ipv4.ip_forward=1"], check=True)
        return self

    def run(self, argv, **kw):
        """Runs argv inside the probe namespace with the session's environment."""
        return subprocess.run(["ip", "netns", "exec", self.ns] + list(argv), env=kw.pop("env", self.env), **kw)

    def popen(self, argv, **kw):
        return subprocess.Popen(["ip", "netns", "exec", self.ns] + list(argv), env=kw.pop("env", self.env), **kw)

    def wine(self, exe, *args, timeout=120):
        """Runs a Windows program of the build folder under Wine in the namespace."""
        return self.run([os.path.join(ROOT, "tools", "wine-run.sh"), os.path.join(self.build, exe)] + list(args),
                        capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL)

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        subprocess.run(["ip", "netns", "del", self.ns], capture_output=True)
        subprocess.run(["ip", "netns", "del", self.router], capture_output=True)
