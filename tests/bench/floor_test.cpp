// The benchmark's floors: what a recorded text is sent as (SQLite's ?n, the
// server's $n), what a replay counts (bench_smoke checks what it stores); on a
// server, also a plan check that catches a lost index.
#include "bench/floor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "bench/floor_server.h"
#include "suite/database.h"
#include "tests/component/support.h"
#include "tests/test_database.h"

namespace qbx::bench::server {
namespace {

using Texts = std::vector<std::pair<char, std::string>>;

// A shape and its values as "shape | 'text' 42".
std::string Shown(const std::string& shape, const std::vector<Shaped::Value>& values) {
  std::string out = shape + (values.empty() ? "" : " |");
  for (const auto& v : values)
    out += std::holds_alternative<int64_t>(v) ? " " + std::to_string(std::get<int64_t>(v))
                                              : " '" + std::get<std::string>(v) + "'";
  return out;
}

// The texts recorded as the benchmark records them; the recording's path.
std::string Record(const test::TempFolder& dir, const Texts& texts) {
  StatementRecorder recorder(dir.Path("texts.sql"));
  suite::TraceSink sink = recorder.Sink();
  for (const auto& [origin, text] : texts)
    sink(origin == 'C' ? suite::Origin::Component : suite::Origin::Suite, text);
  recorder.Close();
  return dir.Path("texts.sql");
}

// Transaction texts run as they are (BEGIN takes the writers' lock too);
// literals become $n parameters, a sign that begins a value going into it;
// the component's texts (origin C) get the connection's rewrites, the
// suite's (S) do not. Kinds: T(ransaction), P(repared shape), X (as text).
TEST(ToSend, KindTextAndValues) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"S BEGIN", "T BEGIN; SELECT pg_advisory_xact_lock(1363299416)"},
      {"S ROLLBACK TO q3", "T ROLLBACK TO q3"},
      {"S SELECT 1 FROM Releases", "P SELECT $1 FROM Releases | 1"},
      {"C SELECT TOP 1 Tr_ID FROM Transferencia WHERE Tr_Folio = 'O''F'",
       "P SELECT Tr_ID FROM Transferencia WHERE Tr_Folio = $1 LIMIT $2 | 'O'F' 1"},
      {"S SELECT TOP 1 a FROM t", "P SELECT TOP $1 a FROM t | 1"},
      {"S INSERT INTO t (a, b, c) SELECT 'x', -2, -2.5 FROM u WHERE n = -7",
       "P INSERT INTO t (a, b, c) SELECT $1, $2, CAST($3 AS double precision) FROM u WHERE n = $4"
       " | 'x' -2 '-2.5' -7"},
      {"S UPDATE t SET a = a - 2 WHERE b = 1", "P UPDATE t SET a = a - $1 WHERE b = $2 | 2 1"},
      {"S DELETE FROM t WHERE a = 1; DELETE FROM u", "X DELETE FROM t WHERE a = 1; DELETE FROM u"}};
  // clang-format on
  for (const auto& [text, shown] : cases) {
    const Sent s = ToSend(text[0], text.substr(2));
    const char kind = "TPX"[static_cast<int>(s.kind)];  // in Sent::Kind's order
    EXPECT_EQ(kind + (" " + Shown(s.text, s.values)), shown);
  }
}

// The replay prepares each shape once; what it stores the benchmark's smoke
// run compares with what the recorded texts stored.
TEST(Replay, PreparesEachShapeOnce) {
  QBX_SKIP_ON_SERVER("the SQLite floor");
  test::TempFolder dir;
  suite::Database(dir.Path("start.db"), true).Exec("CREATE TABLE t (a TEXT, n REAL)");
  const Texts texts = {{'S', "BEGIN IMMEDIATE"},
                       {'C', "INSERT INTO t VALUES ('it''s', 2.5)"},
                       {'C', "INSERT INTO t VALUES ('b', 0.1)"},
                       {'S', "SAVEPOINT q2"},
                       {'C', "UPDATE t SET n = -1.25 WHERE a = 'b'"},
                       {'S', "RELEASE q2"},
                       {'C', "SELECT TOP 1 a FROM t ORDER BY 1"},
                       {'S', "COMMIT"}};
  const ReplayResult r = bench::Replay(Record(dir, texts), dir.Path("start.db"), 2);
  // Failed, run, prepared (the inserts share one), unshaped.
  EXPECT_EQ(std::tuple(r.failed, r.statements, r.shapes, r.unshaped), std::tuple(0, 8, 7, 0))
      << r.first_error;
}

