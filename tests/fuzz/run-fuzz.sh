#!/bin/sh
# Builds the libFuzzer targets with clang in build/fuzz (the preset fuzz) and
# runs each for SECONDS (15 by default; the test run takes 2), its seeds and
# the inputs kept from earlier runs first. For a longer run:
#   tests/fuzz/run-fuzz.sh 3600
# Inputs found on the way stay in build/fuzz/corpus and seed the next run;
# a crash leaves its input as build/fuzz/crash-* to replay with the target.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/fuzz"
seconds=${1:-15}
command -v clang++ >/dev/null || { echo "SKIP: clang++ is not installed"; exit 0; }
[ -f "$build/build.ninja" ] || (cd "$root" && cmake --preset fuzz >/dev/null)
cmake --build "$build" -- -j2 >/dev/null
python3 "$here/seeds.py" "$build/seeds"
cd "$build"
mkdir -p tmp
export TMPDIR="$PWD/tmp"  # where the targets write their inputs as files
status=0
for target in fuzz_pack_locator fuzz_pack_reader fuzz_zip_reader fuzz_setup_verifier fuzz_tar_reader fuzz_identity fuzz_inflate; do
  mkdir -p "corpus/$target"
  if "bin/$target" -max_total_time="$seconds" -print_final_stats=1 "corpus/$target" "seeds/$target" \
       >"$target.log" 2>&1; then
    grep -E "stat::number_of_executed_units|Done" "$target.log" | sed "s/^/$target: /"
  else
    cat "$target.log"
    status=1
  fi
done
exit $status
