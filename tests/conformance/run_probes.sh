#!/bin/sh
# Runs each conformance probe on the portable platform and, built for Windows, under
# Wine, and compares the two outputs line by line. Exit 0 when every pair is identical.
#
#   run_probes.sh [portable-build-dir] [mingw-build-dir]
#
# Defaults: build/default and build/mingw under the source tree. WINEPREFIX is taken
# from the environment, or a temporary one is made (and removed afterwards).
set -eu

src=$(cd "$(dirname "$0")/../.." && pwd)
native_bin=${1:-$src/build/default}/bin
windows_bin=${2:-$src/build/mingw}/bin
pass=5077e1f3a0c21b9d44e7086e3f52d1aa9c0b7e6513f8c2d4e6a7b9c1d3e5

work=$(mktemp -d /tmp/pw-probes-XXXXXX)
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$work/wineprefix
  own_prefix=1
fi
export WINEPREFIX WINEDEBUG=-all
cleanup() {
  [ -n "$own_prefix" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

status=0
# probe name, then its arguments
compare() {
  probe=$1
  shift
  for f in "$native_bin/$probe" "$windows_bin/$probe.exe"; do
    [ -f "$f" ] || { echo "missing $f (build the $probe target first)" >&2; status=2; return; }
  done
  PW_MACHINE_ROOT=$work/machine "$native_bin/$probe" "$@" >"$work/$probe.portable"
  wine "$windows_bin/$probe.exe" "$@" 2>/dev/null | tr -d '\r' >"$work/$probe.wine"
  if diff -u "$work/$probe.wine" "$work/$probe.portable"; then
    echo "$probe: $(wc -l <"$work/$probe.portable") lines identical under Wine and portable"
  else
    echo "$probe: outputs differ (- Wine, + portable)" >&2
    status=1
  fi
}

compare crypto_probe "$pass"
compare registry_probe
compare file_probe
# A key pair made by OpenSSL, in CryptoAPI's PRIVATEKEYBLOB layout.
keyblob=$(openssl genrsa 1024 2>/dev/null | openssl rsa -outform MSBLOB 2>/dev/null |
  od -An -v -tx1 | tr -d ' \n')
compare key_probe "$keyblob"
# A self-signed certificate made by OpenSSL.
openssl req -x509 -newkey rsa:1024 -nodes -keyout "$work/probe.key" -outform DER \
  -out "$work/probe.der" -subj "/CN=Probe/O=Velmora" -days 30 2>/dev/null
compare cert_probe "$work/probe.der"
compare com_probe
exit $status
