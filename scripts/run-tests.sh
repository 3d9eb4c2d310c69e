#!/bin/sh
# Runs the tests of the Windows tree, the sanitized native tree and (its unit
# and script tests, no fuzzing) the plain native tree, which it builds;
# fails when any fails.
# The Windows tests share Wine prefixes inside the build tree, each served by
# a persistent server for the whole run: a server started by a client exits
# three seconds after the last one, and a test whose client connects in that
# moment dies with "Connection reset by peer" and no output. The end-to-end
# cases keep a prefix of their own (see tests/e2e). Every prefix is a copy of
# one base prefix, booted once per tree, whose DLLs the copies share.
win32="$1"; native="$2"; plain="$3"
. "$(dirname "$0")/../cmake/wine-env.sh"
status=0

# start_prefix DIR: the prefix DIR, copied from the base, a persistent server
# for it, and its services started once: tests that start them side by side
# can hang at their exit.
start_prefix() {
  python3 "$(dirname "$0")/../tests/e2e/wine_session.py" --base "$base" "$1" || exit 1
  WINEPREFIX="$1" wineserver -k 2>/dev/null
  WINEPREFIX="$1" wineserver -p || { echo "no persistent Wine server for $1" >&2; exit 1; }
  WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
}

# The tests that run under a Japanese locale have a prefix of their own: Wine
# rewrites a prefix's locale settings whenever a process's locale differs
# from the one last stored there.
base="$(cd "$win32" && pwd)/wineprefix-base"
shared="$(cd "$win32" && pwd)/wineprefix"
japanese="$(cd "$win32" && pwd)/wineprefix-ja"
start_prefix "$shared" & one=$!
start_prefix "$japanese" & two=$!
wait $one && wait $two || exit 1

# Beside the Windows tests, which spend much of their time waiting on Wine,
# run the sanitized tests (their fuzz run included) one at a time and, apart
# from them, the plain tree's build and tests. Their reports follow.
sanitized_log="$native/native-tests.log"
plain_log="$native/plain-tests.log"
ctest --test-dir "$native" --output-on-failure -j1 >"$sanitized_log" 2>&1 & sanitized=$!
(
  { [ -f "$plain/build.ninja" ] || cmake --preset "$(basename "$plain")"; } && cmake --build "$plain" --parallel 2 &&
    ctest --test-dir "$plain" --output-on-failure -j1 -E fuzz
) >"$plain_log" 2>&1 & plain_tests=$!
WINEPREFIX="$shared" ctest --test-dir "$win32" --output-on-failure -j2 || status=1
for prefix in "$shared" "$japanese"; do WINEPREFIX="$prefix" wineserver -k 2>/dev/null; done
wait $sanitized || status=1
wait $plain_tests || status=1
cat "$sanitized_log" "$plain_log"
exit $status
