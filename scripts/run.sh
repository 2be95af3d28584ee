#!/usr/bin/env bash
# The main job: build the component, create a fresh database with the sample
# catalogue and run the whole transfer chain on it.
# Usage: bash scripts/run.sh [DB]      a new embedded file under /tmp, or DB
#        bash scripts/run.sh --server  the same on a throwaway PostgreSQL
#                                      server, stopped and removed afterwards
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${QUELBARIX_JOBS:-$(nproc)}" --target quelbarix_cli >/dev/null
if [ "${1:-}" = "--server" ]; then
  pg_dir="$(mktemp -d /tmp/quelbarix-pg.XXXXXX)"
  trap 'bash scripts/pg-server.sh stop "$pg_dir"' EXIT
  eval "$(bash scripts/pg-server.sh start "$pg_dir")"
  # The server's fresh, empty database: the demo creates the tables in it.
  build/default/bin/quelbarix demo --db "$QUELBARIX_TEST_PG"
  exit
fi
db="${1:-$(mktemp -u /tmp/quelbarix-demo-XXXXXX.db)}"
exec build/default/bin/quelbarix demo --db "$db"
