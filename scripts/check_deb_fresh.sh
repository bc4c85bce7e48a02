#!/usr/bin/env bash
# Installs the Debian package with apt on a fresh, minimal Debian 12, uses it there and
# removes it again, as a user on a new machine would:
#   scripts/check_deb_fresh.sh build/package/pwexe_<version>_amd64.deb
#
# It runs as root and needs the network: the first run makes a minimal bookworm root
# with debootstrap (from the mirror this machine's apt uses, or PW_DEBIAN_MIRROR) and
# man-db in it, and keeps it under PW_FRESH_ROOT_CACHE (default
# /var/cache/pwexe-fresh-root/bookworm; remove it to have it made anew); later runs
# copy that root and leave it untouched, so each run starts on a fresh machine. Inside
# the copy (a chroot with /proc and /dev mounted for the run only):
# - apt-get installs ./pwexe_<version>_amd64.deb, resolving its Depends from the mirror;
# - man shows the three manual pages by name, without warnings;
# - pwmachine --version answers, pwexe 'H' works on the user's default machine (which
#   does not exist yet), 'R' finds the access-control tools first boot installed;
# - the installed walkthrough runs, with openssl (which it names) added for it and
#   purged again;
# - apt-get remove and purge take the package away, and the root's files are then
#   those it had before the install, apart from apt's and dpkg's own records, logs
#   and caches.
# Any failing step stops the run with its output.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "check_deb_fresh: run as root (chroot, mounts)" >&2; exit 2; }
deb=$(realpath "$1")
name=$(basename "$deb")
version=$(dpkg-deb -f "$deb" Version)
cache=${PW_FRESH_ROOT_CACHE:-/var/cache/pwexe-fresh-root}
base=$cache/bookworm
logs=$cache/last-run  # the last run's logs and file lists

fail() { echo "check_deb_fresh: FAILED: $*" >&2; exit 1; }
say() { printf '\ncheck_deb_fresh: %s\n' "$*"; }

# The Debian mirror this machine's apt reads bookworm from (one-line or deb822 sources).
host_mirror() {
  {
    awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' /etc/apt/sources.list.d/*.sources
    awk '/^deb / { for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) { print $i; break } }' \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list
  } 2>/dev/null | grep -E '/debian/?$' | head -n 1 || true
}
mirror=${PW_DEBIAN_MIRROR:-$(host_mirror)}
mirror=${mirror:-http://deb.debian.org/debian}
security=${mirror%/debian}/debian-security
[ "${mirror%/debian}" != "$mirror" ] || security=http://deb.debian.org/debian-security

# Mount points of a root; everything mounted is unmounted by the EXIT trap, before
# anything under the root is removed.
mounted=()
in_root() {
  chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive TERM=dumb "${@:2}"
}
mount_root() {
  mount -t proc proc "$1/proc" && mounted+=("$1/proc")
  mount --bind /dev "$1/dev" && mounted+=("$1/dev")
  mount --bind /dev/pts "$1/dev/pts" && mounted+=("$1/dev/pts")
  cp /etc/resolv.conf "$1/etc/resolv.conf"
}
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" || umount -l "${mounted[i]}" || true
  done
  mounted=()
}
# Removes a root this script made, refusing while anything below it is still mounted.
remove_root() {
  [ -d "$1" ] || return 0
  if findmnt -rn -o TARGET | grep -q "^$1/"; then
    echo "check_deb_fresh: $1 still has mounts; left in place" >&2
    return 1
  fi
  rm -rf --one-file-system "$1"
}
run=""
cleanup() {
  unmount_all
  [ -z "$run" ] || remove_root "$run" || true
  [ -z "${building:-}" ] || remove_root "$building" || true
}
trap cleanup EXIT

