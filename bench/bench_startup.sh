#!/usr/bin/env bash
# Start-up cost of the registry-only commands on the portable build: 'H', 'W', 'N' and
# 'D' of one key with tracing off, each beside /bin/true in the same hyperfine run; 'B'
# against 'N'; 'H' with tracing on against tracing off. Prints medians, the ratios and
# the targets they are held to, and the load average at the start and the end.
#   bench/bench_startup.sh [BIN_DIR]     (default: build/default/bin; RUNS=300)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
work="$(mktemp -d /tmp/pw-bench-startup-XXXXXX)"
trap 'rm -rf "$work"' EXIT
runs="${RUNS:-300}"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

export PW_MACHINE_ROOT="$work/off"
data="$(head -c 48 /dev/zero | tr '\0' 'x')"
# Key paths without a backslash, so that hyperfine's own word splitting keeps them.
b="$("$bin/pwcmd" B L Software PwBenchRc2 B text "$data")"
n="$("$bin/pwcmd" N L Software PwBenchLight B text "$data")"
for c in H,5 W,abc "$b" "$n"; do  # first boot, and every command must succeed
  [ "$("$bin/pwexe" "$c")" = 0 ] || { echo "$c failed" >&2; exit 1; }
done
cat >"$work/one-key.sh" <<SH
PW_MACHINE_ROOT="$work/off" "$bin/pwmachine" reg add 'HKLM\\Software\\PwBenchOne' /f >/dev/null
SH

hyperfine -N --warmup 20 --runs "$runs" --export-json "$work/reg.json" -n true /bin/true \
  -n H "$bin/pwexe H,5" -n W "$bin/pwexe W,abc" -n N "$bin/pwexe '$n'" \
  -n B "$bin/pwexe '$b'" >/dev/null
hyperfine -N --warmup 5 --runs "$runs" --export-json "$work/del.json" \
  --prepare "sh $work/one-key.sh" -n true /bin/true \
  -n D "$bin/pwexe D,Software,PwBenchOne" >/dev/null
[ "$("$bin/pwmachine" reg query 'HKLM\Software\PwBenchOne' 2>/dev/null | wc -l)" = 0 ]

export PW_MACHINE_ROOT="$work/on"
"$bin/pwexe" H,5 >/dev/null
"$bin/pwmachine" reg add 'HKCU\Software\Velmora\Tessera' /v doTrace /t REG_DWORD /d 1 /f >/dev/null
hyperfine -N --warmup 20 --runs "$runs" --export-json "$work/on.json" -n true /bin/true \
  -n H-on "$bin/pwexe H,5" >/dev/null
test "$(grep -c 'PWEXE MAIN - Start' "$work/on/drive_c/PWY_log/Portwyn.log")" -gt "$runs"

python3 - "$work" <<'PY'
import json, sys
def medians(name):
    return {r["command"]: r["median"] * 1000
            for r in json.load(open("%s/%s.json" % (sys.argv[1], name)))["results"]}
reg, dele, on = medians("reg"), medians("del"), medians("on")
print("| command | median (ms) | /bin/true in the same run (ms) | ratio | target |")
print("|---|---|---|---|---|")
for c, label in (("H", "'H,5'"), ("W", "'W,abc'"), ("N", "'N', 48 bytes")):
    print("| %s, tracing off | %.2f | %.2f | %.2fx | 2x |" % (label, reg[c], reg["true"], reg[c] / reg["true"]))
print("| 'D' of one key, tracing off | %.2f | %.2f | %.2fx | 2x |"
      % (dele["D"], dele["true"], dele["D"] / dele["true"]))
print("| 'B', 48 bytes, tracing off | %.2f | %.2f | %.2fx of 'N' | 1.2x of 'N' |"
      % (reg["B"], reg["true"], reg["B"] / reg["N"]))
print("| 'H,5', tracing on | %.2f | %.2f | %.2fx of off | 1.2x of off |"
      % (on["H-on"], on["true"], (on["H-on"] / on["true"]) / (reg["H"] / reg["true"])))
print()
print("(tracing on against off compares each with /bin/true of its own run)")
PY
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
