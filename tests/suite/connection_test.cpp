// The connection the suite hands to the component: statement texts run as
// built, fields by name in any case, the platform's errors and value types.
#include "suite/connection.h"

#include <gtest/gtest.h>

#include <chrono>
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
  EXPECT_EQ(RewriteTop("select top 10 Tr_Folio FROM T ORDER BY Tr_ID "),
            "select Tr_Folio FROM T ORDER BY Tr_ID LIMIT 10");
  for (const char* same : {"SELECT TOPE FROM t", "SELECT TOP x FROM t", "UPDATE t SET TOP = 1"})
    EXPECT_EQ(RewriteTop(same), same);
}

// The literals of a row insert become parameters, or the text runs as it is.
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
  for (const std::string& values :
       {"(-1234567890123456789)"s, "('a\0b')"s, "(1), (2)"s, "(1) -- uno"s, "(NULL)"s, "(1 + 2)"s,
        "(1.2.3)"s, "(1e)"s, "(.)"s, "(-'a')"s, "(--1\n)"s, "('abc)"s, "(1) x"s})
    EXPECT_FALSE(ShapeOfInsert("INSERT INTO T VALUES " + values)) << values;
  for (const char* same : {"INSERT /* c */ INTO T VALUES (1)", "INSERT INTO T SELECT 1",
                           "INSERTINTO T VALUES (1)", "UPDATE T SET a = 1"})
    EXPECT_FALSE(ShapeOfInsert(same)) << same;
}

constexpr const char* kNota = "SELECT Nota FROM Prueba WHERE Id = 1";

class ConnectionTest : public SuiteTest {
 protected:
  void SetUp() override {
    SuiteTest::SetUp();
    // A server's timestamp cannot hold the empty text the embedded file reads as no date.
    const bool server = qbx::test::OnServer();
    Db()->Exec(std::string(server ? "CREATE TABLE Prueba (Id BIGINT, Nombre CITEXT, Fecha DATE, "
                                    "Momento TIMESTAMP(0), Importe DOUBLE PRECISION, Nota TEXT);"
                                  : "CREATE TABLE Prueba (Id INTEGER, Nombre TEXT COLLATE NOCASE, "
                                    "Fecha DATE, Momento DATETIME, Importe REAL, Nota TEXT);") +
               "INSERT INTO Prueba VALUES (1, 'Uno', '2024-03-05', '2024-03-05 14:30:15', 12.5, "
               "NULL); INSERT INTO Prueba VALUES (5000000000, 'O''Brien', NULL, " +
               (server ? "NULL" : "''") + ", -0.25, 'x');");
    connection_ = Make<ISystemServices>(kClsidSystemServices)->Obtener_Conexion();
  }
  com::ComPtr<IRecordset> Run(const std::string& sql) {
    return connection_->Execute(sql, Variant(Missing{}), -1);
  }
  // A service transaction on the unit's connection that runs sql and fails.
  void FailingTransaction(const std::string& sql) {
    const auto fail = [&] { Run(sql), throw RuntimeError(5, "falla"); };
    EXPECT_EQ(ErrorOf([&] { Db()->Transaction(fail); }).number(), 5);
  }

  com::ComPtr<IConnection> connection_;
};

