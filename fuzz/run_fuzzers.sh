#!/usr/bin/env bash
# Runs each fuzzer for a bounded time (30 s, or QUORBEL_FUZZ_SECONDS),
# starting from its seed corpus and the test fixtures. Fails on any crash,
# leak, timeout or sanitizer report. The corpora are copied to a temporary
# directory so the repository is not changed; inputs that fail are kept in
# <build>/fuzz-artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:?usage: fuzz/run_fuzzers.sh <fuzz build directory>}
seconds=${QUORBEL_FUZZ_SECONDS:-30}
fixtures=tests/hostdata/fixtures

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# fuzzer name, seed directory, fixture pattern
run_fuzzer() {
  local name=$1 seeds=$2 pattern=$3
  local binary="$build/fuzz/$name"
  local corpus="$work/$name-corpus"
  local artifacts="$work/$name-artifacts"
  if [[ ! -x $binary ]]; then
    echo "missing fuzzer $binary: build with -DQUORBEL_BUILD_FUZZERS=ON" >&2
    return 1
  fi
  mkdir -p "$corpus" "$artifacts"
  cp "$seeds"/* "$corpus"/
  cp $fixtures/$pattern "$corpus"/
  echo "-- $name for ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log" >&2
    mkdir -p "$build/fuzz-artifacts"
    cp "$artifacts"/* "$build/fuzz-artifacts"/ 2>/dev/null || true
    echo "$name FAILED; failing inputs in $build/fuzz-artifacts" >&2
    return 1
  fi
  grep -E '^(stat::number_of_executed_units|Done )' "$work/$name.log" || true
}

status=0
run_fuzzer host_list_fuzzer fuzz/corpus/host_list '*.kdb' || status=1
run_fuzzer ini_fuzzer fuzz/corpus/ini '*.ini' || status=1
exit $status
