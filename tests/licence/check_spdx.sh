#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Lists the tracked source, script, CMake and manual page source files of the
# checkout at $1 whose first three lines do not name the MIT licence by its SPDX
# identifier; fails when there is one. Exit 77 (skip) outside a git checkout.
set -euo pipefail
cd "$1"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "not a git checkout: no list of tracked files to check"
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
