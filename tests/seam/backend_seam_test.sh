#!/bin/sh
# The seam check on small made-up trees: it passes what is allowed and
# catches each kind of use elsewhere. Usage: sqlite_seam_test.sh CHECK
set -u
check=${1:?usage: backend_seam_test.sh CHECK}
. "$(dirname "$0")/expect.sh"
run_check() { sh "$check" "$tmp/tree"; }
fresh() {
  rm -rf "$tmp/tree"
  mkdir -p "$tmp/tree/suite/sqlite" "$tmp/tree/suite/postgres" "$tmp/tree/bench" "$tmp/tree/tests/suite" "$tmp/tree/cli" \
           "$tmp/tree/build/default"
  echo '#include "suite/database.h"' >"$tmp/tree/suite/data_services.cpp"
  printf '#include <sqlite3.h>\nint f() { return sqlite3_open(0, 0); }\n' >"$tmp/tree/suite/sqlite/database.cpp"
  printf '#include <sqlite3.h>\nvoid g() { sqlite3_exec(0, 0, 0, 0, 0); }\n' >"$tmp/tree/bench/floor.cpp"
  echo '#include <sqlite3.h>' >"$tmp/tree/bench/floor.h"
  printf '#include <sqlite3.h>\nconst char* v() { return sqlite3_libversion(); }\n' >"$tmp/tree/bench/main.cpp"
  echo '#include <sqlite3.h>' >"$tmp/tree/tests/suite/check_test.cpp"
  echo '#include <sqlite3.h>' >"$tmp/tree/build/default/generated.cpp"
  echo '// my_sqlite3_helper is not a call into SQLite' >"$tmp/tree/cli/main.cpp"
  printf '#include <libpq-fe.h>\nPGconn* c() { return PQconnectdb(""); }\n' >"$tmp/tree/suite/postgres/backend.cpp"
  printf '#include <libpq-fe.h>\nvoid h(PGconn* c) { PQfinish(c); }\n' >"$tmp/tree/bench/floor_server.cpp"
  echo '// QPQx() and PGconnection are not libpq' >>"$tmp/tree/cli/main.cpp"
}

fresh; expect PASS "only allowed places use SQLite"
fresh; echo '#include <sqlite3.h>' >>"$tmp/tree/suite/data_services.cpp"
expect FAIL "include in suite/"
fresh; echo '#  include "sqlite3.h"' >"$tmp/tree/suite/dialect.h"
expect FAIL "quoted include in a header of suite/"
fresh; echo 'int n() { return sqlite3_changes(db); }' >>"$tmp/tree/cli/main.cpp"
expect FAIL "call in cli/"
fresh; echo 'int x = sqlite3_libversion_number();' >"$tmp/tree/bench/cases.cpp"
expect FAIL "call in bench/ outside floor and main"
fresh; echo '#include <sqlite3.h>' >"$tmp/tree/suite/sqlite_helpers.cpp"
expect FAIL "a file beside suite/sqlite/, not in it"
fresh; mkdir -p "$tmp/tree/transfer"; echo '#include <sqlite3.h>' >"$tmp/tree/transfer/x.c"
expect FAIL "a C file"
fresh; echo '#include <libpq-fe.h>' >>"$tmp/tree/suite/data_services.cpp"
expect FAIL "libpq include in suite/"
fresh; echo 'void k(PGresult* r);' >"$tmp/tree/suite/reports.h"
expect FAIL "libpq type in a header of suite/"
fresh; echo 'int s() { return PQstatus(0); }' >>"$tmp/tree/cli/main.cpp"
expect FAIL "libpq call in cli/"
fresh; echo '#include <sqlite3.h>' >"$tmp/tree/suite/postgres/x.cpp"
expect FAIL "SQLite in the server backend's folder"

finish
