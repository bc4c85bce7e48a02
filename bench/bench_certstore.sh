#!/usr/bin/env bash
# Whole-process time of 'K' and 'E' on a machine whose personal store holds N
# certificates, the one they look for last in the store's enumeration order, on the
# portable build and on the Windows build under Wine, in one hyperfine run: 'K' at
# N = 2,500 and 10,000 with tracing off (how time grows with the store), and 'K' and 'E'
# at 10,000 with tracing off and on. The filler certificates are one openssl certificate
# with its serial number changed (their signatures no longer verify, which neither
# command checks), written into the stores as Windows keeps them, through reg import.
# The portable build enumerates in ascending thumbprint order, Wine 8 in descending
# order, so each target gets a looked-for certificate beyond every filler in its order.
#   bench/bench_certstore.sh [BIN_DIR] [WINDOWS_BIN_DIR]
#   (defaults: build/default/bin and build/mingw/bin; RUNS=3 by default)
# Arguments, work folder and Wine settings open every bench script alike: each script
# stays whole on its own, to be run and read without the others.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
winbin="$(realpath "${2:-build/mingw/bin}")"
runs="${RUNS:-3}"
work="$(mktemp -d /tmp/pw-bench-certstore-XXXXXX)"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
prefixes=()
trap 'for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; rm -rf "$work"' EXIT

subject="/CN=HWID/OU=bench/O=Velmora Portwyn Certificate"
k_cmd="K,HWID: bench: Velmora Portwyn Certificate"
e_cmd="E,TRUE,bench"

# A looked-for certificate whose thumbprint starts with $1 ("ff": last in ascending order).
make_target() {
  while :; do
    openssl req -x509 -newkey rsa:1024 -nodes -keyout "$work/$2.key" -out "$work/$2.pem" \
      -subj "$subject" -days 30 2>/dev/null
    openssl x509 -in "$work/$2.pem" -noout -fingerprint -sha1 | tr -d : | tr A-F a-f |
      grep -q "=$1" && break
  done
  openssl pkcs12 -export -in "$work/$2.pem" -inkey "$work/$2.key" -out "$work/$2.pfx" \
    -passout pass:pw
}
make_target ff hi
make_target 00 lo
openssl req -x509 -newkey rsa:1024 -nodes -keyout "$work/filler.key" -outform DER \
  -out "$work/filler.der" -subj "/CN=Filler/O=Velmora Portwyn Certificate" -days 30 2>/dev/null

# fillerN.reg: N fillers with thumbprints between 01 and fe, in the local machine's "My".
make_fillers() {
  python3 - "$work/filler.der" "$1" "$2" <<'PY'
import hashlib, struct, sys
der, n, path = open(sys.argv[1], "rb").read(), int(sys.argv[2]), sys.argv[3]
def header(at):  # (content offset, content length) of the element at `at`
    first = der[at + 1]
    if first < 0x80:
        return at + 2, first
    k = first & 0x7F
    return at + 2 + k, int.from_bytes(der[at + 2:at + 2 + k], "big")
tbs, _ = header(0)
at, _ = header(tbs)                      # into the TBSCertificate
if der[at] == 0xA0:                      # [0] version
    at = sum(header(at))
serial, length = header(at)              # the INTEGER's content
key = r"HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\My\Certificates"
out, i = ["REGEDIT4", "", "[%s]" % key, ""], 0
while len(out) < 4 + 3 * n:
    i += 1
    cert = bytearray(der)
    cert[serial + length - 4:serial + length] = struct.pack(">I", i)
    thumb = hashlib.sha1(cert).hexdigest().upper()
    if not "01" <= thumb[:2] <= "FE":
        continue
    blob = struct.pack("<III", 32, 1, len(cert)) + bytes(cert)
    out += ["[%s\\%s]" % (key, thumb), '"Blob"=hex:' + ",".join("%02x" % b for b in blob), ""]
open(path, "w", newline="").write("\r\n".join(out) + "\r\n")
PY
}

# Wine hands a quoted argument over with its quotes: pwlaunch.exe starts pwexe.exe with
# the text of a file as its whole command line, as the client does.
printf '%s' "$k_cmd" >"$work/k.txt"
printf '%s' "$e_cmd" >"$work/e.txt"
wine_k="wine $winbin/pwlaunch.exe Z:$winbin/pwexe.exe Z:$work/k.txt"
wine_e="wine $winbin/pwlaunch.exe Z:$winbin/pwexe.exe Z:$work/e.txt"

