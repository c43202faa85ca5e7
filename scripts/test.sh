#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test:
#  - all tests with AddressSanitizer + UndefinedBehaviorSanitizer,
#  - the concurrency tests again with ThreadSanitizer,
#  - each fuzzer for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# Runs ctest, keeping its closing counts for the summary at the end.
run_ctest() {
  ctest "$@" 2>&1 | tee -a "$summary"
  return "${PIPESTATUS[0]}"
}
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== Build and test with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUORBEL_SANITIZER=address -DQUORBEL_TEST_TIMING=ON >/dev/null
cmake --build build/asan -j "$jobs"
run_ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== Build and test the concurrency tests with ThreadSanitizer"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DQUORBEL_SANITIZER=thread -DQUORBEL_BUILD_GUI=OFF >/dev/null
cmake --build build/tsan -j "$jobs"
run_ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L concurrency

if [[ -f fuzz/CMakeLists.txt ]]; then
  echo "== Build and run the fuzzers"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DQUORBEL_BUILD_GUI=OFF \
    -DQUORBEL_BUILD_TESTS=OFF -DQUORBEL_BUILD_FUZZERS=ON >/dev/null
  cmake --build build/fuzz -j "$jobs"
  ./fuzz/run_fuzzers.sh build/fuzz
  fuzzers=$(ls fuzz/*_fuzzer.cpp | wc -l)
fi

# Any failure above has already stopped the script.
ran=$(sed -nE 's/.*tests passed, 0 tests failed out of ([0-9]+)$/\1/p' "$summary" | awk '{ n += $1 } END { print n + 0 }')
echo "ASan+UBSan and TSan test runs and ${fuzzers:-0} fuzzers finished clean."
echo "all: $((ran + ${fuzzers:-0})) passed, 0 failed"
