#!/usr/bin/env bash
# Prints the process id of the wineserver that serves this build's Wine prefix (started if
# needed), so that a benchmark can count the server's CPU time too: under Wine every timer and
# wait call is a request to that server.
#   build/windows/bench_paced_wait.exe --server-pid=$(bench/wineserver_pid.sh)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/tools/wine-env.sh"
wineserver -p </dev/null >/dev/null 2>&1 || true
want="$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
for pid in $(pgrep -x 'wineserver64|wineserver' || true); do
  if [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null || true)")" = "$want" ]; then
    echo "$pid"
    exit 0
  fi
done
echo "no wineserver for $WINEPREFIX" >&2
exit 1
