#!/usr/bin/env bash
# The whole test suite from scratch: install what is missing, configure,
# build and test, first the default build, then under the address and
# undefined-behaviour sanitizers. One throwaway PostgreSQL server serves the
# whole run (QUELBARIX_TEST_PG) and is removed at the end, however it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs="${QUELBARIX_JOBS:-$(nproc)}"

pg_dir="$(mktemp -d /tmp/quelbarix-pg.XXXXXX)"
cleanup() {
  local rc=$?
  trap - EXIT
  trap "" INT TERM  # a second Ctrl-C must not cut the stop short
  bash scripts/pg-server.sh stop "$pg_dir" || rc=1
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# A server that does not start fails the run: the server cases must run.
pg_env="$(bash scripts/pg-server.sh start "$pg_dir")"
eval "$pg_env"
if [ -z "${QUELBARIX_TEST_PG:-}" ]; then
  echo "test: the PostgreSQL server gave no conninfo" >&2
  exit 1
fi
echo "PostgreSQL for the tests: $QUELBARIX_TEST_PG"

for preset in default sanitize; do
  echo "=== ${preset} ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
