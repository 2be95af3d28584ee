// The benchmark's floor: how a recorded text becomes a prepared shape and its
// values, and a replay that stores what the recorded texts store.
#include "bench/floor.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "suite/connection.h"

namespace qbx::bench {
namespace {

using Values = std::vector<Shaped::Value>;

TEST(ShapeOf, LiteralsBecomeParametersWithTheirValues) {
  const Shaped s = ShapeOf("INSERT INTO t (a, b, c, d) VALUES ('O''Brien', 42, -2.50, '')");
  EXPECT_EQ(s.shape, "INSERT INTO t (a, b, c, d) VALUES (?1, ?2, -CAST(?3 AS REAL), ?4)");
  EXPECT_EQ(s.values, (Values{"O'Brien", int64_t{42}, "2.50", ""}));
  const Shaped e = ShapeOf("UPDATE t SET x = 1.5e-3 WHERE k = 'a' AND n <> 7");
  EXPECT_EQ(e.shape, "UPDATE t SET x = CAST(?1 AS REAL) WHERE k = ?2 AND n <> ?3");
  EXPECT_EQ(e.values, (Values{"1.5e-3", "a", int64_t{7}}));
  // Texts that differ only in their literals share one shape.
  EXPECT_EQ(ShapeOf("SELECT a FROM t WHERE k = 'BX-00001' LIMIT 1").shape,
            ShapeOf("SELECT a FROM t WHERE k = 'BX-00002' LIMIT 1").shape);
}

TEST(ShapeOf, NamesPositionsAndBlobsStayInTheShape) {
  const std::pair<std::string, std::string> shaped[] = {
      {"SAVEPOINT q12", "SAVEPOINT q12"},
      {"RELEASE q2", "RELEASE q2"},
      {R"(SELECT "a'1", [b 2], `c3` FROM t9 WHERE "x" = 3)",
       R"(SELECT "a'1", [b 2], `c3` FROM t9 WHERE "x" = ?1)"},
      {"SELECT a, b FROM t WHERE c = 4 ORDER BY 2, a DESC, 1 LIMIT 5",
       "SELECT a, b FROM t WHERE c = ?1 ORDER BY 2, a DESC, 1 LIMIT ?2"},
      {"SELECT a, COUNT(*) FROM t GROUP BY 1 HAVING COUNT(*) > 3",
       "SELECT a, COUNT(*) FROM t GROUP BY 1 HAVING COUNT(*) > ?1"},
      {"SELECT X'00ff', 12345678901234567890, 0x1F, t.5x FROM t",
       "SELECT X'00ff', 12345678901234567890, 0x1F, t.5x FROM t"},
  };
  for (const auto& [text, shape] : shaped) EXPECT_EQ(ShapeOf(text).shape, shape) << text;
}

class ReplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quelbarix-floor-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static void Exec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  std::string dir_;
};

// The replay runs the recorded texts in their order and transactions, each
// shape prepared once, and stores exactly what running the texts stores.
TEST_F(ReplayTest, PreparesEachShapeOnceAndStoresWhatTheTextsStore) {
  Exec(Path("start.db"),
       "CREATE TABLE Transferencia (Tr_Folio TEXT, Tr_ID TEXT, Tr_Cantidad REAL, Tr_Nota TEXT);"
       "CREATE TABLE Traslado (Tr_Folio TEXT); CREATE TABLE Pedido (Pd_Folio TEXT);");
  const std::vector<std::pair<suite::Origin, std::string>> texts = {
      {suite::Origin::Suite, "BEGIN IMMEDIATE"},
      {suite::Origin::Component,
       "INSERT INTO Transferencia VALUES ('F-1', '0001', 2.5, 'it''s')"},
      {suite::Origin::Component, "INSERT INTO Transferencia VALUES ('F-1', '0002', 0.1, 'b')"},
      {suite::Origin::Suite, "SAVEPOINT q2"},
      {suite::Origin::Component, "UPDATE Transferencia SET Tr_Cantidad = -1.25 WHERE Tr_ID = '0002'"},
      {suite::Origin::Suite, "RELEASE q2"},
      {suite::Origin::Component, "SELECT TOP 1 Tr_ID FROM Transferencia ORDER BY 1"},
      {suite::Origin::Suite, "COMMIT"},
  };
  {
    StatementRecorder recorder(Path("texts.sql"));
    suite::TraceSink sink = recorder.Sink();
    for (const auto& [origin, text] : texts) sink(origin, text);
    recorder.Close();
  }
  CopyDatabase(Path("start.db"), Path("replayed.db"));
  CopyDatabase(Path("start.db"), Path("texts.db"));
  std::string all;
  for (const auto& [origin, text] : texts)
    all += (origin == suite::Origin::Component ? suite::RewriteTop(text) : text) + ";";
  Exec(Path("texts.db"), all);

  const ReplayResult r = Replay(Path("texts.sql"), Path("replayed.db"), 2);
  EXPECT_EQ(r.failed, 0) << r.first_error;
  EXPECT_EQ(r.statements, static_cast<int64_t>(texts.size()));
  EXPECT_EQ(r.shapes, static_cast<int64_t>(texts.size()) - 1);  // the inserts share one
  EXPECT_EQ(r.unshaped, 0);
  EXPECT_EQ(ComponentRowsDigest(Path("replayed.db")), ComponentRowsDigest(Path("texts.db")));
  EXPECT_NE(ComponentRowsDigest(Path("replayed.db")), ComponentRowsDigest(Path("start.db")));
}

}  // namespace
}  // namespace qbx::bench
