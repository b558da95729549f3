#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs every Debian package the build, the tests and the armhf cross build need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (it calls apt-get)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture armhf
apt-get update -q

host_packages=(
  cmake g++ make pkg-config python3 bzip2 binutils tmux ncurses-bin ncurses-term dpkg-dev git
  scdoc mandoc abigail-tools valgrind
  libncurses-dev libbsd-dev libelf-dev libbz2-dev libmd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang llvm libclang-rt-dev
)
cross_packages=(
  g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user
  libc6:armhf libstdc++6:armhf
  libncurses-dev:armhf libbsd-dev:armhf libelf-dev:armhf libbz2-dev:armhf libmd-dev:armhf
  libgtest-dev:armhf libgmock-dev:armhf
)
apt-get install -y -q --no-install-recommends "${host_packages[@]}" "${cross_packages[@]}"
