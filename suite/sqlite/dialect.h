// SQLite's pieces of SQL text (see suite/dialect.h).
#pragma once

#include "suite/dialect.h"

namespace qbx::suite {

inline constexpr Dialect kSqliteDialect{0, "datetime('now', 'localtime')",
                                        "date('now', 'localtime')"};

}  // namespace qbx::suite
