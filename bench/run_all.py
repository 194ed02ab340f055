#!/usr/bin/python3
"""Builds and runs every benchmark of Uptorra and writes bench/RESULTS.md: for each figure the
program's value, the peer's value and their ratio, measured in the same run, as the median and
spread (min-max) over several runs.

    /usr/bin/python3 bench/run_all.py             full run (about 35 minutes on 2 busy cores)
    /usr/bin/python3 bench/run_all.py --quick     shorter windows, one run, no 5,000 hosts (~8 minutes)
    /usr/bin/python3 bench/run_all.py --only pool,sort --no-build

Sections (--only): pool, sort, log, wait, notify, alert, startup, monitor. Every Wine process runs in the
build folder's bench prefixes (wineprefix-bench, wineprefix-bench-app); every target, listener
and peer is on 127.0.0.0/8. Seeds are fixed; machine noise shows in the spread and in the load
averages recorded per section.
"""
import argparse
import datetime
import fcntl
import json
import math
import os
import platform
import random
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

sys.dont_write_bytecode = True  # no __pycache__ in bench/
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import run_monitor_bench as monitor  # noqa: E402

BUILD = monitor.BUILD
WINE_RUN = os.path.join(ROOT, "tools", "wine-run.sh")
PREFIX = monitor.PREFIX
SEED = 20240501


# ---------------------------------------------------------------- figures and the table

def spread(values):
    """median, min, max of the finite values (None when there are none)."""
    values = [v for v in values if v is not None and v == v]
    if not values:
        return None
    return statistics.median(values), min(values), max(values)


def show(values, digits=3):
    s = spread(values)
    if s is None:
        return "n/a"
    med, lo, hi = s

    def f(v):
        if abs(v) >= 10 ** digits:
            return f"{v:.0f}"
        return f"{v:#.{digits}g}".rstrip(".")  # 1.00, not 1; 232, not 232.
    if len(values) == 1 or lo == hi:
        return f(med)
    return f"{f(med)} ({f(lo)}–{f(hi)})"


class Table:
    def __init__(self):
        self.rows = []  # (key, section, figure, unit, ours[], peer name, peer[], ratios[], note)
        self.current = ""  # the key (SECTIONS) of the section running
        self.loads = {}
        self.times = {}
        self.started = ""  # date of the first section of the table, as text
        self.runs = {}  # section -> how it was run (runs, mode), for sections kept from earlier runs

    def add(self, section, figure, unit, ours, peer_name, peer, note="", ratios=None):
        if ratios is None:
            ratios = [o / p for o, p in zip(ours, peer) if o is not None and p not in (None, 0)]
        self.rows.append((self.current, section, figure, unit, list(ours), peer_name, list(peer), ratios, note))

    def failed(self, section, figure, why):
        self.rows.append((self.current, section, figure, "", [], "", [], [], "FAILED: " + why))

    def save(self, path):
        with open(path, "w") as f:
            json.dump({"rows": self.rows, "loads": self.loads, "times": self.times, "runs": self.runs,
                       "started": self.started}, f,
                      ensure_ascii=False, indent=0)

    def keep_from(self, path, sections):
        """The rows of the given sections from an earlier run's JSON (to re-run a few sections)."""
        if not os.path.exists(path):
            return
        with open(path) as f:
            old = json.load(f)
        self.started = old.get("started", "") or self.started  # the table's oldest section
        for row in old["rows"]:
            if row[0] in sections:
                self.rows.append(tuple(row))
        for name in sections:
            if name in old["loads"]:
                self.loads[name] = tuple(old["loads"][name])
                self.times[name] = old["times"].get(name, 0)
                self.runs[name] = old.get("runs", {}).get(name, "")

    def markdown(self, args, started):
        out = []
        out.append("# Uptorra benchmarks side by side\n")
        total = sum(v for k, v in self.times.items() if k != "total")
        out.append(f"- Date: {self.started or f'{started:%Y-%m-%d %H:%M}'} UTC (first section; each section's "
                   f"time is listed below); sections took {total / 60:.1f} min in all"
                   f"{' (--quick)' if args.quick else ''}")
        out.append(f"- Machine: {os.cpu_count()} cores ({platform.processor() or platform.machine()}), "
                   f"{mem_total_gib():.0f} GiB RAM, {platform.system()} {platform.release()}, {wine_version()}; "
                   "shared with other builds and Wine runs while measuring (load averages below)")
        out.append("- Command: `/usr/bin/python3 bench/run_all.py` (builds the bench targets, then runs every "
                   "section; `--quick` for a short pass, `--only a,b` re-runs sections and keeps the others). "
                   "Sections as run: " + "; ".join(f"{k}: {v}" for k, v in self.runs.items()))
        out.append(f"- Figures are the median over the runs, with min–max in brackets; seed {SEED}; every target, "
                   "listener and peer on 127.0.0.0/8")
        out.append("- Load average (1 min) at the start and end of each section: " +
                   "; ".join(f"{k} {v[0]:.1f}→{v[1]:.1f}" for k, v in self.loads.items()))
        out.append("")
        out.append("| Section | Figure | Uptorra | Peer | Peer value | Ratio Uptorra/peer | Note |")
        out.append("|---|---|---|---|---|---|---|")
        order = list(SECTIONS)
        rows = sorted(self.rows + growth_rows(self.rows),
                      key=lambda r: order.index(r[0]) if r[0] in order else len(order))
        for _, section, figure, unit, ours, peer_name, peer, ratios, note in rows:
            u = f"{show(ours)} {unit}".strip() if ours else ""
            p = f"{show(peer)} {unit}".strip() if peer else ""
            r = show(ratios) if ratios else ""
            out.append(f"| {section} | {figure} | {u} | {peer_name} | {p} | {r} | {note} |")
        out.append("")
        out.append(READING)
        return "\n".join(out) + "\n"


