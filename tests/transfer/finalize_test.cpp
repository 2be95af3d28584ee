// Finalizar_Transferencia and Finaliza_Movimiento on the recording doubles.

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

const std::string kMovSource = "Quelbarix.dll - Finaliza_Movimiento()\r\n";

class FinalizeTest : public TransferTest {
 protected:
  bool Finalize(std::string folio = "F1") { return Fresh().Finalizar_Transferencia(folio); }
  // The transfer check finds the company code given.
  void Company(Variant company) { Query("Em_Cve_Empresa", {{{"Em_Cve_Empresa", company}}}); }
  // A header of the given type whose movement objects hold these folios.
  void Movements(const char* tipo, const char* issue, const char* receipt) {
    Script({{"Inventory#3.Obtener_Encabezado_Movimiento", issue},
            {"Inventory#2.Obtener_Encabezado_Movimiento", receipt}});
    Start(tipo);
  }
};

TEST_F(FinalizeTest, SuccessPostsAndProcessesInOrderAndClearsAnEarlierError) {
  EXPECT_FALSE(Finalize(" "));  // leaves a text behind
  Company("EMP");
  int posting_alive_at_processing = -1;
  suite->script.On("Data.Procesar_Documento", [&](const std::vector<Variant>&) {
    posting_alive_at_processing = suite->Alive("Posting");
    return Variant(true);
  });
  ASSERT_TRUE(Finalize()) << Object().Error();
  EXPECT_EQ(Object().Error(), "");
  EXPECT_EQ(
      suite->journal.entries(),
      (Texts{R"(Posting#1.Documento_Habilitado("TRANSFERENCIA"))", "System.Obtener_Conexion()",
             "Connection.Execute(\"SELECT    Transferencia.Tr_Folio,    "
             "Sucursal.Sc_Cve_Sucursal,    Em_Cve_Empresa FROM Transferencia    INNER JOIN "
             "Sucursal ON  Transferencia.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE "
             "Transferencia.Tr_Folio = 'F1' AND    Sucursal.Es_Cve_Estado <> 'BA' AND "
             "Transferencia.Es_Cve_Estado <> 'CA' \", Missing, -1&)",
             "Recordset#1.Close()", R"(Posting#1.Generar_Documento("TRANSFERENCIA", "F1", "EMP"))",
             "Posting#1.Obtener_Mensaje_Error()",
             R"(Data.Procesar_Documento("TRANSFERENCIA", "F1", ""))"}))
      << suite->journal.Dump();
  EXPECT_EQ(posting_alive_at_processing, 0);  // released before processing
}

TEST_F(FinalizeTest, FailureTable) {
  // reads: Posting.Obtener_Mensaje_Error calls.
  auto refused = [&](const std::string& message, size_t reads, bool processed,
                     std::string folio = "F1") {
    SCOPED_TRACE(message);
    EXPECT_FALSE(Finalize(folio));
    EXPECT_EQ(Object().Error(), kFinalizarSource + message);
    EXPECT_EQ(Count("Posting#1.Obtener_Mensaje_Error"), reads);
    EXPECT_EQ(Count("Data.Procesar_Documento"), processed ? 1u : 0u);
    EXPECT_EQ(suite->Alive("Posting"), 0);
    // A shipment's movements are finalised before the look-up and stay so.
    EXPECT_EQ(Count("Inventory#3.Finalizar_Movimiento"),
              Object().Encabezado().Tr_Tipo == "EN" ? 1u : 0u);
    // A blank folio fails before any outside call.
    EXPECT_EQ(suite->journal.entries().empty(), folio.find_first_not_of(' ') == std::string::npos);
    Renew();
  };
  for (const char* blank : {"", "   "})
    refused("No se especificó el folio de la transferencia!", 0, false, blank);
  // No row: the transfer is missing, cancelled or of a deactivated branch.
  Query("Tr_Folio = 'F''1' AND", {});  // the quote is doubled in the statement: no row
  Company("EMP");                      // a statement with the quote as it came would find this
  Movements("EN", "MS-1", "");
  refused("La trasferencia:F'1 es incorrecta", 0, false, "F'1");
  Company("EMP");
  Script(Refusal("Posting.Generar_Documento", "Cuenta contable inexistente"));
  refused("Cuenta contable inexistente", 1, false);
  Company("EMP");  // True with a message: the text is read again for the message
  suite->script.Queue("Posting.Obtener_Mensaje_Error", {"primera", "segunda"});
  refused("segunda", 2, false);
  Company("EMP");
  Script({{"Data.Procesar_Documento", false}, {"Data.Obtener_Ultimo_Error", "Documento bloqueado"}});
  refused("Documento bloqueado", 1, true);
  Company(Null{});
  refused("Invalid use of Null", 0, false);
  Script({{"fail:Em_Cve_Empresa", "Invalid object"}});
  refused("Invalid object", 0, false);
  Script({{"raise:Posting.Documento_Habilitado", "no posting"}});
  refused("no posting", 0, false);
}

