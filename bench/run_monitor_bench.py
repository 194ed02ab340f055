#!/usr/bin/python3
"""Monitoring benchmark: N loopback hosts probed by ICMP at an interval (1 s unless told).

For every N it runs, one after the other and each in a fresh Wine session of its own prefix:
  uptorra  the program's monitoring (bench_monitor.exe monitor N SECONDS)
  bare     the same number of threads calling only the echo and sleeping out the second
  fping    Debian's fping over the same targets at the same period (native, no Wine)
A run that does not reach its measured window (too many hosts for the machine) raises
RuntimeError with what the program printed; bench/run_all.py reports it as such.
and prints probes per second, CPU seconds per 1000 probes (the program plus wineserver and
Wine's device host, which runs the echoes), memory per host and the mean and worst period
between two probes of one host. Every target is in 127.0.0.0/8.

usage: bench/run_monitor_bench.py [--seconds 30] [--interval 1] N [N ...]
"""
import argparse
import fcntl
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("UPTORRA_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
PREFIX = os.path.join(BUILD, "wineprefix-bench")
TICK = os.sysconf("SC_CLK_TCK")


def target(i):
    return f"127.{1 + i // 65025}.{(i // 255) % 255}.{1 + i % 255}"


def wine_env():
    return dict(os.environ, UPTORRA_BUILD_DIR=BUILD, WINEPREFIX=PREFIX)


def session_processes():
    """pid -> kind for the processes of this prefix's Wine session."""
    found = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"WINEPREFIX={PREFIX}".encode() not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode(errors="replace").lower()
            with open(f"/proc/{pid}/comm") as f:
                comm = f.read().strip()
        except OSError:
            continue
        if comm == "wineserver" or "wineserver" in cmd.split(" ")[0]:
            found[int(pid)] = "wineserver"
        elif "winedevice.exe" in cmd:
            found[int(pid)] = "winedevice"
        elif "bench_monitor.exe" in cmd:
            found[int(pid)] = "program"
        else:
            found[int(pid)] = "other"
    return found


def cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK  # utime + stime, all threads
    except OSError:
        return 0.0


def cpu_by_kind(kinds):
    totals = {}
    for pid, kind in kinds.items():
        totals[kind] = totals.get(kind, 0.0) + cpu_seconds(pid)
    return totals


def run_wine(mode, hosts, seconds, interval=1):
    env = wine_env()
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
    time.sleep(0.5)
    subprocess.run([os.path.join(ROOT, "tools", "wine-prefix.sh")], env=env, check=True, capture_output=True)
    exe = os.path.join(BUILD, "bench_monitor.exe")
    proc = subprocess.Popen([os.path.join(ROOT, "tools", "wine-run.sh"), exe, mode, str(hosts), str(seconds),
                             str(interval)],
                            env=env, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    # Starting thousands of threads under Wine can take minutes on a loaded machine; past this
    # the run is given up rather than left hanging.
    watchdog = threading.Timer(seconds + 240, proc.kill)
    watchdog.start()
    figures, before, after, kinds = {}, None, None, {}
    for line in proc.stdout:
        line = line.strip()
        if line == "START":
            kinds = session_processes()  # the same processes are read again at the end
            before = cpu_by_kind(kinds)
        elif line == "END":
            after = cpu_by_kind(kinds)
        elif "=" in line:
            key, value = line.split("=", 1)
            figures[key] = value
    proc.wait()
    watchdog.cancel()
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
    if before is None or after is None:
        raise RuntimeError(f"{mode} {hosts}: no measured window ({figures})")
    probes = int(figures["probes"])
    cpu = {k: after.get(k, 0.0) - before.get(k, 0.0) for k in ("program", "wineserver", "winedevice")}
    counted = sum(cpu.values())
    memory_kb = int(figures["running_working_set_kb"]) - int(figures["base_working_set_kb"])
    return {
        "mode": "uptorra" if mode == "monitor" else "bare",
        "hosts": hosts,
        "interval_s": interval,
        "probes_per_s": float(figures["probes_per_s"]),
        "cpu_s_per_1000": 1000 * counted / probes if probes else float("nan"),
        "cpu_split_s": {k: round(v, 2) for k, v in cpu.items()},
        "memory_kb_per_host": memory_kb / hosts,
        "period_mean_ms": float(figures["period_mean_ms"]),
        "period_worst_ms": float(figures["period_worst_ms"]),
        "hosts_not_probed": int(figures["hosts_not_probed"]),
        "failed_cycles": int(figures.get("failed_cycles", 0)),
        "note": figures.get("note", ""),
    }


def run_fping(hosts, seconds, interval=1):
    targets = [target(i) for i in range(hosts)]
    rounds = max(2, seconds // interval)
    # One round over all targets must fit in 0.9 s, whatever the period.
    gap_ms = min(1.0, 900.0 / hosts)
    cmd = ["fping", "-q", "-c", str(rounds), "-p", str(1000 * interval), "-t", "2000", "-i", f"{gap_ms:g}"] + targets
    start = time.monotonic()
    # The per-target summary goes to a file: through a pipe it would fill the pipe and stall
    # fping before wait4 returns.
    with tempfile.TemporaryFile(mode="w+") as summary:
        proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=summary)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.monotonic() - start
        summary.seek(0)
        lines = summary.read().splitlines()
    received = 0
    for line in lines:
        if "xmt/rcv" in line:
            received += int(line.split("=")[1].split("/")[1])
    sent = hosts * rounds
    return {
        "mode": "fping",
        "hosts": hosts,
        "interval_s": interval,
        "probes_per_s": sent / wall,
        "cpu_s_per_1000": 1000 * (usage.ru_utime + usage.ru_stime) / sent,
        "memory_kb_per_host": usage.ru_maxrss / hosts,
        "period_mean_ms": 1000 * wall / rounds,
        "period_worst_ms": float("nan"),
        "received": received,
        "sent": sent,
    }


def main():
    # One run at a time: each run restarts the bench prefix's Wine session.
    lock = open(PREFIX + ".lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--interval", type=int, default=1)
    parser.add_argument("hosts", type=int, nargs="+")
    args = parser.parse_args()
    rows = []
    for n in args.hosts:
        for mode in ("monitor", "bare"):
            rows.append(run_wine(mode, n, args.seconds, args.interval))
            print(json.dumps(rows[-1]), flush=True)
        rows.append(run_fping(n, args.seconds, args.interval))
        print(json.dumps(rows[-1]), flush=True)
    print()
    print(f"{'hosts':>6} {'run':>8} {'probes/s':>9} {'CPU s/1000':>10} {'KB/host':>8} {'mean ms':>8} {'worst ms':>9}")
    for r in rows:
        print(f"{r['hosts']:>6} {r['mode']:>8} {r['probes_per_s']:>9.1f} {r['cpu_s_per_1000']:>10.3f} "
              f"{r['memory_kb_per_host']:>8.0f} {r['period_mean_ms']:>8.1f} {r['period_worst_ms']:>9.1f}")
    for n in args.hosts:
        by = {r["mode"]: r for r in rows if r["hosts"] == n}
        u = by["uptorra"]["cpu_s_per_1000"]
        print(f"N={n}: CPU per probe uptorra/bare = {u / by['bare']['cpu_s_per_1000']:.2f}, "
              f"uptorra/fping = {u / by['fping']['cpu_s_per_1000']:.1f}")


if __name__ == "__main__":
    sys.exit(main())
