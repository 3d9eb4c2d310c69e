#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix.
# WINE_BUILD_DIR is set by CTest; otherwise the prefix is found beside the program.
: "${WINEPREFIX:=${WINE_BUILD_DIR:-$(cd "$(dirname "$1")/.." && pwd)}/wineprefix}"
. "$(dirname "$0")/wine-env.sh"
[ -n "$WINE_KEEP_DISPLAY" ] || unset DISPLAY
exec wine "$@"
