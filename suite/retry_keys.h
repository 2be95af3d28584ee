// Safe retries: a write that runs under a key of the client's choosing is
// recorded (key -> what ran and the folio it produced) inside the same unit
// of work as the write itself, so after any crash the key is recorded
// exactly when the write is stored. Running the key again finds the record
// and does nothing.
//
// Failure: every function raises qbx::RuntimeError for a database failure.
#pragma once

#include <optional>
#include <string>

namespace qbx::suite {

class Database;

struct RetryKey {
  std::string command;  // the tool's command that ran ("capture", "cancel", ...)
  std::string digest;   // of the request: the document, or the command's operand
  std::string folio;    // what it produced or worked on
};

// The record of a key; nullopt when the key never ran.
std::optional<RetryKey> FindRetryKey(Database& db, const std::string& key);
// Records a key; raises when the key is recorded already.
void RecordRetryKey(Database& db, const std::string& key, const RetryKey& record);

}  // namespace qbx::suite
