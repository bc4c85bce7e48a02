#!/usr/bin/env bash
# 'Q' and a whole enrolment round trip on the portable build and on the Windows build
# under Wine with this project's enrolment components registered in the prefix, beside
# 'openssl req -new -newkey rsa:2048 -nodes' (which, like 'Q', makes a 2048-bit RSA key
# pair and a signed request), in one hyperfine run per measurement. Under Wine each road
# has a prefix of its own: the newer objects (pwenrol_objects.dll) registered, as on a
# fresh machine, or only the older control (pwenrol_control.dll). The round trip is what
# a client runs: 'Q', pwcmd request, openssl signing, pwcmd and 'A', pwcmd and 'C', each
# time on a fresh machine (portable) or with the stores and keys emptied (Wine).
# Prints medians and ratios.
#   bench/bench_enrol.sh [BIN_DIR] [WINDOWS_BIN_DIR]
#   (defaults: build/default/bin and build/mingw/bin; RUNS=20, WINE_RUNS=10)
# Arguments, work folder and Wine settings open every bench script alike: each script
# stays whole on its own, to be run and read without the others.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
winbin="$(realpath "${2:-build/mingw/bin}")"
runs="${RUNS:-20}"
wine_runs="${WINE_RUNS:-10}"
work="$(mktemp -d /tmp/pw-bench-enrol-XXXXXX)"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
prefixes=()
trap 'for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; rm -rf "$work"' EXIT

subject='CN=HWID:OU=4711:O=Velmora Portwyn Certificate'
export PW_MACHINE_ROOT="$work/machine"
"$bin/pwexe" H,5 >/dev/null  # first boot, outside the timing
printf '%s' "Q,$subject" >"$work/q.txt"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" \
  -days 30 -subj "/CN=Bench Root" 2>/dev/null

# A prefix with one road's library registered; its server stays up for the whole run.
make_prefix() {  # name library
  local prefix="$work/prefix-$1"
  prefixes+=("$prefix")
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" wineserver -p
  WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wine regsvr32 /s "Z:$winbin/$2" >/dev/null 2>&1
  # Wine copies the host's roots into the registry on the first use of its "Root" store.
  WINEPREFIX="$prefix" wine "$winbin/pwmachine.exe" certutil -store Root >/dev/null 2>&1
  [ "$(WINEPREFIX="$prefix" wine "$winbin/pwlaunch.exe" "Z:$winbin/pwexe.exe" \
       "Z:$work/q.txt" | tr -d '\r')" = 0 ] ||
    { echo "wine ($1): 'Q' failed" >&2; exit 1; }
}
make_prefix objects pwenrol_objects.dll
make_prefix control pwenrol_control.dll

# Every request stays pending in the machine's "REQUEST" store, as on Windows; the
# store grows by one placeholder a run in this measurement.
wine_q() { echo "env WINEPREFIX=$work/prefix-$1 wine $winbin/pwlaunch.exe Z:$winbin/pwexe.exe Z:$work/q.txt"; }
hyperfine -N --warmup 3 --runs "$runs" --export-json "$work/q.json" \
  -n "portable Q" "$bin/pwexe 'Q,$subject'" \
  -n "openssl req" "openssl req -new -newkey rsa:2048 -nodes -keyout $work/k.pem -out $work/r.pem -subj /CN=HWID/OU=4711/O=Velmora" \
  >/dev/null
hyperfine -N --warmup 2 --runs "$wine_runs" --export-json "$work/wq.json" \
  -n "wine Q, newer objects" "$(wine_q objects)" \
  -n "wine Q, older control" "$(wine_q control)" \
  -n "openssl req" "openssl req -new -newkey rsa:2048 -nodes -keyout $work/k.pem -out $work/r.pem -subj /CN=HWID/OU=4711/O=Velmora" \
  >/dev/null

cat >"$work/round_trip.sh" <<SH
#!/bin/sh
set -e
root=\$(mktemp -d "$work/rt-XXXXXX")
export PW_MACHINE_ROOT=\$root
"$bin/pwexe" "Q,$subject" >/dev/null
"$bin/pwcmd" request >"\$root/req.pem"
openssl x509 -req -in "\$root/req.pem" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -days 30 -copy_extensions copy -out "\$root/cert.pem" 2>/dev/null
"$bin/pwexe" "\$("$bin/pwcmd" A "$work/ca.pem")" >/dev/null
"$bin/pwexe" "\$("$bin/pwcmd" C "\$root/cert.pem")" | grep -qx 0
rm -rf "\$root"
SH
# Under Wine the prefix stays; the stores and keys of the last run go first.
cat >"$work/wine_round_trip.sh" <<SH
#!/bin/sh
set -e
export WINEPREFIX="$work/prefix-\$1"
run() { wine "$winbin/pwlaunch.exe" "Z:$winbin/pwexe.exe" "Z:\$1" | tr -d '\r'; }
dir=\$(mktemp -d "$work/wrt-XXXXXX")
cat >"\$dir/reset.reg" <<REG
REGEDIT4

[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\MY]
[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\REQUEST]
[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Crypto\\RSA]
REG
wine regedit /s "Z:\$dir/reset.reg"
run "$work/q.txt" >/dev/null
wine "$winbin/pwcmd.exe" request >"\$dir/req.pem"
openssl x509 -req -in "\$dir/req.pem" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -days 30 -copy_extensions copy -out "\$dir/cert.pem" 2>/dev/null
wine "$winbin/pwcmd.exe" A "Z:$work/ca.pem" | tr -d '\r\n' >"\$dir/a.txt"
wine "$winbin/pwcmd.exe" C "Z:\$dir/cert.pem" | tr -d '\r\n' >"\$dir/c.txt"
run "\$dir/a.txt" >/dev/null
[ "\$(run "\$dir/c.txt")" = 0 ]
rm -rf "\$dir"
SH
chmod +x "$work/round_trip.sh" "$work/wine_round_trip.sh"
hyperfine -N --warmup 1 --runs "$wine_runs" --export-json "$work/rt.json" \
  -n "portable round trip" "$work/round_trip.sh" \
  -n "wine round trip, newer objects" "$work/wine_round_trip.sh objects" \
  -n "wine round trip, older control" "$work/wine_round_trip.sh control" \
  >/dev/null

python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
r = {}
for name in ("q", "wq", "rt"):
    for result in json.load(open("%s/%s.json" % (work, name)))["results"]:
        key = result["command"] + (" (with Wine)" if name == "wq" and "openssl" in result["command"] else "")
        r[key] = result
print("| run | median (ms) | min (ms) | max (ms) |")
print("|---|---|---|---|")
for name, result in r.items():
    print("| %s | %.1f | %.1f | %.1f |" % (name, result["median"] * 1000, result["min"] * 1000,
                                         result["max"] * 1000))
print()
med = lambda k: r[k]["median"]
print("portable 'Q' against openssl req: %.2fx" % (med("portable Q") / med("openssl req")))
for road in ("newer objects", "older control"):
    print("Wine 'Q', %s, against openssl req in the same run: %.2fx; against portable 'Q': %.2fx"
          % (road, med("wine Q, " + road) / med("openssl req (with Wine)"),
             med("wine Q, " + road) / med("portable Q")))
    print("Wine round trip, %s, against the portable one: %.2fx"
          % (road, med("wine round trip, " + road) / med("portable round trip")))
PY
