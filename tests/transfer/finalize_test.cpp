// Finalizar_Transferencia and Finaliza_Movimiento on the recording doubles.
#include <functional>
#include <string>
#include <vector>

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

const std::string kSource = "Quelbarix.dll - Finalizar_Transferencia()\r\n";
const std::string kMovSource = "Quelbarix.dll - Finaliza_Movimiento()\r\n";

// The statement that checks the transfer before posting, for folio F1.
const std::string kCheckF1 =
    "SELECT    Transferencia.Tr_Folio,    Sucursal.Sc_Cve_Sucursal,    Em_Cve_Empresa FROM "
    "Transferencia    INNER JOIN Sucursal ON  Transferencia.Sc_Cve_Sucursal = "
    "Sucursal.Sc_Cve_Sucursal WHERE Transferencia.Tr_Folio = 'F1' AND    "
    "Sucursal.Es_Cve_Estado <> 'BA' AND Transferencia.Es_Cve_Estado <> 'CA' ";

class FinalizeTest : public TransferTest {
 protected:
  // The object under test, with the start-up calls out of the journal.
  Transferencia& Fresh() {
    Transferencia& t = Object();
    suite.journal.Clear();
    return t;
  }
  void CompanyFound(Variant company = "EMP") {
    suite.OnQuery("Em_Cve_Empresa",
                  {{{"Tr_Folio", "F1"}, {"Sc_Cve_Sucursal", "S1"}, {"Em_Cve_Empresa", company}}});
  }
  bool Finalize(std::string folio = "F1") { return Object().Finalizar_Transferencia(folio); }
};

TEST_F(FinalizeTest, BlankFolioFailsBeforeAnyOutsideCall) {
  for (std::string folio : {"", "   "}) {
    Fresh();
    EXPECT_FALSE(Finalize(folio));
    EXPECT_EQ(Object().Error(), kSource + "No se especificó el folio de la transferencia!");
    EXPECT_TRUE(suite.journal.entries().empty()) << suite.journal.Dump();
  }
}

TEST_F(FinalizeTest, SuccessPostsAndProcessesInOrderAndClearsAnEarlierError) {
  Fresh();
  EXPECT_FALSE(Finalize(" "));  // leaves a text behind
  CompanyFound();
  int posting_alive_at_processing = -1;
  suite.script.On("Data.Procesar_Documento", [&](const std::vector<Variant>&) {
    posting_alive_at_processing = suite.Alive("Posting");
    return Variant(true);
  });

  ASSERT_TRUE(Finalize()) << Object().Error();
  EXPECT_EQ(Object().Error(), "");
  EXPECT_EQ(suite.journal.entries(),
            (std::vector<std::string>{
                "Posting#1.Documento_Habilitado(\"TRANSFERENCIA\")",
                "System.Obtener_Conexion()",
                "Connection.Execute(\"" + kCheckF1 + "\", Missing, -1&)",
                "Recordset#1.Close()",
                "Posting#1.Generar_Documento(\"TRANSFERENCIA\", \"F1\", \"EMP\")",
                "Posting#1.Obtener_Mensaje_Error()",
                "Data.Procesar_Documento(\"TRANSFERENCIA\", \"F1\", \"\")",
            }))
      << suite.journal.Dump();
  EXPECT_EQ(posting_alive_at_processing, 0);  // released before processing
  EXPECT_EQ(suite.Created("Posting"), 1);
}

TEST_F(FinalizeTest, PostingNotHandlingTransfersSkipsTheLookup) {
  Fresh();
  suite.script.Answer("Posting.Documento_Habilitado", false);
  std::string folio = " NADA ";  // matches no transfer; used untrimmed
  ASSERT_TRUE(Object().Finalizar_Transferencia(folio)) << Object().Error();
  EXPECT_EQ(folio, " NADA ");
  EXPECT_TRUE(suite.Statements().empty());
  EXPECT_EQ(suite.journal.Calls(), (std::vector<std::string>{"Posting#1.Documento_Habilitado",
                                                             "Data.Procesar_Documento"}));
  EXPECT_EQ(suite.journal.entries().back(),
            "Data.Procesar_Documento(\"TRANSFERENCIA\", \" NADA \", \"\")");
  EXPECT_EQ(suite.Alive("Posting"), 0);
}

