#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library on the host and runs its main program, the key viewer: on a
# terminal it names each key pressed; otherwise it types a script of keys into a
# pseudo-terminal and shows what the library decoded.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j "$(nproc)" >/dev/null
exec build/host/programs/ykeys/ykeys
