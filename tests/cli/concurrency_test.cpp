// Several tool processes on one database at once: writers take turns, so
// folios stay distinct, every line is stored, stock never goes below zero
// and no pair of commands waits on the other for ever.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "suite/reports.h"
#include "tests/cli/database_texts.h"

namespace qbx::cli::test {
namespace {

// Far beyond any fair wait behind other writers (each waits at most the busy
// timeout): a child still running then is stuck.
constexpr double kKillAfter = 60;

struct Line {
  std::string product;
  double quantity;
  std::string unit = "PZA";
};

// A document from `from` to `to`.
std::string Document(const std::vector<Line>& lines, const char* type = "EN",
                     const char* from = "CEDIS", const char* to = "NORTE") {
  std::string details;
  for (const Line& l : lines) {
    details += std::string(details.empty() ? "" : ",") + R"({"Producto": {"Pr_Cve_Producto": ")" +
               l.product + R"("}, "Tr_Cantidad_1": )" + std::to_string(l.quantity) +
               R"(, "Tr_Unidad_1": ")" + l.unit + "\"}";
  }
  return R"({"Encabezado": {"Tr_Tipo": ")" + std::string(type) + R"(",
      "Sucursal": {"Sc_Cve_Sucursal": ")" + from + R"("}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": ")" + to + R"("},
      "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}}, "Detalles": [)" + details + "]}";
}

// Three lines, one product twice; the sample stock covers many of them.
const std::vector<Line> kShipmentLines = {{"TORN-001", 3}, {"KIT-01", 1, "PAQ"}, {"TORN-001", 4}};

class Concurrency : public DatabaseTest {
 protected:
  // Shipped goods wait in the receiver's transit warehouse, so every unit
  // stays counted somewhere.
  void SetUp() override {
    DatabaseTest::SetUp();
    if (!IsSkipped()) Sample({kTransit});
  }

  // Every command as a process of its own, all started before any is waited
  // for, each with its own folder for its standard streams.
  std::vector<Spawned> RunAtOnce(const std::vector<std::vector<std::string>>& commands) {
    std::vector<Started> started;
    for (std::vector<std::string> args : commands) {
      const std::filesystem::path folder = dir_ / ("run" + std::to_string(runs_++));
      std::filesystem::create_directory(folder);
      args.insert(args.end(), {"--db", db_});
      started.push_back(StartTool(folder, QUELBARIX_TOOL, args));
    }
    std::vector<Spawned> done;
    for (const auto& s : started) {
      done.push_back(WaitTool(s, kKillAfter));
      EXPECT_NE(done.back().status, 128 + SIGKILL) << "killed after " << kKillAfter << " s";
    }
    return done;
  }

  // On hand per product over every warehouse (to six decimals, as kept);
  // checks that no figure is below zero.
  std::map<std::string, long long> Totals() {
    suite::Database db(db_, false);
    std::map<std::string, long long> totals;
    for (const suite::StockFigures& f : suite::ReadStock(db)) {
      EXPECT_GE(f.on_hand, 0) << f.product << " at " << f.branch << "/" << f.warehouse;
      totals[f.product] += std::llround(f.on_hand * 1e6);
    }
    return totals;
  }

  int runs_ = 0;
};

// Two and four captures at once, whole-command units and statement by
// statement: each gets a folio of its own and keeps all its lines.
TEST_F(Concurrency, CapturesAtOnceGetDistinctFoliosAndKeepEveryLine) {
  const std::pair<std::string, bool> crowds[] = {
      {"EN EN", false}, {"SL SL", false}, {"EN SL EN SL", false}, {"SL SL SL SL", true},
      {"EN EN SL SL", true}};
  const std::map<std::string, std::pair<std::string, size_t>> documents = {
      {"EN", {Write("en.json", Document(kShipmentLines)), 3}},
      {"SL", {Write("sl.json", Document({{"TORN-001", 24}, {"KIT-01", 3, "PAQ"}}, "SL", "NORTE", "CEDIS")),
              2}}};
  std::set<std::string> folios;
  for (const auto& [crowd, per_statement] : crowds) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(testing::Message() << crowd << ", per statement " << per_statement
                                      << ", round " << round);
      std::vector<std::string> kinds;
      std::vector<std::vector<std::string>> commands;
      for (size_t at = 0; at < crowd.size(); at += 3) {
        kinds.push_back(crowd.substr(at, 2));
        commands.push_back({"capture", documents.at(kinds.back()).first});
        if (per_statement) commands.back().push_back("--per-statement");
      }
      const std::vector<Spawned> outcomes = RunAtOnce(commands);
      suite::Database db(db_, false);
      for (size_t i = 0; i < outcomes.size(); ++i) {
        ASSERT_EQ(outcomes[i].status, 0) << kinds[i] << ": " << outcomes[i].err;
        const std::string folio = FirstLine(outcomes[i].out);
        EXPECT_TRUE(folios.insert(folio).second) << folio << " handed out twice";
        const suite::RowSet rows = suite::TransferRows(db, folio);
        EXPECT_EQ(rows.rows.size(), documents.at(kinds[i]).second) << folio;
        for (size_t r = 0; r < rows.rows.size(); ++r)
          EXPECT_EQ(rows.At(r, "Tr_Tipo").ToStringOrEmpty(), kinds[i]) << folio;
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
    suite::AddCatalogueProducts(db, {{"RELLENO", "Relleno", "115-03-001", "CEDIS", "GRL", 1000, 1}});
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
      std::vector<Line> lines = {{product, on_hand}};
      lines.resize(9, {"RELLENO", 1, "PZA"});
      std::vector<std::string> args = {"capture", Write(product + ".json", Document(lines))};
      if (per_statement) args.push_back("--per-statement");
      int shipped = 0;
      for (const Spawned& o : RunAtOnce({args, args})) {
        shipped += o.status == 0 ? 1 : 0;
        if (o.status == 0) continue;
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
// over, either started first: both succeed, and the cancelled one moves
// nothing.
TEST_F(Concurrency, CaptureAndCancelAtOnceBothFinish) {
  const std::string document = Write("en.json", Document(kShipmentLines));
  const std::map<std::string, long long> before = Totals();
  const std::vector<Spawned> first = RunAtOnce({{"capture", document}});
  ASSERT_EQ(first[0].status, 0) << first[0].err;
  std::string previous = FirstLine(first[0].out);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const size_t capture = round % 2;
    std::vector<std::vector<std::string>> commands = {{"cancel", previous}};
    commands.insert(commands.begin() + capture, {"capture", document});
    const std::vector<Spawned> outcomes = RunAtOnce(commands);
    for (const Spawned& o : outcomes) ASSERT_EQ(o.status, 0) << o.err;
    suite::Database db(db_, false);
    const suite::RowSet rows = suite::TransferRows(db, previous);
    ASSERT_EQ(rows.rows.size(), kShipmentLines.size());
    for (size_t r = 0; r < rows.rows.size(); ++r)
      EXPECT_EQ(rows.At(r, "Es_Cve_Estado").ToStringOrEmpty(), "CA");
    EXPECT_EQ(suite::MovementsOf(db, previous).live, 0);
    previous = FirstLine(outcomes[capture].out);
    EXPECT_EQ(suite::TransferRowCount(db, previous), static_cast<int64_t>(kShipmentLines.size()));
  }
  EXPECT_EQ(Totals(), before);
}

}  // namespace
}  // namespace qbx::cli::test
