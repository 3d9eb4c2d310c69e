#!/bin/sh
# Installs the toolchain, idempotently: does nothing when every package is
# present. Runs as root, or through sudo as a normal user.
set -e
# The win32 thread-model compiler builds the shipped stub and plug-in (smaller
# than with the posix one, which GoogleTest needs); dpkg-dev and file serve
# CPack's Debian package (its library dependencies), binutils the kit's tests;
# lzma-dev brings the LZMA decoder's C sources that the plug-in compiles in,
# liblzma-dev the compressor of fmix's solid archives.
PACKAGES="g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 libz-mingw-w64-dev wine wine32:i386 wine64 xvfb xdotool
cmake ninja-build googletest python3 clang llvm libclang-rt-14-dev zip unzip zlib1g-dev locales imagemagick
openssl osslsigncode fonts-ipafont-gothic dpkg-dev file binutils
7zip libarchive-tools lzma-dev liblzma-dev xz-utils"

# Some Wine tests run under a Japanese locale (code page 932); the IPA Gothic
# font draws their boxes' Japanese text in screenshots.
need_locale() { ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; }

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -z "$missing" ] && ! need_locale; then exit 0; fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ -n "$missing" ]; then
  echo "installing:$missing"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
fi
if need_locale; then
  echo "generating the ja_JP.UTF-8 locale"
  $SUDO sh -c "sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen; grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen; locale-gen >/dev/null"
fi
