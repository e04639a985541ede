#!/usr/bin/env bash
# Installs the Debian 12 packages Marlocket needs to build, run and test,
# leaving alone whatever is already there.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools libqt6charts6-dev libqt6svg6 libgl1-mesa-dev
      libgtest-dev libgmock-dev libsqlite3-dev libgif-dev
      clang libclang-rt-14-dev xvfb xauth
      python3-dbf libdbd-xbase-perl)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
