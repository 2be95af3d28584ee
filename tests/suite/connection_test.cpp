// The connection the suite hands to the component: statement texts run as
// built, fields by name in any case, the platform's errors and value types.
#include "suite/connection.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "services/inventory_services.h"
#include "services/system_services.h"
#include "suite/insert_text.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

TEST(RewriteTop, RewritesOnlyALeadingTop) {
  const std::pair<std::string, std::string> rewritten[] = {
      {"select top 10 Tr_Folio FROM T ORDER BY Tr_ID ",
       "select Tr_Folio FROM T ORDER BY Tr_ID LIMIT 10"},
      {"  SELECT TOP (5) a FROM t;", "  SELECT a FROM t LIMIT 5"},
      {"SELECT\tTOP\t2\r\nb FROM t", "SELECT\tb FROM t LIMIT 2"},
  };
  for (const auto& [in, out] : rewritten) EXPECT_EQ(RewriteTop(in), out) << in;
  for (const char* same : {"SELECT TOPE FROM t", "SELECT TOP x FROM t", "SELECT TOP 1",
                           "SELECT a FROM t WHERE b = 'SELECT TOP 1 c'", "UPDATE t SET TOP = 1",
                           "SELECTTOP 1 a FROM t", ""})
    EXPECT_EQ(RewriteTop(same), same);
}

// The shapes of row inserts: the literals become parameters, or the text is
// left to run as it is.
TEST(ShapeOfInsert, MakesParametersOfLiteralsOnly) {
  using namespace std::string_literals;
  using Values = std::vector<Statement::Literal>;
  const struct {
    std::string sql, shape;
    Values values;
  } shaped[] = {
      // A sign is part of the value bound, so both signs share one statement.
      {"INSERT INTO T (a, b, c, d, e, f) VALUES ('x', -12, +1.5, - 3, -0, +7)",
       "INSERT INTO T (a, b, c, d, e, f) VALUES (?1, ?2, CAST(?3 AS REAL), ?4, ?5, ?6)",
       Values{"x", -12, "1.5", -3, 0, 7}},
      {" insert into T values('It''s', 1E-05 ,007, '');\n",
       " insert into T values (?1, CAST(?2 AS REAL), ?3, ?4)", Values{"It's", "1E-05", 7, ""}},
      // A server reads the literal -0.0 as 0 (its decimals have no -0).
      {"INSERT INTO T VALUES (-999999999999999999, - .5, 2e+3, -0.0e-2)",
       "INSERT INTO T VALUES (?1, CAST(?2 AS REAL), CAST(?3 AS REAL), CAST(?4 AS REAL))",
       Values{int64_t{-999999999999999999}, "-.5", "2e+3", "0.0e-2"}},
  };
  for (const auto& c : shaped) {
    const std::optional<ShapedInsert> out = ShapeOfInsert(c.sql);
    ASSERT_TRUE(out) << c.sql;
    EXPECT_EQ(out->shape, c.shape);
    EXPECT_EQ(out->values, c.values) << c.sql;
  }
  // Beyond 18 digits, a NUL in a text, several rows, comments, expressions.
  for (const std::string& same :
       {"INSERT INTO T VALUES (-1234567890123456789)"s, "INSERT INTO T VALUES ('a\0b')"s,
        "INSERT INTO T VALUES (1), (2)"s, "INSERT INTO T VALUES (1) -- uno"s,
        "INSERT /* c */ INTO T VALUES (1)"s, "INSERT INTO T VALUES (NULL)"s,
        "INSERT INTO T VALUES (1 + 2)"s, "INSERT INTO T VALUES (1.2.3)"s,
        "INSERT INTO T VALUES (1e)"s, "INSERT INTO T VALUES (.)"s, "INSERT INTO T VALUES (-'a')"s,
        "INSERT INTO T VALUES (--1\n)"s, "INSERT INTO T VALUES ('abc)"s,
        "INSERT INTO T VALUES (1) x"s, "INSERT INTO T SELECT 1"s, "INSERTINTO T VALUES (1)"s,
        "UPDATE T SET a = 1"s})
    EXPECT_FALSE(ShapeOfInsert(same)) << same;
}