TEST_F(FinalizeTest, FolioWithAQuoteIsSafeInTheStatementAndPlainInTheMessage) {
  Fresh();
  EXPECT_FALSE(Finalize("F'1"));
  ASSERT_EQ(suite.Statements().size(), 1u);
  EXPECT_NE(suite.Statements()[0].find("Transferencia.Tr_Folio = 'F''1' AND"), std::string::npos);
  EXPECT_EQ(Object().Error(), kSource + "La trasferencia:F'1 es incorrecta");
}

struct FinalizeFailure {
  const char* name;
  std::function<void(FakeSuite&)> setup;
  std::string message;  // after the source line
  int mensaje_reads;    // Posting.Obtener_Mensaje_Error calls
};

TEST_F(FinalizeTest, FailureTable) {
  const std::vector<FinalizeFailure> cases = {
      {"transfer missing, cancelled or of a deactivated branch", [](FakeSuite&) {},
       "La trasferencia:F1 es incorrecta", 0},
      {"posting refused",
       [](FakeSuite& s) {
         s.OnQuery("Em_Cve_Empresa", {{{"Em_Cve_Empresa", "EMP"}}});
         s.script.Answer("Posting.Generar_Documento", false);
         s.script.Answer("Posting.Obtener_Mensaje_Error", "Cuenta contable inexistente");
       },
       "Cuenta contable inexistente", 1},
      {"posting answered True with a message",
       [](FakeSuite& s) {
         s.OnQuery("Em_Cve_Empresa", {{{"Em_Cve_Empresa", "EMP"}}});
         s.script.Queue("Posting.Obtener_Mensaje_Error", {"primera", "segunda"});
       },
       "segunda", 2},  // the text is read again for the message
      {"processing refused",
       [](FakeSuite& s) {
         s.OnQuery("Em_Cve_Empresa", {{{"Em_Cve_Empresa", "EMP"}}});
         s.script.Answer("Data.Procesar_Documento", false);
         s.script.Answer("Data.Obtener_Ultimo_Error", "Documento bloqueado");
       },
       "Documento bloqueado", 1},
      {"Null company",
       [](FakeSuite& s) {
         s.OnQuery("Em_Cve_Empresa", {{{"Em_Cve_Empresa", Null{}}}});
       },
       "Invalid use of Null", 0},
      {"database error",
       [](FakeSuite& s) {
         s.FailQuery("Em_Cve_Empresa", RuntimeError(-2147217865, "Invalid object name 'X'."));
       },
       "Invalid object name 'X'.", 0},
      {"posting raises",
       [](FakeSuite& s) {
         s.script.Fail("Posting.Documento_Habilitado", RuntimeError(429, "no posting"));
       },
       "no posting", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    c.setup(local);
    {
      Transferencia t;
      std::string folio = "F1";
      EXPECT_FALSE(t.Finalizar_Transferencia(folio));
      EXPECT_EQ(t.Error(), kSource + c.message);
      EXPECT_EQ(local.journal.Starting("Posting#1.Obtener_Mensaje_Error").size(),
                static_cast<size_t>(c.mensaje_reads));
      if (c.message != "Documento bloqueado") {
        EXPECT_TRUE(local.journal.Starting("Data.Procesar_Documento").empty());
      }
      EXPECT_EQ(local.Alive("Posting"), 0);
    }
  }
}

struct MovementCase {
  const char* tipo;
  bool pendiente;
  const char* issue_folio;            // Inventory#3
  const char* receipt_folio;          // Inventory#2
  std::vector<std::string> expected;  // movement calls, in order
};

TEST_F(FinalizeTest, MovementStepFollowsTypeAndPendingFlag) {
  const std::string read3 = "Inventory#3.Obtener_Encabezado_Movimiento()";
  const std::string read2 = "Inventory#2.Obtener_Encabezado_Movimiento()";
  const std::vector<MovementCase> cases = {
      {"EN",
       false,
       "MS-1",
       "ME-1",
       {read3, read2, "Inventory#3.Finalizar_Movimiento(\"MS-1\")",
        "Inventory#2.Finalizar_Movimiento(\"ME-1\")"}},
      {"RC", false, "", "ME-1", {read3, read2, "Inventory#2.Finalizar_Movimiento(\"ME-1\")"}},
      {"RC", false, " MS-1 ", "  ", {read3, read2, "Inventory#3.Finalizar_Movimiento(\" MS-1 \")"}},
      {"EN", false, "  ", "", {read3, read2}},
      {"EN", true, "MS-1", "ME-1", {}},
      {"SL", false, "MS-1", "ME-1", {}},
      {"en", false, "MS-1", "ME-1", {}},
      {"", false, "MS-1", "ME-1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tipo) + (c.pendiente ? " pending" : ""));
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.script.Answer("Posting.Documento_Habilitado", false);
    local.script.Answer("Inventory#3.Obtener_Encabezado_Movimiento", c.issue_folio);
    local.script.Answer("Inventory#2.Obtener_Encabezado_Movimiento", c.receipt_folio);
    {
      Transferencia t;
      t.SetEncabezado(Header(c.tipo));
      t.SetInventario_Pendiente(c.pendiente);
      std::string folio = "F1";
      ASSERT_TRUE(t.Finalizar_Transferencia(folio)) << t.Error();
      std::vector<std::string> movement;
      for (const auto& e : local.journal.entries())
        if (e.find("_Movimiento(") != std::string::npos) movement.push_back(e);
      EXPECT_EQ(movement, c.expected);
      // The movement step comes before posting.
      EXPECT_EQ(local.journal.Calls().back(), "Data.Procesar_Documento");
    }
  }
}

struct MovementFailure {
  const char* name;
  std::function<void(FakeSuite&)> setup;
  std::string last_line;
  bool receipt_attempted;
};

TEST_F(FinalizeTest, MovementFailureGivesThreeLinesAndStopsBeforePosting) {
  const std::vector<MovementFailure> cases = {
      {"issue refused",
       [](FakeSuite& s) {
         s.script.Answer("Inventory#3.Finalizar_Movimiento", false);
         s.script.Answer("Inventory#3.Obtener_Mensaje_Error", "Salida sin existencia");
       },
       "Salida sin existencia", false},
      {"receipt refused",
       [](FakeSuite& s) {
         s.script.Answer("Inventory#2.Finalizar_Movimiento", false);
         s.script.Answer("Inventory#2.Obtener_Mensaje_Error", "Entrada sin costo");
       },
       "Entrada sin costo", true},
      {"header read raises",
       [](FakeSuite& s) {
         s.script.Fail("Inventory#2.Obtener_Encabezado_Movimiento",
                       RuntimeError(-2147023170, "The remote procedure call failed."));
       },
       "The remote procedure call failed.", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.script.Answer("Inventory#3.Obtener_Encabezado_Movimiento", "MS-1");
    local.script.Answer("Inventory#2.Obtener_Encabezado_Movimiento", "ME-1");
    c.setup(local);
    {
      Transferencia t;
      t.SetEncabezado(Header("EN"));
      std::string folio = "F1";
      EXPECT_FALSE(t.Finalizar_Transferencia(folio));
      EXPECT_EQ(t.Error(), kSource + kMovSource + c.last_line);
      EXPECT_EQ(local.journal.Starting("Inventory#2.Finalizar_Movimiento").size(),
                c.receipt_attempted ? 1u : 0u);
      EXPECT_EQ(local.Created("Posting"), 0);
      EXPECT_TRUE(local.journal.Starting("Data.Procesar_Documento").empty());
    }
  }
}

TEST_F(FinalizeTest, LookupFailureLeavesTheMovementsFinalised) {
  suite.script.Answer("Inventory#3.Obtener_Encabezado_Movimiento", "MS-1");
  Object().SetEncabezado(Header("EN"));
  suite.journal.Clear();
  EXPECT_FALSE(Finalize());  // no row: cancelled or missing
  EXPECT_EQ(Object().Error(), kSource + "La trasferencia:F1 es incorrecta");
  EXPECT_EQ(suite.journal.Starting("Inventory#3.Finalizar_Movimiento(\"MS-1\")").size(), 1u);
  EXPECT_EQ(suite.Alive("Posting"), 0);
}

}  // namespace
}  // namespace qbx::test
