// quelbarix_bench: the transfer chain at 1,000 and 10,000 lines on the
// embedded database and, with --backend server or both, on a PostgreSQL
// server, each case in statement mode and in unit-of-work mode, measured
// against the database's own floor, and the component alone on services that
// do nothing.
//
// Every measured run is a process of its own (forked from a parent that
// never touches a database), so each starts a fresh apartment and its peak
// resident memory is its own. Per case and size:
//   prepare  a copy of the size's base database gets what the case needs;
// then per mode (statement, unit):
//   record   a copy runs the case with every statement streamed to a file;
//   timed    a copy runs the case without recording (best of --repeat);
//   floor    a copy replays the recording straight into the database, each
//            shape of text prepared once (best of --repeat).
// On SQLite a copy is a file; timed runs and replays end with a checkpoint,
// inside the timing: what a run leaves in the journal is written to the file
// at its own expense, whether or not the run was long enough for SQLite to
// checkpoint on its own. On the server a copy is CREATE DATABASE .. TEMPLATE
// (nobody connected to the source), and every commit is durable as the
// server is set up; the copies are dropped at the end.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "automation/com.h"
#include "automation/value.h"
#include "bench/cases.h"
#include "bench/floor.h"
#include "bench/floor_server.h"
#include "bench/null_services.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/sample.h"
#include "suite/services.h"
#include "transfer/publico.h"

namespace qbx::bench {
namespace {

using Clock = std::chrono::steady_clock;

// User plus system time of this process so far.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

constexpr const char* kUsage =
    "usage: quelbarix_bench [options]\n"
    "  --lines LIST        document sizes (default 1000,10000)\n"
    "  --order-lines LIST  order sizes of the requisition (default 100,1000)\n"
    "  --cases LIST        en-off,en-on,sl,rc-off,rc-on,cfdi,cancel,req,chain (default all)\n"
    "  --repeat N          timed and floor runs per case, best kept (default 3)\n"
    "  --modes LIST        statement,unit (default both)\n"
    "  --doubles           only the component on do-nothing services\n"
    "  --no-doubles        skip the component on do-nothing services\n"
    "  --dir DIR           working folder (default: a new one under the temporary folder,\n"
    "                      removed at the end)\n"
    "  --keep              keep the working folder, with each case's starting database\n"
    "                      (NAME-LINES.db) and its recorded statements (NAME-LINES.sql);\n"
    "                      on the server, the starting databases too\n"
    "  --backend WHICH     sqlite, server or both (default sqlite)\n"
    "  --server CONNINFO   the server's maintenance database as a libpq connection string\n"
    "                      (default: the environment's QUELBARIX_BENCH_PG); the benchmark\n"
    "                      creates its databases beside it and drops them at the end\n";

enum class Engine { kFile, kServer };
std::string EngineName(Engine e) { return e == Engine::kServer ? "server" : "sqlite"; }

struct Options {
  std::vector<int> lines{1000, 10000};
  std::vector<int> order_lines{100, 1000};
  std::set<std::string> cases;
  int repeat = 3;
  bool suite = true;
  bool doubles = true;
  std::string dir;
  bool keep = false;
  std::vector<Engine> engines{Engine::kFile};
  std::vector<Mode> modes{Mode::kStatement, Mode::kUnit};
  std::string server;
};

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (n <= 0) throw std::runtime_error("not a size: " + item);
    out.push_back(n);
  }
  return out;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--lines") {
      o.lines = ParseList(value());
    } else if (a == "--order-lines") {
      o.order_lines = ParseList(value());
    } else if (a == "--cases") {
      std::stringstream in(value());
      std::string item;
      while (std::getline(in, item, ',')) o.cases.insert(item);
    } else if (a == "--repeat") {
      o.repeat = std::max(1, std::atoi(value().c_str()));
    } else if (a == "--doubles") {
      o.suite = false;
    } else if (a == "--no-doubles") {
      o.doubles = false;
    } else if (a == "--dir") {
      o.dir = value();
    } else if (a == "--keep") {
      o.keep = true;
    } else if (a == "--backend") {
      const std::string which = value();
      if (which == "sqlite")
        o.engines = {Engine::kFile};
      else if (which == "server")
        o.engines = {Engine::kServer};
      else if (which == "both")
        o.engines = {Engine::kFile, Engine::kServer};
      else
        throw std::runtime_error("--backend takes sqlite, server or both, not " + which);
    } else if (a == "--modes") {
      o.modes.clear();
      std::stringstream in(value());
      std::string item;
      while (std::getline(in, item, ',')) {
        if (item == "statement")
          o.modes.push_back(Mode::kStatement);
        else if (item == "unit")
          o.modes.push_back(Mode::kUnit);
        else
          throw std::runtime_error("not a mode: " + item);
      }
    } else if (a == "--server") {
      o.server = value();
    } else if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      std::exit(0);
    } else {
      throw std::runtime_error("unknown option " + a + "\n" + kUsage);
    }
  }
  if (o.server.empty())
    if (const char* env = std::getenv("QUELBARIX_BENCH_PG")) o.server = env;
  if (o.server.empty() &&
      std::find(o.engines.begin(), o.engines.end(), Engine::kServer) != o.engines.end())
    throw std::runtime_error("the server backend needs --server or QUELBARIX_BENCH_PG");
  return o;
}

