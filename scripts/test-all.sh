#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the whole suite, warnings as errors, in these configurations: the
# host build, the host build under AddressSanitizer and UndefinedBehaviorSanitizer,
# the armhf cross build under qemu-arm, a plain Release build, a build with the
# flags Debian's packaging gives (dpkg-buildflags), a clang build instrumented for
# libFuzzer whose fuzz targets then run for YUTIL_FUZZ_SECONDS each (30), the
# suite's own programs under valgrind's memcheck, and a ThreadSanitizer build.
# Usage: scripts/test-all.sh [host|asan|armhf|release|debian|fuzz|valgrind|tsan ...]
set -euo pipefail
cd "$(dirname "$0")/.."

configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host asan armhf release debian fuzz valgrind tsan)
jobs=$(nproc)

for config in "${configs[@]}"; do
  flags=() test_env=()
  case "$config" in
    host) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan) args=(-DCMAKE_BUILD_TYPE=Debug -DYUTIL_SANITIZE=ON -DYUTIL_BENCH=OFF) ;;
    armhf) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake) ;;
    release) args=(-DCMAKE_BUILD_TYPE=Release -DYUTIL_BENCH=OFF) ;;
    debian)
      # As Debian's CMake packaging passes them: build type None, CPPFLAGS in CFLAGS.
      args=(-DCMAKE_BUILD_TYPE=None -DYUTIL_BENCH=OFF)
      cppflags=$(dpkg-buildflags --get CPPFLAGS)
      flags=(CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags"
        CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
        LDFLAGS="$(dpkg-buildflags --get LDFLAGS)")
      ;;
    fuzz)
      args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DYUTIL_FUZZ=ON -DYUTIL_BENCH=OFF)
      flags=(CC=clang CXX=clang++)
      ;;
    valgrind) args=(-DCMAKE_BUILD_TYPE=Debug -DYUTIL_VALGRIND=ON -DYUTIL_BENCH=OFF) ;;
    tsan)
      # GCC's runtime: clang 14's shared ThreadSanitizer runtime crashes at start here.
      # A race ends the process that met it, a forked child's too, whose _exit would
      # skip the report's exit status.
      args=(-DCMAKE_BUILD_TYPE=Debug -DYUTIL_SANITIZE=thread -DYUTIL_BENCH=OFF)
      flags=(CC=gcc CXX=g++)
      test_env=(TSAN_OPTIONS=halt_on_error=1)
      ;;
    *)
      echo "test-all.sh: unknown configuration '$config'" \
        "(host, asan, armhf, release, debian, fuzz, valgrind, tsan)" >&2
      exit 2
      ;;
  esac
  started=$SECONDS
  echo "=== $config: configure and build"
  env "${flags[@]}" cmake -S . -B "build/$config" -DYUTIL_WERROR=ON "${args[@]}" >/dev/null
  cmake --build "build/$config" -j "$jobs"
  echo "=== $config: tests"
  (cd "build/$config" && env "${test_env[@]}" ctest --output-on-failure -j "$jobs")
  if [ "$config" = fuzz ]; then
    echo "=== fuzz: each target for ${YUTIL_FUZZ_SECONDS:-30} s"
    scripts/run-fuzzers.sh build/fuzz "${YUTIL_FUZZ_SECONDS:-30}"
  fi
  echo "=== $config: passed in $((SECONDS - started)) s"
done
