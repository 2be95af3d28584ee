// The dialect pieces of statement texts: how they expand, that each text is
// built once per dialect, and that on SQLite the statements the services
// send are the ones they always sent.
#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "suite/dialect.h"
#include "suite/retry_keys.h"
#include "suite_fixture.h"

namespace qbx::suite::test {
namespace {

constexpr Dialect kFirst{0, "NOW_A", "TODAY_A", "BIN_A"};
constexpr Dialect kSecond{1, "LOCALTIMESTAMP(0)", "CURRENT_DATE", ""};

TEST(Dialect, ExpandsEveryPieceAndLeavesTheRestAsItIs) {
  EXPECT_EQ(kFirst.Expand("SELECT {now}, {today}, {now} FROM t WHERE a = '}' "),
            "SELECT NOW_A, TODAY_A, NOW_A FROM t WHERE a = '}' ");
  EXPECT_EQ(kFirst.Expand("{today}"), "TODAY_A");
  EXPECT_EQ(kFirst.Expand("ORDER BY CAST(i AS INTEGER) {binary} DESC"),
            "ORDER BY CAST(i AS INTEGER) BIN_A DESC");
  EXPECT_EQ(kSecond.Expand("ORDER BY CAST(i AS INTEGER) {binary} DESC"),
            "ORDER BY CAST(i AS INTEGER)  DESC");
  EXPECT_EQ(kFirst.Expand("SELECT 1"), "SELECT 1");
  EXPECT_EQ(kFirst.Expand(""), "");
}

TEST(Dialect, AnUnknownOrUnclosedPieceIsASuiteError) {
  EXPECT_EQ(ErrorOf([] { kFirst.Expand("SELECT {nwo}"); }).number(), kErrSuite);
  EXPECT_EQ(ErrorOf([] { kFirst.Expand("SELECT {} FROM t"); }).number(), kErrSuite);
  EXPECT_EQ(ErrorOf([] { kFirst.Expand("SELECT {now FROM t"); }).number(), kErrSuite);
}

TEST(DialectSql, BuildsOneTextPerDialectOnce) {
  const DialectSql sql("UPDATE t SET d = {now}, f = {today}");
  const std::string& first = sql.For(kFirst);
  const std::string& second = sql.For(kSecond);
  EXPECT_EQ(first, "UPDATE t SET d = NOW_A, f = TODAY_A");
  EXPECT_EQ(second, "UPDATE t SET d = LOCALTIMESTAMP(0), f = CURRENT_DATE");
  // The same text object every time: nothing is built again per call.
  EXPECT_EQ(&sql.For(kFirst), &first);
  EXPECT_EQ(&sql.For(kSecond), &second);
}

TEST(DialectSql, ManyThreadsAtOnceGetOneText) {
  const DialectSql sql("SELECT {now}");
  std::vector<const std::string*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = &sql.For(kSecond); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(std::set<const std::string*>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_EQ(*seen[0], "SELECT LOCALTIMESTAMP(0)");
}

TEST(DialectSql, ADialectWithoutPlaceIsRefused) {
  const DialectSql sql("SELECT {now}");
  constexpr Dialect kStray{kMaxDialects, "X", "Y", ""};
  EXPECT_EQ(ErrorOf([&] { sql.For(kStray); }).number(), kErrSuite);
}

class DialectPiecesTest : public SuiteTest {};

std::string LocalDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

// A piece answers a text on the embedded file and a Date on a server.
std::string AsText(const Variant& v) {
  return v.type() == Variant::Type::Date ? DateTimeText(v.ToDate()) : v.ToString();
}

TEST_F(DialectPiecesTest, AnswerTheLocalDateAndTime) {
  auto db = Db();
  if (!qbx::test::OnServer()) {
    EXPECT_EQ(db->dialect().Now(), "datetime('now', 'localtime')");
    EXPECT_EQ(db->dialect().Today(), "date('now', 'localtime')");
  }
  const std::string before = LocalDay();
  const std::string now = AsText(db->QueryValue("SELECT " + std::string(db->dialect().Now())));
  const std::string today =
      AsText(db->QueryValue("SELECT " + std::string(db->dialect().Today()))).substr(0, 10);
  const std::string after = LocalDay();
  ASSERT_EQ(now.size(), 19u) << now;
  EXPECT_EQ(now[10], ' ');
  EXPECT_TRUE(now.substr(0, 10) == before || now.substr(0, 10) == after) << now;
  EXPECT_TRUE(today == before || today == after) << today;
}

// A document's lines in line-number order come from the index, unsorted.
TEST_F(DialectPiecesTest, AnIntegerKeyIsReadAlongTheLineNumberIndex) {
  QBX_SKIP_ON_SERVER("the plan is the embedded file's");
  auto db = Db();
  for (const char* order : {"", " DESC LIMIT 1"}) {
    const std::string details = Plan(db->dialect().Expand(
        std::string("SELECT Tr_Tipo FROM Transferencia WHERE Tr_Folio = 'F' "
                    "ORDER BY CAST(Tr_ID AS INTEGER) {binary}") +
        order));
    EXPECT_NE(details.find("IX_Transferencia_Id_Numero"), std::string::npos) << details;
    EXPECT_EQ(details.find("TEMP B-TREE"), std::string::npos) << details;
  }
}

TEST_F(DialectPiecesTest, ServicesSendTheBackendsText) {
  auto db = Db();
  const std::string before = LocalDay();
  std::vector<std::string> sent;
  db->SetTraceSink([&](Origin, std::string_view text) { sent.emplace_back(text); });
  RecordRetryKey(*db, "k1", {"capture", "d1", "F1"});
  RecordRetryKey(*db, "k2", {"capture", "d2", "F2"});
  db->SetTraceSink(nullptr);
  ASSERT_EQ(sent.size(), 2u);
  for (const std::string& text : sent) {
    EXPECT_NE(text.find("VALUES ("), std::string::npos) << text;
    EXPECT_NE(text.find(", " + std::string(db->dialect().Now()) + ")"), std::string::npos) << text;
    EXPECT_EQ(text.find('{'), std::string::npos) << text;
  }
  const std::string day = DateText(
      db->QueryValue("SELECT Fecha_Alta FROM Clave_Operacion WHERE Co_Clave = 'k2'").ToDate());
  EXPECT_TRUE(day == before || day == LocalDay()) << day;
}

}  // namespace
}  // namespace qbx::suite::test