class ConnectionTest : public SuiteTest {
 protected:
  void SetUp() override {
    SuiteTest::SetUp();
    // The same table in each backend's types; a server's timestamp column
    // cannot hold the empty text the embedded file reads as no date.
    const bool server = qbx::test::OnServer();
    Db()->Exec(std::string(server ? "CREATE TABLE Prueba (Id BIGINT, Nombre CITEXT, Fecha DATE, "
                                    "Momento TIMESTAMP(0), Importe DOUBLE PRECISION, Nota TEXT);"
                                  : "CREATE TABLE Prueba (Id INTEGER, Nombre TEXT COLLATE NOCASE, "
                                    "Fecha DATE, Momento DATETIME, Importe REAL, Nota TEXT);") +
               "INSERT INTO Prueba VALUES (1, 'Uno', '2024-03-05', '2024-03-05 14:30:15', 12.5, "
               "NULL); INSERT INTO Prueba VALUES (5000000000, 'O''Brien', NULL, " +
               (server ? "NULL" : "''") + ", -0.25, 'x');");
    system_ = Make<ISystemServices>(kClsidSystemServices);
    connection_ = system_->Obtener_Conexion();
  }
  com::ComPtr<IRecordset> Run(const std::string& sql) {
    return connection_->Execute(sql, Variant(Missing{}), -1);
  }
  // The texts of one origin traced while fn runs; each one is also counted.
  std::vector<std::string> Traced(Origin origin, const std::function<void()>& fn) {
    auto db = Db();
    std::vector<std::string> traced;
    db->SetTraceSink([&](Origin from, std::string_view text) {
      if (from == origin) traced.emplace_back(text);
    });
    const int64_t before = db->StatementCount(origin);
    fn();
    db->SetTraceSink(nullptr);
    EXPECT_EQ(db->StatementCount(origin) - before, static_cast<int64_t>(traced.size()));
    return traced;
  }

  com::ComPtr<ISystemServices> system_;
  com::ComPtr<IConnection> connection_;
};

TEST_F(ConnectionTest, FieldsComeBackTypedAndByNameInAnyCase) {
  auto rs =
      Run("SELECT TOP 5 Id, Nombre, Fecha, Momento, Importe AS Monto, Nota FROM Prueba "
          "ORDER BY Id");
  // Beyond 32 bits an integer is a Double; an empty date text is no date.
  const std::vector<std::pair<const char*, Variant>> rows[] = {
      {{"Id", int32_t{1}},
       {"NOMBRE", "Uno"},
       {"Fecha", Date::FromCalendar(2024, 3, 5)},
       {"momento", Date::FromCalendar(2024, 3, 5, 14, 30, 15)},
       {"monto", 12.5},
       {"Nota", Null{}}},
      {{"Id", 5000000000.0}, {"Nombre", "O'Brien"}, {"Fecha", Null{}}, {"Momento", Null{}}},
  };
  for (const auto& row : rows) {
    ASSERT_FALSE(rs->Eof());
    for (const auto& [name, value] : row) EXPECT_EQ(rs->Field(name), value) << name;
    rs->MoveNext();
  }
  EXPECT_TRUE(rs->Eof());
  rs->Close();
  EXPECT_EQ(Run("SELECT COUNT(*) as Total FROM Prueba WHERE Nombre = 'UNO'")->Field("total"),
            Variant(int32_t{1}));
  // A statement without rows runs and answers end of file.
  EXPECT_TRUE(Run("UPDATE Prueba SET Nota = 'cambiada' WHERE Id = 1")->Eof());
  auto top = Run("SELECT TOP 1 Nota FROM Prueba ORDER BY Id");
  EXPECT_EQ(top->Field("Nota"), Variant("cambiada"));
  top->MoveNext();
  EXPECT_TRUE(top->Eof());
  // An endless sequence: only a recordset that reads row by row can answer.
  // A server's answer is read whole (the connection serves other statements
  // while a recordset is open), so this holds for the embedded file only.
  if (qbx::test::OnServer()) return;
  auto endless =
      Run("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT x FROM n");
  for (int i = 1; i <= 3; ++i, endless->MoveNext()) {
    EXPECT_EQ(endless->Field("x"), Variant(int32_t{i}));
  }
  endless->Close();
}

