#!/usr/bin/env bash
# Set-up, then every test: unit and end-to-end tests on the portable build, the
# same under AddressSanitizer and UndefinedBehaviorSanitizer, the end-to-end tests
# on the Windows build under Wine, the checks of the Windows images (the 32-bit
# build that ships and the 64-bit one Wine runs), the conformance probes, the Debian
# package and the Windows zip as shipped, and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh mingw mingw32 default asan package

jobs=2
status=0
failed=
echo "== portable build and Wine =="
ctest --preset default -j "$jobs" || { status=1; failed="$failed default"; }
echo "== portable build under ASan and UBSan =="
ctest --preset asan -j "$jobs" || { status=1; failed="$failed asan"; }
if [ -x tests/conformance/run_probes.sh ]; then
  echo "== conformance probes (portable and Wine against the recorded references) =="
  tests/conformance/run_probes.sh || { status=1; failed="$failed conformance"; }
fi
echo "== the Debian package and the Windows zip =="
if cpack --preset package >/dev/null && cpack --preset zip >/dev/null; then
  tests/package/check_deb.sh build/package/pwexe_*_amd64.deb || { status=1; failed="$failed package"; }
  tests/package/check_zip.sh build/mingw32/pwexe-*-win32.zip || { status=1; failed="$failed package"; }
else
  status=1
  failed="$failed package"
fi
if [ -x tests/fuzz/run.sh ]; then
  echo "== fuzzing (short run) =="
  tests/fuzz/run.sh "${PW_FUZZ_SECONDS:-60}" || { status=1; failed="$failed fuzz"; }
fi
# The last lines say what failed: a log read from its end finds it there.
if [ "$status" -ne 0 ]; then
  echo "== FAILED:$failed (the failing tests are listed above, under their stage)"
  for preset in default asan; do
    log=build/$preset/Testing/Temporary/LastTestsFailed.log
    [ -s "$log" ] || continue
    echo "   $preset: $(tr '\n' ' ' <"$log")"
    # The end of each failing test's output, so that the reason is in the log's tail.
    for name in $(cut -d: -f2 "$log"); do
      echo "-- $preset $name, the end of its output:"
      awk -v name="$name" '$2 == "Testing:" && $3 == name { on = 1; next }
                           on && /^<end of output>/ { exit }
                           on' "build/$preset/Testing/Temporary/LastTest.log" | tail -n 40
    done
  done
else
  echo "== all stages passed"
fi
exit $status
