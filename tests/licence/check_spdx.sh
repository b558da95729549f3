#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Lists the tracked source, script, CMake and manual page source files of the
# checkout at $1 whose first three lines do not name the MIT licence by its SPDX
# identifier; fails when there is one. Exit 77 (skip) outside a git checkout.
set -euo pipefail
cd "$1"
# A copy of the sources inside another checkout (the package build's, below build/)
# has no tracked files of its own: there is nothing to check either.
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" != "$(pwd -P)" ]; then
  echo "not the top of a git checkout: no list of tracked files to check"
  exit 77
fi
missing=$(git ls-files -z -- '*.c' '*.cc' '*.h' '*.S' '*.py' '*.sh' '*.cmake' '*CMakeLists.txt' \
  '*.in' '*.scd' '*.def' '*.map' '*.ti' '*.supp' .ci/run | xargs -0 awk '
  FNR == 1 { if (NR > 1 && !named) print file; file = FILENAME; named = 0 }
  FNR <= 3 && /SPDX-License-Identifier: MIT/ { named = 1 }
  END { if (NR > 0 && !named) print file }')
if [ -n "$missing" ]; then
  printf 'no SPDX-License-Identifier: MIT line at the top:\n%s\n' "$missing"
  exit 1
fi