const Kind kAllKinds[] = {Kind::kShipmentOff,  Kind::kShipmentOn,  Kind::kRequest,
                          Kind::kReceptionOff, Kind::kReceptionOn, Kind::kTransport,
                          Kind::kCancel,       Kind::kRequisition, Kind::kChain};

std::vector<Case> SelectedCases(const Options& o) {
  std::vector<Case> out;
  for (Kind k : kAllKinds) {
    if (!o.cases.empty() && !o.cases.contains(KindName(k))) continue;
    for (int n : k == Kind::kRequisition ? o.order_lines : o.lines) out.push_back({k, n});
  }
  return out;
}

// ---------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------

// What a child hands back through its pipe.
struct Report {
  int ok = 0;
  double seconds = 0;
  double cpu_seconds = 0;  // user + system time of the process meanwhile
  double lock_seconds = 0;  // the longest unit of work
  int64_t component = 0;   // statements sent by the component
  int64_t suite = 0;       // statements sent by the suite
  int64_t recorded = 0;
  int64_t failed = 0;   // replayed statements that failed
  uint64_t digest = 0;  // ComponentRowsDigest afterwards
  int64_t scans = 0;    // statements sent per line that scan (FindScans)
  char scan[256] = {};  // the first of them
  char error[1024] = {};
};

struct Outcome {
  Report report;
  long max_rss_kib = 0;
};

void SetError(Report& r, const std::string& text) {
  std::snprintf(r.error, sizeof r.error, "%s", text.c_str());
}

// How many statements were flagged, and the first of them.
void SetScans(Report& r, const std::vector<Scan>& scans) {
  r.scans = static_cast<int64_t>(scans.size());
  if (!scans.empty())
    std::snprintf(r.scan, sizeof r.scan, "%s x%lld: %s", scans[0].step.c_str(),
                  static_cast<long long>(scans[0].times), scans[0].statement.c_str());
}

