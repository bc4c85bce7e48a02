#!/usr/bin/env bash
# Whole-process time of 'D' removing a tree of the local machine, on the portable
# build and on the Windows build under Wine, in one run and at two sizes:
# N x 100 leaf keys below N middle keys below one root key, N = 50 and 100 (5,051
# and 10,101 keys, one value each). Every timed run starts from the full tree:
# the portable machine root is copied back from a template, the Wine registry
# re-imported. Prints medians, the cost per key and the ratios.
#   bench/bench_delete.sh [BIN_DIR] [WINDOWS_BIN_DIR]
#   (defaults: build/default/bin and build/mingw/bin; RUNS=5 by default)
# Arguments, work folder and Wine settings open every bench script alike: each script
# stays whole on its own, to be run and read without the others.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
winbin="$(realpath "${2:-build/mingw/bin}")"
runs="${RUNS:-5}"
work="$(mktemp -d /tmp/pw-bench-delete-XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

# tree.reg: N middle keys with 100 leaves each, one value on every key.
make_tree() {
  python3 - "$1" "$2" <<'PY'
import sys
n, path = int(sys.argv[1]), sys.argv[2]
root = r"HKEY_LOCAL_MACHINE\Software\PwBench\Tree"
out = ["REGEDIT4", "", "[%s]" % root, '"v"="root"', ""]
for i in range(n):
    out += ["[%s\\K%d]" % (root, i), '"v"="%d"' % i, ""]
    for j in range(100):
        out += ["[%s\\K%d\\L%d]" % (root, i, j), '"v"=dword:%08x' % j, ""]
open(path, "w", newline="").write("\r\n".join(out) + "\r\n")
PY
}

# A persistent server keeps the starts of the timed runs fast.
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1
cmds=()
for n in 50 100; do
  make_tree "$n" "$work/tree$n.reg"
  template="$work/template$n"
  PW_MACHINE_ROOT="$template" "$bin/pwmachine" reg import "Z:$work/tree$n.reg" >/dev/null
  cmds+=(-n "portable-$n"
         --prepare "rm -rf $work/root$n && cp -a $template $work/root$n"
         "env PW_MACHINE_ROOT=$work/root$n $bin/pwexe 'D,Software\\PwBench,Tree'")
  cmds+=(-n "wine-$n"
         --prepare "wine reg import Z:$work/tree$n.reg >/dev/null 2>&1"
         "wine $winbin/pwexe.exe 'D,Software\\PwBench,Tree'")
done
# The same start-up without the tree, for reference.
PW_MACHINE_ROOT="$work/empty" "$bin/pwexe" H,5 >/dev/null
cmds+=(-n "portable-H" --prepare true "env PW_MACHINE_ROOT=$work/empty $bin/pwexe H,5")
cmds+=(-n "wine-H" --prepare true "wine $winbin/pwexe.exe H,5")

hyperfine --runs "$runs" --export-json "$work/d.json" "${cmds[@]}" >/dev/null

# Each timed deletion must have emptied its tree.
PW_MACHINE_ROOT="$work/root100" "$bin/pwmachine" reg query 'HKLM\Software\PwBench\Tree' \
  >/dev/null 2>&1 && { echo "portable: the tree was not deleted" >&2; exit 1; }
wine reg query 'HKLM\Software\PwBench\Tree' >/dev/null 2>&1 &&
  { echo "wine: the tree was not deleted" >&2; exit 1; }

python3 - "$work/d.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] * 1000 for x in json.load(open(sys.argv[1]))["results"]}
keys = {50: 1 + 50 + 50 * 100, 100: 1 + 100 + 100 * 100}
print("| target | keys | median (ms) | per key (us) |")
print("|---|---|---|---|")
for t in ("portable", "wine"):
    print("| %s 'H,5' | - | %.1f | - |" % (t, r[t + "-H"]))
    for n in (50, 100):
        net = r["%s-%d" % (t, n)] - r[t + "-H"]
        print("| %s | %d | %.1f | %.1f |" % (t, keys[n], r["%s-%d" % (t, n)], net * 1000 / keys[n]))
print()
for t in ("portable", "wine"):
    grow = (r[t + "-100"] - r[t + "-H"]) / (r[t + "-50"] - r[t + "-H"])
    print("%s: 10,101 keys / 5,051 keys (start-up taken off): %.2fx (linear: 2.00x)" % (t, grow))
print("portable / wine at 10,101 keys: %.2fx" % (r["portable-100"] / r["wine-100"]))
PY
