#!/usr/bin/env bash
# Runs a Windows executable under Wine with the project's prefix and locale.
# Used by CTest as the cross-compiling emulator: tools/wine-run.sh program.exe args...
set -euo pipefail
here="$(dirname "$0")"
source "$here/wine-env.sh"
[ -f "$WINEPREFIX/system.reg" ] || "$here/wine-prefix.sh"
# The first Wine process of a server session starts the server and Wine's background services,
# and they inherit its standard handles: a caller that reads our output to its end would wait
# for them for ever. So the session is started here, detached from our pipes, before the
# program runs; when it is already up this costs a fraction of a second.
wineserver -p </dev/null >/dev/null 2>&1 || true
"$WINE_BIN" wineboot </dev/null >/dev/null 2>&1 || true
exec "$WINE_BIN" "$@"
