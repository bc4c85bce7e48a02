#!/bin/sh
# Builds the libFuzzer targets in build/fuzz (clang, ASan and UBSan) and runs each
# for SECONDS (default 60). Corpora grow in build/fuzz/corpus/<target>, seeded from
# tests/fuzz/seeds/<target>; a finding is written to build/fuzz/findings and ends
# the script with a non-zero status.
#
#   tests/fuzz/run.sh [SECONDS]
set -eu

seconds=${1:-60}
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$src/build/fuzz
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DPW_FUZZ=ON -DPW_SANITIZE=ON -DPW_TESTS=ON -DPW_PROBES=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

mkdir -p "$build/findings"
status=0
for target in fuzz_blob_args fuzz_command fuzz_rights; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
    "$corpus" "$src/tests/fuzz/seeds/$target" || status=1
done
exit $status
