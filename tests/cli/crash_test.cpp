// The built tool killed with SIGKILL part way through a 2,000-line shipment
// and through its cancel: afterwards the database is sound, holds all of the
// document or none of it, total stock is unchanged, and a rerun with the same
// key stores it exactly once.
#include <algorithm>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "suite/database.h"
#include "suite/reports.h"
#include "suite/retry_keys.h"
#include "suite/sample.h"
#include "tests/cli/database_texts.h"
#include "tests/cli/spawn.h"

namespace qbx::cli::test {
namespace {

namespace fs = std::filesystem;

#ifdef QUELBARIX_SANITIZED_BUILD
constexpr int kTimedKills = 4;
constexpr int kSpreadCallKills = 2;
#else
constexpr int kTimedKills = 20;
constexpr int kSpreadCallKills = 6;
#endif
constexpr int kLines = 2000;
constexpr int kProducts = 20;

using Outcome = Spawned;

class Crash : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quelbarix-crash-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    base_ = (dir_ / "base.db").string();
    suite::CreateDatabase(base_, true);
    suite::Database db(base_, false);
    for (const char* name : {"MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", "CON_CONTABILIZAR_TRANSFERENCIAS"})
      suite::SetParameter(db, name, "1");
    // Plain products with stock at the distribution centre; a line repeats
    // a product every kProducts lines.
    std::vector<suite::CatalogueProduct> products;
    for (int i = 1; i <= kProducts; ++i) {
      products.push_back({Product(i), "Pieza de prueba", "115-09-" + std::to_string(i), "CEDIS",
                          "GRL", 1000, 1.0 + i / 4.0});
    }
    suite::AddCatalogueProducts(db, products);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static std::string Product(int i) {
    char code[16];
    std::snprintf(code, sizeof code, "CR-%03d", i);
    return code;
  }