def growth_rows(rows):
    """Rows that set a figure at a larger size against the same figure at a smaller one, and say
    where the cost grows faster than the work."""
    def median_of(pattern):
        for r in rows:
            if re.fullmatch(pattern, r[2]) and r[4]:
                return statistics.median(r[4])
        return None

    out = []
    for interval in (1, 10):
        found = []
        for r in rows:
            m = re.fullmatch(rf"CPU per probe, ([\d,]+) hosts, {interval} s", r[2])
            if m and r[4]:
                found.append(int(m.group(1).replace(",", "")))
        if len(found) < 2:
            continue
        small, large = min(found), max(found)
        for what, unit in (("CPU per probe", "ms"), ("memory per host", "KiB")):
            a = median_of(rf"{what}, {small:,} hosts, {interval} s")
            b = median_of(rf"{what}, {large:,} hosts, {interval} s")
            if a and b:
                grows = b / a > 1.3
                note = (f"{large:,} hosts over {small:,} at {interval} s: per-probe/per-host cost should stay flat; "
                        + ("GROWS FASTER THAN THE WORK" if grows else "not above 1.3×: grows with the work"))
                if what == "memory per host":
                    note += (f"; about {b * large / 1024 / 1024:.1f} GiB in all at {large:,} hosts "
                             "(one thread per host, ~1 MiB each under Wine)")
                out.append(("monitor", "monitoring", f"{what}: {large:,} over {small:,} hosts, {interval} s", "×",
                            [b / a], "", [], [], note))
    sizes = sorted({int(m.group(1).replace(",", "")) for r in rows
                    for m in [re.fullmatch(r"([\d,]+) rows by \w+, first click \(order\)", r[2])] if m})
    if len(sizes) >= 2:
        small, large = sizes[0], sizes[-1]
        for column in ("address", "name", "status"):
            a = median_of(rf"{small:,} rows by {column}, first click \(order\)")
            b = median_of(rf"{large:,} rows by {column}, first click \(order\)")
            if a and b:
                n_log_n = large * math.log(large) / (small * math.log(small))
                out.append(("sort", "column sort", f"order by {column}: {large:,} over {small:,} rows", "×", [b / a], "",
                            [], [], f"n log n would give {n_log_n:.2f}, n² {(large / small) ** 2:.0f}: "
                            + ("GROWS FASTER THAN THE WORK (each insertion shifts the later entries)"
                               if b / a > 1.3 * n_log_n else "within the noise of n log n")))
    return out


