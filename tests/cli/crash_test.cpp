// The built tool killed with SIGKILL part way through a 2,000-line shipment
// and through its cancel: afterwards the database is sound, holds all of the
// document or none of it, total stock is unchanged, and a rerun with the same
// key stores it exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/cli/database_texts.h"
#include "tests/cli/fault_provider.h"

namespace qbx::cli::test {
namespace {

// The sanitizer build kills at fewer points.
constexpr int kTimedKills = QUELBARIX_SANITIZED ? 4 : 20, kSpreadCallKills = kTimedKills / 3;
constexpr int kLines = 2000, kProducts = 20;
// On hand over every warehouse, transit included.
constexpr const char* kOnHand = "SELECT SUM(Ex_Cantidad_1) FROM Existencia";

class Crash : public DatabaseTest {
 protected:
  // Plain products with stock at the distribution centre; a line repeats a
  // product every kProducts lines.
  void SetUp() override {
    DatabaseTest::SetUp();
    Sample({kTransit, kAccounting});
    suite::Database db(db_, false);
    for (int i = 1; i <= kProducts; ++i) {
      suite::AddCatalogueProducts(
          db, {{"CR-" + std::to_string(100 + i), "Pieza de prueba", "115-09-" + std::to_string(i),
                "CEDIS", "GRL", 1000, 1.0 + i / 4.0}});
    }
  }

  std::string Document(const std::string& key) {
    std::string doc = R"({"Clave": ")" + key + R"(", "Encabezado": {"Tr_Tipo": "EN",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
      "Detalles": [)";
    for (int i = 0; i < kLines; ++i) {
      doc += std::string(i ? "," : "") + R"({"Producto": {"Pr_Cve_Producto": "CR-)" +
             std::to_string(101 + i % kProducts) + R"("}, "Tr_Cantidad_1": )" +
             std::to_string(1 + i % 3) + R"(, "Tr_Unidad_1": "PZA"})";
    }
    return Write(key + ".json", doc + "]}");
  }

  // Runs the tool on db; kills it after `kill_after` seconds when it still
  // runs, or (the fault tool) right before its outside call kill_at.
  Spawned Spawn(std::vector<std::string> args, const std::string& db, double kill_after = -1,
                int64_t kill_at = 0) {
    args.insert(args.end(), {"--db", db});
    Spawned o = SpawnTool(dir_, kill_at ? QUELBARIX_FAULT_TOOL : QUELBARIX_TOOL, std::move(args),
                          "", kill_after, {"QUELBARIX_KILL_AT_CALL=" + std::to_string(kill_at)});
    if (o.status != 0 && o.status != 128 + SIGKILL) ADD_FAILURE() << o.err;
    return o;
  }

  // Kill points (seconds, else outside call): spread over the faster of two
  // clean runs (the first is often slowed by a cold cache, and kills timed
  // after a run's end land on nothing); a few spread over its outside calls
  // (counted in process); every call naming `from`, and the call after it.
  std::vector<std::pair<double, int64_t>> Points(std::vector<std::string> args,
                                                 const std::string& from) {
    double seconds = 1e9;
    for (const char* copy : {"clean.db", "clean2.db"}) {
      const std::string db = Copy(copy);
      seconds = std::min(seconds, Spawn(args, db).seconds);
      after_ = MaskTimes(Text(db));
    }
    args.insert(args.end(), {"--db", Copy("count.db")});
    const Outcome o = RunTool(args);
    EXPECT_EQ(o.status, 0) << o.err;
    const int64_t calls = std::ssize(o.log);
    std::vector<std::pair<double, int64_t>> points;
    for (int i = 1; i <= kTimedKills; ++i) points.push_back({seconds * i / (kTimedKills + 1), 0});
    for (int i = 1; i <= kSpreadCallKills; ++i)
      points.push_back({-1, calls * i / (kSpreadCallKills + 1)});
    for (int64_t n = 1; n < calls; ++n)
      if (o.log[n - 1].find(from) != std::string::npos)
        points.insert(points.end(), {{-1, n}, {-1, n + 1}});
    EXPECT_GT(points.size(), static_cast<size_t>(kTimedKills + kSpreadCallKills)) << "no " << from;
    return points;
  }

  // After a kill: sound, stock conserved, all or nothing (the retry key
  // included: every table is compared); then the rerun with the key stores
  // it once (the clean run's database, times aside). Answers whether the
  // killed run had stored the request.
  bool Verify(const std::string& path, const std::vector<std::string>& args) {
    suite::Database db(path, false);
    EXPECT_EQ(db.QueryValue("PRAGMA integrity_check").ToStringOrEmpty(), "ok");
    EXPECT_EQ(db.QueryValue(kOnHand).Describe(), on_hand_);
    const bool done = db.QueryValue(done_sql_).ToLong() != 0;
    const std::string text = suite::test::DatabaseText(db);
    EXPECT_EQ(done ? MaskTimes(text) : text, done ? after_ : before_);
    EXPECT_EQ(Spawn(args, path).status, 0);
    EXPECT_EQ(MaskTimes(Text(path)), after_);
    return done;
  }

  void KillAndCheck(const std::vector<std::string>& args, const std::string& finishing_call) {
    before_ = Text(db_);
    on_hand_ = suite::Database(db_, false).QueryValue(kOnHand).Describe();
    const auto points = Points(args, finishing_call);
    int timed_kills = 0, stored = 0;
    for (const auto& [seconds, call] : points) {
      if (HasFailure()) return;
      SCOPED_TRACE("killed after " + std::to_string(seconds) + " s or at call " +
                   std::to_string(call));
      const std::string db = Copy("killed.db");
      const int status = Spawn(args, db, seconds, call).status;
      EXPECT_TRUE(!call || status == 128 + SIGKILL) << status;
      timed_kills += !call && status == 128 + SIGKILL;
      stored += Verify(db, args);
    }
    // Some timed kills must land mid-run; a loaded machine speeds runs up
    // and down, so not most of them (the call points are exact).
    EXPECT_GE(timed_kills, kTimedKills / 4);
    EXPECT_LT(stored, std::ssize(points) / 2);  // most kills land before the commit
  }

  std::string done_sql_, before_, after_, on_hand_;
};

// Killed between finalising the issue movement and the receipt's, stock
// used to vanish into neither warehouse; the finalising calls are all kill
// points.
TEST_F(Crash, CaptureOf2000Lines) {
  done_sql_ =
      "SELECT COUNT(*) FROM Transferencia t JOIN Documento_Procesado d ON "
      "d.Dp_Entidad = 'TRANSFERENCIA' AND d.Dp_Folio = t.Tr_Folio AND d.Dp_ID = '' "
      "WHERE t.Tr_Tipo = 'EN'";
  KillAndCheck({"capture", Document("envio-grande")}, "Finalizar_Movimiento");
}

// Killed part way, a cancel used to leave some lines' stock returned and a
// rerun returned it again.
TEST_F(Crash, CancelOf2000Lines) {
  const Spawned shipped = Spawn({"capture", Document("envio")}, db_);
  ASSERT_EQ(shipped.status, 0);
  done_sql_ = "SELECT COUNT(*) FROM Transferencia WHERE Es_Cve_Estado = 'CA'";
  KillAndCheck({"cancel", FirstLine(shipped.out), "--key", "anula-grande"},
               "Cancelar_Movimientos_Documento");
}

}  // namespace
}  // namespace qbx::cli::test
