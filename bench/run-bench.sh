#!/bin/sh
# Runs bench_pack natively, from a Release build without sanitizers in
# build/bench-native, and, given the Windows build's bench_pack.exe, under Wine.
# usage: bench/run-bench.sh [path/to/bench_pack.exe]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
native="$root/build/bench-native"
[ -f "$native/build.ninja" ] ||
  cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELM_SANITIZE=OFF >/dev/null
cmake --build "$native" --target bench_pack -- -j2 >/dev/null
echo "== native (Release)"
"$native/bin/bench_pack"
if [ -n "$1" ]; then
  echo "== Windows build, under Wine"
  "$root/cmake/wine-run.sh" "$1"
fi