// Runs fn in a child process and collects its report and peak memory.
Outcome InChild(const std::function<void(Report&)>& fn) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(fds[0]);
    Report r;
    try {
      fn(r);
      r.ok = 1;
    } catch (const RuntimeError& e) {
      SetError(r, e.description());
    } catch (const std::exception& e) {
      SetError(r, e.what());
    }
    const char* p = reinterpret_cast<const char*>(&r);
    size_t left = sizeof r;
    while (left > 0) {
      const ssize_t n = write(fds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    std::fflush(stdout);
    _exit(0);
  }
  close(fds[1]);
  Outcome out;
  char* p = reinterpret_cast<char*>(&out.report);
  size_t got = 0;
  while (got < sizeof out.report) {
    const ssize_t n = read(fds[0], p + got, sizeof out.report - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  out.max_rss_kib = usage.ru_maxrss;
  if (got != sizeof out.report) {
    out.report = Report{};
    SetError(out.report,
             "the child process ended without a report (status " + std::to_string(status) + ")");
  }
  return out;
}

// The suite installed for this process, as a host that links it does.
class SuiteHost {
 public:
  explicit SuiteHost(const std::string& db_path) {
    suite::SetDatabasePath(db_path);
    com::SetProcessObjectProvider(&suite::LinkedProvider());
    db_ = suite::Database::ForThread();
  }
  ~SuiteHost() {
    ResetApartment();
    db_.reset();
    com::SetProcessObjectProvider(nullptr);
    suite::SetDatabasePath("");
  }
  suite::Database& db() { return *db_; }

 private:
  std::shared_ptr<suite::Database> db_;
};

void WriteContext(const std::string& path, const Context& ctx) {
  std::ofstream out(path);
  for (const auto& [k, v] : ctx) out << k << '=' << v << '\n';
  if (!out) throw std::runtime_error("cannot write " + path);
}

Context ReadContext(const std::string& path) {
  Context ctx;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) ctx[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return ctx;
}

// Where one backend's databases live, by short name ("catalogue",
// "base-1000", "en-on-1000-unit-run"): files in the working folder, or
// databases on the server beside the maintenance one, named after this
// process so that runs side by side do not meet.
class Store {
 public:
  Store(Engine engine, std::string dir, std::string maintenance)
      : engine_(engine),
        dir_(std::move(dir)),
        maintenance_(std::move(maintenance)),
        prefix_("qbxbench_" + std::to_string(getpid()) + "_") {}

  Engine engine() const { return engine_; }
  bool server() const { return engine_ == Engine::kServer; }
  // What the suite opens: the file's path or a connection string.
  std::string Name(const std::string& stem) const {
    return server() ? server::WithDatabase(maintenance_, ServerName(stem))
                    : dir_ + "/" + stem + ".db";
  }
  // The benchmark's own files of a database (its context, its recordings).
  std::string File(const std::string& stem, const std::string& suffix) const {
    return dir_ + "/" + (server() ? "server-" : "") + stem + suffix;
  }
  // An empty database for CreateDatabase (a file it creates itself).
  void MakeEmpty(const std::string& stem) const {
    if (!server()) return RemoveDatabase(Name(stem));
    server::DropDatabase(maintenance_, ServerName(stem));
    server::CreateDatabase(maintenance_, ServerName(stem));
  }
  void Copy(const std::string& from, const std::string& to) const {
    if (!server()) return CopyDatabase(Name(from), Name(to));
    server::DropDatabase(maintenance_, ServerName(to));
    server::CreateDatabase(maintenance_, ServerName(to), ServerName(from));
  }
  void Remove(const std::string& stem) const {
    if (server())
      server::DropDatabase(maintenance_, ServerName(stem));
    else
      RemoveDatabase(Name(stem));
  }
  // Every database this process made on the server.
  void RemoveAll() const {
    if (server()) server::DropDatabases(maintenance_, prefix_);
  }
  // The component's rows (ComponentRowsDigest, by backend).
  uint64_t Digest(const std::string& stem) const {
    return server() ? server::ComponentRowsDigest(Name(stem)) : ComponentRowsDigest(Name(stem));
  }
  // What a run leaves in SQLite's journal goes to the file inside its time;
  // a server's commits are durable already.
  void Checkpoint(const std::string& stem) const {
    if (!server()) bench::Checkpoint(Name(stem));
  }

 private:
  std::string ServerName(const std::string& stem) const {
    std::string name = prefix_ + stem;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
  }

  Engine engine_;
  std::string dir_;
  std::string maintenance_;
  std::string prefix_;
};

// ---------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------

struct Row {
  Case c;
  const Store* store = nullptr;
  Mode mode = Mode::kStatement;
  bool ok = false;
  std::string error;
  double seconds = 0;
  double cpu_seconds = 0;
  double floor_seconds = 0;
  double lock_seconds = 0;  // of the best timed run
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
  explicit Bench(Options o) : o_(std::move(o)) {
    for (Engine e : o_.engines) stores_.emplace_back(e, o_.dir, o_.server);
  }
  ~Bench() {
    if (o_.keep) return;
    for (const Store& store : stores_) {
      try {
        store.RemoveAll();
      } catch (const std::exception& e) {
        std::cerr << "quelbarix_bench: " << e.what() << '\n';
      }
    }
  }

  int Run();

 private:
  static std::string BaseDb(int lines) { return "base-" + std::to_string(lines); }
  void Step(const std::string& what) { std::cerr << "  " << what << std::endl; }

  void MakeCatalogue(const Store& store, int products);
  void MakeBase(const Store& store, int lines);
  std::string CaseName(const Case& c) const;
  std::string RowName(const Row& row) const;
  bool Prepare(const Store& store, const Case& c, std::string& error);
  bool Record(Row& row);
  bool TimeOnce(Row& row, bool first);
  void Cleanup(const Store& store, const Case& c, const std::vector<Row>& rows);
  void MeasureKind(const std::vector<Case>& sizes);
  DoublesRow MeasureDoubles(const Case& c);
  void PrintSuiteTable();
  void PrintSpread();
  void PrintDoublesTable();
  int PrintTargets();

  Options o_;
  std::vector<Store> stores_;
  std::vector<Row> rows_;
  std::vector<DoublesRow> doubles_;
};

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

std::string Bench::CaseName(const Case& c) const {
  return KindName(c.kind) + "-" + std::to_string(c.lines);
}

std::string Bench::RowName(const Row& row) const {
  return CaseName(row.c) + "-" + ModeName(row.mode);
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

bool Bench::Record(Row& row) {
  const Case& c = row.c;
  const Store& store = *row.store;
  const std::string name = RowName(row);
  const std::string start = CaseName(c);
  const std::string run = name + "-run";
  const std::string recording = store.File(name, ".sql");
  Step(EngineName(store.engine()) + " " + name + ": record");
  Outcome out = InChild([&](Report& r) {
    store.Copy(start, run);
    Context ctx = ReadContext(store.File(start, ".ctx"));
    StatementRecorder recorder(recording);
    {
      SuiteHost host(store.Name(run));
      host.db().SetTraceSink(recorder.Sink());
      RunCase(c, ctx, row.mode);
      host.db().SetTraceSink(nullptr);
    }
    recorder.Close();
    r.recorded = recorder.count();
    r.digest = store.Digest(run);
    // A statement sent at least once per two lines counts as sent per line.
    // SQLite's plans are read on the starting database; the server's on the
    // copy the run left, analysed, so that its planner sees the rows.
    const std::vector<Scan> scans =
        store.server() ? server::FindScans(recording, store.Name(run), c.lines / 2)
                       : FindScans(recording, store.Name(start), c.lines / 2);
    SetScans(r, scans);
  });
  store.Remove(run);
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
  const Case& c = row.c;
  const Store& store = *row.store;
  const std::string name = RowName(row);
  const std::string start = CaseName(c);
  const std::string run = name + "-run";
  const std::string recording = store.File(name, ".sql");
  Step(EngineName(store.engine()) + " " + name + ": timed run");
  Outcome out = InChild([&](Report& r) {
    store.Copy(start, run);
    Context ctx = ReadContext(store.File(start, ".ctx"));
    SuiteHost host(store.Name(run));
    const int64_t component0 = host.db().StatementCount(suite::Origin::Component);
    const int64_t suite0 = host.db().StatementCount(suite::Origin::Suite);
    const double cpu0 = CpuSeconds();
    const Clock::time_point t0 = Clock::now();
    r.lock_seconds = RunCase(c, ctx, row.mode);
    r.component = host.db().StatementCount(suite::Origin::Component) - component0;
    r.suite = host.db().StatementCount(suite::Origin::Suite) - suite0;
    store.Checkpoint(run);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu_seconds = CpuSeconds() - cpu0;
  });
  store.Remove(run);
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

  Step(EngineName(store.engine()) + " " + name + ": floor");
  out = InChild([&](Report& r) {
    store.Copy(start, run);
    ReplayResult replay = store.server() ? server::Replay(recording, store.Name(run))
                                         : Replay(recording, store.Name(run), c.lines);
    r.seconds = replay.seconds;
    r.recorded = replay.statements;
    r.failed = replay.failed;
    r.component = replay.unshaped;
    if (replay.failed > 0) SetError(r, replay.first_error);
    r.digest = store.Digest(run);
    SetScans(r, replay.growing);
  });
  store.Remove(run);
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

// ---------------------------------------------------------------------------
// Printing
// ---------------------------------------------------------------------------

std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

std::string Thousands(double v) {
  std::string digits = Fixed(v, 0);
  std::string out;
  int n = 0;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (n > 0 && n % 3 == 0 && *it != '-') out.insert(out.begin(), ',');
    out.insert(out.begin(), *it);
    ++n;
  }
  return out;
}

void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width(header.size());
  for (size_t i = 0; i < header.size(); ++i) width[i] = header[i].size();
  for (const auto& r : rows)
    for (size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], r[i].size());
  auto line = [&](const std::vector<std::string>& cells) {
    std::cout << '|';
    for (size_t i = 0; i < cells.size(); ++i) {
      std::cout << ' ' << cells[i] << std::string(width[i] - cells[i].size(), ' ') << " |";
    }
    std::cout << '\n';
  };
  line(header);
  std::cout << '|';
  for (size_t w : width) std::cout << std::string(w + 2, '-') << '|';
  std::cout << '\n';
  for (const auto& r : rows) line(r);
}

const Row* Find(const std::vector<Row>& rows, Engine engine, Kind kind, int lines, Mode mode) {
  for (const Row& r : rows)
    if (r.ok && r.engine() == engine && r.c.kind == kind && r.c.lines == lines && r.mode == mode)
      return &r;
  return nullptr;
}

// Anything that makes a row's floor doubtful.
std::string Note(const Row& r) {
  std::string note;
  if (r.recorded != r.component + r.suite)
    note = "recorded " + Thousands(r.recorded) + " statements, counted " +
           Thousands(r.component + r.suite);
  if (r.replay_failed > 0)
    note += (note.empty() ? "" : "; ") + Thousands(r.replay_failed) + " failed in the replay";
  if (r.unshaped > 0)
    note += (note.empty() ? "" : "; ") + Thousands(r.unshaped) + " replayed unprepared";
  if (r.rows_differ)
    note += (note.empty() ? "" : "; ") + std::string("rows differ from the replay");
  if (r.scans > 0) note += (note.empty() ? "" : "; ") + r.scan;
  if (r.growing > 0) note += (note.empty() ? "" : "; ") + r.growth_note;
  // The floor runs the same statements with nothing around them: a case
  // faster than that means the floor does something the case does not.
  if (r.floor_seconds > 0 && r.seconds < r.floor_seconds)
    note += (note.empty() ? "" : "; ") + std::string("faster than its floor: the floor is wrong");
  return note;
}

// The rows by case, size and mode, each backend beside the other.
std::vector<const Row*> SideBySide(const std::vector<Row>& rows) {
  auto rank = [](Kind k) {
    return std::find(std::begin(kAllKinds), std::end(kAllKinds), k) - std::begin(kAllKinds);
  };
  std::vector<const Row*> out;
  for (const Row& r : rows) out.push_back(&r);
  std::stable_sort(out.begin(), out.end(), [&](const Row* a, const Row* b) {
    return std::make_tuple(rank(a->c.kind), a->c.lines, a->mode, a->engine()) <
           std::make_tuple(rank(b->c.kind), b->c.lines, b->mode, b->engine());
  });
  return out;
}

void Bench::PrintSuiteTable() {
  std::cout << "\nsqlite: the embedded database (WAL, synchronous=NORMAL); server: PostgreSQL "
               "as set up (see above). Best of "
            << o_.repeat << " timed runs and of " << o_.repeat << " floor replays\n\n";
  std::vector<std::vector<std::string>> cells;
  for (const Row* row : SideBySide(rows_)) {
    const Row& r = *row;
    const std::string name = KindName(r.c.kind);
    const std::string backend = EngineName(r.engine());
    if (!r.ok) {
      cells.push_back(
          {name, backend, ModeName(r.mode), Thousands(r.c.lines), "FAILED: " + r.error});
      continue;
    }
    const double handled = LinesHandled(r.c);
    std::string growth = "";
    if (const Row* small = Find(rows_, r.engine(), r.c.kind, r.c.lines / 10, r.mode);
        small && r.c.lines % 10 == 0 && small->seconds > 0)
      growth = Fixed(r.seconds / small->seconds, 1) + "x";
    cells.push_back({name, backend, ModeName(r.mode), Thousands(r.c.lines), Fixed(r.seconds, 3),
                     Thousands(handled / r.seconds), Fixed((r.component + r.suite) / handled, 2),
                     Fixed(r.floor_seconds, 3),
                     r.floor_seconds > 0 ? Fixed(r.seconds / r.floor_seconds, 2) : "-",
                     r.mode == Mode::kUnit ? Fixed(r.lock_seconds, 3) : "-",
                     Fixed(r.max_rss_kib / 1024.0, 1), growth, Note(r)});
  }
  PrintTable({"case", "backend", "mode", "lines", "seconds", "lines/s", "stmts/line", "floor s",
              "case/floor", "lock s", "peak MiB", "growth", "note"},
             cells);
  std::cout << "\nstmts/line: statements sent per line handled (component and suite); lock s: "
               "the longest unit of work, from BeginTrans to the end of CommitTrans; peak MiB: "
               "the benchmark's process (a server's own memory is not in it)\n";
}

// Every timed run and floor replay, fastest first: how far apart the
// repeats were.
void Bench::PrintSpread() {
  if (o_.repeat < 2) return;
  std::cout << "\nSpread: every run in seconds, fastest first\n\n";
  auto list = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::string out;
    for (double d : v) out += (out.empty() ? "" : " ") + Fixed(d, 3);
    return out;
  };
  std::vector<std::vector<std::string>> cells;
  for (const Row* r : SideBySide(rows_)) {
    if (!r->ok) continue;
    cells.push_back({KindName(r->c.kind), EngineName(r->engine()), ModeName(r->mode),
                     Thousands(r->c.lines), list(r->all_seconds), list(r->all_floor_seconds)});
  }
  PrintTable({"case", "backend", "mode", "lines", "timed runs", "floor replays"}, cells);
}

