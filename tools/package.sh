#!/bin/bash
# Builds the Windows packages from a clean build of each architecture:
#   build/dist/Ferrow-<version>-win64.zip   (plug-ins as .sph)
#   build/dist/Ferrow-<version>-win32.zip   (plug-ins as .spi)
# Each holds, with the files' dates: Ferrow.exe, FerrowHost.exe (the browser
# extension's host), Ferrow.dll, ie_menu.htm, Ferrow.chm, the image plug-ins,
# readme.txt (Shift_JIS, CRLF) and LICENSE.txt, and the folder extension/
# with the browser extension as it is loaded unpacked.
# usage: tools/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/setup.sh
version=$(sed -n 's/^#define FERROW_VERSION "\(.*\)"$/\1/p' resources/version.h)
[ -n "$version" ] || { echo "package: no version in resources/version.h" >&2; exit 1; }
dist=build/dist
mkdir -p "$dist"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Text files for Windows users: Shift_JIS with CRLF line ends, dated like
# their sources.
windows_text() {  # source, destination
  iconv -f UTF-8 -t CP932 "$1" | sed -e "s/@FERROW_VERSION@/$version/g" -e 's/$/\r/' >"$2"
  touch -r "$1" "$2"
}

# A module without its debug information, keeping the built file's date.
copy_module() {  # strip program, source, destination
  cp -p "$2" "$3"
  "$1" --strip-debug "$3"
  touch -r "$2" "$3"
}

package() {  # architecture (win64|win32), toolchain file, plug-in extension, strip program
  local arch=$1 toolchain=$2 plugin_ext=$3 strip=$4
  local build="$dist/build-$arch" stage="$dist/stage-$arch"
  local zip="$dist/Ferrow-$version-$arch.zip"
  echo "package: clean $arch build"
  rm -rf "$build" "$stage" "$zip"
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    "${launcher[@]}" >/dev/null
  cmake --build "$build" --target ferrow_deliverables -j "${FERROW_PACKAGE_JOBS:-2}"
  mkdir -p "$stage"
  local bin="$build/bin" names=(Ferrow.exe FerrowHost.exe Ferrow.dll ie_menu.htm Ferrow.chm)
  copy_module "$strip" "$bin/Ferrow.exe" "$stage/Ferrow.exe"
  copy_module "$strip" "$bin/FerrowHost.exe" "$stage/FerrowHost.exe"
  copy_module "$strip" "$bin/Ferrow.dll" "$stage/Ferrow.dll"
  cp -p "$bin/ie_menu.htm" "$bin/Ferrow.chm" "$stage/"
  local plugin
  while read -r plugin; do
    [ -n "$plugin" ] || continue
    local packaged="${plugin%.*}.$plugin_ext"
    copy_module "$strip" "$bin/$plugin" "$stage/$packaged"
    names+=("$packaged")
  done <"$build/plugins.txt"
  [ ${#names[@]} -gt 5 ] || { echo "package: the build made no plug-in" >&2; exit 1; }
  windows_text docs/package/readme.txt "$stage/readme.txt"
  windows_text LICENSE "$stage/LICENSE.txt"
  names+=(readme.txt LICENSE.txt)
  cp -pr extension "$stage/extension"
  names+=(extension)
  (cd "$stage" && zip -q -X -r "$root/$zip" "${names[@]}")
  echo "package: $zip"
  unzip -l "$zip"
}

package win64 cmake/mingw-x86_64.cmake sph x86_64-w64-mingw32-strip
package win32 cmake/mingw-i686.cmake spi i686-w64-mingw32-strip
