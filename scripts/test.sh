#!/usr/bin/env bash
# Builds and runs every test: the normal build with g++ (warnings are errors), then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer with clang, the formatting and
# clang-tidy checks, and a short run of every fuzz target from that same clang build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ -DQUVANE_WERROR=ON >/dev/null
cmake --build build-ci -j"$jobs"
ctest --test-dir build-ci -j"$jobs" --output-on-failure

# One clang configuration builds the suite under AddressSanitizer and UndefinedBehaviorSanitizer
# and the fuzz targets (the same code, instrumented once).
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUVANE_WERROR=ON -DQUVANE_SANITIZE=ON -DQUVANE_FUZZ=ON >/dev/null
cmake --build build-asan -j"$jobs"

# What the repository configures, enforced: its formatting, and its clang-tidy checks over the
# product code (on clang's compile database: g++'s own warning flags are unknown to clang-tidy).
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror
git ls-files 'src/*.cpp' 'common/src/*.cpp' 'tools/*.cpp' | grep -v '_test\.cpp$' |
  xargs -P "$jobs" -n 4 clang-tidy -p build-asan --quiet 2>/dev/null
echo "format and clang-tidy: clean"
# ansible-test sanity does not depend on the build: it ran with the first suite.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure -E '^AnsibleCollection\.Sanity$'

# A short run of every fuzz target over its seed corpus (copied: the corpus in the
# repository stays as it is), as many at a time as there are processors.
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
fuzz_one() {
  local target=$1
  mkdir -p "$corpus/$target"
  cp fuzz/corpus/"$target"/* "$corpus/$target/"
  (cd "$corpus" && "$OLDPWD/build-asan/fuzz/fuzz_$target" -max_total_time=20 -timeout=10 "$corpus/$target" 2>"$corpus/$target.log") \
    || { tail -n 40 "$corpus/$target.log"; return 1; }
  echo "fuzz_$target: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$corpus/$target.log")"
}
export -f fuzz_one
export corpus
printf '%s\n' answer_decoding decode_records read_response command_line value_boundary |
  xargs -P "$jobs" -I{} bash -c 'fuzz_one "$1"' _ {}
