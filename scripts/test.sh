#!/usr/bin/env bash
# Builds and runs every test once: the product as shipped with g++ (warnings are errors), then
# one clang build of the suite under AddressSanitizer and UndefinedBehaviorSanitizer and of the
# fuzz targets, whose tests install and package the g++ build; then the suite, and side by side
# the formatting and clang-tidy checks and every fuzz target over its corpus and a few seconds
# of new inputs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
  -DQUVANE_WERROR=ON -DQUVANE_TESTS=OFF >/dev/null
cmake --build build-ci -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUVANE_WERROR=ON -DQUVANE_SANITIZE=ON -DQUVANE_FUZZ=ON -DQUVANE_SHIPPED_BUILD_DIR="$PWD/build-ci" >/dev/null
cmake --build build-asan -j"$jobs"

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

suite() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j"$jobs" --output-on-failure
}

# What the repository configures, enforced: its formatting, and its clang-tidy checks over the
# product code (on clang's compile database: g++'s own warning flags are unknown to clang-tidy).
# clang-tidy's own errors (a configuration it cannot read) fail the stage too.
style() {
  git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror
  git ls-files 'src/*.cpp' 'common/src/*.cpp' 'tools/*.cpp' | grep -v '_test\.cpp$' |
    xargs -P "$jobs" -n 4 clang-tidy -p build-asan --quiet 2>"$logs/tidy.err"
  if grep -E '^(Error|error):|error: ' "$logs/tidy.err" | grep -v 'warnings treated as errors'; then
    return 1
  fi
  echo "format and clang-tidy: clean"
}

# Every fuzz target replays its seed corpus (copied: the repository's stays as it is), then
# tries new inputs for a few seconds.
fuzz_one() {
  local target=$1
  mkdir -p "$logs/$target"
  cp fuzz/corpus/"$target"/* "$logs/$target/"
  (cd "$logs" && "$OLDPWD/build-asan/fuzz/fuzz_$target" -max_total_time=8 -timeout=10 "$logs/$target" 2>"$logs/$target.log") \
    || { tail -n 40 "$logs/$target.log"; return 1; }
  echo "fuzz_$target: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$logs/$target.log")"
}
fuzz() {
  for target in answer_decoding decode_records read_response command_line value_boundary json_writer; do
    fuzz_one "$target" || return 1
  done
}

# The suite alone, since some of its tests wait on time; then the checks that do not.
suite
style >"$logs/style.out" 2>&1 & style_pid=$!
fuzz >"$logs/fuzz.out" 2>&1 & fuzz_pid=$!
failed=0
for stage in style fuzz; do
  pid_var="${stage}_pid"
  if ! wait "${!pid_var}"; then
    failed=1
    echo "== $stage FAILED"
  fi
  cat "$logs/$stage.out"
done
exit "$failed"