  std::string Document(const std::string& key) {
    std::string doc = R"({"Clave": ")" + key + R"(", "Encabezado": {"Tr_Tipo": "EN",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
      "Detalles": [)";
    for (int i = 0; i < kLines; ++i) {
      doc += std::string(i ? "," : "") + R"({"Producto": {"Pr_Cve_Producto": ")" +
             Product(i % kProducts + 1) + R"("}, "Tr_Cantidad_1": )" + std::to_string(1 + i % 3) +
             R"(, "Tr_Unidad_1": "PZA"})";
    }
    const std::string path = (dir_ / (key + ".json")).string();
    std::ofstream(path, std::ios::binary) << doc << "]}";
    return path;
  }

  // Runs a tool; kills it after `kill_after` seconds when it still runs.
  Outcome Spawn(const char* tool, std::vector<std::string> args, double kill_after = -1,
                const std::vector<std::string>& env = {}) {
    Outcome o = SpawnTool(dir_, tool, std::move(args), "", kill_after, env);
    if (o.status != 0 && o.status != 128 + SIGKILL) ADD_FAILURE() << o.err;
    return o;
  }

  std::string Copy(const std::string& name) {
    const std::string to = (dir_ / name).string();
    fs::copy_file(base_, to, fs::copy_options::overwrite_existing);
    return to;
  }

  // Kill points by outside call: a few spread over the run, and every call
  // from the first `from` on (with the call after each), capped.
  std::vector<int64_t> CallPoints(const std::vector<std::string>& args, const std::string& from) {
    const std::string db = Copy("count.db");
    const std::string log = (dir_ / "calls").string();
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--db", db});
    EXPECT_EQ(Spawn(QUELBARIX_FAULT_TOOL, a, -1, {"QUELBARIX_CALL_LOG=" + log}).status, 0);
    std::vector<std::string> calls;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    std::vector<int64_t> points;
    const auto count = static_cast<int64_t>(calls.size());
    for (int i = 1; i <= kSpreadCallKills; ++i) points.push_back(count * i / (kSpreadCallKills + 1));
    for (int64_t n = 1; n <= count; ++n) {
      if (calls[n - 1].find(from) == std::string::npos) continue;
      points.push_back(n);
      if (n < count) points.push_back(n + 1);
    }
    EXPECT_GT(points.size(), static_cast<size_t>(kSpreadCallKills)) << "no call " << from;
    return points;
  }

  static std::string Value(suite::Database& db, const std::string& sql) {
    return db.QueryValue(sql).Describe();
  }

  // After a kill: sound, all or nothing, stock conserved; then the rerun
  // with the key stores it once (the clean run's database, times aside).
  // Answers whether the killed run had stored the request.
  bool Verify(const std::string& db_path, const std::vector<std::string>& args,
              const std::string& key, const std::string& done_sql, const std::string& before,
              const std::string& after, const std::string& on_hand) {
    bool stored = false;
    {
      suite::Database db(db_path, false);
      EXPECT_EQ(db.QueryValue("PRAGMA integrity_check").ToStringOrEmpty(), "ok");
      EXPECT_EQ(Value(db, kOnHand), on_hand);
      const int64_t done = db.QueryValue(done_sql).ToLong();
      stored = done != 0;
      const auto recorded = suite::FindRetryKey(db, key);
      if (done == 0) {
        EXPECT_FALSE(recorded);
        EXPECT_EQ(suite::test::DatabaseText(db), before);
      } else {
        EXPECT_EQ(done, kLines);
        EXPECT_TRUE(recorded);
        EXPECT_EQ(MaskTimes(suite::test::DatabaseText(db)), after);
      }
    }
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--db", db_path});
    EXPECT_EQ(Spawn(QUELBARIX_TOOL, a).status, 0);
    EXPECT_EQ(MaskTimes(Text(db_path)), after);
    return stored;
  }

  // The request killed at spread moments and at outside calls.
  void KillAndCheck(const std::vector<std::string>& args, const std::string& key,
                    const std::string& done_sql, const std::string& finishing_call) {
    const std::string before = Text(base_);
    std::string on_hand;
    {
      suite::Database db(base_, false);
      on_hand = Value(db, kOnHand);
    }
    const std::string clean = Copy("clean.db");
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--db", clean});
    const Outcome full = Spawn(QUELBARIX_TOOL, a);
    ASSERT_EQ(full.status, 0);
    const std::string after = MaskTimes(Text(clean));
    // The kill times spread over the faster of two clean runs: the first is
    // often slowed by a cold cache or a busy machine, and kills timed after
    // a run's end land on nothing.
    {
      std::vector<std::string> again = args;
      again.insert(again.end(), {"--db", Copy("clean2.db")});
      const Outcome second = Spawn(QUELBARIX_TOOL, again);
      ASSERT_EQ(second.status, 0);
      full_seconds_ = std::min(full.seconds, second.seconds);
    }

    int killed = 0, stored = 0, points = 0;
    for (int i = 1; i <= kTimedKills; ++i) {
      const double at = full_seconds_ * i / (kTimedKills + 1);
      SCOPED_TRACE("killed after " + std::to_string(at) + " s");
      const std::string db = Copy("killed.db");
      a = args;
      a.insert(a.end(), {"--db", db});
      killed += Spawn(QUELBARIX_TOOL, a, at).status == 128 + SIGKILL ? 1 : 0;
      stored += Verify(db, args, key, done_sql, before, after, on_hand) ? 1 : 0;
      ++points;
      if (HasFailure()) return;
    }
    EXPECT_GT(killed, kTimedKills / 2);
    for (int64_t n : CallPoints(args, finishing_call)) {
      SCOPED_TRACE("killed at outside call " + std::to_string(n));
      const std::string db = Copy("killed.db");
      a = args;
      a.insert(a.end(), {"--db", db});
      EXPECT_EQ(Spawn(QUELBARIX_FAULT_TOOL, a, -1, {"QUELBARIX_KILL_AT_CALL=" + std::to_string(n)})
                    .status,
                128 + SIGKILL);
      stored += Verify(db, args, key, done_sql, before, after, on_hand) ? 1 : 0;
      ++points;
      if (HasFailure()) return;
    }
    // Most kills land before the commit: the work was under way.
    EXPECT_LT(stored, points / 2);
    std::cout << points << " kills (" << killed << " of " << kTimedKills
              << " by time), the request stored at " << stored << " of them\n";
  }

  // On hand over every warehouse, transit included.
  static constexpr const char* kOnHand = "SELECT SUM(Ex_Cantidad_1) FROM Existencia";

  fs::path dir_;
  std::string base_;
  double full_seconds_ = 0;
};

// Killed between finalising the issue movement and the receipt's, stock
// used to vanish into neither warehouse; the finalising calls are all kill
// points.
TEST_F(Crash, CaptureOf2000Lines) {
  KillAndCheck({"capture", Document("envio-grande")}, "envio-grande",
               "SELECT COUNT(*) FROM Transferencia t JOIN Documento_Procesado d ON "
               "d.Dp_Entidad = 'TRANSFERENCIA' AND d.Dp_Folio = t.Tr_Folio AND d.Dp_ID = '' "
               "WHERE t.Tr_Tipo = 'EN'",
               "Finalizar_Movimiento");
}

// Killed part way, a cancel used to leave some lines' stock returned and a
// rerun returned it again.
TEST_F(Crash, CancelOf2000Lines) {
  const Outcome shipped = Spawn(QUELBARIX_TOOL, {"capture", Document("envio"), "--db", base_});
  ASSERT_EQ(shipped.status, 0);
  const std::string folio = shipped.out.substr(0, shipped.out.find('\n'));
  KillAndCheck({"cancel", folio, "--key", "anula-grande"}, "anula-grande",
               "SELECT COUNT(*) FROM Transferencia WHERE Es_Cve_Estado = 'CA'",
               "Cancelar_Movimientos_Documento");
}

}  // namespace
}  // namespace qbx::cli::test
