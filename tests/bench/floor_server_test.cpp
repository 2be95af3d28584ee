// The server floor: what it sends for each recorded text, how it reads a
// plan, and (on a server) a replay that stores what the texts store and a
// plan check that catches a lost index.
#include "bench/floor_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "suite/database.h"
#include "tests/test_database.h"

namespace qbx::bench::server {
namespace {

using Values = std::vector<Shaped::Value>;

TEST(ToSend, TransactionTextsRunAsTheyAreAndBeginTakesTheWritersLock) {
  const Sent begin = ToSend('S', "BEGIN");
  EXPECT_EQ(begin.kind, Sent::Kind::kTransaction);
  EXPECT_EQ(begin.text, "BEGIN; SELECT pg_advisory_xact_lock(1363299416)");
  for (const char* text : {"COMMIT", "SAVEPOINT q2", "RELEASE q2", "ROLLBACK TO q3"}) {
    const Sent s = ToSend('S', text);
    EXPECT_EQ(s.kind, Sent::Kind::kTransaction) << text;
    EXPECT_EQ(s.text, text);
  }
  // A table whose name starts like a keyword is no transaction text.
  EXPECT_EQ(ToSend('S', "SELECT 1 FROM Releases").kind, Sent::Kind::kShape);
}

TEST(ToSend, LiteralsBecomeDollarParameters) {
  const Sent s = ToSend('S', "SELECT a FROM t WHERE k = 'BX-1' AND n > 3 LIMIT 1");
  EXPECT_EQ(s.kind, Sent::Kind::kShape);
  EXPECT_EQ(s.text, "SELECT a FROM t WHERE k = $1 AND n > $2 LIMIT $3");
  EXPECT_EQ(s.values, (Values{"BX-1", int64_t{3}, int64_t{1}}));
  // The same shape for other literals: prepared once.
  EXPECT_EQ(ToSend('S', "SELECT a FROM t WHERE k = 'BX-2' AND n > 9 LIMIT 1").text, s.text);
}

TEST(ToSend, ComponentTextsGetTheConnectionsRewrites) {
  const Sent top = ToSend('C', "SELECT TOP 1 Tr_ID FROM Transferencia WHERE Tr_Folio = 'F'");
  EXPECT_EQ(top.text, "SELECT Tr_ID FROM Transferencia WHERE Tr_Folio = $1 LIMIT $2");
  EXPECT_EQ(top.values, (Values{"F", int64_t{1}}));
  const Sent ignore = ToSend('C', "INSERT OR IGNORE INTO t (a) VALUES ('x')");
  EXPECT_EQ(ignore.text, "INSERT INTO t (a) VALUES ($1) ON CONFLICT DO NOTHING");
  // The suite's texts are the server's already: TOP stays as sent.
  EXPECT_NE(ToSend('S', "SELECT TOP 1 a FROM t").text.find("TOP"), std::string::npos);
}

TEST(ToSend, ASignThatBeginsAValueGoesIntoIt) {
  const Sent s = ToSend('S', "INSERT INTO t (a, b, c) SELECT 'x', -2, -2.5 FROM u WHERE n = -7");
  EXPECT_EQ(s.text,
            "INSERT INTO t (a, b, c) SELECT $1, $2, CAST($3 AS double precision) FROM u WHERE n = $4");
  EXPECT_EQ(s.values, (Values{"x", int64_t{-2}, "-2.5", int64_t{-7}}));
  // A subtraction stays one.
  const Sent minus = ToSend('S', "UPDATE t SET a = a - 2 WHERE b = 1");
  EXPECT_EQ(minus.text, "UPDATE t SET a = a - $1 WHERE b = $2");
  EXPECT_EQ(minus.values, (Values{int64_t{2}, int64_t{1}}));
}

TEST(ToSend, SeveralStatementsRunAsText) {
  const Sent s = ToSend('S', "DELETE FROM t WHERE a = 1; DELETE FROM u");
  EXPECT_EQ(s.kind, Sent::Kind::kText);
  EXPECT_EQ(s.text, "DELETE FROM t WHERE a = 1; DELETE FROM u");
}

TEST(WithDatabase, ReplacesOnlyTheDatabase) {
  EXPECT_EQ(WithDatabase("host=/tmp/x user=postgres dbname=main", "copy_1"),
            "user='postgres' host='/tmp/x' dbname='copy_1'");
  EXPECT_EQ(WithDatabase("postgresql://u@localhost:5433/main", "c"),
            "user='u' host='localhost' port='5433' dbname='c'");
}

const std::vector<std::pair<std::string, int64_t>> kRows = {{"big", 10000}, {"small", 40}};

TEST(WholeTableRead, ASeqScanOfALargeTable) {
  EXPECT_EQ(WholeTableRead({"Seq Scan on big  (cost=0.00..180.00 rows=1 width=4)",
                            "  Filter: ((k)::text = 'x'::text)"},
                           kRows, 500),
            "Seq Scan on big (10000 rows)");
  EXPECT_EQ(WholeTableRead({"Update on big  (cost=0.00..180.00 rows=0 width=0)",
                            "  ->  Seq Scan on big b  (cost=0.00..180.00 rows=1 width=10)"},
                           kRows, 500),
            "Seq Scan on big b (10000 rows)");
  // A small table is read whole at no cost.
  EXPECT_EQ(WholeTableRead({"Seq Scan on small  (cost=0.00..1.50 rows=1 width=4)"}, kRows, 500),
            "");
}

TEST(WholeTableRead, AnIndexReadWithoutAConditionOutsideALimit) {
  EXPECT_EQ(WholeTableRead({"Index Scan using big_pkey on big  (cost=0.29..8.30 rows=1 width=4)",
                            "  Index Cond: (k = 'x'::citext)"},
                           kRows, 500),
            "");
  EXPECT_EQ(WholeTableRead({"Index Only Scan using big_k on big  (cost=0.29..300.00 rows=10000 "
                            "width=4)"},
                           kRows, 500),
            "Index Only Scan using big_k on big (10000 rows)");
  EXPECT_EQ(WholeTableRead({"Limit  (cost=0.29..0.32 rows=1 width=4)",
                            "  ->  Index Scan Backward using big_pkey on big  (cost=0.29..300.00 "
                            "rows=10000 width=4)"},
                           kRows, 500),
            "");
}

// On a server: a replay stores what the texts store, and the plan check
// sees an index lost to a parameter typed text.
class ServerFloorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::OnServer()) GTEST_SKIP() << "needs a server";
    QBX_SKIP_WITHOUT_SERVER();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quelbarix-floor-server-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    start_ = test::FreshDatabase(dir_);
    suite::Database db(start_, false);
    db.Exec(
        "CREATE EXTENSION IF NOT EXISTS citext;"
        "CREATE TABLE t (k citext PRIMARY KEY, n bigint, x double precision);"
        "INSERT INTO t SELECT 'K-' || i, i, 0 FROM generate_series(1, 2000) i;");
  }
  void TearDown() override {
    for (const std::string& name : made_) DropDatabase(test::ServerConninfo(), name);
    test::DropDatabase(start_);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  // A copy of the starting database, as the benchmark makes them.
  std::string Copy(const std::string& name) {
    const std::string from = start_.substr(start_.rfind("dbname=") + 7);
    CreateDatabase(test::ServerConninfo(), name, from);
    made_.push_back(name);
    return WithDatabase(test::ServerConninfo(), name);
  }
  void Record(const std::string& file, const std::vector<std::pair<char, std::string>>& texts) {
    StatementRecorder recorder(dir_ + "/" + file);
    suite::TraceSink sink = recorder.Sink();
    for (const auto& [origin, text] : texts)
      sink(origin == 'C' ? suite::Origin::Component : suite::Origin::Suite, text);
    recorder.Close();
  }
  static std::string Rows(const std::string& db_name) {
    suite::Database db(db_name, false);
    return db.QueryValue("SELECT string_agg(k || ':' || n || ':' || x, ',' ORDER BY n) FROM t")
        .ToStringOrEmpty();
  }

  std::string dir_, start_;
  std::vector<std::string> made_;
};

