#!/usr/bin/env bash
# The Debian packages the Windows build and its tests need beyond tools/deps.sh's: the
# mingw-w64 cross compiler (POSIX thread model), wine to run the programs, GoogleTest's source
# to build it for Windows. A no-op when all are there.
set -euo pipefail
pkgs=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest cmake ninja-build)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root or install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
