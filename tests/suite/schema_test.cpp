// The schema (indexes for the component's lookups, the conventions every
// table follows, its version) and the dialect pieces of statement texts: how
// they expand, each text built once per dialect.
#include "suite/schema.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "suite/connection.h"
#include "suite/dialect.h"
#include "suite/retry_keys.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

using SchemaTest = SuiteTest;

// The component's frequent lookups (blanks aside, as it sends them), and a
// document's lines in line-number order, find their rows through an index:
// no scan, no sort.
TEST_F(SchemaTest, TheComponentsLookupsUseAnIndex) {
  QBX_SKIP_ON_SERVER("the plans are the embedded file's");
  const std::pair<std::string, std::string> lookups[] = {
      {"SELECT Tr_Costo FROM Transferencia WHERE Tr_Folio = 'F-EN' AND Pr_Cve_Producto = "
       "'TORN-001' AND Tl_Cve_Talla = '00' AND Cl_Cve_Color = '00'",
       "IX_Transferencia_Costo"},
      {RewriteTop("SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'F-SL' AND Tr_Tipo = "
                  "'EN' AND Es_Cve_Estado <> 'CA'"),
       "IX_Transferencia_Referencia"},
      {"SELECT Tr_Folio FROM Traslado WHERE Tr_Tabla = 'TRANSFERENCIA' AND Tr_Documento = 'F'",
       "IX_Traslado_Documento"},
      {"SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_Tabla = 'TRASLADO' AND "
       "Cd_Documento = 'F'",
       "IX_Comprobante_Digital_Documento"},
      {Db()->dialect().Expand("SELECT Tr_Tipo FROM Transferencia WHERE Tr_Folio = 'F' ORDER BY "
                              "CAST(Tr_ID AS INTEGER) {binary}"),
       "IX_Transferencia_Id_Numero"},
  };
  for (const auto& [sql, index] : lookups) {
    const std::string details = Plan(sql);
    EXPECT_TRUE(details.find(index) != std::string::npos && details.find("SCAN ") == details.npos &&
                details.find("TEMP B-TREE") == details.npos)
        << sql << "\n"
        << details;
  }
}

// The sizes the tool holds a document's texts to are the schema's own checks:
// each backend takes a text of the size, in characters, and refuses a longer one.
TEST_F(SchemaTest, TextLimitsAreTheColumnsOwnChecks) {
  int checked = 0;
  for (const TextLimit& l : TextLimits()) {
    if (l.table != "Transferencia") continue;
    const std::string insert = "INSERT INTO Transferencia (Tr_Folio, Tr_ID, " +
                               std::string(l.column) + ") VALUES ('LIMIT', ?1, ?2)";
    std::string text;
    for (int i = 0; i < l.size; ++i) text += "\xC3\xB1";  // two bytes, one character
    Db()->Run(insert, {std::to_string(checked), text});
    EXPECT_EQ(ErrorOf([&] {
                Db()->Run(insert, {"x" + std::to_string(checked++), text + "n"});
              }).number(),
              kErrDatabase)
        << l.column;
  }
  EXPECT_GE(checked, 10);
}

// Every state is required and live by default, every date column is declared
// as a date, and every text column ignores case (an index on it takes the
// column's collation).
TEST_F(SchemaTest, ColumnConventions) {
  QBX_SKIP_ON_SERVER("the embedded file's declarations");
  const std::string columns =
      " FROM sqlite_master m, pragma_table_info(m.name) p WHERE m.type = 'table' AND m.name NOT "
      "LIKE 'sqlite_%' AND ";
  EXPECT_EQ(Value("SELECT COALESCE(group_concat(m.name || '.' || p.name), '')" + columns +
                  "((p.name = 'Es_Cve_Estado' AND (p.\"notnull\" = 0 OR p.dflt_value IS NOT "
                  "'''AC''')) OR ((p.name GLOB 'Fecha*' OR p.name GLOB '*_Fecha*') AND p.type "
                  "NOT IN ('DATE', 'DATETIME')))"),
            Variant(""));
  EXPECT_GE(Value("SELECT COUNT(*)" + columns + "p.name = 'Es_Cve_Estado'").ToDouble(), 9);
  auto db = Db();
  std::vector<std::pair<std::string, std::string>> texts;
  for (auto st =
           db->PrepareOnce("SELECT m.name, p.name" + columns + "p.type = 'TEXT'", Origin::Suite);
       st->Step();)
    texts.emplace_back(QuoteIdentifier(st->Column(0).ToString()),
                       QuoteIdentifier(st->Column(1).ToString()));
  EXPECT_GT(texts.size(), 100u);
  for (const auto& [table, name] : texts) {
    db->Exec("CREATE INDEX Probe ON " + table + " (" + name + ")");
    EXPECT_EQ(db->QueryValue("SELECT coll FROM pragma_index_xinfo('Probe') WHERE cid >= 0"),
              Variant("NOCASE"))
        << table << "." << name;
    db->Exec("DROP INDEX Probe");
  }
}

TEST(SchemaVersion, IsRecordedAndANewerDatabaseIsRefused) {
  ::qbx::test::TempFolder dir;
  Database db(dir.Path("version.db"), true);
  EXPECT_EQ(db.SchemaVersion(), 0);
  EXPECT_TRUE(db.EnsureSchema());
  EXPECT_EQ(db.SchemaVersion(), kSchemaVersion);
  EXPECT_FALSE(db.EnsureSchema());  // idempotent on a current database
  db.Run("UPDATE Version_Esquema SET Ve_Version = ?1", {int32_t{kSchemaVersion + 1}});
  EXPECT_EQ(ErrorOf([&] { db.EnsureSchema(); }).number(), kErrSuite);
}

constexpr Dialect kFirst{0, "NOW_A", "TODAY_A", "BIN_A"};
constexpr Dialect kSecond{1, "LOCALTIMESTAMP(0)", "CURRENT_DATE", ""};

TEST(Dialect, ExpandsEveryPieceOnceAndRefusesAnUnknownOne) {
  const std::pair<std::string, std::string> cases[] = {
      {"SELECT {now}, {today}, {now} FROM t WHERE a = '}' ",
       "SELECT NOW_A, TODAY_A, NOW_A FROM t WHERE a = '}' "},
      {"ORDER BY CAST(i AS INTEGER) {binary} DESC", "ORDER BY CAST(i AS INTEGER) BIN_A DESC"},
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