void Bench::PrintDoublesTable() {
  std::cout << "\nComponent alone on do-nothing services (best run)\n\n";
  std::vector<std::vector<std::string>> cells;
  for (const DoublesRow& r : doubles_) {
    if (!r.ok) {
      cells.push_back({KindName(r.c.kind), Thousands(r.c.lines), "FAILED: " + r.error, ""});
      continue;
    }
    const double handled = LinesHandled(r.c);
    cells.push_back({KindName(r.c.kind), Thousands(r.c.lines), Fixed(r.seconds * 1000, 2),
                     Thousands(handled / r.seconds), Fixed(r.seconds * 1e6 / handled, 2)});
  }
  PrintTable({"case", "lines", "ms", "lines/s", "us/line"}, cells);
}

int Bench::PrintTargets() {
  std::cout << "\nTargets\n";
  int missed = 0;
  auto verdict = [&](bool ok, const std::string& text) {
    std::cout << (ok ? "  [met]    " : "  [missed] ") << text << '\n';
    if (!ok) ++missed;
  };
  // The shipment targets: SQLite's and the server's (a round trip per
  // statement puts the server's lower).
  for (Engine engine : o_.engines) {
    const Row* unit = Find(rows_, engine, Kind::kShipmentOn, 10000, Mode::kUnit);
    if (!unit) continue;
    const std::string name = "en-on 10,000 lines, unit of work, " + EngineName(engine) + ": ";
    const double rate = 10000 / unit->seconds;
    const double wanted = engine == Engine::kServer ? 2000 : 10000;
    verdict(rate >= wanted, name + Thousands(rate) + " lines/s (>= " + Thousands(wanted) + ")");
    if (const Row* statement = Find(rows_, engine, Kind::kShipmentOn, 10000, Mode::kStatement);
        statement && engine == Engine::kFile)
      verdict(statement->seconds >= 3 * unit->seconds,
              name + Fixed(statement->seconds / unit->seconds, 2) + "x the statement mode (>= 3)");
    verdict(unit->seconds <= 1.3 * unit->floor_seconds,
            name + Fixed(unit->seconds / unit->floor_seconds, 2) + "x its floor (<= 1.3)");
  }
  for (const Row& r : rows_) {
    const std::string name =
        KindName(r.c.kind) + " " + EngineName(r.engine()) + " " + ModeName(r.mode);
    if (!r.ok) {
      verdict(false, name + " " + Thousands(r.c.lines) + ": failed");
      continue;
    }
    if (r.floor_seconds > 0 && r.seconds < r.floor_seconds)
      verdict(false, name + " " + Thousands(r.c.lines) + ": " +
                         Fixed(r.seconds / r.floor_seconds, 2) + "x its floor (a floor above it is wrong)");
    if (const Row* small = Find(rows_, r.engine(), r.c.kind, r.c.lines / 10, r.mode);
        small && r.c.lines % 10 == 0)
      verdict(r.seconds <= 11 * small->seconds,
              name + " growth " + Thousands(small->c.lines) + " -> " + Thousands(r.c.lines) + ": " +
                  Fixed(r.seconds / small->seconds, 1) + "x (<= 11)");
  }
  for (Engine engine : o_.engines) {
    int64_t scanning = 0, growing = 0;
    for (const Row& r : rows_) {
      if (r.engine() != engine) continue;
      scanning += r.scans;
      growing += r.growing;
    }
    if (engine == Engine::kServer) {
      verdict(scanning == 0, "server: statements sent per line that read a whole table of over "
                             "500 rows: " + std::to_string(scanning) + " (EXPLAIN; 0)");
      continue;
    }
    verdict(scanning == 0, "sqlite: statements sent per line that scan a table or index: " +
                               std::to_string(scanning) + " (EXPLAIN QUERY PLAN; 0)");
    verdict(growing == 0, "sqlite: statements sent per line whose work grows with the document: " +
                              std::to_string(growing) + " (0)");
  }
  for (Mode mode : {Mode::kStatement, Mode::kUnit}) {
    if (const Row* r = Find(rows_, o_.engines[0], Kind::kChain, 10000, mode))
      verdict(r->max_rss_kib < 64 * 1024, "chain " + ModeName(mode) + " 10,000 lines: peak " +
                                              Fixed(r->max_rss_kib / 1024.0, 1) + " MiB (< 64)");
  }
  for (const DoublesRow& r : doubles_) {
    if (r.ok && (r.c.kind == Kind::kShipmentOff || r.c.kind == Kind::kShipmentOn) &&
        r.c.lines == 10000)
      verdict(r.c.lines / r.seconds >= 200000,
              KindName(r.c.kind) + " on do-nothing services: " + Thousands(r.c.lines / r.seconds) +
                  " lines/s (>= 200,000)");
  }
  return missed;
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown";
}

