// SQLite's pieces of SQL text (see suite/dialect.h) and connection settings.
#pragma once

#include "suite/dialect.h"

namespace qbx::suite {

// What every connection runs when it opens (after the busy timeout). The
// page size applies only to a file that has no page yet.
inline constexpr const char* kSqliteConnectionSettings =
    "PRAGMA page_size=2048; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
    "PRAGMA wal_autocheckpoint=16384;";

// A cast keeps its column's NOCASE collation; the line-number indexes
// declare BINARY.
inline constexpr Dialect kSqliteDialect{0, "datetime('now', 'localtime')",
                                        "date('now', 'localtime')", "COLLATE BINARY"};

}  // namespace qbx::suite
