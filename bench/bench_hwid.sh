#!/usr/bin/env bash
# Whole-process time of 'pwexe H,5' with tracing off and on, against /bin/true in
# the same run. Prints medians and ratios; hyperfine does the timing.
#   bench/bench_hwid.sh [BIN_DIR]     (default: build/default/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
off="$work/off" on="$work/on"
PW_MACHINE_ROOT="$off" "$bin/pwexe" H,5 >/dev/null      # first boot outside the timing
PW_MACHINE_ROOT="$on" "$bin/pwexe" H,5 >/dev/null
PW_MACHINE_ROOT="$on" "$bin/pwmachine" reg add 'HKCU\Software\Velmora\Tessera' /v doTrace /t REG_DWORD /d 1 /f >/dev/null

hyperfine -N --warmup 20 --runs "${RUNS:-300}" --export-json "$work/h.json" \
  -n true '/bin/true' \
  -n trace-off "env PW_MACHINE_ROOT=$off $bin/pwexe H,5" \
  -n trace-on "env PW_MACHINE_ROOT=$on $bin/pwexe H,5" \
  -n env-true "env PW_MACHINE_ROOT=$off /bin/true" >/dev/null

python3 - "$work/h.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
med = {k: v["median"] * 1000 for k, v in r.items()}
print("| command | median (ms) |")
print("|---|---|")
for k in ("true", "env-true", "trace-off", "trace-on"):
    print("| %s | %.3f |" % (k, med[k]))
print()
print("trace-off / true (both started through env): %.2fx (target: within 4x)"
      % (med["trace-off"] / med["env-true"]))
print("trace-off / bare /bin/true: %.2fx" % (med["trace-off"] / med["true"]))
print("trace-on / trace-off: %.2fx (target: within 2x)" % (med["trace-on"] / med["trace-off"]))
PY
