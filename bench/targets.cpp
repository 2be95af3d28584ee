#include "bench/targets.h"

#include <cstdint>
#include <iostream>
#include <string>

#include "bench/report.h"

namespace qbx::bench {
namespace {

// Prints each verdict and counts the missed ones.
class Verdicts {
 public:
  void operator()(bool ok, const std::string& text) {
    std::cout << (ok ? "  [met]    " : "  [missed] ") << text << '\n';
    if (!ok) ++missed_;
  }
  int missed() const { return missed_; }

 private:
  int missed_ = 0;
};

// The shipment targets: SQLite's and the server's (a round trip per
// statement puts the server's lower).
void ShipmentTargets(const std::vector<Row>& rows, const std::vector<Engine>& engines,
                     Verdicts& verdict) {
  for (Engine engine : engines) {
    const Row* unit = Find(rows, engine, Kind::kShipmentOn, 10000, Mode::kUnit);
    if (!unit) continue;
    const std::string name = "en-on 10,000 lines, unit of work, " + EngineName(engine) + ": ";
    const double rate = 10000 / unit->seconds;
    const double wanted = engine == Engine::kServer ? 2000 : 10000;
    verdict(rate >= wanted, name + Thousands(rate) + " lines/s (>= " + Thousands(wanted) + ")");
    if (const Row* statement = Find(rows, engine, Kind::kShipmentOn, 10000, Mode::kStatement);
        statement && engine == Engine::kFile)
      verdict(statement->seconds >= 3 * unit->seconds,
              name + Fixed(statement->seconds / unit->seconds, 2) + "x the statement mode (>= 3)");
    verdict(unit->seconds <= 1.3 * unit->floor_seconds,
            name + Fixed(unit->seconds / unit->floor_seconds, 2) + "x its floor (<= 1.3)");
  }
}

// Every row: it ran, it is not faster than its floor, and ten times the
// lines take at most eleven times as long.
void RowTargets(const std::vector<Row>& rows, Verdicts& verdict) {
  for (const Row& r : rows) {
    const std::string name =
        KindName(r.c.kind) + " " + EngineName(r.engine()) + " " + ModeName(r.mode);
    if (!r.ok) {
      verdict(false, name + " " + Thousands(r.c.lines) + ": failed");
      continue;
    }
    if (r.floor_seconds > 0 && r.seconds < r.floor_seconds)
      verdict(false, name + " " + Thousands(r.c.lines) + ": " +
                         Fixed(r.seconds / r.floor_seconds, 2) +
                         "x its floor (a floor above it is wrong)");
    if (const Row* small = Find(rows, r.engine(), r.c.kind, r.c.lines / 10, r.mode);
        small && r.c.lines % 10 == 0)
      verdict(r.seconds <= 11 * small->seconds,
              name + " growth " + Thousands(small->c.lines) + " -> " + Thousands(r.c.lines) + ": " +
                  Fixed(r.seconds / small->seconds, 1) + "x (<= 11)");
  }
}

// The plan checks, per backend: no statement sent per line scans (or, on
// SQLite, does work that grows with the document).
void PlanTargets(const std::vector<Row>& rows, const std::vector<Engine>& engines,
                 Verdicts& verdict) {
  for (Engine engine : engines) {
    int64_t scanning = 0, growing = 0;
    for (const Row& r : rows) {
      if (r.engine() != engine) continue;
      scanning += r.scans;
      growing += r.growing;
    }
    if (engine == Engine::kServer) {
      verdict(scanning == 0,
              "server: statements sent per line that read a whole table of over "
              "500 rows: " +
                  std::to_string(scanning) + " (EXPLAIN; 0)");
      continue;
    }
    verdict(scanning == 0, "sqlite: statements sent per line that scan a table or index: " +
                               std::to_string(scanning) + " (EXPLAIN QUERY PLAN; 0)");
    verdict(growing == 0, "sqlite: statements sent per line whose work grows with the document: " +
                              std::to_string(growing) + " (0)");
  }
}

// The chain's peak memory on the first backend, and the component's rate on
// do-nothing services.
void ResourceTargets(const std::vector<Row>& rows, const std::vector<DoublesRow>& doubles,
                     const std::vector<Engine>& engines, Verdicts& verdict) {
  for (Mode mode : {Mode::kStatement, Mode::kUnit}) {
    if (const Row* r = Find(rows, engines[0], Kind::kChain, 10000, mode))
      verdict(r->max_rss_kib < 64 * 1024, "chain " + ModeName(mode) + " 10,000 lines: peak " +
                                              Fixed(r->max_rss_kib / 1024.0, 1) + " MiB (< 64)");
  }
  for (const DoublesRow& r : doubles) {
    if (r.ok && (r.c.kind == Kind::kShipmentOff || r.c.kind == Kind::kShipmentOn) &&
        r.c.lines == 10000)
      verdict(r.c.lines / r.seconds >= 200000,
              KindName(r.c.kind) + " on do-nothing services: " + Thousands(r.c.lines / r.seconds) +
                  " lines/s (>= 200,000)");
  }
}

}  // namespace

int PrintTargets(const std::vector<Row>& rows, const std::vector<DoublesRow>& doubles,
                 const std::vector<Engine>& engines) {
  std::cout << "\nTargets\n";
  Verdicts verdict;
  ShipmentTargets(rows, engines, verdict);
  RowTargets(rows, verdict);
  PlanTargets(rows, engines, verdict);
  ResourceTargets(rows, doubles, engines, verdict);
  return verdict.missed();
}

}  // namespace qbx::bench
