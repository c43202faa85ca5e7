#!/usr/bin/env bash
# Sets up the machine, builds Quorbel with optimisation and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORBEL_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)"

if [[ ! -x build/release/app/quorbel ]]; then
  echo "Built the core libraries; the desktop program is not part of this build yet."
  exit 0
fi
exec build/release/app/quorbel "$@"
