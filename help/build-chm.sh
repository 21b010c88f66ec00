#!/bin/bash
# Compiles the manual: copies the project, the contents and the pages into a
# staging folder as Shift_JIS (the help viewer of a Japanese system reads
# the contents and the pages in code page 932), with @FERROW_VERSION@ replaced
# by the version, then runs chmcmd there.
# usage: build-chm.sh <help source folder> <staging folder> <output .chm> <version>
set -euo pipefail
source=$1 staging=$2 output=$3 version=$4
rm -rf "$staging"
mkdir -p "$staging"
convert() {  # UTF-8 source -> Shift_JIS copy with its charset declaration changed
  iconv -f UTF-8 -t CP932 "$1" | sed -e 's/charset=UTF-8/charset=Shift_JIS/' -e "s/@FERROW_VERSION@/$version/g" >"$2"
}
convert "$source/Ferrow.hhp" "$staging/Ferrow.hhp"
convert "$source/toc.hhc" "$staging/toc.hhc"
for page in "$source"/html/*; do
  convert "$page" "$staging/$(basename "$page")"
done
(cd "$staging" && chmcmd Ferrow.hhp >chmcmd.log 2>&1) || { cat "$staging/chmcmd.log" >&2; exit 1; }
if grep -qi "error" "$staging/chmcmd.log"; then cat "$staging/chmcmd.log" >&2; exit 1; fi
mv "$staging/Ferrow.chm" "$output"
