// The suite's configuration, from the environment, with defaults for a single
// machine:
//   QUELBARIX_DB         database file            (default "quelbarix.db")
//   QUELBARIX_OPERATOR   signed-in operator code  (default "ADMIN")
//   QUELBARIX_SERVER_ID  this installation's server id (default "": the
//                        central server; a branch server sets its id)
// Read on every call, so a test or the tool may change them before use; an
// override set with SetDatabasePath wins over the environment.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace qbx::suite {

struct Config {
  std::string db_path;
  std::string operator_code;
  std::string server_id;
  // True only when a branch server id is configured.
  bool IsBranchServer() const { return !server_id.empty(); }
};

Config CurrentConfig();

// Process-wide override of the database path ("" removes it); the tool's
// --db option sets it.
void SetDatabasePath(std::string path);

// Where Mostrar_Mensaje writes (default: standard error). nullptr restores
// the default. The sink must not block.
using MessageSink = std::function<void(std::string_view text)>;
void SetMessageSink(MessageSink sink);
void WriteMessage(std::string_view text);

}  // namespace qbx::suite
