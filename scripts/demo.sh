#!/usr/bin/env bash
# Builds the library on the host and runs its main program.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j "$(nproc)" >/dev/null
exec build/host/tools/ytrace_catalogs/ytrace-catalogs build/host/infra/yutil/libyutil.so
