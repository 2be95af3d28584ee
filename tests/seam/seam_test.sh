#!/bin/sh
# The seam checks on small made-up trees: each passes what is allowed and
# catches each kind of violation. Usage: seam_test.sh SEAM_FOLDER
set -u
seam=${1:?usage: seam_test.sh SEAM_FOLDER}
tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT
failures=0
# expect PASS|FAIL WHAT: runs the check (run_check) on the tree; counts surprises.
expect() {
  if run_check >"$tmp/out" 2>&1; then got=PASS; else got=FAIL; fi
  [ "$got" = "$1" ] || { echo "expected $1, got $got: $2"; cat "$tmp/out"; failures=$((failures + 1)); }
}
# put FILE TEXT: appends the text (with \n) to the tree's file
put() { mkdir -p "$(dirname "$tmp/tree/$1")" && printf '%b\n' "$2" >>"$tmp/tree/$1"; }

# backend_seam.sh: each driver used only in its backend's folder and the
# allowed places.
run_check() { sh "$seam/backend_seam.sh" "$tmp/tree"; }
drivers() {
  rm -rf "$tmp/tree"
  put suite/data_services.cpp '#include "suite/database.h"'
  put suite/sqlite/database.cpp '#include <sqlite3.h>\nint f() { return sqlite3_open(0, 0); }'
  put bench/floor.h '#include <sqlite3.h>\nvoid g() { sqlite3_exec(0, 0, 0, 0, 0); }'
  put bench/main.cpp '#include <sqlite3.h>\nconst char* v() { return sqlite3_libversion(); }'
  put tests/suite/check_test.cpp '#include <sqlite3.h>'
  put build/default/generated.cpp '#include <sqlite3.h>'
  put cli/main.cpp '// my_sqlite3_helper is not a call into SQLite\n// QPQx() and PGconnection are not libpq'
  put suite/postgres/backend.cpp '#include <libpq-fe.h>\nPGconn* c() { return PQconnectdb(""); }'
  put bench/floor_server.cpp '#include <libpq-fe.h>\nvoid h(PGconn* c) { PQfinish(c); }'
}
drivers; expect PASS "only allowed places use a driver"
while IFS='|' read -r file text what; do
  drivers; put "$file" "$text"; expect FAIL "$what"
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

# function_length.sh at 10 lines: a function of ten (its declaration on two
# lines) and a long raw text pass; eleven lines fail, at file level as in a
# class. Each statement has braces and quotes that must not count.
run_check() { sh "$seam/function_length.sh" "$tmp/tree" 10 src; }
body() { for i in $(seq "$1"); do echo '  f("}{", '"'}'"'); /* { */ // }'; done; }
functions() {
  rm -rf "$tmp/tree" && mkdir -p "$tmp/tree/src"
  { echo 'namespace n {'; echo 'int Ten(int a,'; echo '        int b) {'; body 7; echo '}'
    echo 'const char* Text() {'; echo '  return R"sql('; body 20; echo ')sql";'; echo '}'
    echo '}  // namespace n'; } >"$tmp/tree/src/a.cpp"
}
functions; expect PASS "ten lines, and a long raw text"
functions; { echo 'void Eleven() {'; body 9; echo '}'; } >>"$tmp/tree/src/a.cpp"
expect FAIL "eleven lines at file level"
functions; { echo 'class C {'; echo ' public:'; echo '  void Eleven() {'; body 9; echo '  }'; echo '};'; } >"$tmp/tree/src/c.h"
expect FAIL "eleven lines in a class"

[ "$failures" -eq 0 ] && echo "all cases as expected"
