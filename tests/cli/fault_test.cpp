// Every outside call of a write made to fail in turn, in process: a unit of
// work either stores the whole request or nothing, and its retry key then
// stores it exactly once. --per-statement keeps what was done before the
// fault, as documented.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/cli/database_texts.h"
#include "tests/cli/fault_provider.h"

namespace qbx::cli::test {
namespace {

using Texts = std::vector<std::string>;

int64_t Count(const std::string& path, const std::string& sql) {
  return suite::Database(path, false).QueryValue(sql).ToLong();
}

// Three lines from the distribution centre, one product twice.
std::string Shipment(const std::string& key, const std::string& receiver = "NORTE") {
  return "{" + (key.empty() ? "" : "\"Clave\": \"" + key + "\",") +
         R"("Encabezado": {"Tr_Tipo": "EN", "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"},
      "Almacen": {"Al_Cve_Almacen": "GRL"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": ")" +
         receiver + R"("}}, "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 3, "Tr_Unidad_1": "PZA"},
      {"Producto": {"Pr_Cve_Producto": "KIT-01"}, "Tr_Cantidad_1": 2, "Tr_Unidad_1": "PAQ"},
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 4, "Tr_Unidad_1": "PZA"}]})";
}

class Faults : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    if (!IsSkipped()) Sample({kTransit, kAccounting});
  }

  // The tool on db, in process, with the fault at call fail_at; without a
  // fault it answers `expect`.
  static Outcome Run(const std::string& db, std::vector<std::string> args,
                     const std::string& input = "", int64_t fail_at = 0, int expect = 0) {
    args.insert(args.end(), {"--db", db});
    Outcome o = RunTool(args, input, fail_at);
    EXPECT_TRUE(fail_at || o.status == expect) << o.status << ": " << o.err;
    return o;
  }

  // Every call on the embedded file; on a server, where each fault point
  // needs a new database, every third call (the file covers the rest).
  static int64_t Stride() { return qbx::test::OnServer() ? 3 : 1; }

  // The request with a fault at each of its calls in turn, each from the base
  // database: all or nothing, then two retries finish it once. Answers the
  // calls whose fault the component absorbed into a result other than a
  // clean run's.
  Texts Sweep(const std::vector<std::string>& args, const std::string& input) {
    const std::string before = Text(db_), clean_db = Copy("clean.db");
    const Outcome clean = Run(clean_db, args, input);
    const std::string after = MaskTimes(Text(clean_db));
    const Outcome again = Run(clean_db, args, input);  // what the key answers once it ran
    EXPECT_NE(after, MaskTimes(before));
    Texts altered;
    int64_t failed = 0, swept = 0;
    for (int64_t n = 1; n <= std::ssize(clean.log) && !HasFailure(); n += Stride(), ++swept) {
      SCOPED_TRACE("fault at call " + std::to_string(n) + ": " + clean.log[n - 1]);
      const std::string db = Copy("run.db");
      const Outcome o = Run(db, args, input, n);
      EXPECT_GE(std::ssize(o.log), n) << "the fault was never reached";
      bool same = true;
      if (o.status == 1) {
        ++failed;
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(Text(db), before) << o.err;
      } else {
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, clean.out);
        if (!(same = MaskTimes(Text(db)) == after)) altered.push_back(clean.log[n - 1]);
      }
      // The first retry finishes the request, the second only answers.
      const Outcome first = Run(db, args, input);
      const std::string stored = Text(db);
      const Outcome second = Run(db, args, input);
      EXPECT_EQ(first.out, o.status == 1 ? clean.out : again.out);
      EXPECT_EQ(second.out, again.out);
      EXPECT_EQ(Text(db), stored);
      EXPECT_TRUE(!same || MaskTimes(stored) == after) << "the retry stored something else";
    }
    EXPECT_TRUE(HasFailure() || failed > swept / 2) << failed;  // the sweep reached the writes
    return altered;
  }
};

TEST_F(Faults, CaptureAndFinalise) {
  EXPECT_EQ(Sweep({"capture", "-"}, Shipment("captura-1")), Texts{});
}

