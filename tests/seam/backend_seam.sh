#!/bin/sh
# Keeps each database driver behind the suite's seam: no C or C++ file
# outside its backend's folder includes the driver's header or calls it.
# Usage: backend_seam.sh ROOT
#
# Allowed besides the backend's own folder (suite/sqlite/, suite/postgres/):
#   bench/floor*      replays recorded statement texts straight into a driver
#   bench/main.cpp    prints the drivers' versions in the benchmark's header
#   tests/            tests open databases directly to check them
# Not scanned: build/ and .git/ (build trees and history).
set -u
cd "${1:?usage: backend_seam.sh ROOT}" || exit 2
status=0
# check FOLDER DRIVER PATTERN: the lines elsewhere that match PATTERN.
check() {
  found=$(grep -rnE --include='*.c' --include='*.cc' --include='*.cpp' --include='*.h' \
            --include='*.hpp' "$3" . | grep -vE "^\./(build|\.git|tests|$1)/|^\./bench/(floor|main\.cpp:)")
  [ -z "$found" ] || { printf '%s used outside %s/:\n%s\n' "$2" "$1" "$found"; status=1; }
}
check suite/sqlite SQLite '#[[:space:]]*include[[:space:]]*[<"]sqlite3\.h[>"]|(^|[^A-Za-z0-9_])sqlite3_'
check suite/postgres libpq '#[[:space:]]*include[[:space:]]*[<"](libpq-fe|libpq/[a-z-]+|postgresql/libpq-fe)\.h[>"]|(^|[^A-Za-z0-9_])(PQ[a-z][A-Za-z]*[[:space:]]*\(|PG(conn|result)\b)'
exit $status
