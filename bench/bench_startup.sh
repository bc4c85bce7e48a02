#!/usr/bin/env bash
# Start-up cost of the registry-only commands on the portable build: 'H', 'W', 'N' and
# 'D' of one key with tracing off, each against /bin/true timed in the same rounds; 'B'
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
b="$("$bin/pwcmd" B L Software PwBenchRc2 B text "$data")"
n="$("$bin/pwcmd" N L Software PwBenchLight B text "$data")"
for c in H,5 W,abc "$b" "$n"; do  # first boot, and every command must succeed
  [ "$("$bin/pwexe" "$c")" = 0 ] || { echo "$c failed" >&2; exit 1; }
done
# A second machine with tracing on.
PW_MACHINE_ROOT="$work/on" "$bin/pwexe" H,5 >/dev/null
PW_MACHINE_ROOT="$work/on" "$bin/pwmachine" reg add 'HKCU\Software\Velmora\Tessera' /v doTrace \
  /t REG_DWORD /d 1 /f >/dev/null

# Interleaved: each round runs every command once, in turn, so that a change of load
# during the measurement weighs on all of them alike (hyperfine runs one command's
# runs back to back, and on a busy machine its ratios drifted by 20 % and more).
# Each run is timed from its spawn to its end, as hyperfine -N times it.
python3 - "$work" "$runs" "$bin" "$b" "$n" <<'PY'
import os, statistics, subprocess, sys, time
work, runs, bin_, b, n = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
pwexe, pwmachine = os.path.join(bin_, "pwexe"), os.path.join(bin_, "pwmachine")
off = dict(os.environ, PW_MACHINE_ROOT=work + "/off")
on = dict(os.environ, PW_MACHINE_ROOT=work + "/on")
null = os.open(os.devnull, os.O_RDWR)
actions = [(os.POSIX_SPAWN_DUP2, null, 1)]

def timed(argv, env):
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, env, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter_ns() - start
    if argv[0] != "/bin/true" and os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed" % argv)
    return elapsed / 1e6

def one_key():
    subprocess.run([pwmachine, "reg", "add", r"HKLM\Software\PwBenchOne", "/f"], env=off,
                   stdout=subprocess.DEVNULL, check=True)

commands = {"true": (["/bin/true"], off), "H": ([pwexe, "H,5"], off),
            "W": ([pwexe, "W,abc"], off), "N": ([pwexe, n], off), "B": ([pwexe, b], off),
            "D": ([pwexe, r"D,Software,PwBenchOne"], off), "H-on": ([pwexe, "H,5"], on)}
times = {name: [] for name in commands}
names = list(commands)
for round_ in range(runs + 20):  # the first 20 rounds warm up
    one_key()
    # The command that comes first after the key is made meets the hive as pwmachine
    # left it; each round starts one command further on, so that none meets it always.
    for name in names[round_ % len(names):] + names[:round_ % len(names)]:
        argv, env = commands[name]
        t = timed(argv, env)
        if round_ >= 20:
            times[name].append(t)
m = {name: statistics.median(ts) for name, ts in times.items()}
t = m["true"]
print("| command | median (ms) | /bin/true in the same rounds (ms) | ratio | target |")
print("|---|---|---|---|---|")
for c, label in (("H", "'H,5'"), ("W", "'W,abc'"), ("N", "'N', 48 bytes"),
                 ("D", "'D' of one key")):
    print("| %s, tracing off | %.2f | %.2f | %.2fx | 2x |" % (label, m[c], t, m[c] / t))
print("| 'B', 48 bytes, tracing off | %.2f | %.2f | %.2fx of 'N' | 1.2x of 'N' |"
      % (m["B"], t, m["B"] / m["N"]))
print("| 'H,5', tracing on | %.2f | %.2f | %.2fx of off | 1.2x of off |"
      % (m["H-on"], t, m["H-on"] / m["H"]))
PY
[ "$("$bin/pwmachine" reg query 'HKLM\Software\PwBenchOne' 2>/dev/null | wc -l)" = 0 ]
test "$(grep -c 'PWEXE MAIN - Start' "$work/on/drive_c/PWY_log/Portwyn.log")" -gt "$runs"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
