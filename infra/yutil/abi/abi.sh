#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The exported interface of libyutil as libabigail describes it, from the debug
# information of a built library and the public headers.
#   abi.sh write LIB HEADERS BASELINE   renew the stored description
#   abi.sh check LIB HEADERS BASELINE   fail when LIB changed the interface
# Additions pass the check; a removed or changed function, variable or type fails.
set -euo pipefail
mode=$1 lib=$2 headers=$3 baseline=$4

describe() {
  abidw --no-corpus-path --no-comp-dir-path --no-show-locs --headers-dir "$headers" \
    --drop-private-types "$lib"
}

case "$mode" in
  write)
    describe >"$baseline"
    echo "wrote $baseline"
    ;;
  check)
    current=$(mktemp)
    trap 'rm -f "$current"' EXIT
    describe >"$current"
    status=0
    abidiff --no-added-syms "$baseline" "$current" || status=$?
    if [ "$status" -ne 0 ]; then
      echo "the interface differs from $baseline (abidiff status $status); if the change" \
        "is intended, renew it: cmake --build <build> --target abi-baseline" >&2
      exit 1
    fi
    echo "nothing removed or changed against $baseline"
    ;;
  *)
    echo "usage: abi.sh write|check LIB HEADERS BASELINE" >&2
    exit 2
    ;;
esac
