#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a copy of the demo script in a tree of its own, with a cmake that records
# its calls and prints two progress lines, and a viewer that says it ran.
# Usage: DEMO_SCRIPT
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts" "$work/bin" "$work/build/host/programs/ykeys"
cp "$1" "$work/scripts/demo.sh"
printf '#!/bin/sh\necho "viewer ran"\n' >"$work/build/host/programs/ykeys/ykeys"
cat >"$work/bin/cmake" <<STUB
#!/bin/sh
echo "\$*" >>"$work/calls"
case " \$* " in *" --build "*) printf '%s\n' "[ 50%] Built target x" "[ 60%] Building C object a.o" "[100%] Linking C executable ykeys" ;; esac
STUB
chmod +x "$work/bin/cmake" "$work/build/host/programs/ykeys/ykeys"
out=$(PATH="$work/bin:$PATH" bash "$work/scripts/demo.sh" 2>&1)
expected="[ 60%] Building C object a.o
[100%] Linking C executable ykeys
viewer ran"
[[ $out == "demo.sh: building"*$'\n'"$expected" ]] || { echo "FAIL: output:"; echo "$out"; exit 1; } >&2
grep -q -- '--build build/host .*--target ykeys' "$work/calls" || { echo "FAIL: cmake calls:"; cat "$work/calls"; exit 1; } >&2
