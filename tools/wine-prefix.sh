#!/usr/bin/env bash
# Creates the build folder's Wine prefix once (10-40 s), then returns at once.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-prefix: creating $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINE_BIN" wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
fi
