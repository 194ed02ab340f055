#!/usr/bin/python3
"""Starts and stops the local test peers for CTest fixtures (and for benches).

  peerctl.py start --state-dir DIR --name NAME [--timeout S] -- COMMAND [ARGS...]
      Stops a stale NAME left by an earlier run, starts COMMAND detached (its own session,
      output to DIR/NAME.log) with "--ready-file DIR/NAME.json" appended, waits until the ready
      file appears (the peer then listens) and returns. Fails, printing the log, when the peer
      exits or does not get ready in time.
  peerctl.py stop --state-dir DIR [--name NAME]
      Stops NAME (or every peer of DIR): SIGTERM, then SIGKILL after a grace period. Only the
      process recorded in DIR/NAME.pid is signalled, and only when its command line still names
      the peer script (a recycled process id is left alone).

The ready file is JSON written by the peer (pid, host, port...); tests read it to find ports.
"""

from __future__ import annotations

import argparse
import glob
import os
import signal
import subprocess
import sys
import time


def paths(state_dir: str, name: str) -> tuple[str, str, str]:
    base = os.path.join(state_dir, name)
    return base + ".pid", base + ".json", base + ".log"


def recorded_process(pid_file: str) -> tuple[int, str] | None:
    try:
        with open(pid_file, encoding="utf-8") as f:
            pid_text, _, marker = f.read().partition("\n")
        return int(pid_text), marker.strip()
    except (OSError, ValueError):
        return None


def still_ours(pid: int, marker: str) -> bool:
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
    except OSError:
        return False
    return bool(marker) and marker in cmdline


def stop_one(state_dir: str, name: str, grace: float = 5.0) -> None:
    pid_file, ready_file, _ = paths(state_dir, name)
    recorded = recorded_process(pid_file)
    if recorded and still_ours(*recorded):
        pid = recorded[0]
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline and still_ours(*recorded):
            time.sleep(0.05)
        if still_ours(*recorded):
            os.kill(pid, signal.SIGKILL)
    for path in (pid_file, ready_file):
        try:
            os.remove(path)
        except FileNotFoundError:
            pass


def start(args: argparse.Namespace) -> int:
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        print("peerctl: no command given", file=sys.stderr)
        return 2
    os.makedirs(args.state_dir, exist_ok=True)
    stop_one(args.state_dir, args.name)
    pid_file, ready_file, log_file = paths(args.state_dir, args.name)
    # The marker that identifies our process later: the peer script's path.
    marker = next((part for part in command if part.endswith(".py")), command[0])
    with open(log_file, "wb") as log:
        process = subprocess.Popen(command + ["--ready-file", ready_file], stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    with open(pid_file, "w", encoding="utf-8") as f:
        f.write(f"{process.pid}\n{marker}\n")
    deadline = time.monotonic() + args.timeout
    while time.monotonic() < deadline:
        if os.path.exists(ready_file):
            with open(ready_file, encoding="utf-8") as f:
                print(f"peerctl: {args.name} ready: {f.read()}")
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    with open(log_file, encoding="utf-8", errors="replace") as f:
        print(f"peerctl: {args.name} did not get ready; its log:\n{f.read()}", file=sys.stderr)
    stop_one(args.state_dir, args.name)
    return 1


def stop(args: argparse.Namespace) -> int:
    names = [args.name] if args.name else [
        os.path.basename(p)[: -len(".pid")] for p in glob.glob(os.path.join(args.state_dir, "*.pid"))]
    for name in names:
        stop_one(args.state_dir, name)
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="action", required=True)
    start_parser = sub.add_parser("start", help="start a peer and wait until it listens")
    start_parser.add_argument("--state-dir", required=True)
    start_parser.add_argument("--name", required=True)
    start_parser.add_argument("--timeout", type=float, default=30.0, help="seconds to wait for the ready file")
    start_parser.add_argument("command", nargs=argparse.REMAINDER, help="-- COMMAND [ARGS...]")
    stop_parser = sub.add_parser("stop", help="stop one peer or all peers of a state folder")
    stop_parser.add_argument("--state-dir", required=True)
    stop_parser.add_argument("--name")
    args = parser.parse_args()
    return start(args) if args.action == "start" else stop(args)


if __name__ == "__main__":
    sys.exit(main())