TEST_F(ServerFloorTest, ReplayStoresWhatTheTextsStore) {
  const std::vector<std::pair<char, std::string>> texts = {
      {'S', "BEGIN"},
      {'C', "INSERT INTO t (k, n, x) VALUES ('it''s', 5001, -2.5)"},
      {'C', "INSERT INTO t (k, n, x) VALUES ('b', 5002, 0.1)"},
      {'S', "SAVEPOINT q2"},
      {'S', "INSERT INTO t (k, n, x) SELECT 'c', -7, 1 WHERE 1 = 1"},
      {'S', "RELEASE q2"},
      {'C', "SELECT TOP 1 k FROM t ORDER BY n DESC"},
      {'S', "UPDATE t SET x = x - 1 WHERE k = 'K-7'"},
      {'S', "COMMIT"},
  };
  Record("texts.sql", texts);
  const std::string replayed = Copy("qbx_floor_replayed_" + std::to_string(getpid()));
  const std::string by_text = Copy("qbx_floor_texts_" + std::to_string(getpid()));
  {
    suite::Database db(by_text, false);
    std::string all;
    for (const auto& [origin, text] : texts) {
      all += (text == "SELECT TOP 1 k FROM t ORDER BY n DESC"
                  ? std::string("SELECT k FROM t ORDER BY n DESC LIMIT 1")
                  : text) +
             ";";
    }
    db.Exec(all);
  }
  const ReplayResult r = Replay(dir_ + "/texts.sql", replayed);
  EXPECT_EQ(r.failed, 0) << r.first_error;
  EXPECT_EQ(r.statements, static_cast<int64_t>(texts.size()));
  EXPECT_EQ(r.shapes, 4);  // the component's inserts share one; transaction texts none
  EXPECT_EQ(r.unshaped, 0);
  EXPECT_EQ(Rows(replayed), Rows(by_text));
  EXPECT_NE(Rows(replayed), Rows(start_));
}

