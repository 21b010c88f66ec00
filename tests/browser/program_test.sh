#!/bin/bash
# The browser integration end to end with the real Ferrow.exe, run from a
# folder of its own (its own Ferrow.ini, registry put back as found):
# - start-up with IEMenu 1 writes the menu key for that folder;
# - Open from cscript reaches the running, minimised program: the address
#   arrives in the URL box, the window comes back, the page is requested;
# - with the program closed, Open starts it from the menu key's folder;
# - command 40002 takes the address from a DDE "browser": IEXPLORE before
#   OPERA, and nothing happens when none runs;
# - a Japanese folder name warns once in the log, half-width katakana not.
# Argument: the build's bin folder.
bin=$(cd "$1" && pwd)
source "$(dirname "$0")/wine_helpers.sh"
source "$root/tools/serve.sh"
work=$(mktemp -d)
program_pids=()
cleanup() {
  for pid in "${program_pids[@]}"; do kill "$pid" 2>/dev/null; done
  serve_stop
  restore_registry
  rm -rf "$work"
}
trap cleanup EXIT
probe() { "$WINE64" "$bin/ferrow_probe.exe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
script=$(winpath "$here/open_address.vbs")
warning='警告: フォルダに日本語が使われているとIEから起動が出来ません。'

# A page server whose log shows what the program asked for.
mkdir -p "$work/www"
for page in page start ie opera; do echo "<html><title>$page</title></html>" > "$work/www/$page.html"; done
serve port "$work/server.out" "$work/server.log" python3 -u -m http.server 0 --bind 127.0.0.1 \
  --directory "$work/www" || exit 1
url() { echo "http://127.0.0.1:$port/$1.html"; }
requested() {  # polls the server log for a request of the page, up to 30 s
  for _ in $(seq 300); do grep -q "GET /$1.html" "$work/server.log" && return 0; sleep 0.1; done; return 1
}

install_program() {  # folder: Ferrow.exe with its library and menu page, IEMenu 1
  mkdir -p "$1"
  cp "$bin/Ferrow.exe" "$bin/Ferrow.dll" "$bin/ie_menu.htm" "$1/"
  printf '[OPTION]\r\nIEMenu=1\r\n' > "$1/Ferrow.ini"
}
start_program() {  # folder, optional address
  "$WINE64" "$1/Ferrow.exe" ${2:+"$2"} >/dev/null 2>&1 &
  program_pids+=($!)
  probe wait-window 60000 || fail "Ferrow.exe in $1 showed no window"
}
# The menu key is written late in the start-up, after the window shows.
wait_for_menu_page() {  # folder
  for _ in $(seq 300); do [ "$(reg_value "$MENU_KEY")" = "$(winpath "$1")\\ie_menu.htm" ] && return 0; sleep 0.1; done
  return 1
}
close_program() { probe close 30000 || fail "Ferrow.exe did not close"; }

home="$work/ferrow"
install_program "$home"
start_program "$home"
wait_for_menu_page "$home"
expect_value "$MENU_KEY" "" "$(winpath "$home")\\ie_menu.htm"
expect_value "$MENU_KEY" contexts 0x41
expect_value "$MENU_KEY" Flags 0x0
[ "$(probe log-count "$warning")" = 0 ] && pass "no folder warning for $home" || fail "folder warning for $home"

# Running and minimised: Open hands the address over.
probe minimise || fail "could not minimise"
out=$("$WINE64" cscript //nologo "$script" "$(url page)" | tr -d '\r')
[ "$out" = "Open done" ] || fail "cscript said: $out"
probe url-box "$(url page)" 30000 && pass "address arrived in the URL box" || fail "address not in the URL box"
probe iconic && fail "window still minimised" || pass "window restored"
requested page && pass "analysis requested the page" || fail "page never requested"

# DDE: IEXPLORE wins over OPERA; with none running nothing changes.
"$WINE64" "$bin/dde_browser_stub.exe" OPERA "file:$(winpath "$work/opera.ready")" "file:$(winpath "$work/opera.stop")" "$(url opera)" &
opera_pid=$!
"$WINE64" "$bin/dde_browser_stub.exe" IEXPLORE "file:$(winpath "$work/ie.ready")" "file:$(winpath "$work/ie.stop")" "$(url ie)" &
ie_pid=$!
program_pids+=($opera_pid $ie_pid)
for _ in $(seq 300); do [ -f "$work/opera.ready" ] && [ -f "$work/ie.ready" ] && break; sleep 0.1; done
probe command 40002 || fail "command 40002 not run"
probe url-box "$(url ie)" 30000 && pass "40002 took the address from IEXPLORE" || fail "40002 did not take IEXPLORE's address"
requested ie && pass "analysis requested IEXPLORE's page" || fail "IEXPLORE's page never requested"
touch "$work/ie.stop"
wait $ie_pid
probe command 40002 || fail "command 40002 not run"
probe url-box "$(url opera)" 30000 && pass "40002 falls back to OPERA" || fail "40002 did not take OPERA's address"
touch "$work/opera.stop"
wait $opera_pid
probe command 40002 || fail "command 40002 not run"
probe url-box "$(url opera)" 1000 && pass "40002 without a browser changes nothing" || fail "URL box changed without a browser"
close_program

# Not running: Open starts the program of the menu key's folder.
out=$("$WINE64" cscript //nologo "$script" "$(url start)" | tr -d '\r')
[ "$out" = "Open done" ] || fail "cscript said: $out"
probe wait-window 60000 && pass "Open started Ferrow.exe" || fail "Open started nothing"
probe url-box "$(url start)" 30000 && pass "the started program has the address" || fail "started without the address"
requested start && pass "the started program analysed the page" || fail "start page never requested"
close_program

# Folder names: Japanese text warns once, half-width katakana does not.
for case in "日本語フォルダ:1" "ﾃｽﾄ:0"; do
  folder="$work/${case%%:*}"
  install_program "$folder"
  start_program "$folder"
  wait_for_menu_page "$folder"
  count=$(probe log-count "$warning")
  [ "$count" = "${case##*:}" ] && pass "${case%%:*}: $count warning line(s)" || fail "${case%%:*}: $count warning line(s)"
  expect_value "$MENU_KEY" "" "$(winpath "$folder")\\ie_menu.htm"
  close_program
done
finish
