#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the game need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y \
  build-essential cmake pkg-config ca-certificates \
  clang libclang-rt-14-dev llvm \
  libgtest-dev libgmock-dev libbenchmark-dev libsdl2-dev \
  libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri libegl1 libgles2 \
  libopenal-dev libopenal1 \
  libpng-dev libfreetype-dev zlib1g-dev \
  libcurl4-openssl-dev libssl-dev \
  libgtk-3-dev libwebkit2gtk-4.1-dev libcairo2-dev \
  libsoup-3.0-dev nlohmann-json3-dev \
  xvfb xauth xdotool x11-utils imagemagick \
  fonts-dejavu-core \
  fonts-noto-cjk
