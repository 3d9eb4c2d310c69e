#!/bin/sh
# Runs the tests of the Windows tree, the sanitized native tree and (its unit
# and script tests, no fuzzing) the plain native tree; fails when any fails.
# The Windows tests share one Wine prefix inside the build tree, booted once.
# Its server is started persistent before anything else: a server started by
# the first client exits three seconds after the last one, and a test whose
# client connects in that moment fails with "Connection reset by peer".
win32="$1"; native="$2"; plain="$3"
WINEPREFIX="$(cd "$win32" && pwd)/wineprefix"
. "$(dirname "$0")/../cmake/wine-env.sh"
status=0
wineserver -k 2>/dev/null
wineserver -p
wineboot -i >/dev/null 2>&1
ctest --test-dir "$win32" --output-on-failure -j2 || status=1
wineserver -k 2>/dev/null
ctest --test-dir "$native" --output-on-failure -j2 || status=1
ctest --test-dir "$plain" --output-on-failure -j2 -E fuzz || status=1
exit $status
