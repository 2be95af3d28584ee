// Several tool processes on one database at once: writers take turns, so
// folios stay distinct, every line is stored, stock never goes below zero
// and no pair of commands waits on the other for ever.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "suite/database.h"
#include "suite/reports.h"
#include "suite/sample.h"
#include "tests/cli/spawn.h"
#include "tests/test_database.h"

namespace {

namespace fs = std::filesystem;
namespace suite = qbx::suite;
using qbx::cli::test::Spawned;

// Far beyond any fair wait behind other writers (each waits at most the busy
// timeout): a child still running then is stuck.
constexpr double kKillAfter = 60;

struct Line {
  std::string product;
  double quantity;
  std::string unit;
};

// A shipment from the distribution centre to the northern branch.
std::string Shipment(const std::vector<Line>& lines) {
  std::string details;
  for (const Line& l : lines) {
    details += std::string(details.empty() ? "" : ",") + R"({"Producto": {"Pr_Cve_Producto": ")" +
               l.product + R"("}, "Tr_Cantidad_1": )" + std::to_string(l.quantity) +
               R"(, "Tr_Unidad_1": ")" + l.unit + "\"}";
  }
  return R"({"Encabezado": {"Tr_Tipo": "EN",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [)" +
         details + "]}";
}

// Three lines, one product twice; the sample stock covers many of them.
const std::vector<Line> kShipmentLines = {
    {"TORN-001", 3, "PZA"}, {"KIT-01", 1, "PAQ"}, {"TORN-001", 4, "PZA"}};

// A request of the northern branch to the distribution centre, two lines.
constexpr const char* kRequest = R"({
    "Encabezado": {"Tr_Tipo": "SL",
      "Sucursal": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 24, "Tr_Unidad_1": "PZA",
       "Tr_Cantidad_Control_2": 2},
      {"Producto": {"Pr_Cve_Producto": "KIT-01"}, "Tr_Cantidad_1": 3, "Tr_Unidad_1": "PAQ",
       "Tr_Cantidad_Control_2": 18}]})";

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

class Concurrency : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quelbarix-conc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    QBX_SKIP_WITHOUT_SERVER();
    db_ = qbx::test::FreshDatabase(dir_.string(), "t.db");
    suite::CreateDatabase(db_, true);
    // Shipped goods then wait in the receiver's transit warehouse, so every
    // unit stays counted somewhere.
    suite::Database db(db_, false);
    suite::SetParameter(db, "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", "1");
  }
  void TearDown() override {
    if (!db_.empty()) qbx::test::DropDatabase(db_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }

  // Every command as a process of its own, all started before any is waited
  // for; each gets its own folder for its standard streams.
  std::vector<Spawned> RunAtOnce(const std::vector<std::vector<std::string>>& commands) {
    std::vector<qbx::cli::test::Started> started;
    for (std::vector<std::string> args : commands) {
      const fs::path folder = dir_ / ("run" + std::to_string(runs_++));
      fs::create_directory(folder);
      args.insert(args.end(), {"--db", db_});
      started.push_back(qbx::cli::test::StartTool(folder, QUELBARIX_TOOL, args));
    }
    std::vector<Spawned> done;
    for (const auto& s : started) {
      done.push_back(qbx::cli::test::WaitTool(s, kKillAfter));
      EXPECT_NE(done.back().status, 128 + SIGKILL)
          << "killed after " << kKillAfter << " s: " << s.dir;
    }
    return done;
  }

  // On hand per product, summed over every warehouse (to six decimals, as
  // kept); checks that no figure is below zero.
  std::map<std::string, long long> Totals() {
    suite::Database db(db_, false);
    std::map<std::string, long long> totals;
    for (const suite::StockFigures& f : suite::ReadStock(db)) {
      EXPECT_GE(f.on_hand, 0) << f.product << " at " << f.branch << "/" << f.warehouse;
      totals[f.product] += std::llround(f.on_hand * 1e6);
    }
    return totals;
  }

  fs::path dir_;
  std::string db_;
  int runs_ = 0;
};

// Two and four captures at once, whole-command units and statement by
// statement: each gets a folio of its own and keeps all its lines.
TEST_F(Concurrency, CapturesAtOnceGetDistinctFoliosAndKeepEveryLine) {
  struct Crowd {
    std::vector<std::string> kinds;
    bool per_statement;
  };
  const Crowd crowds[] = {{{"EN", "EN"}, false},
                          {{"SL", "SL"}, false},
                          {{"EN", "SL", "EN", "SL"}, false},
                          {{"SL", "SL", "SL", "SL"}, true},
                          {{"EN", "EN", "SL", "SL"}, true}};
  const std::map<std::string, std::pair<std::string, size_t>> documents = {
      {"EN", {Write("en.json", Shipment(kShipmentLines)), kShipmentLines.size()}},
      {"SL", {Write("sl.json", kRequest), 2}}};
  std::set<std::string> folios;
  for (const Crowd& crowd : crowds) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(testing::Message() << crowd.kinds.size() << " processes, per statement "
                                      << crowd.per_statement << ", round " << round);
      std::vector<std::vector<std::string>> commands;
      for (const std::string& kind : crowd.kinds) {
        commands.push_back({"capture", documents.at(kind).first});
        if (crowd.per_statement) commands.back().push_back("--per-statement");
      }
      const std::vector<Spawned> outcomes = RunAtOnce(commands);
      suite::Database db(db_, false);
      for (size_t i = 0; i < outcomes.size(); ++i) {
        const std::string& kind = crowd.kinds[i];
        ASSERT_EQ(outcomes[i].status, 0) << kind << ": " << outcomes[i].err;
        const std::string folio = FirstLine(outcomes[i].out);
        EXPECT_TRUE(folios.insert(folio).second) << folio << " handed out twice";
        const suite::RowSet rows = suite::TransferRows(db, folio);
        EXPECT_EQ(rows.rows.size(), documents.at(kind).second) << folio;
        for (size_t r = 0; r < rows.rows.size(); ++r)
          EXPECT_EQ(rows.At(r, "Tr_Tipo").ToStringOrEmpty(), kind) << folio;
        EXPECT_TRUE(suite::FinalisedAt(db, folio).has_value()) << folio;
      }
    }
  }
}

