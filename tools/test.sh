#!/usr/bin/env bash
# Builds Uptorra and runs every test: unit tests under Wine (Chinese locale, then a
# non-Chinese locale so that a code-page leak shows), the end-to-end tests, and the native
# sanitizer build of the portable logic.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash tools/setup.sh

cmake --preset windows >/dev/null
cmake --build --preset windows

export UPTORRA_BUILD_DIR="$root/build/windows"
source tools/wine-env.sh
source tools/display.sh
tools/wine-prefix.sh
uptorra_display_start
cleanup() { wineserver -k 2>/dev/null || true; uptorra_display_stop; }
trap cleanup EXIT
wineserver -p </dev/null >/dev/null 2>&1 || true

status=0
echo "== unit tests under Wine, locale zh_CN.UTF-8 (ANSI code page 936)"
ctest --preset windows --timeout 600 || status=1

echo "== unit tests under Wine, locale en_US.UTF-8 (ANSI code page 1252)"
UPTORRA_LOCALE=en_US.UTF-8 ctest --preset windows --timeout 600 || status=1

if compgen -G "tests/e2e/test_*.py" >/dev/null; then
  echo "== end-to-end tests"
  /usr/bin/python3 -m pytest -q tests/e2e || status=1
fi

if [ -z "${UPTORRA_SKIP_NATIVE:-}" ]; then
  echo "== native build of the portable logic with ASan and UBSan"
  cmake --preset native-asan >/dev/null
  cmake --build --preset native-asan
  ctest --preset native-asan --timeout 600 || status=1
fi

exit $status
