#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The exported interface of libyutil as libabigail describes it, from the debug
# information of a built library and the public headers. Each release that added
# to the interface keeps its own description: a library must still provide every
# one it ever had.
#   abi.sh write LIB HEADERS BASELINE       renew the stored description
#   abi.sh check LIB HEADERS BASELINE...    fail when LIB changed an interface
# Additions pass the check; a removed or changed function, variable or type fails.
set -euo pipefail
mode=$1 lib=$2 headers=$3
shift 3

describe() {
  abidw --no-corpus-path --no-comp-dir-path --no-show-locs --headers-dir "$headers" \
    --drop-private-types "$lib"
}

case "$mode" in
  write)
    describe >"$1"
    echo "wrote $1"
    ;;
  check)
    current=$(mktemp)
    trap 'rm -f "$current"' EXIT
    describe >"$current"
    failed=0
    for baseline in "$@"; do
      status=0
      abidiff --no-added-syms "$baseline" "$current" || status=$?
      if [ "$status" -ne 0 ]; then
        echo "the interface differs from $baseline (abidiff status $status); if the" \
          "change is intended, renew the baseline of this release: cmake --build" \
          "<build> --target abi-baseline" >&2
        failed=1
      else
        echo "nothing removed or changed against $baseline"
      fi
    done
    exit "$failed"
    ;;
  *)
    echo "usage: abi.sh write LIB HEADERS BASELINE | check LIB HEADERS BASELINE..." >&2
    exit 2
    ;;
esac
