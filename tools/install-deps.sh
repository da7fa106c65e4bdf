#!/usr/bin/env bash
# Installs every build, test and run dependency on Debian 12 (and what
# `cpack -G DEB` uses: dpkg-shlibdeps from dpkg-dev, and file). udisks2
# opens drives for a user who may not open them; its tests start their own
# dbus-daemon, polkitd and udisksd.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
  build-essential cmake ninja-build pkg-config git dpkg-dev file clang-format \
  qt6-base-dev qt6-base-dev-tools libgl-dev \
  libudev-dev libmount-dev liburing-dev libsgutils2-dev libssl-dev libisal-dev \
  libgtest-dev libgmock-dev libbenchmark-dev libfuse3-dev fuse3 \
  util-linux fdisk e2fsprogs dosfstools gddrescue python3-minimal \
  xvfb xauth imagemagick fonts-dejavu-core openbox \
  udisks2 polkitd dbus-daemon passwd
