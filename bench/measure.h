// Measuring the cases. Per case and size:
//   prepare  a copy of the size's base database gets what the case needs;
// then per mode (statement, unit):
//   record   a copy runs the case with every statement streamed to a file;
//   timed    a copy runs the case without recording (best of --repeat);
//   floor    a copy replays the recording straight into the database, each
//            shape of text prepared once (best of --repeat).
// On SQLite, timed runs and replays end with a checkpoint, inside the timing:
// what a run leaves in the journal is written to the file at its own expense,
// whether or not the run was long enough for SQLite to checkpoint on its own.
// On the server every commit is durable as the server is set up.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/cases.h"
#include "bench/child.h"
#include "bench/options.h"
#include "bench/store.h"

namespace qbx::bench {

struct Row {
  Case c;
  const Store* store = nullptr;
  Mode mode = Mode::kStatement;
  bool ok = false;
  std::string error;
  double seconds = 0;
  double cpu_seconds = 0;
  double floor_seconds = 0;
  double lock_seconds = 0;                // of the best timed run
  std::vector<double> all_seconds;        // every timed run, for the spread
  std::vector<double> all_floor_seconds;  // every floor replay
  int64_t component = 0;
  int64_t suite = 0;
  int64_t recorded = 0;
  int64_t replay_failed = 0;
  int64_t unshaped = 0;          // replayed texts the floor could not prepare
  uint64_t recorded_digest = 0;  // ComponentRowsDigest after the recording run
  int64_t scans = 0;             // statements sent per line whose plan scans
  std::string scan;              // the first of them
  int64_t growing = 0;           // statements sent per line whose work grows
  std::string growth_note;       // the first of them
  bool rows_differ = false;      // the replay stored other rows than it
  long max_rss_kib = 0;
  Engine engine() const { return store->engine(); }
};

struct DoublesRow {
  Case c;
  bool ok = false;
  std::string error;
  double seconds = 0;
};

class Bench {
 public:
  explicit Bench(Options o);
  ~Bench();

  // Measures what the options select and prints the tables and targets;
  // 1 when a case failed.
  int Run();

 private:
  static std::string BaseDb(int lines) { return "base-" + std::to_string(lines); }
  void Step(const std::string& what);
  struct RunFiles;
  Outcome OnCopy(const Row& row, const std::string& what,
                 const std::function<void(Report&, const RunFiles&)>& fn);

  void MakeCatalogue(const Store& store, int products);
  void MakeBase(const Store& store, int lines);
  bool Prepare(const Store& store, const Case& c, std::string& error);
  bool Record(Row& row);
  // One timed run of the row's case and one replay of its floor; the best
  // of each is kept.
  bool TimeOnce(Row& row, bool first);
  bool TimeCase(Row& row, bool first);
  bool TimeFloor(Row& row, bool first);
  void Cleanup(const Store& store, const Case& c, const std::vector<Row>& rows);
  void MeasureSuite(const std::vector<Case>& cases);
  void MeasureKind(const std::vector<Case>& sizes);
  DoublesRow MeasureDoubles(const Case& c);

  Options o_;
  std::vector<Store> stores_;
  std::vector<Row> rows_;
  std::vector<DoublesRow> doubles_;
};

}  // namespace qbx::bench
