#!/bin/sh
# Runs the CryptoAPI conformance probe on the portable platform and, built for Windows,
# under Wine, and compares the two outputs line by line. Exit 0 when they are identical.
#
#   run_crypto_probe.sh [portable-build-dir] [mingw-build-dir]
#
# Defaults: build/default and build/mingw under the source tree. WINEPREFIX is
# taken from the environment, or a temporary one is made (and removed afterwards).
set -eu

src=$(cd "$(dirname "$0")/../.." && pwd)
native=${1:-$src/build/default}/bin/crypto_probe
windows=${2:-$src/build/mingw}/bin/crypto_probe.exe
pass=5077e1f3a0c21b9d44e7086e3f52d1aa9c0b7e6513f8c2d4e6a7b9c1d3e5

for f in "$native" "$windows"; do
  [ -f "$f" ] || { echo "missing $f (build the crypto_probe target first)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/pw-crypto-probe-XXXXXX)
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

PW_MACHINE_ROOT=$work/machine "$native" "$pass" >"$work/portable.txt"
wine "$windows" "$pass" 2>/dev/null | tr -d '\r' >"$work/wine.txt"

if diff -u "$work/wine.txt" "$work/portable.txt"; then
  echo "crypto probe: $(wc -l <"$work/portable.txt") lines identical under Wine and portable"
else
  echo "crypto probe: outputs differ (- Wine, + portable)" >&2
  exit 1
fi