if [ ! -e "$base/.pwexe-fresh-root" ]; then
  say "making a minimal Debian 12 root in $base from $mirror"
  command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap
  building=$base.new
  remove_root "$building"
  mkdir -p "$cache"
  rm -f "$cache/base.log"
  debootstrap --variant=minbase bookworm "$building" "$mirror" > "$cache/debootstrap.log" 2>&1 ||
    { tail -n 30 "$cache/debootstrap.log"; fail "debootstrap (log: $cache/debootstrap.log)"; }
  cat > "$building/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
  mount_root "$building"
  # Up to date, as a new installation is, and with man-db, which minbase leaves out.
  for step in "apt-get update" "apt-get upgrade -y" \
              "apt-get install -y --no-install-recommends man-db" "apt-get clean"; do
    # shellcheck disable=SC2086 # each step is a command line of plain words
    in_root "$building" $step >> "$cache/base.log" 2>&1 ||
      { tail -n 30 "$cache/base.log"; fail "$step in the new root (log: $cache/base.log)"; }
  done
  unmount_all
  touch "$building/.pwexe-fresh-root"
  mv "$building" "$base"
  building=""
fi

rm -rf "$logs"
mkdir -p "$logs"
run=$(mktemp -d "$cache/run.XXXXXX")
say "a fresh copy of $base in $run"
cp -a "$base/." "$run/"
rm "$run/.pwexe-fresh-root"
mount_root "$run"
cp "$deb" "$run/tmp/$name"

# The root's files, apart from what apt and dpkg keep about themselves and the run's
# scratch: what the package's install and removal may not change.
snapshot() {
  (cd "$run" && find . -path ./proc -prune -o -path ./dev -prune -o -print) |
    grep -Ev '^\./(var/lib/apt|var/cache/apt|var/lib/dpkg|var/log|var/cache/debconf|var/cache/man|tmp|proc|dev)(/|$)' |
    sort
}
in_root "$run" apt-get update -qq || fail "apt-get update in the fresh root"
snapshot > "$logs/before.txt"

say "apt-get install ./$name"
in_root "$run" sh -c "cd /tmp && apt-get install -y ./$name" > "$logs/install.log" 2>&1 ||
  { cat "$logs/install.log"; fail "apt-get install ./$name"; }
sed -n '/^The following NEW packages/,/^[0-9]* upgraded/p' "$logs/install.log"
[ "$(in_root "$run" dpkg-query -W -f='${Status}' pwexe)" = "install ok installed" ] ||
  fail "pwexe is not installed after apt-get install"

say "man pwexe, man pwmachine, man pwcmd"
for page in pwexe pwmachine pwcmd; do
  text=$(in_root "$run" man --warnings "$page" 2> "$logs/man.err") ||
    { cat "$logs/man.err"; fail "man $page"; }
  [ ! -s "$logs/man.err" ] || { cat "$logs/man.err"; fail "man $page warns"; }
  printf '%s\n' "$text" | grep -q "^NAME" || fail "man $page shows no NAME section"
  printf '%s\n' "$text" | grep -qE "^ +$page +- " || fail "man $page names another program"
  echo "man $page: $(printf '%s\n' "$text" | wc -l) lines, $(in_root "$run" man -w "$page")"
done
in_root "$run" man pwexe | sed -n '1,8p'

say "the installed programs"
answer=$(in_root "$run" pwmachine --version) || fail "pwmachine --version"
[ "$answer" = "pwmachine $version" ] || fail "pwmachine --version answered '$answer'"
echo "pwmachine --version: $answer"
answer=$(in_root "$run" pwcmd --version) || fail "pwcmd --version"
[ "$answer" = "pwcmd $version" ] || fail "pwcmd --version answered '$answer'"
# The user's default machine, made at first use under a home that has no ~/.local yet.
[ ! -e "$run/root/.local" ] || fail "the fresh root already has /root/.local"
answer=$(in_root "$run" pwexe H,42) || fail "pwexe H,42 exited $? (printed $answer)"
[ "$answer" = 0 ] || fail "pwexe H,42 answered $answer"
answer=$(in_root "$run" pwmachine reg query 'HKLM\Software\Velmora\Tessera\hwid' /v Blob) ||
  fail "pwmachine reg query"
