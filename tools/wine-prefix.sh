#!/bin/bash
# Prepares the Wine prefix once: a 64-bit prefix with Debian's IPA fonts
# standing in for the Japanese faces the program asks for.
set -e
source "$(dirname "$0")/wine-env.sh"
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.ferrow-ready" ] && exit 0
echo "wine: preparing the prefix $WINEPREFIX" >&2
"$WINE64" wineboot --init >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w || true
reg=$(mktemp --suffix=.reg)
cat > "$reg.utf8" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ ゴシック"="IPAGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ 明朝"="IPAMincho"
"MS Gothic"="IPAGothic"
"MS PGothic"="IPAPGothic"
"MS UI Gothic"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"
"Tahoma"="IPAPGothic"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="MS UI Gothic"
"MS Shell Dlg 2"="MS UI Gothic"
REG
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg.utf8"; } > "$reg"
"$WINE64" regedit /S "$(winpath "$reg")" >/dev/null 2>&1
/usr/lib/wine/wineserver -w || true
rm -f "$reg" "$reg.utf8"
touch "$WINEPREFIX/.ferrow-ready"
