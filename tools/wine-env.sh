# Sourced by the Wine helpers: the environment every Wine call of the project uses.
# UPTORRA_BUILD_DIR names the build folder whose prefix is used.
: "${UPTORRA_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/windows}"
export WINEPREFIX="${WINEPREFIX:-$UPTORRA_BUILD_DIR/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# Skip the Mono and Gecko installers; nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Chinese locale: ANSI code page 936. UPTORRA_LOCALE overrides it for the non-Chinese pass.
export LANG="${UPTORRA_LOCALE:-zh_CN.UTF-8}"
export LC_ALL="$LANG"
WINE_BIN="$(command -v wine64 || command -v wine)"
export WINE_BIN
