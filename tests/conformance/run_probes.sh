#!/bin/sh
# Runs each conformance probe on the portable platform and compares its output line by
# line with the reference recorded from Wine in expected/<probe>.txt; where Wine is
# installed it runs the Windows build of the probe under Wine too and compares that
# with the same reference, so that a Wine upgrade which changes an answer is seen
# instead of silently moving the reference. Exit 0 when every output matches.
#
#   run_probes.sh [--regenerate] [portable-build-dir] [mingw-build-dir]
#
# --regenerate records Wine's outputs as the new references (Wine required): do it on
# purpose only, after checking each changed line against Windows' documentation.
# Defaults: build/default and build/mingw under the source tree. WINEPREFIX is taken
# from the environment, or a temporary one is made (and removed afterwards). The probes'
# inputs (a key pair, a certificate and an authority's answer holding it, made once by
# openssl) are in inputs/.
set -eu

regenerate=
if [ "${1:-}" = "--regenerate" ]; then
  regenerate=1
  shift
fi
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
native_bin=${1:-$src/build/default}/bin
windows_bin=${2:-$src/build/mingw}/bin
expected=$here/expected
pass=5077e1f3a0c21b9d44e7086e3f52d1aa9c0b7e6513f8c2d4e6a7b9c1d3e5

work=$(mktemp -d /tmp/pw-probes-XXXXXX)
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$work/wineprefix
  own_prefix=1
fi
export WINEPREFIX WINEDEBUG=-all
have_wine=
command -v wine >/dev/null 2>&1 && have_wine=1
if [ -n "$regenerate" ] && [ -z "$have_wine" ]; then
  echo "--regenerate needs Wine" >&2
  exit 2
fi
cleanup() {
  [ -n "$own_prefix" ] && [ -n "$have_wine" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

status=0
# against REFERENCE OUTPUT LABEL: compares one output with the recorded reference.
against() {
  if diff -u "$1" "$2" >"$work/diff"; then
    echo "$3: $(wc -l <"$2") lines as recorded"
  else
    echo "$3: differs from the recorded reference (- recorded, + $3)" >&2
    cat "$work/diff" >&2
    status=1
  fi
}

# probe name, then its arguments
probe() {
  name=$1
  shift
  [ -f "$native_bin/$name" ] || { echo "missing $native_bin/$name" >&2; status=2; return; }
  if [ -n "$have_wine" ]; then
    if [ -f "$windows_bin/$name.exe" ]; then
      wine "$windows_bin/$name.exe" "$@" 2>/dev/null | tr -d '\r' >"$work/$name.wine"
      [ -n "$regenerate" ] && cp "$work/$name.wine" "$expected/$name.txt"
    else
      echo "missing $windows_bin/$name.exe (build the mingw preset)" >&2
      status=2
    fi
  fi
  [ -f "$expected/$name.txt" ] || { echo "no reference $expected/$name.txt" >&2; status=2; return; }
  rm -rf "$work/machine"
  PW_MACHINE_ROOT=$work/machine "$native_bin/$name" "$@" >"$work/$name.portable"
  against "$expected/$name.txt" "$work/$name.portable" "$name portable"
  [ -f "$work/$name.wine" ] && against "$expected/$name.txt" "$work/$name.wine" "$name Wine"
  return 0
}

probe crypto_probe "$pass"
probe registry_probe
probe registry_corner_probe
probe file_probe
probe key_probe "$(cat "$here/inputs/key_blob.hex")"
probe provider_probe "$(cat "$here/inputs/key_blob.hex")"
probe last_error_probe
probe cert_probe "$here/inputs/certificate.der"
probe name_probe
probe store_probe "$here/inputs/certificate.der"
probe com_probe
probe process_probe
probe clock_probe
probe encode_probe
probe decode_probe
probe text_probe
probe pkcs7_probe "$here/inputs/answer.p7b" "$here/inputs/certificate.der"
probe signature_probe "$(cat "$here/inputs/key_blob.hex")"
probe certsign_probe "$(cat "$here/inputs/key_blob.hex")"
probe security_probe
[ -n "$have_wine" ] || echo "Wine is not installed: compared the portable outputs only"
exit $status
