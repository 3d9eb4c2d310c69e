#!/bin/sh
# Installs the toolchain, idempotently: does nothing when every package is
# present. Runs as root, or through sudo as a normal user.
set -e
PACKAGES="g++-mingw-w64-i686-posix libz-mingw-w64-dev wine wine32:i386 wine64 xvfb xdotool
cmake ninja-build googletest python3 clang llvm zip unzip zlib1g-dev"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "installing:$missing"
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
