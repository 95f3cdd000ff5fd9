#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing).
set -euo pipefail
packages=(cmake ninja-build g++ clang ccache pkg-config
          qt6-base-dev qt6-serialport-dev qt6-svg-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
