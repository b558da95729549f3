#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages of this checkout for the host (running the test suite)
# and cross-built for armhf, judges both with lintian, then uses them as a platform
# team would: installs them, builds a C consumer through pkg-config and a CMake
# consumer against /usr, runs both, and runs an armhf consumer under qemu-arm.
# Run as root on Debian 13: it installs the packaging tools, the build dependencies
# and the packages themselves. Packages and logs end up in build/packages.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/build/packages
export DEBIAN_FRONTEND=noninteractive

step() { echo "=== packages: $*"; }
die() {
  echo "check-packages.sh: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || die "run as root (it calls apt-get)"

step "packaging tools"
apt-get install -y -q --no-install-recommends debhelper lintian crossbuild-essential-armhf \
  man-db qemu-user >/dev/null

# The source as the checkout has it, without its build folders.
rm -rf "$out"
mkdir -p "$out/yutil"
git -C "$top" ls-files -z -co --exclude-standard | (cd "$top" && tar --null -T - -cf -) |
  tar -xf - -C "$out/yutil"

# build ARCH-NAME [dpkg-buildpackage options]: the build dependencies, then the build,
# its log kept beside the packages.
build() {
  local name=$1 started=$SECONDS
  shift
  step "build for $name: dpkg-buildpackage $* -us -uc -b"
  (cd "$out/yutil" && apt-get build-dep -y -q "$@" ./ >/dev/null)
  (cd "$out/yutil" && dpkg-buildpackage "$@" -us -uc -b) >"$out/build-$name.log" 2>&1 ||
    { tail -n 60 "$out/build-$name.log"; die "the $name build failed; see $out/build-$name.log"; }
  # dpkg-shlibdeps's other warning here, "diversions involved", is Debian 13's /usr merge.
  grep -E '^dpkg-gensymbols: warning|^dpkg-shlibdeps: warning: (cannot find|.*useless)' \
    "$out/build-$name.log" && die "the $name build warned about library dependencies or symbols"
  awk '/tests passed/ { print } /did not run:/ { list = 1; print; next }
    list && /^\t/ { print; next } { list = 0 }' "$out/build-$name.log"
  step "build for $name: done in $((SECONDS - started)) s"
}
build host
build armhf -aarmhf -Pcross,nocheck

step "lintian -I --pedantic"
lintian -I --pedantic --show-overrides --fail-on error,warning "$out"/yutil_*_amd64.changes "$out"/yutil_*_armhf.changes

cd "$out"
for deb in *.deb; do
  printf '%-52s %7s bytes, installed %5s KiB\n' "$deb" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Installed-Size)"
done

step "libyutil1 alone is refused: no provider of yutil-platform"
if apt-get install -y -q ./libyutil1_*_amd64.deb >"$out/alone.log" 2>&1; then
  die "libyutil1 installed without a yutil-platform provider"
fi
grep 'yutil-platform' "$out/alone.log" || { cat "$out/alone.log"; die "refused, but not for yutil-platform"; }

step "install the host packages and the armhf libraries beside them"
debs=(./yutil-tools_*_amd64.deb)
for package in libyutil1 libyutil-dev yutil-platform-standins yutil-platform-standins-dev; do
  debs+=(./"$package"_*_amd64.deb ./"$package"_*_armhf.deb)
done
apt-get install -y -q "${debs[@]}" >/dev/null

expected="consumer: port 8080 key 259"
# check WHAT PROGRAM...: it runs and prints the line the consumer prints.
check() {
  local printed
  printed=$(CONSUMER_PORT=8080 "${@:2}") || die "$1: exit status $?"
  [ "$printed" = "$expected" ] || die "$1 printed: $printed"
  echo "$1: ok"
}
consumer=$top/tests/install/consumer
mkdir -p consumers
step "consumers against /usr"
# shellcheck disable=SC2046 # the flags are words, as a user's command line splits them
cc -std=c99 -Wall -Werror "$consumer/consumer.c" $(pkg-config --cflags --libs yutil) -o consumers/pc-host
check "pkg-config consumer" ./consumers/pc-host
cmake -S "$consumer" -B consumers/cmake >/dev/null
cmake --build consumers/cmake >/dev/null
check "CMake consumer" ./consumers/cmake/consumer
man -w ycurs_wgetch
# dh_strip must have kept the catalog sections the trace reader needs.
ytrace-catalogs "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libyutil.so.1" | sed -n 1p

step "armhf consumer under qemu-arm"
# shellcheck disable=SC2046
arm-linux-gnueabihf-gcc -std=c99 -Wall -Werror "$consumer/consumer.c" \
  $(arm-linux-gnueabihf-pkg-config --cflags --libs yutil) -o consumers/pc-armhf
check "armhf pkg-config consumer" qemu-arm ./consumers/pc-armhf
ytrace-catalogs /usr/lib/arm-linux-gnueabihf/libyutil.so.1 | sed -n 1p
step "all checks passed"