TEST_F(ConnectionTest, UnknownFieldEndOfFileAndDatabaseErrors) {
  auto rs = Run("SELECT Id FROM Prueba WHERE Id = 1");
  RuntimeError unknown = ErrorOf([&] { rs->Field("Nope"); });
  EXPECT_EQ(unknown.number(), 3265);
  EXPECT_EQ(unknown.description(), kItemNotFoundText);
  rs->MoveNext();
  RuntimeError eof = ErrorOf([&] { rs->Field("Id"); });
  EXPECT_EQ(eof.number(), 3021);
  EXPECT_EQ(eof.description(), kNoCurrentRecordText);
  EXPECT_EQ(ErrorOf([&] { rs->Field("Nope"); }).number(), 3265);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).number(), 3021);
  auto empty = Run("SELECT Id FROM Prueba WHERE Id = 99");
  EXPECT_EQ(ErrorOf([&] { empty->Field("Id"); }).number(), 3021);
  empty->Close();
  EXPECT_EQ(ErrorOf([&] { empty->Eof(); }).number(), 3704);

  // Each backend's own message.
  const std::array<std::string, 3> failures[] = {
      {"SELECT * FROM Nada", "no such table: Nada", "relation \"nada\" does not exist"},
      {"SELECT Falta FROM Prueba", "no such column: Falta", "column \"falta\" does not exist"},
      {"INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES ('CEDIS')",
       "UNIQUE constraint failed: Sucursal.Sc_Cve_Sucursal",
       "duplicate key value violates unique constraint \"sucursal_pkey\""},
      {"SELEC 1", "near \"SELEC\": syntax error", "syntax error at or near \"SELEC\""},
  };
  for (const auto& [sql, message, server_message] : failures) {
    RuntimeError e = ErrorOf([&] { Run(sql); });
    EXPECT_EQ(e.number(), kErrDatabase) << sql;
    EXPECT_EQ(e.description(), qbx::test::OnServer() ? server_message : message);
  }
  EXPECT_FALSE(Run("SELECT Id FROM Prueba")->Eof());  // still usable
}

// A shaped insert stores the very row its text stores when compiled as it is.
TEST_F(ConnectionTest, AShapedInsertStoresWhatItsTextStores) {
  auto db = Db();
  auto row = [&] {
    std::string text;
    Query rows(*db, "SELECT * FROM Prueba");
    while (rows.Step())
      for (int i = 0; i < rows.statement().ColumnCount(); ++i)
        text += rows.Value(i).Describe() + "|";
    db->Exec("DELETE FROM Prueba");
    return text;
  };
  row();
  for (const char* sql :
       {"INSERT INTO Prueba (Id, Nombre, Importe) VALUES (3, 'O''Brien', -1E-05)",
        "INSERT INTO Prueba (Id, Nombre, Nota, Importe) VALUES (-3, -0, - 7, -12)",
        "INSERT INTO Prueba (Id, Nombre, Importe) VALUES (+4, +5, -0.0)",
        "insert into Prueba (Id, Nota, Importe) values (123456789012345678, '', +2.50);",
        "INSERT INTO Prueba (Id, Importe, Nota) VALUES (7, .1, '3.0')"}) {
    std::optional<ShapedInsert> shaped = ShapeOfInsert(sql);
    ASSERT_TRUE(shaped) << sql;
    Statement* st = db->PrepareShape(shaped->shape);
    ASSERT_NE(st, nullptr) << shaped->shape;
    st->BindLiterals(std::move(shaped->values));
    st->Run();
    const std::string stored = row();
    db->Exec(sql);
    EXPECT_EQ(stored, row()) << sql;
    EXPECT_NE(stored, "") << sql;
  }
  // On a server a statement that fails to prepare aborts the open unit.
  connection_->BeginTrans();
  Run("INSERT INTO Prueba (Id, Importe) VALUES (-3, 1)");
  connection_->CommitTrans();
  EXPECT_EQ(Value("SELECT Id FROM Prueba"), Variant(int32_t{-3}));
}

// A read that stops half way (a conversion fails on its row) is released
// all the same: the connection holds no old snapshot, so it still writes
// after another user's commit, and the statement reads afresh. (A server's
// answer is read whole, so there it holds in any case.)
TEST_F(ConnectionTest, AQueryLeftByAFailedConversionHoldsNoRead) {
  auto db = Db();
  const char* sql = "SELECT Nombre, Importe FROM Prueba ORDER BY Id";
  EXPECT_EQ(ErrorOf([&] {
              Query rows(*db, sql);
              rows.Step();
              rows.Number(0);  // "Uno" is no number
            }).number(),
            kErrTypeMismatch);
  Database other(db_path(), false);
  other.Run("UPDATE Prueba SET Importe = 7 WHERE Id = 1");
  EXPECT_EQ(db->Run("UPDATE Prueba SET Nota = 'escrita' WHERE Id = 1"), 1);
  Query rows(*db, sql);
  ASSERT_TRUE(rows.Step());
  EXPECT_EQ(rows.Number(1), 7);
}

