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
root=${1:?usage: backend_seam.sh ROOT}
cd "$root" || exit 2

# uses FOLDER PATTERN: the lines outside FOLDER (and the allowed places) that
# match PATTERN.
uses() {
  find . \( -path ./build -o -path ./.git -o -path ./tests -o -path "./$1" \) -prune \
       -o -type f \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' -o -name '*.hpp' \) \
       ! -path './bench/floor*' ! -path ./bench/main.cpp -print |
    LC_ALL=C sort |
    while IFS= read -r file; do
      grep -HnE "$2" "$file"
    done
}

status=0
found=$(uses suite/sqlite '#[[:space:]]*include[[:space:]]*[<"]sqlite3\.h[>"]|(^|[^A-Za-z0-9_])sqlite3_')
if [ -n "$found" ]; then
  echo "SQLite used outside suite/sqlite/:"
  echo "$found"
  status=1
fi
found=$(uses suite/postgres '#[[:space:]]*include[[:space:]]*[<"](libpq-fe|libpq/[a-z-]+|postgresql/libpq-fe)\.h[>"]|(^|[^A-Za-z0-9_])(PQ[a-z][A-Za-z]*[[:space:]]*\(|PG(conn|result)\b)')
if [ -n "$found" ]; then
  echo "libpq used outside suite/postgres/:"
  echo "$found"
  status=1
fi
exit $status