// The writes on a shipment, each swept from the database the one before left.
TEST_F(Faults, TransportDocumentCancelAndRequisition) {
  const std::string folio = FirstLine(Run(db_, {"capture", "-"}, Shipment("envio")).out);
  EXPECT_EQ(Sweep({"cfdi", folio, "--key", "cfdi-1"}, ""), Texts{});
  Run(db_, {"cfdi", folio});
  // The voucher the suite's issuing would have recorded, for the cancel to cancel.
  {
    suite::Database db(db_, false);
    for (const std::string& t : suite::TransportDocumentsOf(db, folio))
      suite::RecordVoucher(db, t, "PRUEBA");
  }
  EXPECT_EQ(Sweep({"cancel", folio, "--key", "anula-1"}, ""), Texts{});
  // The requisition does not look at its line object's refusal of Detalle: a
  // failed unit conversion stores the line with no control quantity and
  // answers True, so the tool cannot tell. Pinned, so that a change is noticed.
  EXPECT_EQ(Sweep({"requisition", "PED-0001", "--key", "req-1"}, ""),
            Texts{R"(DataServices#2.Obtener_Factor_Conversion("TORN-001", "PZA", "PZA"))"});
}

// Statement by statement, a fault keeps the lines stored before it, and the
// tool names them.
TEST_F(Faults, PerStatementKeepsWhatWasStoredBeforeTheFault) {
  const std::vector<std::string> args = {"capture", "-", "--per-statement"};
  const Outcome clean = Run(Copy("clean.db"), args, Shipment(""));
  const auto inserts_before = [&](int64_t n) {  // the lines' INSERTs before call n
    return std::count_if(clean.log.begin(), clean.log.begin() + n - 1, [](const std::string& c) {
      return c.starts_with("sql: INSERT INTO Transferencia");
    });
  };
  ASSERT_EQ(inserts_before(std::ssize(clean.log) + 1), 3);
  for (int64_t n = 1; n <= std::ssize(clean.log) && !HasFailure(); n += Stride()) {
    SCOPED_TRACE("fault at call " + std::to_string(n));
    const std::string db = Copy("run.db");
    const Outcome o = Run(db, args, Shipment(""), n);
    if (o.status == 0) continue;  // absorbed
    ASSERT_EQ(o.status, 1) << o.err;
    const int64_t done = inserts_before(n);
    EXPECT_EQ(Count(db, "SELECT COUNT(*) FROM Transferencia WHERE Tr_Tipo = 'EN'"), done) << o.err;
    EXPECT_TRUE(done == 0 || Has(o.err, std::to_string(done) +
                                            (done == 1 ? " line is" : " lines are") + " stored"));
  }
}

// A line refused once the document is open (its movements were started):
// as a unit nothing stays, not even a pending movement detail; statement by
// statement the pending detail stays and the tool says so.
TEST_F(Faults, LineRefusedAfterTheDocumentOpened) {
  // A receiving branch the catalogue has (the tool's checks pass) without the
  // transit warehouse its receipt goes to.
  suite::Database(db_, false).Exec(R"(
      INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Centro_Distribucion) VALUES ('NADIE', 'CEDIS');
      INSERT INTO Almacen (Sc_Cve_Sucursal, Al_Cve_Almacen) VALUES ('NADIE', 'GRL'))");
  const std::string unit = Copy("unit.db"), each = Copy("each.db");
  Run(unit, {"capture", "-"}, Shipment("", "NADIE"), 0, 1);
  EXPECT_EQ(Text(unit), Text(db_));
  const Outcome o = Run(each, {"capture", "-", "--per-statement"}, Shipment("", "NADIE"), 0, 1);
  EXPECT_TRUE(Has(o.err, "stay pending; they change no stock."));
  constexpr const char* kPending = "SELECT COUNT(*) FROM Movimiento WHERE Mv_Aplicado = 0";
  EXPECT_EQ(Count(each, kPending), Count(db_, kPending) + 1);
}

}  // namespace
}  // namespace qbx::cli::test
