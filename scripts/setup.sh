#!/usr/bin/env bash
# Installs what this machine lacks (Debian 12, apt-get) and builds the presets
# named on the command line (default: "default").
#   scripts/setup.sh [PRESET...]      presets: default asan mingw mingw32 package
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config            # the portable build
  libsqlite3-dev libssl-dev                   # hives and CryptoAPI
  googletest libgtest-dev python3             # unit and end-to-end tests
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev                        # the Windows build, 64-bit (run under Wine)
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev                          # the Windows build, 32-bit (the one that ships)
  wine wine64                                 # runs the Windows build
  clang libclang-rt-14-dev                    # libFuzzer
  hyperfine openssl                           # benchmarks, independent references
  scdoc man-db groff-base gzip                # manual pages: built, and checked with man
  dpkg-dev                                    # the Debian package's dependencies (dpkg-shlibdeps)
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

presets=("$@")
((${#presets[@]})) || presets=(default)
for preset in "${presets[@]}"; do
  echo "setup: building preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
