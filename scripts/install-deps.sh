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
# benchmark compares with; wixl (msitools) builds the MSI an end-to-end case wraps.
TEST_PACKAGES="g++-mingw-w64-i686-posix wine wine32:i386 wine64 xvfb xdotool googletest python3 clang llvm
libclang-rt-14-dev zip unzip locales imagemagick openssl osslsigncode fonts-ipafont-gothic lintian
7zip libarchive-tools xz-utils icoutils nsis wixl"
PACKAGES="$BUILD_PACKAGES"
[ "$1" = build ] || PACKAGES="$BUILD_PACKAGES $TEST_PACKAGES"
# Tries of `apt-get update` before going on with the lists at hand, and the
# pause between them (a mirror in mid-sync is often whole again in seconds).
UPDATE_TRIES=${INSTALL_DEPS_UPDATE_TRIES:-3}
UPDATE_PAUSE=${INSTALL_DEPS_UPDATE_PAUSE:-10}

# Some Wine tests run under a Japanese locale (code page 932); the IPA Gothic
# font draws their boxes' Japanese text in screenshots.
need_locale() { [ "$1" != build ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; }

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing_of() {
  out=""
  for p in $1; do installed "$p" || out="$out $p"; done
  echo "$out"
}

# One failed index (a mirror in mid-sync) must not stop the set-up: apt-get
# keeps the lists it fetched, so after the last try it goes on with those.
update_lists() {
  try=1
  while :; do
    $SUDO apt-get update -qq && return 0
    [ "$try" -ge "$UPDATE_TRIES" ] && break
    echo "apt-get update failed (try $try of $UPDATE_TRIES); trying again in ${UPDATE_PAUSE} s"
    sleep "$UPDATE_PAUSE"
    try=$((try + 1))
  done
  echo "apt-get update failed $UPDATE_TRIES times; installing from the package lists at hand"
}

missing=$(missing_of "$PACKAGES")
if [ -z "$missing" ] && ! need_locale "$1"; then exit 0; fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ -n "$missing" ]; then
  echo "installing:$missing"
  case "$missing" in *:i386*) $SUDO dpkg --add-architecture i386;; esac
  update_lists
  # All at once first; when that fails, one by one, so that every package that
  # can be had is installed and the report names only those that cannot.
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null; then
    for p in $missing; do
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$p" >/dev/null 2>&1 || true
    done
    still=$(missing_of "$missing")
    if [ -n "$still" ]; then
      echo "could not install:$still" >&2
      echo "the package mirror may be in mid-sync; run 'make deps' again later" >&2
      exit 1
    fi
  fi
fi
if need_locale "$1"; then
  echo "generating the ja_JP.UTF-8 locale"
  $SUDO sh -c "sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen; grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen; locale-gen >/dev/null"
fi
