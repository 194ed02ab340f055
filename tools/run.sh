#!/usr/bin/env bash
# Builds Uptorra and starts it under Wine. Without a display it starts a virtual one (Xvfb with
# openbox) and prints its number. The program keeps its files next to itself, so it runs from
# build/run/ (UPTORRA_RUN_DIR overrides).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target uptorra
export UPTORRA_BUILD_DIR="$root/build/windows"
source tools/wine-env.sh
source tools/display.sh
tools/wine-prefix.sh
run_dir="${UPTORRA_RUN_DIR:-$root/build/run}"
mkdir -p "$run_dir"
cp build/windows/src/app/uptorra.exe "$run_dir/"
if [ -z "${DISPLAY:-}" ]; then
  uptorra_display_start
  echo "run: virtual display $DISPLAY (take a look with: DISPLAY=$DISPLAY import -window root shot.png)"
fi
cd "$run_dir"
exec "$WINE_BIN" ./uptorra.exe