// Two shipments of a warehouse's whole stock at once: one ships it, the
// other is refused, and no unit is lost or made up. Statement by statement
// both may add their line; finalising checks the stock again.
TEST_F(Concurrency, OnlyOneOfTwoShipmentsGetsTheLastUnits) {
  // Statement by statement one process mostly waits out the other's whole
  // capture: lines after the contested one and more rounds make an overlap
  // likely.
  {
    suite::Database db(db_, false);
    suite::AddCatalogueProducts(db,
                                {{"RELLENO", "Relleno", "115-03-001", "CEDIS", "GRL", 1000, 1}});
  }
  int n = 0;
  for (const auto& [per_statement, rounds] : {std::pair{false, 2}, std::pair{true, 8}}) {
    for (int round = 0; round < rounds; ++round) {
      SCOPED_TRACE(testing::Message() << "per statement " << per_statement << ", round " << round);
      const std::string product = "ULTIMAS-" + std::to_string(n++);
      double on_hand = -1;
      {
        suite::Database db(db_, false);
        suite::AddCatalogueProducts(
            db, {{product, "Últimas piezas", "115-03-001", "CEDIS", "GRL", 5, 2.5}});
        for (const suite::StockFigures& f : suite::ReadStock(db))
          if (f.product == product && f.branch == "CEDIS" && f.warehouse == "GRL")
            on_hand = f.on_hand;
      }
      ASSERT_GT(on_hand, 0);
      const std::map<std::string, long long> before = Totals();
      std::vector<Line> lines = {{product, on_hand, "PZA"}};
      lines.resize(9, {"RELLENO", 1, "PZA"});
      std::vector<std::string> args = {"capture", Write(product + ".json", Shipment(lines))};
      if (per_statement) args.push_back("--per-statement");
      const std::vector<Spawned> outcomes = RunAtOnce({args, args});
      int shipped = 0;
      for (const Spawned& o : outcomes) {
        if (o.status == 0) {
          ++shipped;
          continue;
        }
        EXPECT_EQ(o.status, 1) << o.err;
        EXPECT_NE(o.err.find("Existencia insuficiente del producto: " + product), std::string::npos)
            << o.err;
      }
      EXPECT_EQ(shipped, 1);
      EXPECT_EQ(Totals(), before);
    }
  }
}

// A capture and the cancellation of an earlier shipment at once, over and
// over: both finish, both succeed, and the cancelled one moves nothing.
TEST_F(Concurrency, CaptureAndCancelAtOnceBothFinish) {
  const std::string document = Write("en.json", Shipment(kShipmentLines));
  const std::map<std::string, long long> before = Totals();
  std::vector<Spawned> first = RunAtOnce({{"capture", document}});
  ASSERT_EQ(first[0].status, 0) << first[0].err;
  std::string previous = FirstLine(first[0].out);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    // Either may start first.
    const bool capture_first = round % 2 == 0;
    const std::vector<std::string> capture = {"capture", document}, cancel = {"cancel", previous};
    const std::vector<Spawned> outcomes =
        capture_first ? RunAtOnce({capture, cancel}) : RunAtOnce({cancel, capture});
    const Spawned& captured = outcomes[capture_first ? 0 : 1];
    const Spawned& cancelled = outcomes[capture_first ? 1 : 0];
    ASSERT_EQ(captured.status, 0) << captured.err;
    ASSERT_EQ(cancelled.status, 0) << cancelled.err;
    suite::Database db(db_, false);
    const suite::RowSet rows = suite::TransferRows(db, previous);
    ASSERT_EQ(rows.rows.size(), kShipmentLines.size());
    for (size_t r = 0; r < rows.rows.size(); ++r)
      EXPECT_EQ(rows.At(r, "Es_Cve_Estado").ToStringOrEmpty(), "CA");
    EXPECT_EQ(suite::MovementsOf(db, previous).live, 0);
    previous = FirstLine(captured.out);
    EXPECT_EQ(suite::TransferRowCount(db, previous), static_cast<int64_t>(kShipmentLines.size()));
  }
  EXPECT_EQ(Totals(), before);
}

}  // namespace
