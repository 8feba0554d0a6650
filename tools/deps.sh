#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; a no-op when all are there.
# With package names as arguments it installs those instead (tools/deps-windows.sh does).
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev qt6-webengine-dev libqt6svg6-dev libgl-dev
  libjpeg-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool vsftpd python3 python3-pyftpdlib imagemagick fonts-liberation
  lintian desktop-file-utils appstream nginx
)
[ $# -gt 0 ] && pkgs=("$@")
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
