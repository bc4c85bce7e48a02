#!/usr/bin/env bash
# Checks the Debian package as a fresh machine would see it:
#   tests/package/check_deb.sh build/package/pwexe_<version>_amd64.deb
# - its control fields: name, version, architecture, and dependencies that are what
#   the programs load (dpkg-shlibdeps' answer: the C library, nothing of SQLite or
#   OpenSSL, which the release programs carry inside);
# - its files: under /usr only, the three programs, their manual pages, the docs;
# - unpacked into an empty folder (dpkg-deb -x), the programs run from there on a
#   fresh machine, the manual pages render without warnings and the walkthrough runs;
# - as root, installed with dpkg into a root of its own (an empty dpkg database) and
#   removed again, it leaves no file behind.
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_deb: $*" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pwexe ] || fail "package name $(field Package)"
[ "$(field Architecture)" = amd64 ] || fail "architecture $(field Architecture)"
case "$(basename "$deb")" in
  "pwexe_$(field Version)_amd64.deb") ;;
  *) fail "file name $(basename "$deb") does not carry version $(field Version)" ;;
esac
depends=$(field Depends)
echo "Depends: $depends"
echo "$depends" | grep -q 'libc6 (>= ' || fail "no versioned libc6 dependency: $depends"
if echo "$depends" | grep -Eq 'libssl|libsqlite|libstdc'; then
  fail "a library the release programs carry inside is a dependency: $depends"
fi
[ "$(field Suggests)" = openssl ] || fail "Suggests: $(field Suggests) (the walkthrough needs openssl)"

# The description as apt shows it: a synopsis, then other lines, none longer than 80
# columns, none carrying a CMake list's ';' where the text was joined.
description=$(field Description)
synopsis=$(echo "$description" | head -n 1)
echo "$description" | tail -n +2 | grep -qxF " $synopsis" && fail "the synopsis is repeated below it"
echo "$description" | awk 'length($0) > 80 { exit 1 }' || fail "a description line is over 80 columns"
echo "$description" | grep -q '^ *;' && fail "a description line begins with ';'"
[ "$(echo "$description" | wc -l)" -gt 2 ] || fail "no description below the synopsis"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort > "$work/files"
for f in /usr/bin/pwexe /usr/bin/pwmachine /usr/bin/pwcmd /usr/share/man/man8/pwexe.8.gz \
         /usr/share/man/man8/pwmachine.8.gz /usr/share/man/man1/pwcmd.1.gz \
         /usr/share/doc/pwexe/README.md /usr/share/doc/pwexe/examples/walkthrough.sh \
         /usr/lib/pwexe/cacls /usr/lib/pwexe/icacls; do
  grep -qx "$f" "$work/files" || fail "$f is missing"
done
grep -v '^/usr/' "$work/files" && fail "files outside /usr"

root="$work/unpacked"
dpkg-deb -x "$deb" "$root"
system_path=$PATH
export PATH="$root/usr/bin:/usr/bin:/bin"
export PW_MACHINE_ROOT="$work/machine"
[ "$(pwmachine --version)" = "pwmachine $(field Version)" ] || fail "pwmachine --version"
[ "$(pwexe H,42)" = 0 ] || fail "pwexe H,42"
for page in "$root"/usr/share/man/man*/*.gz; do
  warnings=$(man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
TMPDIR="$work" sh "$root/usr/share/doc/pwexe/examples/walkthrough.sh" > "$work/walkthrough.log" ||
  { tail -n 30 "$work/walkthrough.log"; fail "the walkthrough failed"; }
grep -qF 'c:\data BUILTIN\Users:(OI)(CI)(RX)' "$work/walkthrough.log" ||
  fail "the walkthrough's 'R' step did not list the entry cacls added"

if [ "$(id -u)" -eq 0 ]; then
  export PATH="$system_path:/usr/sbin:/sbin"
  # dpkg into a root of its own: the package's files arrive and leave again.
  target="$work/target"
  mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
  touch "$target/var/lib/dpkg/status" "$target/var/lib/dpkg/available"
  (cd "$target" && find . | sort) > "$work/before"
  # The empty database has no C library: its dependency is forced, and said so.
  dpkg --root="$target" --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg -i"; }
  [ -x "$target/usr/bin/pwexe" ] || fail "dpkg did not install /usr/bin/pwexe"
  dpkg --root="$target" --purge pwexe >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg --purge"; }
  (cd "$target" && find . | sort | grep -v '^\./var/lib/dpkg') > "$work/after"
  grep -v '^\./var/lib/dpkg' "$work/before" | diff - "$work/after" ||
    fail "removing the package left the files above"
fi
echo "check_deb: $(basename "$deb") is sound"
