#!/bin/sh
# Keeps SQLite behind the suite's seam: no C or C++ file outside the places
# below includes sqlite3.h or calls sqlite3_ functions. Usage: sqlite_seam.sh ROOT
#
# Allowed:
#   suite/sqlite/     the SQLite backend itself
#   bench/floor.*     replays recorded statement texts straight into SQLite
#   bench/main.cpp    prints SQLite's version in the benchmark's header
#   tests/            tests open database files directly to check them
# Not scanned: build/ and .git/ (build trees and history).
set -u
root=${1:?usage: sqlite_seam.sh ROOT}
cd "$root" || exit 2

found=$(find . \( -path ./build -o -path ./.git -o -path ./tests -o -path ./suite/sqlite \) -prune \
          -o -type f \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' -o -name '*.hpp' \) \
          ! -path './bench/floor.*' ! -path ./bench/main.cpp -print |
        LC_ALL=C sort |
        while IFS= read -r file; do
          grep -HnE '#[[:space:]]*include[[:space:]]*[<"]sqlite3\.h[>"]|(^|[^A-Za-z0-9_])sqlite3_' "$file"
        done)
if [ -n "$found" ]; then
  echo "SQLite used outside suite/sqlite/:"
  echo "$found"
  exit 1
fi
exit 0
