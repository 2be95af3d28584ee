#!/usr/bin/env bash
# The whole test suite from scratch: install what is missing, configure,
# build and test, first the default build, then under the address and
# undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs="${QUELBARIX_JOBS:-$(nproc)}"
for preset in default sanitize; do
  echo "=== ${preset} ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
