#!/bin/bash
# A real automation client, a script run by Wine's cscript, calls Open of
# "Ferrow.FerrowApi": with the menu key missing nothing starts and the key is
# left behind empty; with the key naming a folder, the program there (a
# stand-in that records its command line) is started with the address.
# Argument: the build's bin folder.
bin=$(cd "$1" && pwd)
source "$(dirname "$0")/wine_helpers.sh"
trap restore_registry EXIT
script=$(winpath "$here/open_address.vbs")
address="http://127.0.0.1:8080/page.html"
"$WINE64" regsvr32 /s "$(winpath "$bin/Ferrow.dll")" || fail "regsvr32 returned $?"

"$WINE64" reg delete "$MENU_KEY" /f >/dev/null 2>&1
out=$("$WINE64" cscript //nologo "$script" "$address" | tr -d '\r')
[ "$out" = "Open done" ] && pass "Open without program or menu key raised no error" || fail "cscript said: $out"
reg_exists "$MENU_KEY" && pass "the menu key is left behind" || fail "no menu key after Open"

folder=$(mktemp -d)
cp "$bin/command_line_recorder.exe" "$folder/Ferrow.exe"
"$WINE64" reg add "$MENU_KEY" /ve /d "$(winpath "$folder")\\ie_menu.htm" /f >/dev/null
out=$("$WINE64" cscript //nologo "$script" "$address" | tr -d '\r')
[ "$out" = "Open done" ] || fail "cscript said: $out"
for _ in $(seq 300); do [ -f "$folder/started.txt" ] && break; sleep 0.1; done
if [ -f "$folder/started.txt" ]; then
  got=$(cat "$folder/started.txt")
  [ "$got" = "$address" ] && pass "Ferrow.exe of the menu folder started with $address" || fail "started with \"$got\""
else
  fail "no program started within 30 s"
fi
rm -rf "$folder"
finish
