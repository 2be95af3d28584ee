// The database's own floor under a case: every statement the case sent,
// streamed to a file as it is sent, then replayed straight into SQLite
// against a copy of the database the case started from, each distinct shape
// of text prepared once and run with its literals bound.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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

// Reads a recording one statement at a time: fn(origin, text), origin 'C'
// or 'S', the text reused from one call to the next.
void ReadRecording(const std::string& recording,
                   const std::function<void(char origin, std::string& text)>& fn);

// A statement of a recording whose plan reads a whole table or index, or
// whose work grows as the run goes on, with how many times it was sent.
struct Scan {
  std::string statement;  // the first one sent, cut to 120 characters
  std::string step;       // the plan's SCAN step, or the work first and last
  int64_t times = 0;
};

// A recorded text as a statement prepared once for its shape: each literal
// (a quoted text, or a number not glued to a name) becomes a parameter ?n,
// and its value is kept. An integer of up to 18 digits binds as an integer;
// any other number binds as its own text under CAST(?n AS REAL), which reads
// it as the literal would be read; a sign stays in the shape. Literals that
// name a column by position (ORDER BY 1, GROUP BY 2) or are blobs (X'..')
// stay in the shape, and so does everything inside quoted names.
struct Shaped {
  using Value = std::variant<std::string, int64_t>;
  std::string shape;
  std::vector<Value> values;
};
Shaped ShapeOf(std::string_view text);

struct ReplayResult {
  double seconds = 0;  // inside SQLite only: preparing, binding, running
  int64_t statements = 0;
  int64_t shapes = 0;    // statements prepared (each distinct shape once)
  int64_t unshaped = 0;  // texts run as they are (their shape did not compile)
  int64_t failed = 0;    // statements that failed in the replay too
  std::string first_error;
  // Texts (literals aside) sent once per two lines or more whose work, in
  // virtual machine steps, grows as the run goes on (the last execution ten
  // times the first) or reaches the number of lines (at least 2,000 steps):
  // a lookup that reads a whole document, or more of it as it gets longer.
  std::vector<Scan> growing;
};

// Replays a recording into the database file (opened as the suite opens its
// databases: the same busy timeout and suite::kSqliteConnectionSettings), in the
// recorded order and with the recorded transaction texts, so it commits
// exactly where the case committed. Each text runs as its shape (ShapeOf),
// prepared on first use and kept; a shape that does not compile runs as the
// text itself. The component's texts get the connection's rewriting first
// (the recorded texts are the prepared ones, so it changes nothing). The
// replay ends with a checkpoint, timed.
// lines: how many lines the case handles (see ReplayResult::growing).
ReplayResult Replay(const std::string& recording, const std::string& db_path, int64_t lines);

// The plans of a recording's statements, each distinct text (literals aside)
// explained once against the database the case started from. Returns the
// statements that scan a table or index of the data (the schema's own tables
// aside) and were sent at least min_times times.
std::vector<Scan> FindScans(const std::string& recording, const std::string& db_path,
                            int64_t min_times);

// Copies what the journal holds into the database file (a checkpoint, as
// SQLite runs them on its own). Timed runs end with one, so that the work a
// run leaves in the journal is paid by that run and not by the next one.
void Checkpoint(const std::string& db_path);

// A digest of every row of the tables only the component's own statements
// write (Transferencia, Traslado, Pedido), read through the suite: each value
// with its type, in the order stored. Equal digests mean the case and its
// replay stored the same.
uint64_t ComponentRowsDigest(const std::string& db_path);

// Checkpoints a database (so its file holds everything) and copies it, the
// journal-free file only, to dst (replacing dst and its journal files).
void CopyDatabase(const std::string& src, const std::string& dst);
// Removes a database file with its journal files.
void RemoveDatabase(const std::string& path);

}  // namespace qbx::bench
