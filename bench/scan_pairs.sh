#!/usr/bin/env bash
# Times the framing scan against the bracket-only scan it replaced, taken from the history
# (commit 7f4e7d4), in one process; see scan_pairs.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/previous"
for file in value_boundary.h value_boundary.cpp; do
  git show "7f4e7d4:common/src/rpc/$file" |
    sed 's/namespace quvane::rpc/namespace quvane::previous/; s|#include "value_boundary.h"|#include "previous/value_boundary.h"|' \
      >"$work/previous/$file"
done
g++ -std=c++20 -O3 -DNDEBUG -I"$work" -Icommon/src bench/scan_pairs.cpp "$work/previous/value_boundary.cpp" \
  common/src/rpc/value_boundary.cpp -lfmt -o "$work/scan_pairs"
"$work/scan_pairs"
