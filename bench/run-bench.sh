#!/bin/sh
# Runs bench_pack natively, from a Release build without sanitizers in
# build/bench-native, and, given the Windows build's bin folder, bench_pack.exe
# under Wine and the setup benchmark (setup_bench.py), whose setups the same
# Release build's fmix assembles, and setups of this machine's files and of a
# made-up large payload next to NSIS's (peer_bench.py, which also draws them
# as peer_bench.svg in the bench folder); first the sizes of the shipped stub
# and plug-in, which every setup carries.
# usage: bench/run-bench.sh [WIN32_BIN]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
native="$root/build/bench-native"
[ -f "$native/build.ninja" ] || (cd "$root" && cmake --preset bench-native >/dev/null)
cmake --build "$native" --target bench_pack fmix -- -j2 >/dev/null
echo "== native (Release)"
"$native/bin/bench_pack"
if [ -n "$1" ]; then
  echo "== shipped parts, in bytes, and their ceilings"
  grep -v '^#' "$root/cmake/shipped_ceilings.txt" | while read -r part ceiling; do
    printf '%-14s %7d  (at most %d)\n' "$part" "$(stat -c %s "$1/$part")" "$ceiling"
  done
  echo "== Windows build, under Wine"
  "$root/cmake/wine-run.sh" "$1/bench_pack.exe"
  echo "== setup executables, end to end under Wine"
  python3 "$root/bench/setup_bench.py" --bin "$1" --fmix "$native/bin/fmix" --work "$(dirname "$1")/bench"
  echo "== setup executables next to NSIS's, under Wine"
  python3 "$root/bench/peer_bench.py" --bin "$1" --fmix "$native/bin/fmix" --work "$(dirname "$1")/bench"
fi
