#!/usr/bin/env bash
# Checks the Windows zip: tests/package/check_zip.sh build/<preset>/pwexe-<version>-<arch>.zip
# It holds pwexe.exe, pwmachine.exe and pwcmd.exe at the top of its folder, the
# enrolment components for Wine prefixes in wine/, and pwexe.exe's version record
# carries the version in the zip's name.
set -euo pipefail
zip=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_zip: $*" >&2; exit 1; }
name=$(basename "$zip" .zip)
version=$(echo "$name" | sed -n 's/^pwexe-\([0-9.]*\)-win\(32\|64\)$/\1/p')
[ -n "$version" ] || fail "the name $name carries no version"
(cd "$work" && cmake -E tar xf "$zip")
for program in pwexe pwmachine pwcmd; do
  [ -f "$work/$name/$program.exe" ] || fail "$program.exe is missing"
done
# The enrolment components are for Wine prefixes: apart from the programs, never beside
# pwexe.exe, where they could be taken for the system's own.
for dll in pwenrol_control pwenrol_objects; do
  [ -f "$work/$name/wine/$dll.dll" ] || fail "wine/$dll.dll is missing"
done
[ -f "$work/$name/wine/README.txt" ] || fail "wine/README.txt is missing"
if ls "$work/$name"/*.dll >/dev/null 2>&1; then fail "a DLL beside pwexe.exe"; fi
# The version record (VS_VERSION_INFO) holds its strings in UTF-16.
python3 - "$work/$name/pwexe.exe" "$version.0" <<'PY' || fail "pwexe.exe's version record"
import re, sys
data = open(sys.argv[1], "rb").read()
for key in ("FileVersion", "ProductVersion"):
    # The key, zero padding to a 4-byte boundary, the value with its terminator.
    wanted = (re.escape((key + "\0").encode("utf-16-le")) + b"(?:\x00\x00)?" +
              re.escape((sys.argv[2] + "\0").encode("utf-16-le")))
    assert re.search(wanted, data), key
PY
echo "check_zip: $name.zip holds $(cd "$work/$name" && find . -type f | sort | tr '\n' ' ')"
