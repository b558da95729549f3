#!/bin/sh
# SPDX-License-Identifier: MIT
# Usage: all_marked.sh NOTE FILE...: each ELF file's notes (readelf -n) show NOTE.
note=$1
shift
for f; do
  readelf -n "$f" | grep -qF "$note" || { echo "$f: no \"$note\"" >&2; exit 1; }
done
