#!/bin/sh
# The layering check on a small made-up tree: it passes the allowed includes
# and catches an include across a line, wherever it is written.
# Usage: layering_test.sh CHECK CXX
set -u
check=${1:?usage: layering_test.sh CHECK CXX}
cxx=${2:?usage: layering_test.sh CHECK CXX}
. "$(dirname "$0")/expect.sh"
run_check() { sh "$check" "$tmp/tree" "$cxx"; }
fresh() {
  rm -rf "$tmp/tree"
  mkdir -p "$tmp/tree/automation" "$tmp/tree/services" "$tmp/tree/transfer" "$tmp/tree/component" \
           "$tmp/tree/suite/sqlite" "$tmp/tree/cli" "$tmp/tree/tests"
  echo '#include <string>' >"$tmp/tree/automation/value.h"
  echo '#include "automation/value.h"' >"$tmp/tree/services/connection.h"
  echo '#include "services/connection.h"' >"$tmp/tree/transfer/publico.h"
  printf '#include "transfer/publico.h"\n#include "automation/value.h"\n' >"$tmp/tree/component/server.cpp"
  echo '#include "services/connection.h"' >"$tmp/tree/suite/backend.h"
  printf '#include <sqlite3.h>\n#include "suite/backend.h"\n' >"$tmp/tree/suite/sqlite/backend.cpp"
  printf '#include "component/server.h"\n#include "suite/backend.h"\n' >"$tmp/tree/cli/main.cpp"
  echo "// the server" >"$tmp/tree/component/server.h"
  echo '#include "component/server.cpp"' >"$tmp/tree/tests/object_test.cpp"
}

fresh; expect PASS "allowed includes, a header not installed, tests reaching anywhere"
fresh; echo '#include "component/server.h"' >>"$tmp/tree/transfer/publico.h"
expect FAIL "the class including the server that serves it"
fresh; echo '#  include "transfer/publico.h"' >"$tmp/tree/suite/sqlite/schema.cpp"
expect FAIL "a backend including the class"
fresh; echo '#include "suite/backend.h"' >"$tmp/tree/services/inventory.h"
expect FAIL "a contract including the suite"
fresh; printf '#if 1\n#include "cli/args.h"\n#endif\n' >>"$tmp/tree/component/server.cpp"
expect FAIL "the component including the tool"

finish