int Bench::Run() {
  const std::vector<Case> cases = SelectedCases(o_);
  std::cout << "quelbarix_bench: " << std::thread::hardware_concurrency() << " CPU(s), "
            << CpuModel() << ", SQLite " << sqlite3_libversion() << "\n";
  for (const Store& store : stores_)
    if (store.server()) std::cout << "server: " << server::Describe(o_.server) << "\n";
  std::cout << "working folder: " << o_.dir << "\n";
  if (o_.suite) {
    int products = 0;
    std::set<int> sizes;
    for (const Case& c : cases) {
      products = std::max(products, c.lines);
      sizes.insert(c.lines);
    }
    if (!cases.empty()) {
      for (const Store& store : stores_) {
        MakeCatalogue(store, products);
        for (int n : sizes) MakeBase(store, n);
      }
      for (Kind k : kAllKinds) {
        std::vector<Case> sizes;
        for (const Case& c : cases)
          if (c.kind == k) sizes.push_back(c);
        if (!sizes.empty()) MeasureKind(sizes);
      }
      for (const Store& store : stores_) {
        for (int n : sizes) {
          store.Remove(BaseDb(n));
          std::filesystem::remove(store.File(BaseDb(n), ".ctx"));
        }
        store.Remove("catalogue");
      }
    }
  }
  if (o_.doubles) {
    for (const Case& c : cases) doubles_.push_back(MeasureDoubles(c));
  }
  std::cout << "\nCases:\n";
  for (Kind k : kAllKinds) {
    if (o_.cases.empty() || o_.cases.contains(KindName(k)))
      std::cout << "  " << KindName(k) << ": " << KindDescription(k) << '\n';
  }
  if (o_.suite) {
    PrintSuiteTable();
    PrintSpread();
  }
  if (o_.doubles) PrintDoublesTable();
  const int missed = PrintTargets();
  int failed = 0;
  for (const Row& r : rows_) failed += r.ok && !r.rows_differ ? 0 : 1;
  for (const DoublesRow& r : doubles_) failed += r.ok ? 0 : 1;
  std::cout << "\n" << missed << " target(s) missed, " << failed << " case(s) failed\n";
  return failed > 0 ? 1 : 0;
}

}  // namespace
}  // namespace qbx::bench

int main(int argc, char** argv) {
  using namespace qbx::bench;
  try {
    Options options = ParseOptions(argc, argv);
    bool made = false;
    if (options.dir.empty()) {
      std::string pattern =
          (std::filesystem::temp_directory_path() / "quelbarix-bench-XXXXXX").string();
      if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a working folder");
      options.dir = pattern;
      made = true;
    } else {
      std::filesystem::create_directories(options.dir);
    }
    const bool keep = options.keep || !made;
    const std::string dir = options.dir;
    const int code = Bench(std::move(options)).Run();
    if (!keep) std::filesystem::remove_all(dir);
    return code;
  } catch (const std::exception& e) {
    std::cerr << "quelbarix_bench: " << e.what() << '\n';
    return 2;
  }
}
