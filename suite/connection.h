// The suite's implementation of the ADO-style connection over its database:
// the component's statement texts run as built, with the one rewrite both
// backends need (SELECT TOP n); each backend may rewrite further (see its
// Compile). A row insert whose values are all literals runs as a
// statement prepared once for its shape, with the same result (see
// suite/insert_text.h); it is traced and counted as the text sent.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "services/connection.h"

namespace qbx::suite {

class Database;

// "SELECT TOP n ..." -> "SELECT ... LIMIT n" (any case, n digits, optionally
// in parentheses); every other text is returned unchanged.
std::string RewriteTop(std::string_view sql);

// A connection over the database; statements count as the component's.
com::ComPtr<IConnection> MakeConnection(std::shared_ptr<Database> db);

}  // namespace qbx::suite
