#!/usr/bin/python3
"""Fault bench: the real program under Wine with 500 loopback hosts, hostile files, a 50 MiB
log, a push service that misbehaves on a schedule, and the program folder made read-only for a
while. It samples the window's responsiveness, memory and handles, and checks afterwards that

  - the program never crashed or hung (the window answered every sample within a second),
  - every failed probe cycle is in the log exactly once (and only the ones that fell into a
    read-only window are missing from it, as a failed log write loses its entry),
  - the push service received every alert that was sent while it was up, and every alert the
    program counted as delivered was received and accepted,
  - no file is torn (the log is whole entries in front of the old 50 MiB byte for byte, the
    hosts and configuration files are untouched, no stray files are left),
  - memory and handles are flat (start, end, peak).

    bench/fault_bench.py --minutes 30              the soak (not in CI)
    bench/fault_bench.py --minutes 1.5 --sample 10 the short form (tests/e2e/test_fault_bench.py)

Hosts: ICMP to addresses all over 127.0.0.0/8 (they answer), TCP to a port this bench listens
on (answers), and TCP to closed loopback ports (fail every cycle; each failing host has a port of
its own, so an alert, a log entry and a host are matched by time text and port). Traffic goes
to loopback only.

The folder is made read-only with `chattr +i` on the folder and its files: the bench runs as
root, and root ignores permission bits, so chmod would change nothing for Wine's writes. An
immutable folder refuses new files and renames (the log is replaced through a temporary file),
an immutable file refuses writes. Without chattr (not root) that phase is skipped and said so.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from uptorra_app import (CONFIG_FILE, HOSTS_FILE, LOG_FILE, Display, DriverError, UptorraApp,  # noqa: E402
                         WineSession, wait_until)

sys.path.insert(0, HERE)
from fault_files import (FAILING_HOSTS, config_file_bytes, failing_interval, gbk,  # noqa: E402
                         hosts_file_bytes, old_log_bytes)

PUSH_SERVICE = os.path.join(ROOT, "tests", "peers", "push_service.py")
PUSH_TIMEOUT = 10  # the program's receive time-out for the push answer
RESPONSE_LIMIT = 1.0  # seconds the window may take to answer a sample

# The push service's schedule: (what, seconds). "down" stops the service (nothing listens on
# its port), the next phase starts it again on the same port. "readonly" keeps it answering
# normally while the program folder is immutable.
SCHEDULE = [("ok", 20), ("slow:2", 10), ("status500", 8), ("readonly", 14), ("reset", 8), ("garbage", 8),
            ("never", 12), ("ok", 8), ("down", 15), ("ok", 10)]
# Alerts and entries of the last moments may be cut off by the kill at the end.
SETTLE_SECONDS = PUSH_TIMEOUT + 10
DELIVERED_MODES = {"ok", "slow"}

TIME_RE = rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d"
ENTRY_RE = re.compile(rb"(" + TIME_RE + rb")---([^\r\n]*?)\r\n")
PORT_TYPE_RE = re.compile(r"(\d+)端口 通信失败")
CONTENT_TIME_RE = re.compile(r"【KWO提醒】(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) ")
PUSH_OK = "微信推送成功".encode("gbk")
PUSH_FAILED = "微信推送失败".encode("gbk")


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def epoch_of(time_text):
    return time.mktime(time.strptime(time_text, "%Y-%m-%d %H:%M:%S"))


def sha(data):
    return hashlib.sha256(data).hexdigest()


# -- loopback peers -------------------------------------------------------------------------

class Listener:
    """A TCP port that accepts and closes every connection (the answering port hosts)."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(256)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.stop.is_set():
            try:
                conn, _ = self.sock.accept()
                conn.close()
            except OSError:
                pass

    def close(self):
        self.stop.set()
        self.thread.join(2)
        self.sock.close()


