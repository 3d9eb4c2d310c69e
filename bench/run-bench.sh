#!/bin/sh
# Runs bench_pack and bench_inflate (our inflater and CRC-32 against zlib's
# on about 40 MB of this machine's Windows DLLs and 20 MB of C headers)
# natively, from a Release build without sanitizers in build/bench-native,
# and, given the Windows build's bin folder, both under Wine and the setup
# benchmark (setup_bench.py), whose setups the same Release build's fmix
# assembles, and setups of this machine's files and of a made-up large
# payload next to NSIS's (peer_bench.py, which also draws them as
# peer_bench.svg in the bench folder); first the sizes of the shipped stub
# and plug-in, which every setup carries.
# usage: bench/run-bench.sh [WIN32_BIN]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
native="$root/build/bench-native"
[ -f "$native/build.ninja" ] || (cd "$root" && cmake --preset bench-native >/dev/null)
cmake --build "$native" --target bench_pack bench_inflate fmix -- -j2 >/dev/null
# pick MB FOLDER... -name PATTERN: the files find lists, in order of their
# paths, that fit in MB megabytes.
pick() {
  cap=$(($1 << 20))
  shift
  find "$@" -type f -printf '%s\t%p\n' | sort -t "$(printf '\t')" -k2 |
    awk -F '\t' -v cap="$cap" '$1 + total <= cap { total += $1; print $2 }'
}
corpora="$native/inflate-corpora"
if [ ! -f "$corpora/text.tar" ]; then
  mkdir -p "$corpora"
  { pick 12 /usr/lib/gcc/i686-w64-mingw32 /usr/i686-w64-mingw32/lib -name '*.dll'
    pick 28 /usr/lib/i386-linux-gnu/wine/i386-windows -name '*.dll'; } | tar -cf "$corpora/dlls.tar" -T - 2>/dev/null
  pick 20 /usr/include -name '*.h' | tar -cf "$corpora/text.tar" -T - 2>/dev/null
fi
echo "== native (Release)"
"$native/bin/bench_pack"
"$native/bin/bench_inflate" "$corpora/dlls.tar" "$corpora/text.tar"
if [ -n "$1" ]; then
  echo "== shipped parts, in bytes, and their ceilings"
  grep -v '^#' "$root/cmake/shipped_ceilings.txt" | while read -r part ceiling; do
    printf '%-14s %7d  (at most %d)\n' "$part" "$(stat -c %s "$1/$part")" "$ceiling"
  done
  echo "== Windows build, under Wine"
  "$root/cmake/wine-run.sh" "$1/bench_pack.exe"
  "$root/cmake/wine-run.sh" "$1/bench_inflate.exe" "$corpora/dlls.tar" "$corpora/text.tar"
  echo "== setup executables, end to end under Wine"
  python3 "$root/bench/setup_bench.py" --bin "$1" --fmix "$native/bin/fmix" --work "$(dirname "$1")/bench"
  echo "== setup executables next to NSIS's, under Wine"
  python3 "$root/bench/peer_bench.py" --bin "$1" --fmix "$native/bin/fmix" --work "$(dirname "$1")/bench"
fi