cmds=()
for n in 2500 10000; do
  make_fillers "$n" "$work/filler$n.reg"
  root="$work/root$n"
  PW_MACHINE_ROOT="$root" "$bin/pwmachine" reg import "Z:$work/filler$n.reg" >/dev/null
  PW_MACHINE_ROOT="$root" "$bin/pwmachine" certutil -p pw -importPFX "$work/hi.pfx" >/dev/null
  prefix="$work/prefix$n"
  prefixes+=("$prefix")
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" wineserver -p
  WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wine reg import "Z:$work/filler$n.reg" >/dev/null 2>&1
  WINEPREFIX="$prefix" wine "$winbin/pwmachine.exe" certutil -p pw -importPFX "Z:$work/lo.pfx" \
    >/dev/null
  # Each must find the certificate, and its key, after every filler.
  [ "$(PW_MACHINE_ROOT="$root" "$bin/pwexe" "$k_cmd")" = 0 ] ||
    { echo "portable $n: 'K' does not find the certificate" >&2; exit 1; }
  cmds+=(-n "portable-K-$n-off" --prepare true "env PW_MACHINE_ROOT=$root $bin/pwexe '$k_cmd'")
  [ "$(WINEPREFIX="$prefix" $wine_k | tr -d '\r')" = 0 ] ||
    { echo "wine $n: 'K' does not find the certificate" >&2; exit 1; }
  cmds+=(-n "wine-K-$n-off" --prepare true "env WINEPREFIX=$prefix $wine_k")
done
root="$work/root10000"
prefix="$work/prefix10000"
cp -a "$root" "$work/template"
trace() { echo "reg add 'HKCU\Software\Velmora\Tessera' /v doTrace /t REG_DWORD /d $1 /f"; }
p_on="PW_MACHINE_ROOT=$root $bin/pwmachine $(trace 1) >/dev/null"
p_off="PW_MACHINE_ROOT=$root $bin/pwmachine $(trace 0) >/dev/null"
w_on="WINEPREFIX=$prefix wine $(trace 1) >/dev/null 2>&1"
w_off="WINEPREFIX=$prefix wine $(trace 0) >/dev/null 2>&1"
# 'E' on the portable build starts each run from the full store again; under Wine the
# deletion never reaches the registry (see README), so the store stays full.
p_refill="rm -rf $root && cp -a $work/template $root"
cmds+=(-n "portable-K-10000-on" --prepare "$p_on" "env PW_MACHINE_ROOT=$root $bin/pwexe '$k_cmd'")
cmds+=(-n "wine-K-10000-on" --prepare "$w_on" "env WINEPREFIX=$prefix $wine_k")
cmds+=(-n "portable-E-10000-off" --prepare "$p_refill && $p_off"
       "env PW_MACHINE_ROOT=$root $bin/pwexe '$e_cmd'")
cmds+=(-n "wine-E-10000-off" --prepare "$w_off" "env WINEPREFIX=$prefix $wine_e")
cmds+=(-n "portable-E-10000-on" --prepare "$p_refill && $p_on"
       "env PW_MACHINE_ROOT=$root $bin/pwexe '$e_cmd'")
cmds+=(-n "wine-E-10000-on" --prepare "$w_on" "env WINEPREFIX=$prefix $wine_e")
# The start-up without a store, for reference.
PW_MACHINE_ROOT="$work/empty" "$bin/pwexe" H,5 >/dev/null
cmds+=(-n "portable-H" --prepare true "env PW_MACHINE_ROOT=$work/empty $bin/pwexe H,5")

hyperfine --runs "$runs" --export-json "$work/c.json" "${cmds[@]}" >/dev/null

python3 - "$work/c.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] * 1000 for x in json.load(open(sys.argv[1]))["results"]}
print("| command | certificates | tracing | portable (ms) | Wine (ms) | portable / Wine |")
print("|---|---|---|---|---|---|")
for cmd, n, trace in (("K", 2500, "off"), ("K", 10000, "off"), ("K", 10000, "on"),
                      ("E", 10000, "off"), ("E", 10000, "on")):
    p, w = r["portable-%s-%d-%s" % (cmd, n, trace)], r["wine-%s-%d-%s" % (cmd, n, trace)]
    print("| '%s' | %d | %s | %.0f | %.0f | %.2fx |" % (cmd, n, trace, p, w, p / w))
print()
h = r["portable-H"]
for t in ("portable", "wine"):
    base = h if t == "portable" else 0
    grow = (r[t + "-K-10000-off"] - base) / (r[t + "-K-2500-off"] - base)
    print("%s 'K': 10,000 / 2,500 certificates%s: %.2fx (linear: 4.00x)"
          % (t, " (start-up taken off)" if base else "", grow))
print("portable 'H,5' (start-up): %.1f ms" % h)
PY
