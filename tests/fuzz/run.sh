#!/bin/sh
# Builds the libFuzzer targets in build/fuzz (clang, ASan and UBSan) and runs each
# for SECONDS (default 60, what CI runs), one target after the other. Corpora grow in
# build/fuzz/corpus/<target>, seeded from tests/fuzz/seeds/<target>; a finding is
# written to build/fuzz/findings and ends the script with a non-zero status.
#
#   tests/fuzz/run.sh [SECONDS] [TARGET...]
#
# A long run gives each target its hours at low priority, for instance
#
#   nice -n 10 tests/fuzz/run.sh 3600 fuzz_command
#   PW_FUZZ_RUNS=10000000 nice -n 10 tests/fuzz/run.sh 7200
#
# where PW_FUZZ_RUNS ends a target after that many executions, when that comes before
# SECONDS, and PW_FUZZ_TIMEOUT (default 10) is the seconds an input may take: a
# long run at low priority on a busy machine may want more, as libFuzzer counts an
# input's time on the wall clock. A long run stays small on disk: inputs are at most 4 KiB and libFuzzer
# replaces a corpus entry by a smaller one that reaches the same features, so a
# corpus holds a few thousand files; each target's output goes to
# build/fuzz/logs/<target>.log, which holds one line per new corpus entry and a
# status line at each doubling of the executions; every target works on a machine
# root of its own that is put back as it was after each input (fuzz_machine.h).
# tests/fuzz/coverage.sh then reports the source lines the corpora reach.
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-fuzz_blob_args fuzz_command fuzz_rights}
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$src/build/fuzz
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DPW_FUZZ=ON -DPW_SANITIZE=ON -DPW_TESTS=ON -DPW_PROBES=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

mkdir -p "$build/findings" "$build/logs"
status=0
for target in $targets; do
  corpus=$build/corpus/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus"
  echo "== $target: $seconds s${PW_FUZZ_RUNS:+ or $PW_FUZZ_RUNS executions}"
  "$build/bin/$target" -max_total_time="$seconds" ${PW_FUZZ_RUNS:+-runs=$PW_FUZZ_RUNS} \
    -max_len=4096 -timeout="${PW_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$corpus" "$src/tests/fuzz/seeds/$target" \
    >"$log" 2>&1 && rc=0 || rc=$?
  # libFuzzer's last status line and statistics; the end of the log after a finding.
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^stat::' "$log" || true
  [ $rc -eq 0 ] || { status=1; tail -n 60 "$log"; }
  echo "   corpus: $(ls "$corpus" | wc -l) files, $(du -sh "$corpus" | cut -f1); log: $log"
done
exit $status
