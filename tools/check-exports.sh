#!/bin/bash
# Lists the exports of jpeg.spi, wic.spi and Ferrow.dll in each build folder given and
# fails on a missing file, a missing name or a decorated (name@N) export.
status=0
expect_spi="GetPluginInfo IsSupported GetPictureInfo GetPicture GetPreview"
expect_dll="DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer"
for dir in "$@"; do
  for pair in "jpeg.spi:$expect_spi" "wic.spi:$expect_spi" "Ferrow.dll:$expect_dll"; do
    file=$dir/${pair%%:*}
    if [ ! -f "$file" ]; then echo "exports: $file is missing"; status=1; continue; fi
    names=$(x86_64-w64-mingw32-objdump -p "$file" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}')
    for want in ${pair#*:}; do
      echo "$names" | grep -qx "$want" || { echo "exports: $file lacks $want"; status=1; }
    done
    if echo "$names" | grep -q '@'; then echo "exports: $file has decorated names: $(echo $names)"; status=1; fi
  done
done
[ $status = 0 ] && echo "exports: jpeg.spi, wic.spi and Ferrow.dll export their plain names in: $*"
exit $status
