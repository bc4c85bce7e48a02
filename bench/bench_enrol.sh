#!/usr/bin/env bash
# 'Q' on the portable build against 'openssl req -new -newkey rsa:2048 -nodes' (both make
# a 2048-bit RSA key pair and a signed request) in one hyperfine run, and a whole
# enrolment round trip: 'Q', pwcmd request, openssl signing, pwcmd and 'A', pwcmd and
# 'C'. Prints medians and the ratio.
#   bench/bench_enrol.sh [BIN_DIR]     (default: build/default/bin; RUNS=30)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(realpath "${1:-build/default/bin}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export PW_MACHINE_ROOT="$work/machine"
subject='CN=HWID:OU=4711:O=Velmora Portwyn Certificate'
"$bin/pwexe" H,5 >/dev/null  # first boot, outside the timing

# Every request stays pending in the machine's "REQUEST" store, as on Windows; the
# store grows by one placeholder a run in the first measurement.
hyperfine -N --warmup 3 --runs "${RUNS:-30}" --export-json "$work/q.json" \
  -n "pwexe Q" "$bin/pwexe 'Q,$subject'" \
  -n "openssl req" "openssl req -new -newkey rsa:2048 -nodes -keyout $work/k.pem -out $work/r.pem -subj /CN=HWID/OU=4711/O=Velmora" \
  >/dev/null

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" \
  -days 30 -subj "/CN=Bench Root" 2>/dev/null
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
chmod +x "$work/round_trip.sh"
hyperfine -N --warmup 2 --runs "${RUNS:-30}" --export-json "$work/rt.json" \
  -n "round trip" "$work/round_trip.sh" >/dev/null

python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
q = {r["command"]: r for r in json.load(open(work + "/q.json"))["results"]}
rt = json.load(open(work + "/rt.json"))["results"][0]
pq, ossl = q["pwexe Q"]["median"] * 1000, q["openssl req"]["median"] * 1000
print("| run | median (ms) | min (ms) | max (ms) |")
print("|---|---|---|---|")
for name, r in (("pwexe Q", q["pwexe Q"]), ("openssl req", q["openssl req"]), ("round trip", rt)):
    print("| %s | %.1f | %.1f | %.1f |" % (name, r["median"] * 1000, r["min"] * 1000, r["max"] * 1000))
print()
print("'Q' against openssl req: %.2fx (target: no slower than openssl)" % (pq / ossl))
PY