class PushPeer:
    """tests/peers/push_service.py on one fixed port, stopped and started again on schedule.
    Requests are fetched before every stop, so none is lost with the process."""

    def __init__(self, lifetime):
        self.port = free_port()
        self.lifetime = lifetime
        self.process = None
        self.requests = []
        self.seen = 0
        self.down = []  # (from, to) epoch seconds while nothing was sure to answer normally

    def _url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def start(self):
        ready = tempfile.mktemp(prefix="fault-push-", suffix=".json")
        self.process = subprocess.Popen(
            [sys.executable, PUSH_SERVICE, "--port", str(self.port), "--ready-file", ready, "--rate-limit", "0",
             "--max-lifetime", str(self.lifetime)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(ready), 20, what="the push service")
        os.unlink(ready)
        self.seen = 0

    def set_mode(self, mode):
        request = urllib.request.Request(self._url("/_mode"), data=mode.encode(), method="POST")
        urllib.request.urlopen(request, timeout=10).read()

    def collect(self):
        if self.process is None:
            return
        data = urllib.request.urlopen(self._url(f"/_requests?since={self.seen}"), timeout=10).read()
        for entry in json.loads(data):
            self.seen = max(self.seen, entry["seq"])
            if entry.get("path") == "/api/send/message":
                self.requests.append(entry)

    def stop(self):
        """Stops listening. From the moment the mode turns to "close" nothing is answered."""
        began = time.time()
        self.set_mode("close")
        time.sleep(0.5)
        self.collect()
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(20)
        self.process = None
        return began

    def kill(self):
        if self.process is not None:
            try:
                self.collect()
            except OSError:
                pass
            self.process.terminate()
            self.process.wait(20)
            self.process = None


# -- the folder's read-only phase -----------------------------------------------------------

def chattr_works():
    probe = tempfile.mkdtemp(prefix="fault-chattr-")
    try:
        if subprocess.run(["chattr", "+i", probe], capture_output=True).returncode != 0:
            return False
        refused = subprocess.run(["touch", os.path.join(probe, "x")], capture_output=True).returncode != 0
        subprocess.run(["chattr", "-i", probe], capture_output=True)
        return refused
    finally:
        shutil.rmtree(probe, ignore_errors=True)


def set_immutable(folder, on):
    """The folder first (no new files, no renames), then its files. A temporary file that is
    being written at that moment stays writable: the program's rename of it must fail, not its
    write, as on a folder that turns read-only under a running program."""
    flag = "+i" if on else "-i"
    subprocess.run(["chattr", flag, folder], capture_output=True)
    for name in os.listdir(folder):
        if on and name.endswith(".tmp"):
            continue
        subprocess.run(["chattr", flag, os.path.join(folder, name)], capture_output=True)


# -- sampling -------------------------------------------------------------------------------

def linux_pid_of(folder):
    """The Linux process that runs the program: its command line names the program's path."""
    tag = os.path.basename(folder.rstrip("/"))
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if tag.encode() in cmdline and b"uptorra.exe" in cmdline.lower() and b"wine-run" not in cmdline:
            return int(pid)
    return None


def proc_status(pid):
    values = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "VmHWM", "RssAnon", "Threads"):
                    values[key] = int(value.split()[0])
        values["fds"] = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None
    return values


class Sampler:
    def __init__(self, app, folder):
        self.app = app
        self.folder = folder
        self.samples = []
        self.linux_pid = None

    def sample(self, phase):
        began = time.monotonic()
        try:
            self.app.driver("sync")
            answered = time.monotonic() - began
        except DriverError as e:
            answered = None
            log(f"window did not answer: {e}")
        memory = None
        try:
            memory = self.app.driver("memory", self.app.pid)
        except DriverError as e:
            log(f"no memory figures: {e}")
        if self.linux_pid is None or proc_status(self.linux_pid) is None:
            self.linux_pid = linux_pid_of(self.folder)
        status = proc_status(self.linux_pid) if self.linux_pid else None
        s = {"t": time.time(), "phase": phase, "answer_s": answered, "alive": self.app.alive(),
             "memory": memory, "linux": status}
        self.samples.append(s)
        mem = memory or {}
        log(f"sample {phase}: answer {answered if answered is None else round(answered, 3)} s, working set "
            f"{mem.get('working_set', 0) / 2**20:.1f} MiB, private {mem.get('private_bytes', 0) / 2**20:.1f} MiB, "
            f"handles {mem.get('handles')}, VmRSS {(status or {}).get('VmRSS', 0) / 1024:.1f} MiB, "
            f"anon {(status or {}).get('RssAnon', 0) / 1024:.1f} MiB, threads {(status or {}).get('Threads')}, "
            f"fds {(status or {}).get('fds')}")
        return s


# -- the run --------------------------------------------------------------------------------

