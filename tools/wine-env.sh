# Sourced: the environment every Wine run of this project uses. The prefix
# belongs to the build folder; the locale makes the ANSI code page 932.
FERROW_ROOT=${FERROW_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$FERROW_ROOT/build/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
WINE64=/usr/lib/wine/wine64
# The prefix prepared, and a display: the virtual one when there is none.
wine_ready() {
  "$FERROW_ROOT/tools/wine-prefix.sh" || { echo "the Wine prefix could not be prepared" >&2; return 1; }
  [ -n "${DISPLAY:-}" ] || { DISPLAY=$("$FERROW_ROOT/tools/xvfb.sh" start) && export DISPLAY; }
}
# A Unix path as Wine's drive Z: names it.
winpath() { echo "Z:$(realpath -ms "$1" | tr / '\\')"; }
