#!/bin/bash
# Wine's regsvr32 on Ferrow.dll writes every key of its table, and /u takes
# them away again while "CLSID" stays. Argument: the folder of Ferrow.dll.
bin=$(cd "$1" && pwd)
source "$(dirname "$0")/wine_helpers.sh"
trap restore_registry EXIT
dll=$(winpath "$bin/Ferrow.dll")
class="HKCR\\CLSID\\$CLSID"

"$WINE64" regsvr32 /s "$dll" && pass "regsvr32 registered Ferrow.dll" || fail "regsvr32 returned $?"
expect_value 'HKCR\Ferrow.FerrowApi.1' "" "FerrowApi Class"
expect_value 'HKCR\Ferrow.FerrowApi.1\CLSID' "" "$CLSID"
expect_value 'HKCR\Ferrow.FerrowApi' "" "FerrowApi Class"
expect_value 'HKCR\Ferrow.FerrowApi\CLSID' "" "$CLSID"
expect_value 'HKCR\Ferrow.FerrowApi\CurVer' "" "Ferrow.FerrowApi.1"
expect_value "$class" "" "FerrowApi Class"
expect_value "$class\\ProgID" "" "Ferrow.FerrowApi.1"
expect_value "$class\\VersionIndependentProgID" "" "Ferrow.FerrowApi"
expect_value "$class\\InprocServer32" "" "$dll"
expect_value "$class\\InprocServer32" ThreadingModel "Apartment"
expect_value "$class\\TypeLib" "" "$LIBID"
expect_value "HKCR\\TypeLib\\$LIBID\\1.0\\0\\win64" "" "$dll"
reg_exists "$class\\Programmable" && pass "Programmable key" || fail "no Programmable key"

"$WINE64" regsvr32 /u /s "$dll" && pass "regsvr32 /u returned 0" || fail "regsvr32 /u returned $?"
for key in "$class" 'HKCR\Ferrow.FerrowApi' 'HKCR\Ferrow.FerrowApi.1' "HKCR\\TypeLib\\$LIBID"; do
  reg_exists "$key" && fail "$key left behind" || pass "$key removed"
done
reg_exists 'HKCR\CLSID' && pass "CLSID kept" || fail "CLSID removed"
finish
