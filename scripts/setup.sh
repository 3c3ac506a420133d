#!/usr/bin/env bash
# Installs every Debian 12 package Kavo needs to build, run and test.
# Idempotent: packages already present are left alone.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config python3
  liblua5.1-0-dev
  libsdl2-dev libsdl2-mixer-dev libsdl2-image-dev libsdl2-ttf-dev
  libepoxy-dev libglu1-mesa-dev libglm-dev
  libfreetype-dev fonts-dejavu-core
  zlib1g-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  librecast-dev
  libgl1-mesa-dri libegl-mesa0
  clang libclang-rt-14-dev
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