// On a server: a database of 2,000 rows keyed by citext, and copies of it.
class ServerFloorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::OnServer()) GTEST_SKIP() << "needs a server";
    start_ = test::FreshDatabase(dir_.path);
    suite::Database(start_, false)
        .Exec(
            "CREATE EXTENSION IF NOT EXISTS citext;"
            "CREATE TABLE t (k citext PRIMARY KEY, n bigint, x double precision);"
            "INSERT INTO t SELECT 'K-' || i, i, 0 FROM generate_series(1, 2000) i;"
            "CREATE TABLE s AS SELECT 1 AS n;");
  }
  void TearDown() override {
    for (const std::string& name : made_) DropDatabase(test::ServerConninfo(), name);
    test::DropDatabase(start_);
  }
  // A copy of the starting database, as the benchmark makes them.
  std::string Copy(const std::string& name) {
    made_.push_back(name + "_" + std::to_string(getpid()));
    CreateDatabase(test::ServerConninfo(), made_.back(),
                   start_.substr(start_.rfind("dbname=") + 7));
    return WithDatabase(test::ServerConninfo(), made_.back());
  }

  test::TempFolder dir_;
  std::string start_;
  std::vector<std::string> made_;
};

// What a replay stores the benchmark's smoke run on a server compares.
TEST_F(ServerFloorTest, ReplayCountsShapesAndFailures) {
  // clang-format off
  const Texts texts = {
      {'S', "BEGIN"}, {'C', "INSERT INTO t (k, n, x) VALUES ('it''s', 5001, -2.5)"},
      {'C', "INSERT INTO t (k, n, x) VALUES ('b', 5002, 0.1)"}, {'S', "SAVEPOINT q2"},
      {'S', "INSERT INTO t (k, n, x) SELECT 'c', -7, 1 WHERE 1 = 1"}, {'S', "RELEASE q2"},
      {'C', "SELECT TOP 1 k FROM t ORDER BY n DESC"},
      {'S', "UPDATE t SET x = x - 1 WHERE k = 'K-7'"}, {'S', "COMMIT"}};
  // clang-format on
  const std::string replayed = Copy("qbx_floor_replayed");
  ReplayResult r = Replay(Record(dir_, texts), replayed);
  // Failed, run, prepared (the component's inserts share one; transaction texts none), unshaped.
  EXPECT_EQ(std::tuple(r.failed, r.statements, r.shapes, r.unshaped), std::tuple(0, 9, 4, 0))
      << r.first_error;
  // A failed statement is counted: the duplicate insert, and the commit that rolls back.
  r = Replay(
      Record(dir_, {{'S', "BEGIN"}, {'S', "INSERT INTO t VALUES ('K-1', 1, 0)"}, {'S', "COMMIT"}}),
      replayed);
  EXPECT_EQ(r.failed, 2);
  EXPECT_NE(r.first_error.find("INSERT INTO t"), std::string::npos) << r.first_error;
}

TEST_F(ServerFloorTest, DigestOfTheComponentsRowsIgnoresTheirOrderNotTheirValues) {
  const std::string a = Copy("qbx_floor_digest_a"), b = Copy("qbx_floor_digest_b");
  const std::string tables =
      "CREATE TABLE Transferencia (f text, n bigint); CREATE TABLE Traslado (f text);"
      "CREATE TABLE Pedido (f text); INSERT INTO Pedido VALUES (NULL);";
  suite::Database(a, false).Exec(tables + "INSERT INTO Transferencia VALUES ('F', 1), ('F', 2)");
  suite::Database(b, false).Exec(tables + "INSERT INTO Transferencia VALUES ('F', 2), ('F', 1)");
  EXPECT_EQ(ComponentRowsDigest(a), ComponentRowsDigest(b));
  for (const char* change :
       {"UPDATE Pedido SET f = ''",
        "UPDATE Pedido SET f = NULL; UPDATE Transferencia SET n = 3 WHERE n = 2"}) {
    suite::Database(b, false).Exec(change);
    EXPECT_NE(ComponentRowsDigest(a), ComponentRowsDigest(b)) << change;
  }
}

// Repeated statements whose plan reads the large table whole: a key parameter
// typed text loses the citext index, and n has none; a limited index read, a
// small table or a single statement is no matter.
TEST_F(ServerFloorTest, PlanCheckFlagsAnIndexLostToATextParameter) {
  Texts texts = {{'S', "SELECT x FROM t WHERE n > 0"}};
  for (const std::string i : {"1", "2", "3", "4"}) {
    texts.push_back({'S', "SELECT n FROM t WHERE k = 'K-" + i + "'"});
    texts.push_back({'S', "SELECT n FROM t WHERE k = CAST('K-" + i + "' AS text)"});
    texts.push_back({'S', "UPDATE t SET x = 1 WHERE n = " + i});
    texts.push_back({'S', "SELECT k FROM t ORDER BY k DESC LIMIT " + i});
    texts.push_back({'S', "SELECT n FROM s WHERE n = " + i});
  }
  std::set<std::string> found;  // statement, times, whether its step reads t whole
  for (const Scan& s : FindScans(Record(dir_, texts), start_, 2))
    found.insert(s.statement + " x" + std::to_string(s.times) +
                 (s.step.find("Seq Scan on t") == std::string::npos ? " " + s.step : " seq"));
  EXPECT_EQ(found, (std::set<std::string>{"SELECT n FROM t WHERE k = CAST('K-1' AS text) x4 seq",
                                          "UPDATE t SET x = 1 WHERE n = 1 x4 seq"}));
}

}  // namespace
}  // namespace qbx::bench::server
