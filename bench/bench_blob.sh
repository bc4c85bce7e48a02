#!/usr/bin/env bash
# Whole-process time of 'B' (RC2 through CryptoAPI) and 'N' (light cipher) writing
# one value, against 'H,5' in the same run, on the portable build and on the
# Windows build under Wine. Commands are made with pwcmd beforehand.
#   bench/bench_blob.sh [BIN_DIR] [WINDOWS_BIN_DIR]
#   (defaults: build/default/bin and build/mingw/bin; RUNS=200 and WINE_RUNS=30)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
winbin="$(realpath "${2:-build/mingw/bin}")"
work="$(mktemp -d /tmp/pw-bench-blob-XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

root="$work/root"
export PW_MACHINE_ROOT="$root"
data="$(head -c 48 /dev/zero | tr '\0' 'x')"  # 48 bytes: six RC2 blocks and their padding
b="$("$bin/pwcmd" B L 'Software\PwBench' Rc2 B text "$data")"
n="$("$bin/pwcmd" N L 'Software\PwBench' Light B text "$data")"
for c in H,5 "$b" "$n"; do  # first boot, and every command must succeed
  [ "$("$bin/pwexe" "$c")" = 0 ] || { echo "portable: $c failed" >&2; exit 1; }
done

mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1
for c in H,5 "$b" "$n"; do
  wine "$winbin/pwexe.exe" "$c" || { echo "wine: $c failed" >&2; exit 1; }
done

hyperfine -N --warmup 10 --runs "${RUNS:-200}" --export-json "$work/p.json" \
  -n H "$bin/pwexe H,5" -n B "$bin/pwexe '$b'" -n N "$bin/pwexe '$n'" >/dev/null
hyperfine -N --warmup 3 --runs "${WINE_RUNS:-30}" --export-json "$work/w.json" \
  -n H "wine $winbin/pwexe.exe H,5" -n B "wine $winbin/pwexe.exe '$b'" \
  -n N "wine $winbin/pwexe.exe '$n'" >/dev/null

python3 - "$work/p.json" "$work/w.json" <<'PY'
import json, sys
med = [{x["command"]: x["median"] * 1000 for x in json.load(open(f))["results"]}
       for f in sys.argv[1:3]]
print("| command | portable (ms) | wine (ms) | portable / wine |")
print("|---|---|---|---|")
for c, label in (("H", "'H,5'"), ("B", "'B', 48 bytes"), ("N", "'N', 48 bytes")):
    print("| %s | %.2f | %.1f | %.2fx |" % (label, med[0][c], med[1][c], med[0][c] / med[1][c]))
print()
for i, t in enumerate(("portable", "wine")):
    print("%s: B / H %.2fx, N / H %.2fx" % (t, med[i]["B"] / med[i]["H"], med[i]["N"] / med[i]["H"]))
PY
