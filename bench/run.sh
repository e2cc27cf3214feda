#!/usr/bin/env bash
# Builds quvane for speed and times it against the floor client; see run.py for the table.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
  echo "The benchmark runs patch subcommands, which need the superuser: run it as root." >&2
  exit 1
fi
scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUVANE_TESTS=OFF -DQUVANE_BENCH=ON >/dev/null
cmake --build build-bench -j"$jobs" --target quvane quvane_benchmarks empty_program >/dev/null
cmake -S . -B build-bench-static -DCMAKE_BUILD_TYPE=Release -DQUVANE_TESTS=OFF -DQUVANE_STATIC_RUNTIME=ON >/dev/null
cmake --build build-bench-static -j"$jobs" --target quvane >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/floor_client" bench/floor_client.c
cc -O2 -o "$work/fast_daemon" bench/fast_daemon.c
cc -O2 -o "$work/measure" bench/measure.c
python3 bench/generate_responses.py "$work/responses"
python3 bench/run.py build-bench/src/quvane build-bench-static/src/quvane "$work/floor_client" \
  "$work/fast_daemon" "$work/measure" "$work/responses" build-bench/bench/empty_program "${1:-31}"
echo
QUVANE_BENCH_RESPONSES="$work/responses" build-bench/bench/quvane_benchmarks --benchmark_min_time=0.2
