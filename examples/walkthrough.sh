#!/bin/sh
# A walk through what pwexe is for, on a fresh emulated machine: a gateway
# certificate's whole life (request, an openssl authority, installation, key check,
# removal), a protected registry value, a key tree deleted, and rights set by the
# access-control tool through 'R'. Every step shows the command and its result code,
# and the walk stops at the first code it does not expect.
#
#   examples/walkthrough.sh              the programs on PATH (an installed package)
#   PW_BIN_DIR=build/default/bin examples/walkthrough.sh
#
# The machine lives in a temporary folder, removed at the end unless PW_KEEP=1.
set -eu

# The certificate's authority is made with the openssl program, which the programs
# themselves do not need (they carry their own OpenSSL), so a fresh machine may lack it.
command -v openssl >/dev/null 2>&1 || {
  echo "walkthrough: the openssl program is missing; it makes the example's certification" \
    "authority (Debian: apt install openssl)" >&2
  exit 1
}

bin=${PW_BIN_DIR:+$PW_BIN_DIR/}
pwexe=${bin}pwexe
pwmachine=${bin}pwmachine
pwcmd=${bin}pwcmd

work=$(mktemp -d "${TMPDIR:-/tmp}/pwexe-walkthrough.XXXXXX")
if [ "${PW_KEEP:-0}" = 1 ]; then
  echo "machine and files kept in $work"
else
  trap 'rm -rf "$work"' EXIT
fi
export PW_MACHINE_ROOT="$work/machine"
cd "$work"

# step EXPECTED COMMAND-TEXT: runs pwexe; the portable build prints the full result
# code as its last line (the exit status keeps only 8 bits of it).
step() {
  expected=$1
  shift
  code=$("$pwexe" "$*" | tail -n 1) || true
  printf '\n$ pwexe %s\n%s\n' "$(printf '%s' "$*" | cut -c 1-100)" "$code"
  if [ "$code" != "$expected" ]; then
    echo "walkthrough: expected $expected; what it means, and the run's trace:" >&2
    "$pwcmd" code "$code" >&2 || true
    "$pwmachine" log >&2 || true
    exit 1
  fi
}

# show COMMAND...: prints the command, without the programs' folder, and runs it.
show() {
  printf '\n$'
  for word in "$@"; do printf ' %s' "${word#"$bin"}"; done
  printf '\n'
  "$@"
}

echo "== a fresh machine in $PW_MACHINE_ROOT, tracing on"
"$pwmachine" reg add 'HKCU\Software\Velmora\Tessera' /v doTrace /t REG_DWORD /d 1 /f

echo
echo "== 'Q': a key pair and a request for the gateway certificate"
step 0 'Q,CN=HWID:OU=4711:O=Velmora Portwyn Certificate'
"$pwcmd" request > req.pem
show openssl req -in req.pem -noout -subject

echo
echo "== an authority made with openssl issues the certificate"
openssl req -x509 -newkey rsa:2048 -nodes -subj '/CN=Velmora Example Root' -days 30 \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl x509 -req -in req.pem -CA ca.pem -CAkey ca.key -copy_extensions copy -days 30 \
  -out cert.pem 2>/dev/null
show openssl x509 -in cert.pem -noout -subject -issuer

echo
echo "== 'A' installs the authority, 'C' the certificate; 'K' checks its key"
step 0 "$("$pwcmd" A ca.pem)"
step 0 "$("$pwcmd" C cert.pem)"
show "$pwmachine" certutil -store My
step 0 'K,HWID: 4711: Velmora Portwyn Certificate'

echo
echo "== 'E' removes the certificate; 'K' then finds none"
step 0 'E,TRUE,4711'
step 7505 'K,HWID: 4711: Velmora Portwyn Certificate'
show "$pwcmd" code 7505

echo
echo "== a protected value: 'B' writes it only with a check blob made under the forced key"
step 0 "$("$pwcmd" B L 'Software\Velmora\Tessera\Client' Port D number 8443)"
show "$pwmachine" reg query 'HKLM\Software\Velmora\Tessera\Client' /v Port
# The same data with the check blob of other data.
other=$("$pwcmd" B L 'Software\Velmora\Tessera\Client' Port D number 8444)
step 7013 "$("$pwcmd" B L 'Software\Velmora\Tessera\Client' Port D number 8443 | cut -d, -f1-6),${other##*,}"

echo
echo "== 'D' deletes the key with everything below it"
step 0 'D,Software\Velmora\Tessera,Client'
if "$pwmachine" reg query 'HKLM\Software\Velmora\Tessera\Client' >/dev/null 2>&1; then
  echo "walkthrough: the key is still there" >&2
  exit 1
fi
echo "HKLM\\Software\\Velmora\\Tessera\\Client is gone"

echo
echo "== 'R' runs the access-control tool; its output goes to the report"
mkdir -p "$PW_MACHINE_ROOT/drive_c/data"
logs="$PW_MACHINE_ROOT/drive_c/PWY_log"
# First boot has put cacls and icacls into c:\windows\system32, where 'R' finds them.
step 0 'R,cacls c:\data /E /G Users:R > c:\PWY_log\cacls.log'
show cat "$logs/cacls.log"
grep -qF 'processed dir: c:\data' "$logs/cacls.log" ||
  { echo "walkthrough: cacls reported no change to c:\data" >&2; exit 1; }
# icacls lists the entry cacls added (its own, not inherited: no "(I)") above those
# c:\data inherits from c:\.
step 0 'R,icacls c:\data > c:\PWY_log\icacls.log'
show cat "$logs/icacls.log"
grep -qF 'BUILTIN\Users:(OI)(CI)(RX)' "$logs/icacls.log" ||
  { echo "walkthrough: icacls does not list the entry cacls added" >&2; exit 1; }

echo
echo "== the trace of the last run"
"$pwmachine" log
echo
echo "walkthrough: every step answered as expected"
