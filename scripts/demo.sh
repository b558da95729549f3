#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library on the host and runs its main program, the key viewer: on a
# terminal it names each key pressed; otherwise it types a script of keys into a
# pseudo-terminal and shows what the library decoded.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "demo.sh: building the key viewer in build/host (the first time under a minute on 2 cores)..."
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the viewer and what it links; the progress lines (make's or ninja's) show
# the build moving.
cmake --build build/host -j "$(nproc)" --target ykeys |
  { grep --line-buffered -E '^\[ *[0-9]+(%|/[0-9]+)\] (Building|Linking)' || true; }
exec build/host/programs/ykeys/ykeys