TEST_F(ConnectionTest, FieldsComeBackTypedByNameInAnyCaseOrAsThePlatformsErrors) {
  auto rs =
      Run("SELECT TOP 5 Id, Nombre, Fecha, Momento, Importe AS Monto, Nota FROM Prueba "
          "ORDER BY Id");
  // Beyond 32 bits an integer is a Double; an empty date text is no date.
  const char* names[] = {"Id", "NOMBRE", "Fecha", "momento", "monto", "Nota"};
  const std::vector<Variant> rows[] = {{int32_t{1}, "Uno", Date::FromCalendar(2024, 3, 5),
                                        Date::FromCalendar(2024, 3, 5, 14, 30, 15), 12.5, Null{}},
                                       {5000000000.0, "O'Brien", Null{}, Null{}, -0.25, "x"}};
  for (const auto& row : rows) {
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(ErrorOf([&] { rs->Field("Nope"); }).description(), kItemNotFoundText);
    for (size_t i = 0; i < row.size(); ++i) EXPECT_EQ(rs->Field(names[i]), row[i]) << names[i];
    rs->MoveNext();
  }
  EXPECT_TRUE(rs->Eof());
  for (const RuntimeError& e :
       {ErrorOf([&] { rs->Field("Id"); }), ErrorOf([&] { rs->MoveNext(); }),
        ErrorOf([&] { Run("SELECT Id FROM Prueba WHERE Id = 9")->Field("Id"); })}) {
    EXPECT_EQ(e.number(), kErrNoCurrentRecord);
    EXPECT_EQ(e.description(), kNoCurrentRecordText);
  }
  EXPECT_EQ(ErrorOf([&] { rs->Field("Nope"); }).number(), kErrItemNotFound);
  // A statement without rows runs and answers end of file.
  EXPECT_TRUE(Run("UPDATE Prueba SET Nota = 'cambiada' WHERE Id = 1")->Eof());
  EXPECT_EQ(Value(kNota), Variant("cambiada"));
  // The backend's own message.
  const RuntimeError e = ErrorOf([&] { Run("SELECT * FROM Nada"); });
  EXPECT_EQ(e.number(), kErrDatabase);
  EXPECT_EQ(e.description(), qbx::test::OnServer() ? "relation \"nada\" does not exist"
                                                   : "no such table: Nada");
}

// A shaped insert stores the very row its text stores when compiled as it is.
TEST_F(ConnectionTest, AShapedInsertStoresWhatItsTextStores) {
  auto db = Db();
  db->Exec("DELETE FROM Prueba");
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
    const std::string stored = DatabaseText(*db);
    db->Exec(std::string("DELETE FROM Prueba; ") + sql);
    EXPECT_EQ(stored, DatabaseText(*db)) << sql;
    db->Exec("DELETE FROM Prueba");
  }
  // On a server a statement that fails to prepare aborts the open unit.
  connection_->BeginTrans();
  Run("INSERT INTO Prueba (Id, Importe) VALUES (-3, 1)");
  connection_->CommitTrans();
  EXPECT_EQ(Value("SELECT Id FROM Prueba"), Variant(int32_t{-3}));
}

// A read stopped by a failed conversion is released all the same: the
// connection still writes after another user's commit, and reads afresh.
TEST_F(ConnectionTest, AQueryLeftByAFailedConversionHoldsNoRead) {
  auto db = Db();
  const char* sql = "SELECT Nombre, Importe FROM Prueba ORDER BY Id";
  EXPECT_EQ(ErrorOf([&] {
              Query rows(*db, sql);
              rows.Step();
              rows.Number(0);  // "Uno" is no number
            }).number(),
            kErrTypeMismatch);
  Database(db_path(), false).Run("UPDATE Prueba SET Importe = 7 WHERE Id = 1");
  EXPECT_EQ(db->Run("UPDATE Prueba SET Nota = 'escrita' WHERE Id = 1"), 1);
  Query rows(*db, sql);
  ASSERT_TRUE(rows.Step());
  EXPECT_EQ(rows.Number(1), 7);
}

// Every run of a kept statement is traced and counted (the benchmark's floor
// is built from the trace), not only the first.
TEST_F(ConnectionTest, CountsAndTracesEveryStatement) {
  auto db = Db();
  std::vector<std::string> traced;
  db->SetTraceSink([&](Origin from, std::string_view text) {
    traced.push_back((from == Origin::Suite ? "suite: " : "component: ") + std::string(text));
  });
  const int64_t component = db->StatementCount(Origin::Component),
                suite = db->StatementCount(Origin::Suite);
  Run("SELECT TOP 1 Id FROM Prueba"), Run("UPDATE Prueba SET Nota = 'a'");
  db->Transaction([] {}), db->Transaction([] {});
  db->SetTraceSink(nullptr);
  const std::string begin = qbx::test::OnServer() ? "suite: BEGIN" : "suite: BEGIN IMMEDIATE";
  EXPECT_EQ(traced, (std::vector<std::string>{"component: SELECT Id FROM Prueba LIMIT 1",
                                              "component: UPDATE Prueba SET Nota = 'a'", begin,
                                              "suite: COMMIT", begin, "suite: COMMIT"}));
  EXPECT_EQ(db->StatementCount(Origin::Component) - component, 2);
  EXPECT_EQ(db->StatementCount(Origin::Suite) - suite, 4);
}