READING = """## How the figures are made

- **task pool** (`bench_pool SAMPLES TASKS`): submit-to-start latency of one task into an idle pool,
  and throughput of tiny tasks submitted back to back from one thread, against the Windows thread
  pool (`TrySubmitThreadpoolCallback`) and a mutex + condition-variable queue in the same process.
- **column sort** (`bench_sort ROWS REPEATS`): the order computed by the program's insertion sort with
  bisection (which decides the operator-visible placement of equal keys) against `std::stable_sort`
  of the same keys with the same comparison; the whole `SortHostTable` (keys, order, reorder of
  the model) is in the note. Rows are random with seed 12345.
- **event log** (`bench_event_log --threads=T --entries=E --sizes=1,50`): one entry alone
  (T=1) and a burst (T threads at once) put in front of a newest-first log of 1 MiB and 50 MiB by
  the program's writer (group commit: one read-and-rewrite for every entry that waited), against
  appending the entry at the end of the file (the floor, flushed like the rewrite) and against
  one locked rewrite per entry.
- **monitoring** (`bench/run_monitor_bench.py`, `bench_monitor monitor|bare N SECONDS INTERVAL`):
  N loopback ICMP hosts (127.1.x.y) with the program's host table, pool, probe tasks and paced
  wait; CPU counts the program, the wineserver and Wine's device host (which runs the echoes)
  over the measured window; memory is the program's working-set growth per host. Peers: `fping`
  (native) over the same targets at the same period, and the bare platform floor (N Wine threads
  calling `IcmpSendEcho` and sleeping out the interval). Interval accuracy is the mean and worst
  period between two probe starts of one host over the asked interval.
- **time to alert** (real `uptorra.exe` under Wine, driven by `uptorra_driver.exe`): one TCP host on
  a loopback listener; the listener is closed at a random phase of the cycle (fixed seed) and the
  time until the local push service (`tests/peers/push_service.py`) records the alert is compared
  with the bound interval + attempts × connect time-out (2000 ms).
- **start-up** (real `uptorra.exe` under Wine, hosts file written by the bench): from launching the
  program to the driver seeing the window visible with pane 0 naming the host count, against a
  trivial Windows process (`bench_wine_start`) launched the same way, from launch to exit.
"""


def mem_total_gib():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) / 1024 / 1024
    return 0


def wine_version():
    try:
        binary = shutil.which("wine64") or shutil.which("wine") or "wine"
        text = subprocess.run([binary, "--version"], capture_output=True, text=True, timeout=30).stdout
        m = re.search(r"wine-\S+( \([^)]*\))?", text)
        return m.group(0) if m else "wine"
    except (OSError, subprocess.TimeoutExpired):
        return "wine"


def load1():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def log(*a):
    print(f"[{datetime.datetime.utcnow():%H:%M:%S}]", *a, flush=True)


# ---------------------------------------------------------------- running Windows programs

def wine_env(prefix=PREFIX):
    return dict(os.environ, UPTORRA_BUILD_DIR=BUILD, WINEPREFIX=prefix)