TEST_F(FinalizeTest, MovementStepFollowsTypeAndPendingFlag) {
  const std::string read3 = "Inventory#3.Obtener_Encabezado_Movimiento()",
                    read2 = "Inventory#2.Obtener_Encabezado_Movimiento()";
  auto finalizes = [&](const char* tipo, bool pending, const char* issue, const char* receipt,
                       const Texts& expected) {
    SCOPED_TRACE(std::string(tipo) + (pending ? " pending" : ""));
    Renew();
    Answer("Posting.Documento_Habilitado", false);
    Movements(tipo, issue, receipt);
    Object().SetInventario_Pendiente(pending);
    // Without posting the folio is not looked up and is used untrimmed.
    ASSERT_TRUE(Finalize(" F1 ")) << Object().Error();
    EXPECT_EQ(Entries({"_Movimiento("}), expected);
    EXPECT_TRUE(suite->Statements().empty());
    EXPECT_EQ(suite->journal.entries().back(),  // movements come first
              R"(Data.Procesar_Documento("TRANSFERENCIA", " F1 ", ""))");
    EXPECT_EQ(suite->Alive("Posting"), 0);
  };
  finalizes("EN", false, "MS-1", "ME-1",
            {read3, read2, R"(Inventory#3.Finalizar_Movimiento("MS-1"))",
             R"(Inventory#2.Finalizar_Movimiento("ME-1"))"});
  finalizes("RC", false, "", "ME-1", {read3, read2, R"(Inventory#2.Finalizar_Movimiento("ME-1"))"});
  finalizes("RC", false, " MS-1 ", "  ",
            {read3, read2, R"(Inventory#3.Finalizar_Movimiento(" MS-1 "))"});
  finalizes("EN", false, "  ", "", {read3, read2});
  finalizes("EN", true, "MS-1", "ME-1", {});
  finalizes("SL", false, "MS-1", "ME-1", {});
  finalizes("en", false, "MS-1", "ME-1", {});
}

TEST_F(FinalizeTest, MovementFailureGivesThreeLinesAndStopsBeforePosting) {
  auto refused = [&](const Answers& answers, const std::string& last_line, bool receipt_tried) {
    SCOPED_TRACE(last_line);
    Renew();
    Script(answers);
    Movements("EN", "MS-1", "ME-1");
    EXPECT_FALSE(Finalize());
    EXPECT_EQ(Object().Error(), kFinalizarSource + kMovSource + last_line);
    EXPECT_EQ(Count("Inventory#2.Finalizar_Movimiento"), receipt_tried ? 1u : 0u);
    EXPECT_EQ(suite->Created("Posting"), 0);
    EXPECT_EQ(Count("Data.Procesar_Documento"), 0u);
  };
  refused(Refusal("Inventory#3.Finalizar_Movimiento", "Salida sin existencia"),
          "Salida sin existencia", false);
  refused(Refusal("Inventory#2.Finalizar_Movimiento", "Entrada sin costo"), "Entrada sin costo", 1);
  refused({{"raise:Inventory#2.Obtener_Encabezado_Movimiento", "RPC failed"}}, "RPC failed", 0);
}

}  // namespace
}  // namespace qbx::test
