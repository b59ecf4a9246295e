#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need.
# Does nothing when they are all there already.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  ghostscript poppler-utils
  cups cups-client cups-bsd libcups2-dev
  libsqlite3-dev sqlite3 zlib1g-dev libdeflate-dev libzxing-dev
  libgtk-4-dev libcairo2-dev fonts-dejavu-core xvfb xdotool imagemagick
  debhelper dpkg-dev lintian fakeroot desktop-file-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Installing ${missing[*]} needs root; run $0 as root (su -), or as: sudo $0" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
