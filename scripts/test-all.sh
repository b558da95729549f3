#!/usr/bin/env bash
# Builds and runs the whole suite in three configurations: the host build, the
# host build under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# armhf cross build under qemu-arm. Usage: scripts/test-all.sh [host|asan|armhf ...]
set -euo pipefail
cd "$(dirname "$0")/.."

configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host asan armhf)
jobs=$(nproc)

for config in "${configs[@]}"; do
  case "$config" in
    host) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan) args=(-DCMAKE_BUILD_TYPE=Debug -DYUTIL_SANITIZE=ON -DYUTIL_BENCH=OFF) ;;
    armhf) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake) ;;
    *) echo "test-all.sh: unknown configuration '$config' (host, asan, armhf)" >&2; exit 2 ;;
  esac
  echo "=== $config: configure and build"
  cmake -S . -B "build/$config" "${args[@]}" >/dev/null
  cmake --build "build/$config" -j "$jobs"
  echo "=== $config: tests"
  (cd "build/$config" && ctest --output-on-failure -j "$jobs")
done