printf '%s\n' "$answer" | grep -q 'Blob    REG_DWORD    0x2a' ||
  fail "pwmachine reg query shows no Blob 0x2a: $answer"
echo "pwexe H,42: 0; reg query: $(printf '%s\n' "$answer" | grep Blob)"
# 'R' runs the access-control tools first boot copied from /usr/lib/pwexe.
answer=$(in_root "$run" pwexe 'R,cacls c:\windows > c:\cacls.log') || fail "pwexe R,cacls: $answer"
[ "$answer" = 0 ] || fail "pwexe R,cacls answered $answer"
grep -qF 'c:\windows BUILTIN\Administrators:' "$run/root/.local/share/pwexe/machine/drive_c/cacls.log" ||
  fail "cacls reported nothing for c:\\windows"
echo "pwexe 'R,cacls c:\\windows': 0, the report lists its entries"
# The user's machine is the user's data, which no package removal takes away.
rm -rf "$run/root/.local"

say "the installed walkthrough: it names openssl where it is missing, and runs with it"
if in_root "$run" sh /usr/share/doc/pwexe/examples/walkthrough.sh > "$logs/walkthrough.log" 2>&1; then
  fail "the walkthrough ran without openssl"
fi
grep -q 'openssl program is missing' "$logs/walkthrough.log" ||
  { cat "$logs/walkthrough.log"; fail "the walkthrough does not say that it needs openssl"; }
in_root "$run" apt-get install -y -qq --no-install-recommends openssl > "$logs/openssl.log" 2>&1 ||
  { cat "$logs/openssl.log"; fail "apt-get install openssl"; }
in_root "$run" sh /usr/share/doc/pwexe/examples/walkthrough.sh > "$logs/walkthrough.log" 2>&1 ||
  { tail -n 40 "$logs/walkthrough.log"; fail "the installed walkthrough"; }
tail -n 1 "$logs/walkthrough.log"
in_root "$run" apt-get purge -y -qq --autoremove openssl > "$logs/openssl.log" 2>&1 ||
  { cat "$logs/openssl.log"; fail "apt-get purge openssl"; }

say "apt-get remove pwexe, then purge"
in_root "$run" apt-get remove -y pwexe > "$logs/remove.log" 2>&1 ||
  { cat "$logs/remove.log"; fail "apt-get remove pwexe"; }
# A package without configuration files is forgotten at its removal; one that keeps
# some is purged.
status=$(in_root "$run" dpkg-query -W -f='${Status}' pwexe 2>/dev/null) || status=""
case "$status" in
  "") echo "removed; dpkg no longer knows pwexe (nothing to purge)" ;;
  "deinstall ok config-files")
    in_root "$run" apt-get purge -y pwexe >> "$logs/remove.log" 2>&1 ||
      { cat "$logs/remove.log"; fail "apt-get purge pwexe"; }
    status=$(in_root "$run" dpkg-query -W -f='${Status}' pwexe 2>/dev/null) || status=""
    [ -z "$status" ] || fail "pwexe is still known to dpkg after purge: $status"
    echo "removed and purged" ;;
  *) fail "pwexe after apt-get remove: $status" ;;
esac
! compgen -G "$run/var/lib/dpkg/info/pwexe.*" > /dev/null ||
  fail "dpkg keeps $(ls "$run"/var/lib/dpkg/info/pwexe.*)"
snapshot > "$logs/after.txt"
diff "$logs/before.txt" "$logs/after.txt" > "$logs/left.diff" ||
  { cat "$logs/left.diff"; fail "the root's files differ after removal (above)"; }
echo "no file is left: $(wc -l < "$logs/after.txt") paths, the same as before the install"

say "$name on a fresh Debian 12 ($mirror): installs, man page shows, runs, removal leaves nothing"