def run(minutes, sample_every, keep=False, prefix_name="wineprefix-fault"):
    folder = tempfile.mkdtemp(prefix="uptorra-fault-")
    listener = Listener()
    push = PushPeer(lifetime=minutes * 60 + 900)
    readonly_ok = chattr_works()
    if not readonly_ok:
        log("chattr +i is not available (not root?): the read-only phase is skipped")
    hosts, expected_rows = hosts_file_bytes(listener.port)
    config = config_file_bytes(push.port)
    old_log = old_log_bytes()
    for name, data in ((HOSTS_FILE, hosts), (CONFIG_FILE, config), (LOG_FILE, old_log)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    digests = {HOSTS_FILE: sha(hosts), CONFIG_FILE: sha(config)}
    result = {"folder": folder, "minutes": minutes, "readonly_phase": readonly_ok, "windows": []}
    app = None
    sampler = None
    started_monitoring = None
    ended = None
    try:
        with Display():
            wine = WineSession(prefix_name)
            app = UptorraApp(folder, wine=wine)
            push.start()
            log(f"starting the program in {folder}")
            app.process = app.wine.popen([app.exe], cwd=folder)

            def window_or_usage_box():
                for box in app.boxes_any():
                    if box["caption"] == "Uptorra使用说明":
                        app.driver("answer", box["caption"], "OK")
                window = app.driver("find")
                return window if window.get("visible") else None

            window = wait_until(window_or_usage_box, 180, interval=0.5, what="the main window")
            app.pid = window["pid"]
            state = app.state(0)
            result["loaded_rows"] = state["list"]["count"]
            result["pane0"] = state["panes"][0]
            rows = []
            first = 0
            while first < state["list"]["count"]:
                chunk = app.driver("rows", first, min(100, state["list"]["count"] - first))
                rows.extend(chunk["cells"])
                first += 100
            seen = [(r[1], r[3], r[6]) for r in rows]
            wanted = [tuple(line.split(b",")[i].decode("gbk", "replace") for i in (0, 2, 5)) for line in expected_rows]
            result["rows_match"] = seen == wanted
            if not result["rows_match"]:
                result["rows_differ"] = next(([i, a, b] for i, (a, b) in enumerate(zip(seen, wanted)) if a != b),
                                             [len(seen), len(wanted)])
            log(f"loaded {result['loaded_rows']} rows (expected {len(expected_rows)}), match {result['rows_match']}")

            sampler = Sampler(app, folder)
            app.click("启动监测")
            started_monitoring = time.time()
            wait_until(lambda: app.state(0)["panes"][1].startswith("已启动监测"), 120, interval=0.5,
                       what="monitoring to start")
            result["pane1"] = app.state(0)["panes"][1]
            log(result["pane1"])

            deadline = started_monitoring + minutes * 60
            next_sample = time.time()
            phase_index = 0
            while time.time() < deadline:
                what, seconds = SCHEDULE[phase_index % len(SCHEDULE)]
                phase_index += 1
                began = time.time()
                if push.process is None and what != "down":
                    push.start()
                    result["windows"][-1]["to"] = time.time()
                if what == "down":
                    began = push.stop()
                    result["windows"].append({"kind": "down", "from": began, "to": None})
                elif what == "readonly":
                    push.set_mode("ok")
                    if readonly_ok:
                        set_immutable(folder, True)
                        result["windows"].append({"kind": "readonly", "from": time.time(), "to": None})
                else:
                    push.set_mode(what)
                log(f"phase {what} for {seconds} s")
                phase_end = min(began + seconds, deadline)
                while time.time() < phase_end:
                    if time.time() >= next_sample:
                        sampler.sample(what)
                        next_sample += sample_every
                        if not app.alive():
                            raise AssertionError("the program ended")
                    time.sleep(max(0.0, min(0.5, phase_end - time.time())))
                if what == "readonly" and readonly_ok:
                    set_immutable(folder, False)
                    result["windows"][-1]["to"] = time.time()
                if push.process is not None:
                    push.collect()
            if push.process is None:
                push.start()
                result["windows"][-1]["to"] = time.time()
            push.set_mode("ok")
            sampler.sample("end")
            ended = time.time()
            result["alive_at_end"] = app.alive()
            app.kill()
    finally:
        if readonly_ok:
            set_immutable(folder, False)
        push.kill()
        listener.close()
        if app is not None:
            try:
                if app.alive():
                    app.kill()
            finally:
                if app._driver is not None:
                    app._driver.close()
                app.wine.stop()
    result["samples"] = sampler.samples if sampler else []
    result["requests"] = push.requests
    result["started"] = started_monitoring
    result["ended"] = ended
    try:
        result.update(check(folder, old_log, digests, result))
    finally:
        if not keep:
            shutil.rmtree(folder, ignore_errors=True)
    return result


# -- the checks -----------------------------------------------------------------------------

def alert_key(request):
    """(time text, port) of an alert the push service received."""
    body = bytes.fromhex(request["body_hex"]).decode("utf-8", "replace")
    content = json.loads(body)["content"]
    when = CONTENT_TIME_RE.search(content).group(1)
    port = int(PORT_TYPE_RE.search(content).group(1))
    return when, port


def in_windows(t, windows, kind, before, after):
    return any(w["kind"] == kind and w["from"] - before <= t <= (w["to"] or 1e12) + after for w in windows)


def check(folder, old_log, digests, result):
    problems = []
    names = sorted(os.listdir(folder))
    # A rewrite caught by the folder turning read-only can neither rename nor delete its
    # temporary file; the program removes such leftovers at its next start.
    stray_temporaries = [n for n in names if n.startswith(LOG_FILE + ".") and n.endswith(".tmp")]
    readonly_windows = sum(1 for w in result["windows"] if w["kind"] == "readonly")
    if len(stray_temporaries) > readonly_windows:
        problems.append(f"more stray temporary files than read-only windows: {stray_temporaries}")
    others = [n for n in names if n not in stray_temporaries]
    if others != sorted(["uptorra.exe", HOSTS_FILE, CONFIG_FILE, LOG_FILE]):
        problems.append(f"stray files in the folder: {others}")
    for name, digest in digests.items():
        with open(os.path.join(folder, name), "rb") as f:
            if sha(f.read()) != digest:
                problems.append(f"{name} changed")
    with open(os.path.join(folder, LOG_FILE), "rb") as f:
        log_bytes = f.read()
    if len(log_bytes) < len(old_log) or log_bytes[len(log_bytes) - len(old_log):] != old_log:
        problems.append("the old log is not intact behind the new entries")
    new = log_bytes[:max(0, len(log_bytes) - len(old_log))]
    entries = []
    pos = 0
    for m in ENTRY_RE.finditer(new):
        if m.start() != pos:
            problems.append(f"torn log at byte {pos}: {new[pos:pos + 80]!r}")
            break
        entries.append((m.group(1).decode(), m.group(2)))
        pos = m.end()
    if pos != len(new):
        problems.append(f"log bytes left over at {pos}: {new[pos:pos + 80]!r}")
    # Entries go in front in the order they are written; an entry carries the time of its
    # failure, taken before the push, so a slow push lets a later failure be written first.
    # Older than that slack, an entry out of place was put in the wrong place.
    latest = 0.0
    for when, _ in reversed(entries):
        t = epoch_of(when)
        if t < latest - (PUSH_TIMEOUT + 5):
            problems.append(f"log entry {when} stands before newer ones")
            break
        latest = max(latest, t)

    failures = {}
    for when, rest in entries:
        if rest in (gbk("监测启动"), gbk("监测停止")):
            continue
        parts = rest.split(b"---")
        if len(parts) != 3 or parts[2] not in (PUSH_OK, PUSH_FAILED):
            problems.append(f"odd log entry {when} {rest!r}")
            continue
        port = int(re.match(rb"(\d+)", parts[1]).group(1))
        key = (when, port)
        if key in failures:
            problems.append(f"failure logged twice: {key}")
        failures[key] = parts[2] == PUSH_OK

    windows = result["windows"]
    ended = result["ended"] or time.time()
    # Alerts and entries of the last moments may be cut off by the kill at the end.
    settled = ended - SETTLE_SECONDS
    # A request whose connection broke before any answer may come again: the HTTP client
    # sends it once more when a kept-alive connection fails. Only the last copy was answered.
    alerts = {}
    resent = 0
    for request in result["requests"]:
        key = alert_key(request)
        if key in alerts:
            if alerts[key]["mode"] in ("reset", "close"):
                resent += 1
            else:
                problems.append(f"alert received twice: {key}")
        alerts[key] = request
    lost_readonly = 0
    for key, request in alerts.items():
        t = epoch_of(key[0])
        if t > settled:
            continue
        delivered = request["mode"].split(":")[0] in DELIVERED_MODES
        if key not in failures:
            if in_windows(t, windows, "readonly", 2, 2):
                lost_readonly += 1  # a failed log write loses its entry
            else:
                problems.append(f"alert {key} ({request['mode']}) has no log entry")
        elif failures[key] != delivered:
            problems.append(f"alert {key} answered in mode {request['mode']} logged as "
                            f"{'delivered' if failures[key] else 'failed'}")
    missing_alerts = 0
    for key, delivered in failures.items():
        t = epoch_of(key[0])
        if key in alerts or t > settled:
            continue
        if delivered:
            problems.append(f"entry {key} says delivered but the service got no alert")
        elif not in_windows(t, windows, "down", 2, 2):
            missing_alerts += 1
            problems.append(f"entry {key} failed while the service was up, and no alert arrived")
    # Every failed cycle: per failing host the cycles (alerts and entries) follow each other
    # at the interval plus the cycle's own work; a missing one leaves a gap of two intervals.
    # The cycle's work is the push (up to its time-out) and the log rewrite.
    by_port = {}
    for key in set(alerts) | set(failures):
        push_seconds = 0.0
        if key in alerts:
            mode = alerts[key]["mode"]
            push_seconds = PUSH_TIMEOUT if mode == "never" else float(mode[5:] or 3) if mode.startswith("slow") else 0.0
        by_port.setdefault(key[1], []).append((epoch_of(key[0]), push_seconds))
    gaps = []
    long_gaps = []
    for port, cycles in by_port.items():
        cycles.sort()
        for (a, push_seconds), (b, _) in zip(cycles, cycles[1:]):
            gaps.append(b - a)
            # The interval, the push and a few seconds for the log rewrite and the machine.
            if b - a > failing_interval(port) + push_seconds + 8:
                long_gaps.append((port, time.strftime("%H:%M:%S", time.localtime(a)), b - a))
    if long_gaps:
        problems.append(f"{len(long_gaps)} gaps between failed cycles, a cycle missing: {long_gaps[:5]}")
    if len(by_port) != FAILING_HOSTS:
        problems.append(f"{len(by_port)} failing hosts seen, {FAILING_HOSTS} expected")

    samples = result["samples"]
    slow = [s for s in samples if s["answer_s"] is None or s["answer_s"] > RESPONSE_LIMIT]
    if slow:
        problems.append(f"window slow or silent at {len(slow)} samples: {[s['answer_s'] for s in slow]}")
    if not all(s["alive"] for s in samples) or not result.get("alive_at_end"):
        problems.append("the program ended during the run")
    figures = memory_figures(samples)
    return {"problems": problems, "stray_temporaries": stray_temporaries, "log_entries": len(entries), "failures_logged": len(failures),
            "alerts_received": len(alerts), "resent_after_reset": resent, "lost_in_readonly": lost_readonly, "gap_max": max(gaps, default=0),
            "figures": figures}


def memory_figures(samples):
    figures = {}
    # The start is taken once the first cycles have run (threads created, first pushes done).
    usable = [s for s in samples if s["memory"]]
    if not usable:
        return figures
    base = usable[1] if len(usable) > 2 else usable[0]
    for key in ("working_set", "private_bytes", "handles"):
        values = [s["memory"].get(key) for s in usable if s["memory"].get(key) is not None]
        if values:
            figures[key] = {"start": base["memory"].get(key), "end": values[-1], "peak": max(values)}
    typed = [s["memory"].get("handle_types") or {} for s in usable]
    if any(typed):
        base_types = base["memory"].get("handle_types") or {}
        figures["handle_types"] = {name: {"start": base_types.get(name, 0), "end": typed[-1].get(name, 0),
                                          "peak": max(t.get(name, 0) for t in typed)}
                                   for name in sorted(set().union(*typed))}
    linux = [s["linux"] for s in usable if s["linux"]]
    if linux:
        for key in ("VmRSS", "RssAnon", "Threads", "fds"):
            values = [v[key] for v in linux]
            figures["linux_" + key] = {"start": (base["linux"] or linux[0])[key], "end": values[-1],
                                       "peak": max(values)}
    return figures


def flat(figures, key, slack_ratio, slack_abs):
    f = figures.get(key)
    return f is None or f["end"] <= f["start"] * (1 + slack_ratio) + slack_abs


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--sample", type=float, default=60, help="seconds between samples")
    parser.add_argument("--json", help="write the whole result here")
    parser.add_argument("--keep", action="store_true", help="keep the program folder")
    args = parser.parse_args()
    result = run(args.minutes, args.sample, args.keep)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(result, f, indent=1, default=str)
    summary = {k: result.get(k) for k in ("minutes", "loaded_rows", "rows_match", "pane1", "readonly_phase",
                                          "log_entries", "failures_logged", "alerts_received", "lost_in_readonly",
                                          "resent_after_reset", "stray_temporaries", "gap_max", "figures", "problems")}
    print(json.dumps(summary, indent=1, ensure_ascii=False, default=str))
    return 1 if result.get("problems") or not result.get("rows_match") else 0


if __name__ == "__main__":
    sys.exit(main())
