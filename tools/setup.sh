#!/bin/bash
# Installs what building and testing need on a Debian 12 machine (as root or
# with sudo), and generates the Japanese locale. Quiet when all is present.
set -e
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64 mingw-w64-tools
  wine64 wine xvfb xauth x11-utils imagemagick fonts-ipafont-gothic fonts-ipafont-mincho
  locales libjpeg-turbo-progs libturbojpeg0-dev libstb-dev
  python3 curl wget tinyproxy libssl-dev openssl zip unzip fp-utils libchm-bin xdotool
  libgnutls30 python3-html5lib nginx-light zlib1g-dev libz-mingw-w64-dev wget2 aria2
  chromium python3-h2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
