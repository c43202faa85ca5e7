#!/usr/bin/env bash
# Installs what the benchmarks need, builds them and the program with
# optimisation in build/bench, runs them all once and prints the report.
# Needs root: the benches build network namespaces of their own, and probe
# nothing but loopback and those namespaces. Takes about two minutes, one of
# which is the program's idle run.
#
# The program is built with QUORBEL_TEST_TIMING=ON so that its state trace can
# time start-up; the bench never sets the variables that option would let
# shorten the probe period, so the program runs with its normal 15 s period.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $(id -u) -ne 0 ]]; then
  echo "run_benchmarks.sh: run as root (network namespaces, and installing fping)" >&2
  exit 1
fi
./scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUORBEL_BUILD_BENCH=ON -DQUORBEL_BUILD_TESTS=OFF \
  -DQUORBEL_BUILD_GUI=ON -DQUORBEL_TEST_TIMING=ON -DQUORBEL_SANITIZER= >/dev/null
cmake --build build/bench -j "$jobs" --target quorbel quorbel_bench

# The bench removes its namespaces itself; if it is interrupted, the ones it
# left (named after its process id) go here.
pid_file=$(mktemp)
remove_left_namespaces() {
  local pid
  pid=$(cat "$pid_file" 2>/dev/null || true)
  if [[ -n $pid ]]; then
    { ip netns list | awk '{print $1}' | grep "^quorbel-test-${pid}-" || true; } | while read -r name; do
      ip netns delete "$name" || true
    done
  fi
  rm -f "$pid_file"
}
trap remove_left_namespaces EXIT

sh -c 'echo $$ >"$0"; exec "$@"' "$pid_file" \
  build/bench/bench/quorbel_bench --program build/bench/app/quorbel "$@"
