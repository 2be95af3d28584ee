#include "bench/measure.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>
#include <stdexcept>
#include <thread>

#include "automation/com.h"
#include "automation/value.h"
#include "bench/child.h"
#include "bench/floor.h"
#include "bench/floor_server.h"
#include "bench/null_services.h"
#include "bench/report.h"
#include "bench/targets.h"
#include "suite/database.h"
#include "suite/sample.h"
#include "transfer/publico.h"

namespace qbx::bench {
namespace {

using Clock = std::chrono::steady_clock;

std::string CaseName(const Case& c) {
  return KindName(c.kind) + "-" + std::to_string(c.lines);
}

std::string RowName(const Row& row) {
  return CaseName(row.c) + "-" + ModeName(row.mode);
}

}  // namespace

Bench::Bench(Options o) : o_(std::move(o)) {
  for (Engine e : o_.engines) stores_.emplace_back(e, o_.dir, o_.server);
}

Bench::~Bench() {
  if (o_.keep) return;
  for (const Store& store : stores_) {
    try {
      store.RemoveAll();
    } catch (const std::exception& e) {
      std::cerr << "quelbarix_bench: " << e.what() << '\n';
    }
  }
}

void Bench::Step(const std::string& what) {
  std::cerr << "  " << what << std::endl;
}

void Bench::MakeCatalogue(const Store& store, int products) {
  Step(EngineName(store.engine()) + " catalogue: sample plus " + std::to_string(products) +
       " products");
  const Outcome out = InChild([&](Report&) {
    store.MakeEmpty("catalogue");
    suite::CreateDatabase(store.Name("catalogue"), true);
    suite::Database db(store.Name("catalogue"), false);
    AddBenchCatalogue(db, products);
  });
  if (!out.report.ok) throw std::runtime_error(std::string("catalogue: ") + out.report.error);
}

void Bench::MakeBase(const Store& store, int lines) {
  Step(EngineName(store.engine()) + " base for " + std::to_string(lines) +
       " lines: a finalised request");
  const Outcome out = InChild([&](Report&) {
    store.Copy("catalogue", BaseDb(lines));
    Context ctx;
    {
      SuiteHost host(store.Name(BaseDb(lines)));
      ctx = PrepareBase(lines);
    }
    WriteContext(store.File(BaseDb(lines), ".ctx"), ctx);
  });
  if (!out.report.ok) throw std::runtime_error(std::string("base: ") + out.report.error);
}

bool Bench::Prepare(const Store& store, const Case& c, std::string& error) {
  const std::string name = CaseName(c);
  Step(EngineName(store.engine()) + " " + name + ": prepare");
  Outcome out = InChild([&](Report&) {
    store.Copy(BaseDb(c.lines), name);
    Context ctx = ReadContext(store.File(BaseDb(c.lines), ".ctx"));
    {
      SuiteHost host(store.Name(name));
      SetInTransit(host.db(), InTransit(c.kind));
      PrepareCase(c, host.db(), ctx);
    }
    WriteContext(store.File(name, ".ctx"), ctx);
  });
  if (!out.report.ok) error = std::string("prepare: ") + out.report.error;
  return out.report.ok != 0;
}

// What a run of a row works with: the case's starting database, the copy the
// run uses and the recording of its statements.
struct Bench::RunFiles {
  explicit RunFiles(const Row& row)
      : name(RowName(row)),
        start(CaseName(row.c)),
        run(name + "-run"),
        recording(row.store->File(name, ".sql")) {}
  std::string name;
  std::string start;
  std::string run;
  std::string recording;
};

// Runs fn in a child on a copy of the row's starting database, removed after.
Outcome Bench::OnCopy(const Row& row, const std::string& what,
                      const std::function<void(Report&, const RunFiles&)>& fn) {
  const Store& store = *row.store;
  const RunFiles f(row);
  Step(EngineName(store.engine()) + " " + f.name + ": " + what);
  const Outcome out = InChild([&](Report& r) {
    store.Copy(f.start, f.run);
    fn(r, f);
  });
  store.Remove(f.run);
  return out;
}

bool Bench::Record(Row& row) {
  const Case& c = row.c;
  const Store& store = *row.store;
  const Outcome out = OnCopy(row, "record", [&](Report& r, const RunFiles& f) {
    Context ctx = ReadContext(store.File(f.start, ".ctx"));
    StatementRecorder recorder(f.recording);
    {
      SuiteHost host(store.Name(f.run));
      host.db().SetTraceSink(recorder.Sink());
      RunCase(c, ctx, row.mode);
      host.db().SetTraceSink(nullptr);
    }
    recorder.Close();
    r.recorded = recorder.count();
    r.digest = store.Digest(f.run);
    // A statement sent at least once per two lines counts as sent per line.
    // SQLite's plans are read on the starting database; the server's on the
    // copy the run left, analysed, so that its planner sees the rows.
    const std::vector<Scan> scans =
        store.server() ? server::FindScans(f.recording, store.Name(f.run), c.lines / 2)
                       : FindScans(f.recording, store.Name(f.start), c.lines / 2);
    SetScans(r, scans);
  });
  if (!out.report.ok) {
    row.error = std::string("record: ") + out.report.error;
    return false;
  }
  row.recorded = out.report.recorded;
  row.recorded_digest = out.report.digest;
  row.scans = out.report.scans;
  row.scan = out.report.scan;
  return true;
}

bool Bench::TimeOnce(Row& row, bool first) {
  return TimeCase(row, first) && TimeFloor(row, first);
}

bool Bench::TimeCase(Row& row, bool first) {
  const Case& c = row.c;
  const Store& store = *row.store;
  const Outcome out = OnCopy(row, "timed run", [&](Report& r, const RunFiles& f) {
    Context ctx = ReadContext(store.File(f.start, ".ctx"));
    SuiteHost host(store.Name(f.run));
    const int64_t component0 = host.db().StatementCount(suite::Origin::Component);
    const int64_t suite0 = host.db().StatementCount(suite::Origin::Suite);
    const double cpu0 = CpuSeconds();
    const Clock::time_point t0 = Clock::now();
    r.lock_seconds = RunCase(c, ctx, row.mode);
    r.component = host.db().StatementCount(suite::Origin::Component) - component0;
    r.suite = host.db().StatementCount(suite::Origin::Suite) - suite0;
    store.Checkpoint(f.run);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu_seconds = CpuSeconds() - cpu0;
  });
  if (!out.report.ok) {
    row.error = std::string("timed: ") + out.report.error;
    return false;
  }
  row.all_seconds.push_back(out.report.seconds);
  if (first || out.report.seconds < row.seconds) {
    row.seconds = out.report.seconds;
    row.cpu_seconds = out.report.cpu_seconds;
    row.lock_seconds = out.report.lock_seconds;
  }
  row.component = out.report.component;
  row.suite = out.report.suite;
  row.max_rss_kib = std::max(row.max_rss_kib, out.max_rss_kib);
  return true;
}

bool Bench::TimeFloor(Row& row, bool first) {
  const Case& c = row.c;
  const Store& store = *row.store;
  const Outcome out = OnCopy(row, "floor", [&](Report& r, const RunFiles& f) {
    ReplayResult replay = store.server() ? server::Replay(f.recording, store.Name(f.run))
                                         : Replay(f.recording, store.Name(f.run), c.lines);
    r.seconds = replay.seconds;
    r.recorded = replay.statements;
    r.failed = replay.failed;
    r.component = replay.unshaped;
    if (replay.failed > 0) SetError(r, replay.first_error);
    r.digest = store.Digest(f.run);
    SetScans(r, replay.growing);
  });
  if (!out.report.ok) {
    row.error = std::string("floor: ") + out.report.error;
    return false;
  }
  row.all_floor_seconds.push_back(out.report.seconds);
  if (first || out.report.seconds < row.floor_seconds) row.floor_seconds = out.report.seconds;
  row.replay_failed = out.report.failed;
  row.unshaped = out.report.component;
  // The replay ran the recorded texts (their dates included): it must have
  // stored what the recording run stored.
  if (out.report.digest != row.recorded_digest) row.rows_differ = true;
  row.growing = out.report.scans;
  row.growth_note = out.report.scan;
  if (out.report.failed > 0) row.error = std::string("replay: ") + out.report.error;
  return true;
}

void Bench::Cleanup(const Store& store, const Case& c, const std::vector<Row>& rows) {
  if (o_.keep) return;
  const std::string name = CaseName(c);
  for (const Row& row : rows) std::filesystem::remove(store.File(RowName(row), ".sql"));
  store.Remove(name);
  std::filesystem::remove(store.File(name, ".ctx"));
}

// The sizes and modes of one case, on every backend, are prepared and
// recorded first and then timed in turns (each size in both modes on each
// backend, then again), so that a busy spell of the machine does not fall on
// one size, mode or backend only and skew what is compared.
void Bench::MeasureKind(const std::vector<Case>& sizes) {
  std::vector<Row> rows;
  for (const Store& store : stores_) {
    for (const Case& c : sizes) {
      std::string error;
      const bool prepared = Prepare(store, c, error);
      for (Mode mode : o_.modes) {
        Row row;
        row.c = c;
        row.store = &store;
        row.mode = mode;
        row.error = error;
        row.ok = prepared && Record(row);
        rows.push_back(row);
      }
    }
  }
  for (int i = 0; i < o_.repeat; ++i) {
    for (Row& row : rows) {
      if (row.ok) row.ok = TimeOnce(row, i == 0);
    }
  }
  for (const Store& store : stores_) {
    for (const Case& c : sizes) {
      std::vector<Row> of_case;
      for (const Row& row : rows)
        if (row.c.lines == c.lines && row.store == &store) of_case.push_back(row);
      Cleanup(store, c, of_case);
    }
  }
  rows_.insert(rows_.end(), rows.begin(), rows.end());
}

DoublesRow Bench::MeasureDoubles(const Case& c) {
  DoublesRow row;
  row.c = c;
  Step("do-nothing services: " + KindName(c.kind) + "-" + std::to_string(c.lines));
  const Outcome out = InChild([&](Report& r) {
    NullProvider provider(InTransit(c.kind), c.lines);
    com::SetProcessObjectProvider(&provider);
    double best = 0;
    double total = 0;
    std::string error;
    // Each run in a thread of its own: a fresh apartment reads the setting.
    for (int i = 0; i < 50 && (i < 3 || total < 0.5); ++i) {
      double seconds = 0;
      std::thread([&] {
        try {
          Context ctx{{"request", "CEDIS-0000000001"},
                      {"shipment", "CEDIS-0000000002"},
                      {"order", "PED-BENCH"}};
          const Clock::time_point t0 = Clock::now();
          RunCase(c, ctx, Mode::kStatement);
          seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        } catch (const RuntimeError& e) {
          error = e.description();
        } catch (const std::exception& e) {
          error = e.what();
        }
        ResetApartment();
      }).join();
      if (!error.empty()) throw std::runtime_error(error);
      total += seconds;
      if (i == 0 || seconds < best) best = seconds;
    }
    com::SetProcessObjectProvider(nullptr);
    r.seconds = best;
  });
  row.ok = out.report.ok != 0;
  row.error = out.report.error;
  row.seconds = out.report.seconds;
  return row;
}

// Makes each backend's catalogue and base databases, measures every case on
// them and removes them.
void Bench::MeasureSuite(const std::vector<Case>& cases) {
  int products = 0;
  std::set<int> sizes;
  for (const Case& c : cases) {
    products = std::max(products, c.lines);
    sizes.insert(c.lines);
  }
  if (cases.empty()) return;
  for (const Store& store : stores_) {
    MakeCatalogue(store, products);
    for (int n : sizes) MakeBase(store, n);
  }
  for (Kind k : kAllKinds) {
    std::vector<Case> of_kind;
    for (const Case& c : cases)
      if (c.kind == k) of_kind.push_back(c);
    if (!of_kind.empty()) MeasureKind(of_kind);
  }
  for (const Store& store : stores_) {
    for (int n : sizes) {
      store.Remove(BaseDb(n));
      std::filesystem::remove(store.File(BaseDb(n), ".ctx"));
    }
    store.Remove("catalogue");
  }
}

int Bench::Run() {
  const std::vector<Case> cases = SelectedCases(o_);
  if (o_.suite) MeasureSuite(cases);
  if (o_.doubles) {
    for (const Case& c : cases) doubles_.push_back(MeasureDoubles(c));
  }
  PrintCases(o_);
  if (o_.suite) {
    PrintSuiteTable(rows_, o_.repeat);
    PrintSpread(rows_, o_.repeat);
  }
  if (o_.doubles) PrintDoublesTable(doubles_);
  const int missed = PrintTargets(rows_, doubles_, o_.engines);
  int failed = 0;
  for (const Row& r : rows_) failed += r.ok && !r.rows_differ ? 0 : 1;
  for (const DoublesRow& r : doubles_) failed += r.ok ? 0 : 1;
  std::cout << "\n" << missed << " target(s) missed, " << failed << " case(s) failed\n";
  return failed > 0 ? 1 : 0;
}

}  // namespace qbx::bench
