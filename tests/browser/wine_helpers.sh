# Sourced by the browser test scripts: the project's Wine environment, the
# registry reads they check with, and putting the registry back as found.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/tools/wine-env.sh"
wine_ready || exit 125

CLSID='{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}'
LIBID='{97C49BC7-38B5-4F5A-8341-592F117BDFE7}'
MENU_KEY='HKCU\Software\Microsoft\Internet Explorer\MenuExt\Ferrowで解析'
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Data of a REG_SZ value (default value when no name is given); empty and
# status 1 when the key or value is missing.
reg_value() {
  local out
  if [ -n "${2:-}" ]; then out=$("$WINE64" reg query "$1" /v "$2" 2>/dev/null) || return 1
  else out=$("$WINE64" reg query "$1" /ve 2>/dev/null) || return 1; fi
  # reg prints in the ANSI code page (932); the checks are UTF-8.
  echo "$out" | tr -d '\r' | LC_ALL=C sed -n 's/^.*REG_[A-Z_]*    //p' | head -1 | iconv -f CP932 -t UTF-8
}
reg_exists() { "$WINE64" reg query "$1" >/dev/null 2>&1; }
expect_value() {  # key, value name or "", expected data
  local got
  got=$(reg_value "$1" "$2") || { fail "missing $1 ${2:-(default)}"; return; }
  [ "$got" = "$3" ] && pass "$1 ${2:-(default)} = $3" || fail "$1 ${2:-(default)}: \"$got\", expected \"$3\""
}

# The class registration and the menu key as they were, put back at exit.
saved_server=$(reg_value "HKCR\\CLSID\\$CLSID\\InprocServer32" || true)
saved_menu=$(mktemp --suffix=.reg)
reg_exists "$MENU_KEY" && "$WINE64" reg export "$MENU_KEY" "$(winpath "$saved_menu")" /y >/dev/null 2>&1 || rm -f "$saved_menu"
restore_registry() {
  "$WINE64" reg delete "$MENU_KEY" /f >/dev/null 2>&1
  if [ -f "$saved_menu" ]; then "$WINE64" reg import "$(winpath "$saved_menu")" >/dev/null 2>&1; rm -f "$saved_menu"; fi
  if [ -n "$saved_server" ] && "$WINE64" regsvr32 /s "$saved_server" >/dev/null 2>&1; then :
  else "$WINE64" regsvr32 /u /s "$(winpath "$bin/Ferrow.dll")" >/dev/null 2>&1; fi
}

finish() {
  [ $failures = 0 ] && { echo "all checks passed"; exit 0; }
  echo "$failures check(s) failed"; exit 1
}
