#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the whole suite, warnings as errors, in these configurations: the
# host build, the host build under AddressSanitizer and UndefinedBehaviorSanitizer,
# the armhf cross build under qemu-arm, a plain Release build, a build with the
# flags Debian's packaging gives (dpkg-buildflags), a clang build instrumented for
# libFuzzer whose fuzz targets then run for YUTIL_FUZZ_SECONDS each (30), the
# suite's own programs under valgrind's memcheck, a ThreadSanitizer build, and
# "repro": the library and programs built twice with debug information, in folders
# of different names, must come out byte for byte the same.
# Usage: scripts/test-all.sh [host|asan|armhf|release|debian|fuzz|valgrind|tsan|repro ...]
set -euo pipefail
cd "$(dirname "$0")/.."

configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host asan armhf release debian fuzz valgrind tsan repro)
jobs=$(nproc)

# The files that must not depend on the build folder, as paths below it.
repro_files=(infra/yutil/libyutil.so.1 programs/ykeys/ykeys tools/ytrace_decode/ytrace-decode
  tools/ytrace_catalogs/ytrace-catalogs)
repro() {
  local dir f differ=0
  for dir in build/repro build/repro-elsewhere; do
    echo "=== repro: build in $dir"
    cmake -S . -B "$dir" -DYUTIL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$dir" -j "$jobs" --target yutil ykeys ytrace-decode ytrace-catalogs
  done
  echo "=== repro: compare"
  for f in "${repro_files[@]}"; do
    cmp "build/repro/$f" "build/repro-elsewhere/$f" || differ=1
  done
  return $differ
}

for config in "${configs[@]}"; do
  flags=() test_env=() started=$SECONDS
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
    repro)
      repro
      echo "=== repro: passed in $((SECONDS - started)) s"
      continue
      ;;
    *)
      echo "test-all.sh: unknown configuration '$config'" \
        "(host, asan, armhf, release, debian, fuzz, valgrind, tsan, repro)" >&2
      exit 2
      ;;
  esac
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
