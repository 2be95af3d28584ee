#!/bin/sh
# The seam check on small made-up trees: it passes what is allowed and
# catches each kind of use elsewhere. Usage: backend_seam_test.sh CHECK
set -u
check=${1:?usage: backend_seam_test.sh CHECK}
. "$(dirname "$0")/expect.sh"
run_check() { sh "$check" "$tmp/tree"; }
# put FILE TEXT: appends the text (with \n) to the tree's file
put() { mkdir -p "$(dirname "$tmp/tree/$1")" && printf '%b\n' "$2" >>"$tmp/tree/$1"; }
fresh() {
  rm -rf "$tmp/tree"
  put suite/data_services.cpp '#include "suite/database.h"'
  put suite/sqlite/database.cpp '#include <sqlite3.h>\nint f() { return sqlite3_open(0, 0); }'
  put bench/floor.cpp '#include <sqlite3.h>\nvoid g() { sqlite3_exec(0, 0, 0, 0, 0); }'
  put bench/floor.h '#include <sqlite3.h>'
  put bench/main.cpp '#include <sqlite3.h>\nconst char* v() { return sqlite3_libversion(); }'
  put tests/suite/check_test.cpp '#include <sqlite3.h>'
  put build/default/generated.cpp '#include <sqlite3.h>'
  put cli/main.cpp '// my_sqlite3_helper is not a call into SQLite\n// QPQx() and PGconnection are not libpq'
  put suite/postgres/backend.cpp '#include <libpq-fe.h>\nPGconn* c() { return PQconnectdb(""); }'
  put bench/floor_server.cpp '#include <libpq-fe.h>\nvoid h(PGconn* c) { PQfinish(c); }'
}

fresh; expect PASS "only allowed places use a driver"
while IFS='|' read -r file text what; do
  fresh; put "$file" "$text"; expect FAIL "$what"
done <<'EOF_CASES'
suite/data_services.cpp|#include <sqlite3.h>|include in suite/
suite/dialect.h|#  include "sqlite3.h"|quoted include in a header of suite/
cli/main.cpp|int n() { return sqlite3_changes(db); }|call in cli/
bench/cases.cpp|int x = sqlite3_libversion_number();|call in bench/ outside floor and main
bench/mainly.cpp|int x = sqlite3_libversion_number();|a file named like main.cpp
suite/sqlite_helpers.cpp|#include <sqlite3.h>|a file beside suite/sqlite/, not in it
transfer/x.c|#include <sqlite3.h>|a C file
suite/data_services.cpp|#include <libpq-fe.h>|libpq include in suite/
suite/reports.h|void k(PGresult* r);|libpq type in a header of suite/
cli/main.cpp|int s() { return PQstatus(0); }|libpq call in cli/
suite/postgres/x.cpp|#include <sqlite3.h>|SQLite in the server backend's folder
EOF_CASES
finish
