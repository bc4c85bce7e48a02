#!/usr/bin/env bash
# Whole-process time of 'pwexe H,5' with tracing off and with tracing on, each
# measured beside /bin/true in the same hyperfine run. Prints medians and ratios.
#   bench/bench_hwid.sh [BIN_DIR]     (default: build/default/bin; RUNS=500)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

measure() {  # NAME ROOT: 'pwexe H,5' and /bin/true, alternating, on that machine root
  PW_MACHINE_ROOT="$2" hyperfine -N --warmup 30 --runs "${RUNS:-500}" \
    --export-json "$work/$1.json" -n true /bin/true -n "$1" "$bin/pwexe H,5" >/dev/null
}

export PW_MACHINE_ROOT="$work/off"
"$bin/pwexe" H,5 >/dev/null                                   # first boot, outside the timing
measure trace-off "$work/off"
export PW_MACHINE_ROOT="$work/on"
"$bin/pwexe" H,5 >/dev/null
"$bin/pwmachine" reg add 'HKCU\Software\Velmora\Tessera' /v doTrace /t REG_DWORD /d 1 /f >/dev/null
measure trace-on "$work/on"
test "$(grep -c 'PWEXE MAIN - Start' "$work/on/drive_c/PWY_log/Portwyn.log")" -gt 500

python3 - "$work" <<'PY'
import json, sys
med = {}
for case in ("trace-off", "trace-on"):
    for r in json.load(open("%s/%s.json" % (sys.argv[1], case)))["results"]:
        med[(case, r["command"])] = r["median"] * 1000
off, on = med[("trace-off", "trace-off")], med[("trace-on", "trace-on")]
t_off = med[("trace-off", "true")]
print("| run | /bin/true (ms) | pwexe H,5 (ms) | ratio to /bin/true |")
print("|---|---|---|---|")
print("| tracing off | %.2f | %.2f | %.2fx |" % (t_off, off, off / t_off))
print("| tracing on | %.2f | %.2f | %.2fx |" % (med[("trace-on", "true")], on, on / med[("trace-on", "true")]))
print()
print("tracing off against /bin/true: %.2fx (target: within 4x)" % (off / t_off))
print("tracing on against tracing off: %.2fx (target: within 2x)" % (on / off))
PY
