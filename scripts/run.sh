#!/usr/bin/env bash
# The main job: build the component, create a fresh embedded database with
# the sample catalogue and run the whole transfer chain on it.
# Usage: bash scripts/run.sh [DB_PATH]   (default: a new file under /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${QUELBARIX_JOBS:-$(nproc)}" --target quelbarix_cli >/dev/null
db="${1:-$(mktemp -u /tmp/quelbarix-demo-XXXXXX.db)}"
exec build/default/bin/quelbarix demo --db "$db"
