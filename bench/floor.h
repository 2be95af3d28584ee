// The database's own floor under a case: every statement the case sent,
// streamed to a file as it is sent, then replayed straight into SQLite
// against a copy of the database the case started from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "suite/database.h"

namespace qbx::bench {

// Writes each statement as it is sent: origin ('C' component, 'S' suite), its
// length in bytes, a blank, the text and a line break. Nothing is kept in
// memory beyond the file's buffer.
class StatementRecorder {
 public:
  explicit StatementRecorder(const std::string& path);
  ~StatementRecorder();
  StatementRecorder(const StatementRecorder&) = delete;
  StatementRecorder& operator=(const StatementRecorder&) = delete;

  // A trace sink writing into this recorder; valid while it lives.
  suite::TraceSink Sink();
  int64_t count() const { return count_; }
  // Flushes and closes the file; raises std::runtime_error on a write error.
  void Close();

 private:
  std::FILE* file_ = nullptr;
  int64_t count_ = 0;
};

struct ReplayResult {
  double seconds = 0;       // inside SQLite only: compiling and running
  double run_seconds = 0;   // of which running (sqlite3_step)
  int64_t statements = 0;
  int64_t failed = 0;       // statements that failed in the replay too
  std::string first_error;
};

// Replays a recording into the database file (opened as the suite opens its
// databases: the same busy timeout and suite::kConnectionSettings). Each
// text is compiled and stepped to its end, as sqlite3_exec would. The
// component's texts get the connection's rewriting first (outside the timing;
// the recorded texts are the prepared ones, so it changes nothing).
ReplayResult Replay(const std::string& recording, const std::string& db_path);

// A digest of every row of the tables only the component's own statements
// write (Transferencia, Traslado, Pedido): each value with its type, in
// rowid order. Equal digests mean the case and its replay stored the same.
uint64_t ComponentRowsDigest(const std::string& db_path);

// Checkpoints a database (so its file holds everything) and copies it, the
// journal-free file only, to dst (replacing dst and its journal files).
void CopyDatabase(const std::string& src, const std::string& dst);
// Removes a database file with its journal files.
void RemoveDatabase(const std::string& path);

}  // namespace qbx::bench