// Every run of a kept statement is traced (the benchmark's floor is built
// from the trace), not only the first.
TEST_F(ConnectionTest, CountsAndTracesEveryStatement) {
  EXPECT_EQ(
      Traced(Origin::Component,
             [&] {
               Run("SELECT TOP 1 Id FROM Prueba");
               Run("UPDATE Prueba SET Nota = 'a'");
             }),
      (std::vector<std::string>{"SELECT Id FROM Prueba LIMIT 1", "UPDATE Prueba SET Nota = 'a'"}));
  const std::string begin = qbx::test::OnServer() ? "BEGIN" : "BEGIN IMMEDIATE";
  EXPECT_EQ(Traced(Origin::Suite,
                   [&] {
                     for (int i = 0; i < 2; ++i) Db()->Transaction([] {});
                   }),
            (std::vector<std::string>{begin, "COMMIT", begin, "COMMIT"}));
  EXPECT_EQ(connection_->DefaultDatabase(),
            qbx::test::OnServer() ? db_path().substr(db_path().rfind('=') + 1) : "prueba");
}

// The component keeps a recordset open while it calls the services (the
// transport document takes its folio with the source rows still open; the
// cancellation updates order lines while reading them): the services' own
// transactions run on the same connection and must not wait for it, nor
// fail because another user committed after the recordset was opened.
TEST_F(ConnectionTest, ServicesWriteWhileARecordsetIsOpen) {
  auto data = Make<IDataServices>(kClsidDataServices);
  auto rs = Run("SELECT Id FROM Prueba ORDER BY Id");
  Database other(db_path(), false);
  other.Exec("UPDATE Prueba SET Importe = 1 WHERE Id = 5000000000");
  EXPECT_EQ(data->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));
  Run("UPDATE Prueba SET Nota = 'leida' WHERE Id = 1");
  EXPECT_TRUE(data->Procesar_Documento("TRANSFERENCIA", "F", ""));
  // The rows read on from where the recordset stood, as they were.
  EXPECT_EQ(rs->Field("id"), Variant(int32_t{1}));
  rs->MoveNext();
  EXPECT_EQ(rs->Field("Id"), Variant(5000000000.0));
  EXPECT_EQ(ErrorOf([&] { rs->Field("Nota"); }).number(), kErrItemNotFound);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorOf([&] { rs->Field("Id"); }).number(), kErrNoCurrentRecord);
  // Everything was committed: another connection sees it.
  EXPECT_EQ(other.QueryValue("SELECT Nota FROM Prueba WHERE Id = 1"), Variant("leida"));
  EXPECT_EQ(other.QueryValue("SELECT COUNT(*) FROM Documento_Procesado"), Variant(int32_t{1}));
}

