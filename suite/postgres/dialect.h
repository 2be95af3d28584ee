// PostgreSQL's pieces of SQL text (see suite/dialect.h). The statement's own
// start, not the transaction's: a long unit of work stamps each row when it
// writes it, as the embedded backend does; truncated to the second so that it
// stores into timestamp(0) unchanged and compares with stored values.
#pragma once

#include "suite/dialect.h"

namespace qbx::suite {

inline constexpr Dialect kPostgresDialect{
    1, "date_trunc('second', CAST(statement_timestamp() AS timestamp))",
    "CAST(statement_timestamp() AS date)", ""};

}  // namespace qbx::suite
