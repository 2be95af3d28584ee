// The tool's command line: one command word, its operand, and options that
// may stand anywhere (before or after the command). Parsing is pure so that
// it can be tested without running anything.
//
// Exit codes the tool uses: 0 done, 1 the component, the suite or the
// database refused or failed, 2 the command line or the input document is
// wrong (nothing was done).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/i18n.h"

namespace qbx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

enum class Command { None, Help, Init, Capture, Finalize, Cfdi, Cancel, Requisition, Show, Demo,
                     List, Catalogue, Example };

struct Invocation {
  Command command = Command::None;
  // FILE of capture, FOLIO of finalize/cfdi/cancel/show, ORDER of
  // requisition, COMMAND of help, WHAT of catalogue, KIND of example; ""
  // when the command takes none.
  std::string operand;
  std::optional<std::string> db;
  bool trace = false;
  bool help = false;
  bool version = false;      // --version
  bool sample = false;       // init --sample
  bool no_finalize = false;  // capture --no-finalize
  bool json = false;         // show, list, catalogue --json
  bool per_statement = false;  // writes: each statement commits on its own
  bool force = false;          // finalize --force
  std::optional<std::string> key;  // writes: --key, the retry key
  // list: --type, --state, --branch, --from, --to ("" when not given)
  std::string type, state, branch, from, to;
};

// A wrong command line; the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Raises UsageError.
Invocation ParseArguments(const std::vector<std::string>& args);

// The database path: the --db option, else the environment's QUELBARIX_DB
// (when set and not empty), else "quelbarix.db" in the current folder.
std::string ResolveDatabasePath(const std::optional<std::string>& option, const char* environment);

// How every help text and the README state the default database, and the
// demo's exception to it.
inline constexpr std::string_view kDefaultDatabaseText =
    N_("default: $QUELBARIX_DB, else quelbarix.db in the current folder");
inline constexpr std::string_view kDemoDatabaseText =
    N_("demo without --db makes a new temporary file instead");

std::string_view CommandName(Command command);
std::optional<Command> CommandByName(std::string_view name);
// Help text of one command (Command::None: the general help).
std::string HelpText(Command command);

}  // namespace qbx::cli