TEST_F(ServerFloorTest, DigestOfTheComponentsRowsIgnoresTheirOrderNotTheirValues) {
  const std::string pid = std::to_string(getpid());
  const std::string a = Copy("qbx_floor_digest_a_" + pid);
  const std::string b = Copy("qbx_floor_digest_b_" + pid);
  const char* tables =
      "CREATE TABLE Transferencia (f text, n bigint); CREATE TABLE Traslado (f text);"
      "CREATE TABLE Pedido (f text);";
  suite::Database(a, false).Exec(std::string(tables) +
                                 "INSERT INTO Transferencia VALUES ('F', 1), ('F', 2);"
                                 "INSERT INTO Pedido VALUES (NULL)");
  suite::Database(b, false).Exec(std::string(tables) +
                                 "INSERT INTO Transferencia VALUES ('F', 2), ('F', 1);"
                                 "INSERT INTO Pedido VALUES (NULL)");
  EXPECT_EQ(ComponentRowsDigest(a), ComponentRowsDigest(b));
  suite::Database(b, false).Exec("UPDATE Pedido SET f = ''");
  EXPECT_NE(ComponentRowsDigest(a), ComponentRowsDigest(b));
  suite::Database(b, false).Exec("UPDATE Pedido SET f = NULL; UPDATE Transferencia SET n = 3 WHERE n = 2");
  EXPECT_NE(ComponentRowsDigest(a), ComponentRowsDigest(b));
}

TEST_F(ServerFloorTest, AFailedStatementIsCounted) {
  Record("failing.sql", {{'S', "BEGIN"},
                         {'S', "INSERT INTO t (k, n, x) VALUES ('K-1', 1, 0)"},  // a duplicate
                         {'S', "COMMIT"}});
  const ReplayResult r = Replay(dir_ + "/failing.sql", Copy("qbx_floor_failing_" + std::to_string(getpid())));
  EXPECT_EQ(r.failed, 2);  // the insert, and the commit that rolls back
  EXPECT_NE(r.first_error.find("INSERT INTO t"), std::string::npos) << r.first_error;
}

TEST_F(ServerFloorTest, PlanCheckFlagsAnIndexLostToATextParameter) {
  std::vector<std::pair<char, std::string>> texts;
  for (int i = 1; i <= 4; ++i) {
    const std::string key = "'K-" + std::to_string(i) + "'";
    texts.push_back({'S', "SELECT n FROM t WHERE k = " + key});                 // citext: the index
    texts.push_back({'S', "SELECT n FROM t WHERE k = CAST(" + key + " AS text)"});  // text: a scan
    texts.push_back({'S', "SELECT n FROM t WHERE n = " + std::to_string(i)});   // no index on n
  }
  texts.push_back({'S', "SELECT x FROM t WHERE n > 0"});  // once only: not per line
  Record("plans.sql", texts);
  const std::vector<Scan> scans = FindScans(dir_ + "/plans.sql", start_, 2);
  ASSERT_EQ(scans.size(), 2u);
  std::vector<std::string> first;
  for (const Scan& s : scans) {
    EXPECT_EQ(s.times, 4);
    EXPECT_NE(s.step.find("Seq Scan on t"), std::string::npos) << s.step;
    first.push_back(s.statement);
  }
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first[0], "SELECT n FROM t WHERE k = CAST('K-1' AS text)");
  EXPECT_EQ(first[1], "SELECT n FROM t WHERE n = 1");
}

}  // namespace
}  // namespace qbx::bench::server