// The component keeps a recordset open while it calls the services: their
// transactions run on the same connection and must neither wait for it nor
// fail because another user committed after it was opened.
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
  // Everything was committed: another connection sees it.
  EXPECT_EQ(other.QueryValue(kNota), Variant("leida"));
  EXPECT_EQ(other.QueryValue("SELECT COUNT(*) FROM Documento_Procesado"), Variant(int32_t{1}));
}

// A unit covers the component's statements and the services called meanwhile;
// a failing service undoes only its part; nested units commit into the outer
// one; rolling back restores every table.
TEST_F(ConnectionTest, UnitsOfWorkNestAndUndoExactly) {
  auto data = Make<IDataServices>(kClsidDataServices);
  auto stock = Make<IInventoryServices>(kClsidInventoryServices);
  Database other(db_path(), false);
  const std::string before = DatabaseText(*Db());
  EXPECT_EQ(connection_->BeginTrans(), 1);
  Run("UPDATE Prueba SET Nota = 'a' WHERE Id = 1");
  EXPECT_EQ(data->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));
  EXPECT_TRUE(stock->Ajustar_Existencia(sample::kCedis, sample::kWarehouseGeneral, "AZUCAR", "00",
                                        "00", -5, 0));
  EXPECT_TRUE(data->Procesar_Documento("TRANSFERENCIA", "F", ""));
  FailingTransaction("UPDATE Prueba SET Nota = 'b' WHERE Id = 1");
  EXPECT_EQ(Value(kNota), Variant("a"));
  EXPECT_EQ(connection_->BeginTrans(), 2);
  Run("UPDATE Prueba SET Nota = 'c' WHERE Id = 1");
  connection_->RollbackTrans();
  EXPECT_EQ(Value(kNota), Variant("a"));
  EXPECT_EQ(connection_->BeginTrans(), 2);
  Run("UPDATE Prueba SET Nota = 'd' WHERE Id = 1");
  connection_->CommitTrans();
  EXPECT_EQ(Value(kNota), Variant("d"));
  EXPECT_EQ(other.QueryValue(kNota), Variant(Null{}));
  connection_->RollbackTrans();
  EXPECT_EQ(DatabaseText(*Db()), before);
  EXPECT_EQ(data->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));

  // Service transactions nest too: the failed inner one is undone to its
  // savepoint; the outer one's and the unit's work is committed.
  EXPECT_EQ(connection_->BeginTrans(), 1);
  Run("UPDATE Prueba SET Nota = 'e' WHERE Id = 1");
  Db()->Transaction([&] {
    Run("UPDATE Prueba SET Importe = 2 WHERE Id = 1");
    FailingTransaction("UPDATE Prueba SET Nota = 'f', Importe = 3 WHERE Id = 1");
  });
  connection_->CommitTrans();
  EXPECT_EQ(other.QueryValue("SELECT Nota FROM Prueba WHERE Id = 1 AND Importe = 2"), Variant("e"));
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
      seen = other.QueryValue(kNota);
      other.Run("UPDATE Prueba SET Nota = Nota || ' segundo' WHERE Id = 1");
    });
    return seen;
  });
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  connection_->CommitTrans();
  EXPECT_EQ(second.get(), Variant("primero"));
  EXPECT_EQ(Value(kNota), Variant("primero segundo"));
}

// A server aborts one side of a deadlock with another client; the suite runs
// its own transaction again once the other has finished.
TEST_F(ConnectionTest, AServerDeadlockRunsTheSuitesTransactionAgain) {
  if (!qbx::test::OnServer()) GTEST_SKIP() << "a server's deadlock";
  std::promise<void> holds_first, main_holds;
  std::shared_future<void> main_ready = main_holds.get_future().share();
  auto other = std::async(std::launch::async, [&, path = db_path()] {
    Database db(path, false), watch(path, false);
    db.Exec("BEGIN; UPDATE Prueba SET Nota = 'otro' WHERE Id = 1");
    holds_first.set_value();
    main_ready.wait();
    // The suite's side must wait first, so the server aborts it (a fixed
    // pause lost that race on a loaded machine).
    for (int i = 0;
         i < 1000 &&
         watch.QueryValue("SELECT COUNT(*) FROM pg_locks WHERE NOT granted").ToDouble() == 0;
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    db.Exec("UPDATE Prueba SET Nota = 'otro' WHERE Id = 5000000000; COMMIT");
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
