#!/usr/bin/env bash
# Times the framing's bracket count against the grammar-checking scan it replaced on the hot
# path, taken from the history (commit a291b20), in one process; see scan_pairs.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/previous"
for file in value_boundary.h value_boundary.cpp; do
  git show "a291b20:common/src/rpc/$file" |
    sed 's/namespace quvane::rpc/namespace quvane::previous/; s|#include "value_boundary.h"|#include "previous/value_boundary.h"|' \
      >"$work/previous/$file"
done
g++ -std=c++20 -O3 -DNDEBUG -I"$work" -Icommon/src bench/scan_pairs.cpp "$work/previous/value_boundary.cpp" \
  common/src/wire/bracket_counter.cpp -lfmt -o "$work/scan_pairs"
python3 bench/generate_responses.py "$work/responses"
"$work/scan_pairs" "$work/responses/info_realistic_10000.json"
