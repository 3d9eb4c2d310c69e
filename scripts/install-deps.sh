#!/bin/sh
# Installs what the project needs, idempotently: does nothing when every
# package is present. Runs as root, or through sudo as a normal user.
# `install-deps.sh build`: only what building the shipped parts and the kit
# needs (make install, make package); without an argument: that and what
# the tests need (make test, make demo, make bench).
set -e
# The win32 thread-model compiler builds the shipped stub and plug-in and the
# kit's fmix.exe (smaller than with the posix one, which GoogleTest needs);
# dpkg-dev and file serve CPack's Debian package (its library dependencies);
# lzma-dev brings the LZMA decoder's C sources that the plug-in compiles in,
# liblzma-dev the compressor of fmix's solid archives, libssl-dev the
# libcrypto that checks signatures.
BUILD_PACKAGES="g++-mingw-w64-i686-win32 libz-mingw-w64-dev cmake ninja-build zlib1g-dev dpkg-dev file binutils
lzma-dev liblzma-dev libssl-dev"
# Wine runs the Windows tests; Xvfb, xdotool and ImageMagick their boxes;
# clang the fuzz targets; the ZIP tools make the archive corpus; OpenSSL and
# osslsigncode sign setups; lintian checks the Debian package; icoutils' wrestool
# reads a setup's icon and version resources; NSIS builds the setups the
# benchmark compares with.
TEST_PACKAGES="g++-mingw-w64-i686-posix wine wine32:i386 wine64 xvfb xdotool googletest python3 clang llvm
libclang-rt-14-dev zip unzip locales imagemagick openssl osslsigncode fonts-ipafont-gothic lintian
7zip libarchive-tools xz-utils icoutils nsis"
PACKAGES="$BUILD_PACKAGES"
[ "$1" = build ] || PACKAGES="$BUILD_PACKAGES $TEST_PACKAGES"

# Some Wine tests run under a Japanese locale (code page 932); the IPA Gothic
# font draws their boxes' Japanese text in screenshots.
need_locale() { [ "$1" != build ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; }

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -z "$missing" ] && ! need_locale "$1"; then exit 0; fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ -n "$missing" ]; then
  echo "installing:$missing"
  case "$missing" in *:i386*) $SUDO dpkg --add-architecture i386;; esac
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
fi
if need_locale "$1"; then
  echo "generating the ja_JP.UTF-8 locale"
  $SUDO sh -c "sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen; grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen; locale-gen >/dev/null"
fi
