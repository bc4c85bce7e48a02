#!/bin/sh
# The source the fuzz corpora reach: builds the targets with clang's source coverage
# (no sanitizers) in build/fuzz-coverage, replays each target's corpus from
# build/fuzz/corpus/<target> (as tests/fuzz/run.sh left it) once, and prints the
# line and function coverage of src/ and platform/ for each target.
#
#   tests/fuzz/coverage.sh [TARGET...]
set -eu

targets=${*:-fuzz_blob_args fuzz_command fuzz_rights}
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$src/build/fuzz-coverage
corpora=$src/build/fuzz/corpus
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)
profdata=$(command -v llvm-profdata-14 || command -v llvm-profdata)
cov=$(command -v llvm-cov-14 || command -v llvm-cov)

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DPW_FUZZ=ON -DPW_FUZZ_COVERAGE=ON -DPW_SANITIZE=OFF -DPW_TESTS=ON -DPW_PROBES=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

mkdir -p "$build/profiles"
for target in $targets; do
  corpus=$corpora/$target
  [ -d "$corpus" ] || { echo "$target: no corpus in $corpus (run tests/fuzz/run.sh first)"; continue; }
  rm -f "$build/profiles/$target".*
  LLVM_PROFILE_FILE="$build/profiles/$target.%p.profraw" \
    "$build/bin/$target" -runs=0 "$corpus" >/dev/null 2>&1
  "$profdata" merge -sparse -o "$build/profiles/$target.profdata" "$build/profiles/$target".*.profraw
  echo "== $target ($(ls "$corpus" | wc -l) corpus files)"
  for tree in src platform; do
    # The TOTAL row: regions, functions, lines (each total, missed, cover).
    "$cov" report "$build/bin/$target" -instr-profile="$build/profiles/$target.profdata" \
      "$src/$tree" | awk -v tree="$tree/" '$1 == "TOTAL" {
        printf "   %-10s lines %s of %s (%s), functions %s of %s (%s)\n", tree,
          $8 - $9, $8, $10, $5 - $6, $5, $7 }'
  done
done
