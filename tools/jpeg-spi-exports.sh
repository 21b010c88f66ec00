#!/bin/bash
# Checks the export table of a built plug-in (jpeg.spi, wic.spi): the five plug-in functions must
# be exported by their plain names (no stdcall @N decoration), nothing missing.
#   jpeg-spi-exports.sh OBJDUMP jpeg.spi|wic.spi
set -euo pipefail
objdump=${1:?usage: jpeg-spi-exports.sh OBJDUMP DLL}
dll=${2:?usage: jpeg-spi-exports.sh OBJDUMP DLL}
# The name column of the "[Ordinal/Name Pointer] Table" section.
names=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | grep -o '\] .*' | cut -c3-)
echo "exports of $(basename "$dll"):" $names
status=0
for want in GetPluginInfo IsSupported GetPictureInfo GetPicture GetPreview; do
  if ! grep -qx "$want" <<<"$names"; then echo "missing export: $want" >&2; status=1; fi
done
if grep -q '@' <<<"$names"; then echo "decorated export names:" $(grep '@' <<<"$names") >&2; status=1; fi
exit $status