// A unit of work covers the component's statements and every service called
// meanwhile; a service that fails inside it undoes only its own part; nested
// units commit into the one around them; rolling back restores every table.
TEST_F(ConnectionTest, UnitsOfWorkNestAndUndoExactly) {
  auto data = Make<IDataServices>(kClsidDataServices);
  auto stock = Make<IInventoryServices>(kClsidInventoryServices);
  auto nota = [&] { return Value("SELECT Nota FROM Prueba WHERE Id = 1"); };
  Database other(db_path(), false);
  const std::string before = DatabaseText(*Db());

  for (auto end : {&IConnection::CommitTrans, &IConnection::RollbackTrans})
    EXPECT_EQ(ErrorOf([&] { (connection_.get()->*end)(); }).number(), kErrNoTransaction);

  EXPECT_EQ(connection_->BeginTrans(), 1);
  Run("UPDATE Prueba SET Nota = 'a' WHERE Id = 1");
  EXPECT_EQ(data->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));
  EXPECT_TRUE(stock->Ajustar_Existencia(sample::kCedis, sample::kWarehouseGeneral, "AZUCAR", "00",
                                        "00", -5, 0));
  EXPECT_TRUE(data->Procesar_Documento("TRANSFERENCIA", "F", ""));
  // A service transaction that fails takes back only what it did.
  EXPECT_EQ(ErrorOf([&] {
              Db()->Transaction([&] {
                Run("UPDATE Prueba SET Nota = 'b' WHERE Id = 1");
                throw RuntimeError(5, "falla");
              });
            }).number(),
            5);
  EXPECT_EQ(nota(), Variant("a"));
  EXPECT_EQ(connection_->BeginTrans(), 2);
  Run("UPDATE Prueba SET Nota = 'c' WHERE Id = 1");
  connection_->RollbackTrans();
  EXPECT_EQ(nota(), Variant("a"));
  EXPECT_EQ(connection_->BeginTrans(), 2);
  Run("UPDATE Prueba SET Nota = 'd' WHERE Id = 1");
  connection_->CommitTrans();
  EXPECT_EQ(nota(), Variant("d"));
  EXPECT_EQ(other.QueryValue("SELECT Nota FROM Prueba WHERE Id = 1"), Variant(Null{}));
  connection_->RollbackTrans();
  EXPECT_EQ(DatabaseText(*Db()), before);
  EXPECT_EQ(data->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));

  // Service transactions nest too: the inner one that fails is undone to its
  // savepoint, and what the outer one and the unit did is committed.
  EXPECT_EQ(connection_->BeginTrans(), 1);
  Run("UPDATE Prueba SET Nota = 'e' WHERE Id = 1");
  Db()->Transaction([&] {
    Run("UPDATE Prueba SET Importe = 2 WHERE Id = 1");
    EXPECT_EQ(ErrorOf([&] {
                Db()->Transaction([&] {
                  Run("UPDATE Prueba SET Nota = 'f', Importe = 3 WHERE Id = 1");
                  throw RuntimeError(5, "falla");
                });
              }).number(),
              5);
  });
  connection_->CommitTrans();
  EXPECT_EQ(other.QueryValue("SELECT Nota FROM Prueba WHERE Id = 1"), Variant("e"));
  EXPECT_EQ(other.QueryValue("SELECT Importe FROM Prueba WHERE Id = 1"), Variant(2.0));
}

// An open unit holds the write lock: another writer's transaction waits for
// it from its start (so it reads what the unit wrote) rather than failing.
TEST_F(ConnectionTest, ASecondWriterWaitsForTheUnit) {
  connection_->BeginTrans();
  Run("UPDATE Prueba SET Nota = 'primero' WHERE Id = 1");
  auto second = std::async(std::launch::async, [path = db_path()] {
    Database other(path, false);
    Variant seen;
    other.Transaction([&] {
      seen = other.QueryValue("SELECT Nota FROM Prueba WHERE Id = 1");
      other.Run("UPDATE Prueba SET Nota = Nota || ' segundo' WHERE Id = 1");
    });
    return seen;
  });
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  connection_->CommitTrans();
  EXPECT_EQ(second.get(), Variant("primero"));
  EXPECT_EQ(Value("SELECT Nota FROM Prueba WHERE Id = 1"), Variant("primero segundo"));
}

// On a server another client's transaction can deadlock with one of the
// suite's own: the server aborts one of them, and the suite runs its own again
// from the start once the other has finished.
TEST_F(ConnectionTest, AServerDeadlockRunsTheSuitesTransactionAgain) {
  if (!qbx::test::OnServer()) GTEST_SKIP() << "a server's deadlock";
  std::promise<void> holds_first, main_holds;
  std::shared_future<void> main_ready = main_holds.get_future().share();
  auto other = std::async(std::launch::async, [&, path = db_path()] {
    Database db(path, false);
    db.Exec("BEGIN; UPDATE Prueba SET Nota = 'otro' WHERE Id = 1");
    holds_first.set_value();
    main_ready.wait();
    // The suite's transaction must wait first, so the server's check finds
    // the deadlock there and aborts it: a fixed pause lost that race on a
    // loaded machine.
    Database watch(path, false);
    for (int i = 0; i < 1000 && watch.QueryValue("SELECT COUNT(*) FROM pg_locks WHERE NOT granted")
                                          .ToDouble() == 0;
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    db.Exec("UPDATE Prueba SET Nota = 'otro' WHERE Id = 5000000000");
    db.Exec("COMMIT");
  });
  holds_first.get_future().wait();
  int attempts = 0;
  Db()->Transaction([&] {
    Db()->Run("UPDATE Prueba SET Nota = 'suite' WHERE Id = 5000000000");
    if (++attempts == 1) main_holds.set_value();
    Db()->Run("UPDATE Prueba SET Nota = 'suite' WHERE Id = 1");
  });
  other.get();
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(Value("SELECT COUNT(*) FROM Prueba WHERE Nota = 'suite'"), Variant(int32_t{2}));
}

}  // namespace
}  // namespace qbx::suite::test
