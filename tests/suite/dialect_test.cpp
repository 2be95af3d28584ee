// The dialect pieces of statement texts: how they expand, that each text is
// built once per dialect, and that on SQLite the statements the services
// send are the ones they always sent.
#include "suite/dialect.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "suite/retry_keys.h"
#include "suite_fixture.h"

namespace qbx::suite::test {
namespace {

constexpr Dialect kFirst{0, "NOW_A", "TODAY_A", "BIN_A"};
constexpr Dialect kSecond{1, "LOCALTIMESTAMP(0)", "CURRENT_DATE", ""};

TEST(Dialect, ExpandsEveryPieceOnceAndRefusesAnUnknownOne) {
  const std::pair<std::string, std::string> cases[] = {
      {"SELECT {now}, {today}, {now} FROM t WHERE a = '}' ",
       "SELECT NOW_A, TODAY_A, NOW_A FROM t WHERE a = '}' "},
      {"{today}", "TODAY_A"},
      {"ORDER BY CAST(i AS INTEGER) {binary} DESC", "ORDER BY CAST(i AS INTEGER) BIN_A DESC"},
      {"SELECT 1", "SELECT 1"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(kFirst.Expand(in), out);
  EXPECT_EQ(kSecond.Expand("ORDER BY CAST(i AS INTEGER) {binary} DESC"),
            "ORDER BY CAST(i AS INTEGER)  DESC");
  for (const char* wrong : {"SELECT {nwo}", "SELECT {} FROM t", "SELECT {now FROM t"})
    EXPECT_EQ(ErrorOf([&] { kFirst.Expand(wrong); }).number(), kErrSuite) << wrong;

  // One text per dialect, built once: the same object every time, whatever
  // the threads asking at once.
  const DialectSql sql("UPDATE t SET d = {now}, f = {today}");
  std::vector<const std::string*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = &sql.For(kSecond); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(std::set<const std::string*>(seen.begin(), seen.end()),
            std::set<const std::string*>{&sql.For(kSecond)});
  EXPECT_EQ(*seen[0], "UPDATE t SET d = LOCALTIMESTAMP(0), f = CURRENT_DATE");
  const std::string& first = sql.For(kFirst);
  EXPECT_EQ(first, "UPDATE t SET d = NOW_A, f = TODAY_A");
  EXPECT_EQ(&sql.For(kFirst), &first);
  constexpr Dialect kStray{kMaxDialects, "X", "Y", ""};
  EXPECT_EQ(ErrorOf([&] { sql.For(kStray); }).number(), kErrSuite);
}

using DialectPiecesTest = SuiteTest;

// The pieces answer the local date and time (a text on the embedded file, a
// Date on a server), and the services send them expanded.
TEST_F(DialectPiecesTest, AnswerTheLocalDateAndTimeAndAreSentExpanded) {
  auto db = Db();
  const std::string now(db->dialect().Now()), today(db->dialect().Today());
  if (!qbx::test::OnServer()) {
    EXPECT_EQ(now + "|" + today, "datetime('now', 'localtime')|date('now', 'localtime')");
  }
  const auto local_day = [] {
    char text[16];
    const std::time_t t = std::time(nullptr);
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&t));
    return std::string(text);
  };
  const auto text = [&](const std::string& sql) {
    const Variant v = db->QueryValue(sql);
    return v.type() == Variant::Type::Date ? DateTimeText(v.ToDate()) : v.ToString();
  };
  const std::string before = local_day(), moment = text("SELECT " + now);
  std::string sent;
  db->SetTraceSink([&](Origin, std::string_view s) { sent += s; });
  RecordRetryKey(*db, "k1", {"capture", "d1", "F1"});
  db->SetTraceSink(nullptr);
  EXPECT_NE(sent.find(", " + now + ")"), std::string::npos) << sent;
  ASSERT_EQ(moment.size(), 19u) << moment;
  EXPECT_EQ(moment[10], ' ');
  const std::string after = local_day();
  for (const std::string& day :
       {moment, text("SELECT " + today), text("SELECT Fecha_Alta FROM Clave_Operacion")})
    EXPECT_TRUE(day.substr(0, 10) == before || day.substr(0, 10) == after) << day;
}

}  // namespace
}  // namespace qbx::suite::test