def wine_output(exe, *args, timeout=900):
    """Runs a bench executable of the build folder under Wine; its standard output as text."""
    out = subprocess.run([WINE_RUN, os.path.join(BUILD, exe)] + [str(a) for a in args], env=wine_env(),
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
    if out.returncode != 0:
        raise RuntimeError(f"{exe} {' '.join(map(str, args))} ended with {out.returncode}: "
                           f"{out.stderr.decode(errors='replace')[-500:]}")
    return out.stdout.decode("gbk", errors="replace").replace("\r\n", "\n")


def stop_bench_server():
    subprocess.run(["wineserver", "-k"], env=wine_env(), capture_output=True)


# ---------------------------------------------------------------- sections

def section_pool(table, args):
    # Under Wine the task pool runs a few thousand tiny tasks a second: 30,000 keep a round short.
    samples, tasks = (500, 10000) if args.quick else (1000, 30000)
    runs = []
    for _ in range(args.runs):
        text = wine_output("bench_pool.exe", samples, tasks)
        figures = {}
        for line in text.splitlines():
            m = re.match(r"^(.+?)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s*$", line)
            if m:
                figures[m.group(1).strip()] = [float(m.group(i)) for i in range(2, 6)]
        runs.append(figures)
    ours = "TaskPool (completion port)"
    for peer, label in (("Windows thread pool", "Windows thread pool"),
                        ("mutex + condition variable queue", "mutex + condvar queue")):
        table.add("task pool", "submit-to-start latency, median", "µs", [r[ours][0] for r in runs], label,
                  [r[peer][0] for r in runs], "one task into an idle pool; lower is better")
        table.add("task pool", "submit-to-start latency, 90th percentile", "µs", [r[ours][1] for r in runs], label,
                  [r[peer][1] for r in runs])
        table.add("task pool", "throughput, tiny tasks from one thread", "tasks/s", [r[ours][3] for r in runs],
                  label, [r[peer][3] for r in runs], f"{tasks} tasks, median of 3 rounds; higher is better")


def section_sort(table, args):
    repeats = 3 if args.quick else 10
    sizes = (10000,) if args.quick else (5000, 10000)
    for rows in sizes:
        runs = []
        for _ in range(args.runs):
            text = wine_output("bench_sort.exe", rows, repeats)
            figures = {}
            for line in text.splitlines():
                m = re.match(r"^\s+(\S+(?: type)?)\s+(ascending|descending)\s+SortHostTable\s+([\d.]+) ms\s+"
                             r"order alone\s+([\d.]+) ms\s+std::stable_sort\s+([\d.]+) ms", line)
                if m:
                    figures[(m.group(1), m.group(2))] = tuple(float(m.group(i)) for i in (3, 4, 5))
            runs.append(figures)
        for column in ("address", "name", "status"):
            key = (column, "descending")  # the first click on a title sorts descending
            whole = [r[key][0] for r in runs]
            table.add("column sort", f"{rows:,} rows by {column}, first click (order)", "ms",
                      [r[key][1] for r in runs], "std::stable_sort", [r[key][2] for r in runs],
                      f"whole SortHostTable {show(whole)} ms; ms steps (clock under Wine), mean of {repeats}")
    table.sort_sizes = sizes


def parse_log_bench(text):
    figures = {}
    for line in text.splitlines():
        m = re.match(r"^\s*(\d+) MiB\s+(.+?)\s+(\d+)\s+(\d+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s*$", line)
        if m:
            figures[(int(m.group(1)), m.group(2))] = {"entries": int(m.group(3)), "rewrites": int(m.group(4)),
                                                       "total_s": float(m.group(5)), "median_ms": float(m.group(6)),
                                                       "worst_ms": float(m.group(7))}
    return figures


def section_log(table, args):
    single = 5 if args.quick else 10
    burst_threads, burst_entries = (10, 2) if args.quick else (20, 2)
    one, burst = [], []
    for _ in range(args.runs):
        one.append(parse_log_bench(wine_output("bench_event_log.exe", "--threads=1", f"--entries={single}",
                                               "--sizes=1,50")))
        burst.append(parse_log_bench(wine_output("bench_event_log.exe", f"--threads={burst_threads}",
                                                 f"--entries={burst_entries}", "--sizes=1,50")))
    for mib in (1, 50):
        table.add("event log", f"one entry, {mib} MiB log (time of the call)", "ms",
                  [r[(mib, "group commit")]["median_ms"] for r in one], "append at the end",
                  [r[(mib, "append (floor)")]["median_ms"] for r in one],
                  f"median of {single} entries one after the other; a locked rewrite per entry "
                  f"{show([r[(mib, 'one per entry')]['median_ms'] for r in one])} ms")
    for mib in (1, 50):
        # The first entry of a run finds no log copy in memory, as does any entry after 30 s
        # without one (the writer then gives its buffer back): a lone failure after a quiet spell.
        table.add("event log", f"one entry after a quiet spell, {mib} MiB log (first entry, cold buffer)", "ms",
                  [r[(mib, "group commit")]["worst_ms"] for r in one], "append at the end",
                  [r[(mib, "append (floor)")]["worst_ms"] for r in one],
                  "worst of the sequence = its first entry: the writer allocates and fills its copy of the log")
    n = burst_threads * burst_entries
    for mib in (1, 50):
        g = [r[(mib, "group commit")] for r in burst]
        table.add("event log", f"burst of {n} entries from {burst_threads} threads, {mib} MiB log (whole burst)", "s",
                  [x["total_s"] for x in g], "one rewrite per entry",
                  [r[(mib, "one per entry")]["total_s"] for r in burst],
                  f"group commit did {show([x['rewrites'] for x in g])} rewrites for {n} entries; appending: "
                  f"{show([r[(mib, 'append (floor)')]['total_s'] for r in burst])} s")
    ratio = [r[(50, "group commit")]["median_ms"] / r[(1, "group commit")]["median_ms"] for r in one
             if r[(1, "group commit")]["median_ms"] > 0]
    table.add("event log", "one entry: 50 MiB log over 1 MiB log", "×", ratio, "", [],
              "GROWS WITH THE LOG, not with the work: every entry rewrites the whole newest-first file",
              ratios=[])


def section_monitor(table, args):
    lock = open(PREFIX + ".lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    plans = []  # (interval, hosts, window seconds, runs)
    for interval, window in ((1, 8 if args.quick else 15), (10, 20)):
        for hosts in args.hosts:
            runs = 1 if hosts >= 5000 else args.runs
            plans.append((interval, hosts, window, runs))
    results = {}
    for interval, hosts, window, runs in plans:
        for r in range(runs):
            for mode in ("monitor", "bare", "fping"):
                key = (interval, hosts, mode)
                log(f"monitor: {hosts} hosts, interval {interval} s, {mode}, run {r + 1}/{runs}")
                try:
                    if mode == "fping":
                        row = monitor.run_fping(hosts, window, interval)
                    else:
                        row = monitor.run_wine(mode, hosts, window, interval)
                except Exception as e:  # too many hosts for the machine: reported, not fatal
                    row = {"error": str(e)[:300]}
                    stop_bench_server()
                results.setdefault(key, []).append(row)
    lock.close()
    table.monitor_results = results

    def good(rows, field):
        return [x[field] for x in rows if "error" not in x]

    for interval, hosts, window, runs in plans:
        ours = results[(interval, hosts, "monitor")]
        bare = results[(interval, hosts, "bare")]
        fping = results[(interval, hosts, "fping")]
        name = f"{hosts:,} hosts, {interval} s"
        errors = [x["error"] for x in ours if "error" in x]
        if errors and not good(ours, "cpu_s_per_1000"):
            table.failed("monitoring", name, errors[0])
            continue
        probes = good(ours, "probes_per_s")
        expected = hosts / interval
        note = (f"{window} s window, {runs} run(s); probes/s {show(probes)} of {expected:g} asked; "
                f"bare floor {show(good(bare, 'cpu_s_per_1000'))} ms/probe")
        not_probed = good(ours, "hosts_not_probed")
        failed = good(ours, "failed_cycles")
        if any(not_probed) or any(failed):
            note += f"; hosts not probed in the window {show(not_probed)}, failed cycles {show(failed)}"
        if errors:
            note += f"; {len(errors)} run(s) failed: {errors[0][:120]}"
        bare_errors = [x["error"] for x in bare if "error" in x]
        if bare_errors:
            note += f"; bare floor run failed: {bare_errors[0][:160]}"
        table.add("monitoring", f"CPU per probe, {name}", "ms", good(ours, "cpu_s_per_1000"), "fping",
                  [x.get("cpu_s_per_1000") for x in fping], note,
                  ratios=pair_ratios(ours, fping, "cpu_s_per_1000"))
        table.add("monitoring", f"memory per host, {name}", "KiB", good(ours, "memory_kb_per_host"), "fping",
                  [x.get("memory_kb_per_host") for x in fping],
                  f"working-set growth; bare Wine threads {show(good(bare, 'memory_kb_per_host'))} KiB/host",
                  ratios=pair_ratios(ours, fping, "memory_kb_per_host"))
        mean = [x["period_mean_ms"] / (1000 * interval) for x in ours if "error" not in x]
        worst = [x["period_worst_ms"] / (1000 * interval) for x in ours if "error" not in x]
        bmean = [x["period_mean_ms"] / (1000 * interval) for x in bare if "error" not in x]
        bworst = [x["period_worst_ms"] / (1000 * interval) for x in bare if "error" not in x]
        table.add("interval accuracy", f"mean period / interval, {name}", "", mean, "bare echo + Sleep loop", bmean,
                  ratios=pair_ratios(ours, bare, "period_mean_ms"))
        table.add("interval accuracy", f"worst period / interval, {name}", "", worst, "bare echo + Sleep loop",
                  bworst, "longest gap between two probe starts of one host in the window",
                  ratios=pair_ratios(ours, bare, "period_worst_ms"))


def pair_ratios(ours, peer, field):
    return [o[field] / p[field] for o, p in zip(ours, peer)
            if "error" not in o and "error" not in p and p.get(field)]


# ---------------------------------------------------------------- the real program

HOSTS_HEADER = "主机地址/域名,主机名称,监测类型,重试次数,监测间隔(s),监测状态"
TOKEN, TOPIC = "AT_uptorra_test", "4242"


def app_modules():
    import uptorra_app  # tests/e2e: starts the program in a fresh folder, drives it
    return uptorra_app


def mark_first_run(wine):
    # Without the mark the program shows its usage box before the window on the first start.
    wine.run(["reg", "add", r"HKLM\SOFTWARE\KWO\Uptorra", "/v", "FirstRun", "/t", "REG_SZ", "/d", "1", "/f"])


def write_program_folder(folder, rows, api_url):
    ua = app_modules()
    ua.write_config(folder, token=TOKEN, topic=TOPIC, api_url=api_url)
    with open(os.path.join(folder, "MyHosts.csv"), "wb") as f:
        f.write("\r\n".join([HOSTS_HEADER] + [",".join(r) for r in rows]).encode("gbk"))


def start_push_service():
    ready = tempfile.mktemp(suffix=".json", prefix="bench-push-")
    proc = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests", "peers", "push_service.py"), "--port", "0",
                             "--ready-file", ready, "--rate-limit", "0", "--max-lifetime", "1200"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(200):
        if os.path.exists(ready) and os.path.getsize(ready) > 0:
            break
        time.sleep(0.05)
    port = json.load(open(ready))["port"]
    os.unlink(ready)
    return proc, port


def push_requests(port, since=0):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/_requests?since={since}", timeout=5) as r:
        return json.loads(r.read().decode())


class Listener:
    """A loopback TCP listener that accepts and closes; close() makes its port refuse."""

    def __init__(self, port=0):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        self.open = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while self.open:
            try:
                c, _ = self.sock.accept()
                c.close()
            except OSError:
                return

    def close(self):
        self.open = False
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()


def section_alert(table, args):
    ua = app_modules()
    interval, retries, timeout_s = 1, 1, 2.0
    attempts = retries + 1
    bound = interval + attempts * timeout_s
    trials = 3 if args.quick else 5
    rng = random.Random(SEED)
    push, push_port = start_push_service()
    listener = Listener()
    folder = tempfile.mkdtemp(prefix="uptorra-bench-alert-")
    latencies = []
    try:
        write_program_folder(folder, [("127.0.0.1", "bench", f"{listener.port}端口", str(retries), str(interval),
                                       "等待测试")], f"http://127.0.0.1:{push_port}/api/send/message")
        wine = ua.WineSession("wineprefix-bench-app")
        mark_first_run(wine)
        with ua.UptorraApp(folder, wine=wine) as app:
            app.start()
            app.click("启动监测")
            app.wait_rows(lambda cells, images: cells[0][6] == "端口通信正常", 60, "first success")
            for trial in range(trials):
                seen = len(push_requests(push_port))
                time.sleep(rng.uniform(0, interval))  # a random phase of the probe cycle
                closed_at = time.time()
                listener.close()
                got = ua.wait_until(lambda: push_requests(push_port)[seen:], 60, 0.02, "the alert")
                latencies.append(got[0]["time"] - closed_at)
                log(f"alert: trial {trial + 1}: {latencies[-1]:.3f} s")
                listener = Listener(listener.port)
                app.wait_rows(lambda cells, images: cells[0][6] == "端口通信正常", 60, "success again")
        wine.stop()
    finally:
        listener.close()
        push.terminate()
        push.wait()
        shutil.rmtree(folder, ignore_errors=True)
    table.add("time to alert", f"listener closed → push received (median of {trials})", "s",
              [statistics.median(latencies)], "bound: interval + attempts × time-out", [bound],
              f"interval {interval} s, {attempts} attempts, connect time-out {timeout_s:g} s; "
              f"each trial {', '.join(f'{x:.2f}' for x in latencies)} s")
    table.add("time to alert", f"listener closed → push received (worst of {trials})", "s", [max(latencies)],
              "bound: interval + attempts × time-out", [bound], "a refused connect fails at once, so the wait "
              "for the next cycle is most of it")


def hosts_rows(n, rng):
    rows = []
    for i in range(n):
        address = monitor.target(i)
        kind = "ICMP" if rng.random() < 0.5 else f"{rng.randrange(1, 65536)}端口"
        rows.append((address, f"服务器{i + 1}", kind, str(rng.randrange(0, 4)), str(rng.choice((10, 30, 60, 120))),
                     "等待测试"))
    return rows


def section_startup(table, args):
    ua = app_modules()
    rng = random.Random(SEED)
    wine = ua.WineSession("wineprefix-bench-app")
    mark_first_run(wine)
    floor = []
    for _ in range(args.runs + 1):
        start = time.monotonic()
        wine.run([os.path.join(BUILD, "bench_wine_start.exe")])
        floor.append(time.monotonic() - start)
    floor = floor[1:]  # the first start after the mark loads the libraries from disk
    ready = {}
    for n in (10, 10000):
        folder = tempfile.mkdtemp(prefix="uptorra-bench-start-")
        write_program_folder(folder, hosts_rows(n, rng), "http://127.0.0.1:9/api/send/message")
        want = f"主机载入完成，当前主机数：{n}"
        times = []
        try:
            for run in range(args.runs + 1):
                with ua.UptorraApp(folder, wine=wine) as app:
                    driver = app.driver  # started before the clock runs

                    def is_ready():
                        try:
                            window = driver("find")
                            if not window.get("visible"):
                                return None
                            panes = driver("state", 0)["panes"]
                            return window if panes and want in panes[0] else None
                        except ua.DriverError:
                            return None
                    start = time.monotonic()
                    app.process = wine.popen([app.exe], cwd=folder)
                    window = ua.wait_until(is_ready, 180, 0.02, f"window with {n} hosts")
                    elapsed = time.monotonic() - start
                    app.pid = window["pid"]
                    if run > 0:  # the first start warms the file cache
                        times.append(elapsed)
                    log(f"startup: {n} hosts: {elapsed:.2f} s")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        ready[n] = times
    wine.stop()
    for n in (10, 10000):
        table.add("start-up", f"launch → ready window, {n:,} hosts", "s", ready[n],
                  "trivial exe launched the same way", floor,
                  f"without the process start: {show([t - statistics.median(floor) for t in ready[n]])} s")
    table.add("start-up", "10,000 hosts over 10 hosts", "×", [b / a for a, b in zip(ready[10], ready[10000])], "", [],
              "the list is virtual (owner data): loading grows with the file, drawing does not", ratios=[])


# The long monitoring section last: a run cut short keeps the others.
def section_wait(table, args):
    threads = (1, 100)
    runs = []
    for _ in range(args.runs):
        server = subprocess.run([os.path.join(HERE, "wineserver_pid.sh")], env=wine_env(), capture_output=True,
                                text=True, stdin=subprocess.DEVNULL).stdout.strip()
        text = wine_output("bench_paced_wait.exe", f"--server-pid={server or 0}",
                           "--threads=" + ",".join(map(str, threads)), "--seconds=1",
                           f"--budget={10 if args.quick else 20}")
        figures = {}
        for line in text.splitlines():
            m = re.match(r"^(timer|sliced)\s+(\d+)\s+(\d+) s\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)", line)
            if m:
                figures[(m.group(1), int(m.group(2)))] = [float(m.group(i)) for i in range(4, 8)]
        runs.append(figures)
    for n in threads:
        table.add("paced wait", f"1 s wait, {n} thread(s) at once: duration / asked, worst", "",
                  [r[("timer", n)][1] for r in runs], "1000 slices of 1 ms, a timer each",
                  [r[("sliced", n)][1] for r in runs], "Wine's timers are exact: the tick overrun of Windows "
                  "does not show here")
        table.add("paced wait", f"1 s wait, {n} thread(s) at once: CPU per wait (process + wineserver)", "ms",
                  [1000 * (r[("timer", n)][2] + r[("timer", n)][3]) for r in runs],
                  "1000 slices of 1 ms, a timer each",
                  [1000 * (r[("sliced", n)][2] + r[("sliced", n)][3]) for r in runs],
                  "process CPU time comes in 10 ms steps under Wine (0 = under one step); sliced figures of a "
                  "case cut by its budget are extrapolated")


def python_posts(port, body, count):
    """Median ms of one POST of the alert body by Python's http.client, a new connection each."""
    import http.client
    times = []
    for _ in range(count):
        start = time.perf_counter()
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        c.request("POST", "/api/send/message", body, {"Content-Type": "application/json;charset=UTF-8"})
        c.getresponse().read()
        c.close()
        times.append(1000 * (time.perf_counter() - start))
    return statistics.median(times)


def section_notify(table, args):
    count = 40 if args.quick else 100
    push, port = start_push_service()
    body = json.dumps({"appToken": TOKEN, "content": "【KWO提醒】告警：10.0.0.1（网关） 80端口 2024-05-01 08:00:00 "
                       "通信失败，请及时查看！", "contentType": 1, "topicIds": [int(TOPIC)]},
                      ensure_ascii=False).encode("utf-8")
    ours, peer = [], []
    try:
        for _ in range(args.runs):
            text = wine_output("bench_notify.exe", f"http://127.0.0.1:{port}/api/send/message", count)
            m = re.search(r"SendAlert sequential: (\d+) alerts, (\d+) accepted, median ([\d.]+) ms", text)
            if not m or m.group(1) != m.group(2):
                raise RuntimeError("alerts not accepted: " + text[-300:])
            ours.append(float(m.group(3)))
            peer.append(python_posts(port, body, count))
    finally:
        push.terminate()
        push.wait()
    table.add("alert push", f"one alert to the local push service (median of {count})", "ms", ours,
              "Python http.client POST (native)", peer, "WinINet under Wine: JSON body, UTF-8, answer judged; "
              "a new connection each for the peer")


# The long monitoring section last: a run cut short keeps the others.
SECTIONS = {"pool": section_pool, "sort": section_sort, "log": section_log, "wait": section_wait,
            "notify": section_notify, "alert": section_alert, "startup": section_startup,
            "monitor": section_monitor}


def build():
    benches = sorted({"bench_" + re.sub(r"_bench(_win)?$", "", os.path.splitext(f)[0])
                      for f in os.listdir(HERE) if re.search(r"_bench(_win)?\.cpp$", f)})
    subprocess.run(["cmake", "--preset", "windows"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "windows", "--target", "uptorra", "uptorra_driver"] + benches,
                   cwd=ROOT, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="short windows, one run, no 5,000 hosts")
    parser.add_argument("--runs", type=int, help="runs per figure (default 3, 1 with --quick)")
    parser.add_argument("--only", default="", help="comma-separated sections: " + ",".join(SECTIONS))
    parser.add_argument("--hosts", default="", help="host counts for monitoring (default 100,1000,5000)")
    parser.add_argument("--no-build", action="store_true")
    parser.add_argument("--render", action="store_true", help="only rewrite the Markdown from RESULTS.json")
    parser.add_argument("--out", default=os.path.join(HERE, "RESULTS.md"))
    args = parser.parse_args()
    args.runs = args.runs or (1 if args.quick else 3)
    args.hosts = [int(h) for h in args.hosts.split(",") if h] or ([100, 1000] if args.quick else [100, 1000, 5000])
    chosen = [s for s in args.only.split(",") if s] or list(SECTIONS)
    results_json = os.path.splitext(args.out)[0] + ".json"
    started = datetime.datetime.utcnow()
    t0 = time.monotonic()
    if args.render:
        table = Table()
        table.keep_from(results_json, list(SECTIONS))
        with open(args.out, "w") as f:
            f.write(table.markdown(args, started))
        return 0
    if not args.no_build:
        build()
    subprocess.run([os.path.join(ROOT, "tools", "wine-prefix.sh")], env=wine_env(), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    table = Table()
    table.started = f"{started:%Y-%m-%d %H:%M}"
    display = app_modules().Display() if {"alert", "startup"} & set(chosen) else None
    if display:
        display.__enter__()
    try:
        table.keep_from(results_json, [s for s in SECTIONS if s not in chosen])
        for name in chosen:
            log(f"section {name}")
            table.current = name
            table.runs[name] = (f"`{' '.join(['run_all.py'] + sys.argv[1:])}`, {args.runs} run(s)"
                                f"{', quick' if args.quick else ''}, {started:%H:%M} UTC")
            before, s0 = load1(), time.monotonic()
            try:
                SECTIONS[name](table, args)
            except Exception as e:  # one broken section must not cost the others
                log(f"section {name} failed: {e!r}")
                table.failed(name, "(whole section)", repr(e)[:300])
            finally:
                stop_bench_server()
            table.loads[name] = (before, load1())
            table.times[name] = time.monotonic() - s0
            table.times["total"] = time.monotonic() - t0
            with open(args.out, "w") as f:  # rewritten after every section: a cut run keeps what it had
                f.write(table.markdown(args, started))
            table.save(results_json)
    finally:
        if display:
            display.__exit__(None, None, None)
    log(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
