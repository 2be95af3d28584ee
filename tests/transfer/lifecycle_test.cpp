// The lifecycle operations on the recording doubles: Finalizar_Transferencia,
// Generar_CFDI_Traslado, Cancelar_Transferencia and Genera_Requisicion_Pedido.
#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

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
  EXPECT_EQ(suite->journal.Dump(false), R"(Posting#1.Documento_Habilitado("TRANSFERENCIA")
System.Obtener_Conexion()
Connection.Execute("SELECT    Transferencia.Tr_Folio,    Sucursal.Sc_Cve_Sucursal,    Em_Cve_Empresa FROM Transferencia    INNER JOIN Sucursal ON  Transferencia.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE Transferencia.Tr_Folio = 'F1' AND    Sucursal.Es_Cve_Estado <> 'BA' AND Transferencia.Es_Cve_Estado <> 'CA' ", Missing, -1&)
Recordset#1.Close()
Posting#1.Generar_Documento("TRANSFERENCIA", "F1", "EMP")
Posting#1.Obtener_Mensaje_Error()
Data.Procesar_Documento("TRANSFERENCIA", "F1", "")
)");
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
  refused("No se especificó el folio de la transferencia!", 0, false, "   ");
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
  Script({{"raise:Posting.Documento_Habilitado", "no posting"}});
  refused("no posting", 0, false);
  // A movement refused: three lines, and the receipt is not tried after the issue.
  const std::string mov = "Quelbarix.dll - Finaliza_Movimiento()\r\n";
  for (const char* side : {"Inventory#3.Finalizar_Movimiento", "Inventory#2.Finalizar_Movimiento",
                           "raise:Inventory#2.Finalizar_Movimiento"}) {
    Script(*side == 'r' ? Answers{{side, "RPC failed"}} : Refusal(side, side));
    Movements("EN", "MS-1", "ME-1");
    refused(mov + (*side == 'r' ? "RPC failed" : side), 0, false);
  }
}
TEST_F(FinalizeTest, MovementStepFollowsTypeAndPendingFlag) {
  const std::string read3 = "Inventory#3.Obtener_Encabezado_Movimiento()",
                    read2 = "Inventory#2.Obtener_Encabezado_Movimiento()";
  auto finalizes = [&](const char* tipo, bool pending, const char* issue, const char* receipt,
                       Texts expected) {
    SCOPED_TRACE(std::string(tipo) + (pending ? " pending" : ""));
    Renew();
    Answer("Posting.Documento_Habilitado", false);
    Movements(tipo, issue, receipt);
    Object().SetInventario_Pendiente(pending);
    // Without posting the folio is not looked up and is used untrimmed.
    ASSERT_TRUE(Finalize(" F1 ")) << Object().Error();
    expected.push_back(R"(Posting#1.Documento_Habilitado("TRANSFERENCIA"))");  // movements first
    EXPECT_EQ(Entries({"_Movimiento(", "Habilitado"}), expected);
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
  finalizes("EN", true, "MS-1", "ME-1", {});
  finalizes("SL", false, "MS-1", "ME-1", {});
}

// One stored line of shipment E1.
Row StoredLine(const std::string& id, Variant description = "Tornillo 1/4") {
  return {{"Tr_Folio", "E1"}, {"Tr_ID", id}, {"Tr_Referencia", "SL-1"}, {"Tr_Comentario", "Envío"},
          {"Sc_Cve_Sucursal", "S1"}, {"Sc_Traslado_Serie", "A"}, {"Pr_Cve_Producto", "P1"},
          {"Pr_Descripcion", std::move(description)}, {"Tl_Cve_Talla", "00"},
          {"Cl_Cve_Color", "00"}, {"Tr_Cantidad_1", 2.5}, {"Tr_Unidad_1", "PZA"},
          {"Tr_Cantidad_Costo", 2.5}, {"Tr_Unidad_Costo", "PZA"}, {"Tr_Costo", 10.0},
          {"Tr_Importe_Costo", 25.0}};
}

// The Traslado row written for a stored line of E1 under document folio F-1.
std::string Traslado(const std::string& id, const std::string& source_id,
                     const std::string& series = "'A', '7', 'A000000007'",
                     const std::string& concepto = "Tornillo 1/4") {
  return R"(INSERT INTO Traslado( Tr_Folio, Tr_ID, Tr_Fecha, Tr_Tabla, Tr_Documento, Tr_Documento_ID, Tr_Referencia, Tr_Comentario, Tr_Serie, Tr_Serie_Folio, Tr_Factura, Sc_Cve_Sucursal, Tr_Concepto, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Tr_Cantidad_1, Tr_Unidad_1, Tr_Cantidad_Costo, Tr_Unidad_Costo, Tr_Costo, Tr_Costo_Importe, Mn_Cve_Moneda, Tr_Tipo_Cambio, Oper_Alta, Fecha_Alta, Oper_Ult_Modif, Fecha_Ult_Modif )VALUES( 'F-1', ')" +
         id + "', '2024-03-05', 'TRANSFERENCIA', 'E1', '" + source_id + "', 'SL-1', 'Envío', " +
         series + ", 'S1', '" + concepto + "', 'P1', '00', '00', 2.5, 'PZA', 2.5, 'PZA', 10, 25, " +
         "'MXN', 1,'OPER', '" + kStamp + "', 'OPER', '" + kStamp + "' )";
}

class CfdiTest : public TransferTest {
 protected:
  CfdiTest() { Answer("Data.Obtener_Consecutivo_Serie", int32_t{7}); }
  bool Generate(std::vector<Row> rows, std::string folio = "E1") {
    Query("FROM Transferencia", std::move(rows));
    return Fresh().Generar_CFDI_Traslado(folio);
  }
};

TEST_F(CfdiTest, WritesOneRowPerLineInCallOrderWithSharedValues) {
  ASSERT_TRUE(Generate({StoredLine("0001"), StoredLine("0002"), StoredLine("0005")}))
      << Object().Error();
  EXPECT_EQ(suite->Statements(), (Texts{R"(SELECT    Tr_Folio,    Tr_Id,    Tr_Fecha,    Tr_Referencia,    Tr_Comentario,    Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Traslado_Serie,   Producto.Pr_Cve_Producto,    Producto.Pr_Descripcion,    Tl_Cve_Talla,    Cl_Cve_Color,    Tr_Cantidad_1,    Tr_Unidad_1,    Tr_Cantidad_Costo,    Tr_Unidad_Costo,    Tr_Costo,    Tr_Importe_Costo FROM Transferencia    INNER JOIN Producto ON Producto.Pr_Cve_Producto = Transferencia.Pr_Cve_Producto    INNER JOIN Sucursal on Sucursal.Sc_cve_Sucursal = Transferencia.Sc_Cve_Sucursal WHERE Tr_Tipo = 'EN' AND    Tr_Folio = 'E1' )",
             Traslado("0001", "0001"), Traslado("0002", "0002"), Traslado("0003", "0005")}));
  Texts expected = {"System.Obtener_Conexion", "Connection.Execute",
                    "Data.Obtener_Consecutivo_Serie", "Data.Obtener_Folio",
                    "Data.Obtener_Fecha_Servidor"};
  for (int i = 0; i < 3; ++i)
    expected.insert(expected.end(),
                    {"Data.Formatear_Fecha", "System.Obtener_Usuario", "Data.Formatear_Fecha_Hora",
                     "System.Obtener_Usuario", "Data.Formatear_Fecha_Hora",
                     "System.Obtener_Conexion", "Connection.Execute"});
  EXPECT_EQ(suite->journal.Calls(), expected) << suite->journal.Dump();
  EXPECT_EQ(suite->journal.entries()[2], R"(Data.Obtener_Consecutivo_Serie("S1", "A", 4&))");
  EXPECT_EQ(suite->journal.entries()[3], R"(Data.Obtener_Folio("S1", "TRASLADO", 10&, True))");
  EXPECT_TRUE(!suite->recordsets()[0]->closed && suite->recordsets()[0]->released);
}

TEST_F(CfdiTest, InvoiceKeyPadsTheNumberAndTheConceptIsCutAtOneHundredCharacters) {
  auto written = [&](const std::string& serie, int32_t numero, const std::string& factura,
                     const std::string& description = "Tornillo 1/4",
                     const std::string& concepto = "Tornillo 1/4") {
    SCOPED_TRACE("series '" + serie + "', " + std::to_string(description.size()) + " bytes");
    Answer("Data.Obtener_Consecutivo_Serie", numero);
    Row row = StoredLine("0001", description);
    Set(row, "Sc_Traslado_Serie", serie);
    ASSERT_TRUE(Generate({row})) << Object().Error();
    const std::string series =
        "'" + serie + "', '" + std::to_string(numero) + "', '" + factura + "'";
    EXPECT_EQ(Run("INSERT").back(), Traslado("0001", "0001", series, concepto));
  };
  written("ÁB", 5, "ÁB00000005");  // an accented letter is one character
  written("ABCDEFGHIJ", 7, "ABCDEFGHIJ7");
  std::string accented, first100;  // 150 characters, 300 bytes; its first 100
  for (int i = 0; i < 75; ++i) accented += "áé";
  for (int i = 0; i < 50; ++i) first100 += "áé";
  written("A", 7, "A000000007", accented, first100);
}

TEST_F(CfdiTest, FailureTable) {
  // sent: INSERTs reaching the connection, the refused one included.
  auto refused = [&](std::vector<Row> rows, const std::string& message, size_t sent,
                     bool folio_asked) {
    SCOPED_TRACE(message);
    EXPECT_FALSE(Generate(std::move(rows)));
    // This operation's source line ends with a blank.
    EXPECT_EQ(Object().Error(), "Quelbarix.dll - Generar_CFDI_Traslado() \r\n" + message);
    EXPECT_EQ(Run("INSERT").size(), sent);
    EXPECT_EQ(Count("Data.Obtener_Folio"), folio_asked ? 1u : 0u);
    Renew();
  };
  refused({}, "La transferencia no existe o no es de tipo EN - Envío", 0, false);
  Answer("Data.Obtener_Folio", "");
  refused({StoredLine("0001")}, "Error al generar el folio del traslado!", 0, true);
  Row row = StoredLine("0001");
  Set(row, "Sc_Traslado_Serie", "ABCDEFGHIJK");
  refused({row}, "Invalid procedure call or argument", 0, false);
  row = StoredLine("0002");
  Set(row, "Tr_Costo", Null{});
  refused({StoredLine("0001"), row}, "Invalid use of Null", 1, true);
}

TEST_F(CfdiTest, NullTextsAreEmptyAndTheErrorIsNotClearedOnEntry) {
  EXPECT_FALSE(Generate({}, "RC-1"));  // not a shipment
  const std::string earlier = Object().Error();
  Row row = StoredLine("0001");
  Set(row, "Tr_Comentario", Null{});
  ASSERT_TRUE(Generate({row})) << Object().Error();
  EXPECT_EQ(Object().Error(), earlier);
  EXPECT_THAT(suite->Statements().at(2), HasSubstr("'SL-1', '', 'A', "));
}

const std::string kCancelSource = "Quelbarix.dll - Cancelar_Transferencia()\r\n";
const std::string kLocate = "SELECT * FROM Transferencia WHERE Tr_Folio = 'T1' ORDER BY Tr_ID ";
const std::string kCount = R"(SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND Mv_Documento = 'T1')";
const std::string kLinesTail = R"(     Pr_Cve_Producto,      Tl_Cve_Talla,      Cl_Cve_Color,      Tr_Cantidad_Control_1,      Tr_Cantidad_Control_2 FROM Transferencia WHERE      Tr_Folio = 'T1' )";

// The UPDATE that marks rows cancelled, with the operator of each column.
std::string Mark(const std::string& table, const std::string& folio, const std::string& modif,
                 const std::string& baja, const std::string& tail = "") {
  return "UPDATE " + table + " SET      Es_Cve_Estado = 'CA',      Oper_Ult_Modif = '" + modif +
         "',      Fecha_Ult_Modif = '" + kStamp + "',      Oper_Baja = '" + baja +
         "',      Fecha_Baja = '" + kStamp + "' WHERE Tr_Folio = '" + folio + "'" + tail;
}
const std::string kMarkT1 = Mark("Transferencia", "T1", "OPER", "OPER");

Row FirstRow(Variant tipo, Variant referencia = "", Variant estado = "AC") {
  return {{"Tr_Folio", "T1"}, {"Tr_ID", "0001"},
          {"Tr_Fecha", Date::FromCalendar(2024, 2, 29, 9, 15, 0)},
          {"Es_Cve_Estado", std::move(estado)}, {"Tr_Tipo", std::move(tipo)},
          {"Tr_Referencia", std::move(referencia)}};
}

// A line as the adjustment queries return it; a request's at the receiving end.
Row LineRow(bool request, const std::string& warehouse, const std::string& product, double q1,
            double q2) {
  return {{request ? "Sc_Cve_Sucursal_Recibe" : "Sc_Cve_Sucursal", "CEDIS"},
          {request ? "Al_Cve_Almacen_Recibe" : "Al_Cve_Almacen", warehouse},
          {"Pr_Cve_Producto", product}, {"Tl_Cve_Talla", "00"}, {"Cl_Cve_Color", "00"},
          {"Tr_Cantidad_Control_1", q1}, {"Tr_Cantidad_Control_2", q2}};
}

Row ConsolidatedRow(Variant id, const std::string& product, double q1) {
  return {{"Pd_Sucursal_Inventario", "CEDIS"}, {"Pd_Almacen_Inventario", "GRL"},
          {"Pd_Folio", "PD-1"}, {"Pd_ID", std::move(id)}, {"Pr_Cve_Producto", product},
          {"Tl_Cve_Talla", "00"}, {"Cl_Cve_Color", "00"}, {"Pd_Cantidad_Control_1", q1},
          {"Pd_Cantidad_Control_2", 0.0}};
}

// The stock adjustment of a line at the distribution centre; quantities as "5#, 0#".
std::string Ajuste(const std::string& w, const std::string& p, const std::string& q) {
  return R"(Inventory#1.Ajustar_Existencia("CEDIS", ")" + w + R"(", ")" + p + R"(", "00", "00", )" +
         q + ")";
}

class CancelTest : public TransferTest {
 protected:
  // Cancels the folio whose first row is given; no movements unless a test says so.
  bool Cancel(std::vector<Row> first, std::string folio = "T1") {
    Query("SELECT * FROM Transferencia", std::move(first));
    suite->OnQuery("COUNT(*)", {{{"Total", int32_t{0}}}}, true);
    return Fresh().Cancelar_Transferencia(folio);
  }
  // The live transport folio of the shipment and its voucher state.
  void Transport(const std::string& traslado, const std::string& voucher) {
    catalogue["Traslado.Tr_Folio"] = traslado;
    catalogue["Comprobante_Digital.Es_Cve_Estado"] = voucher;
  }
};

TEST_F(CancelTest, RequestGivesBackWhatItCommittedAtTheDistributionCentre) {
  Query("Tr_Cantidad_Control_1",
        {LineRow(true, "GRL", "P1", 5, 0), LineRow(true, "ROP", "P2", 2.5, 1)});
  Param("GEN_VALIDAR_PERIODO_OPERATIVO", "0");  // a false text: no period check
  ASSERT_TRUE(Cancel({FirstRow("SL")})) << Object().Error();
  EXPECT_EQ(Object().Error(), "");
  EXPECT_EQ(suite->Statements(),
            (Texts{kLocate, kCount,
                   "SELECT      Sc_Cve_Sucursal_Recibe,      Al_Cve_Almacen_Recibe, " + kLinesTail,
                   kMarkT1}));
  EXPECT_EQ(Log("Inventory#1.Ajustar"),
            (Texts{Ajuste("GRL", "P1", "5#, 0#"), Ajuste("ROP", "P2", "2.5#, 1#")}));
  // The timestamp first; no movements were counted and a request has no transport document.
  EXPECT_EQ(Entries({"Fecha", "Cancelar_", "Valor_Campo", "Periodo"}, true),
            (Texts{"Data.Obtener_Fecha_Servidor", "Data.Formatear_Fecha_Hora",
                   "Posting#1.Cancelar_Documento"}));
  EXPECT_TRUE(suite->recordsets()[0]->closed && suite->recordsets()[1]->closed);
}

TEST_F(CancelTest, ShipmentTakesBackItsLinesAndCancelsTransportDocumentAndVoucher) {
  Query("COUNT(*)", {{{"Total", int32_t{2}}}});
  Query("Tr_Cantidad_Control_1",
        {LineRow(false, "GRL", "P1", 5, 0), LineRow(false, "GRL", "P2", 1, 2),
         LineRow(false, "LOT", "P3", 0.5, 0)});
  Transport("TR-9", "AC");
  suite->script.Queue("System.Obtener_Usuario", {"U1", "U2", "U3", "U4"});
  ASSERT_TRUE(Cancel({FirstRow("EN", "SL-1")})) << Object().Error();
  EXPECT_EQ(Log("Inventory#1.Ajustar"),
            (Texts{Ajuste("GRL", "P1", "-5#, 0#"), Ajuste("GRL", "P2", "-1#, -2#"),
                   Ajuste("LOT", "P3", "-0.5#, 0#")}));
  EXPECT_EQ(suite->Statements(),
            (Texts{kLocate, kCount, "SELECT      Sc_Cve_Sucursal,      Al_Cve_Almacen, " + kLinesTail,
                   Mark("Traslado", "TR-9", "U1", "U2", " "), Mark("Transferencia", "T1", "U3", "U4"),
                   R"(SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'SL-1' AND Tr_Tipo = 'EN' AND Es_Cve_Estado <> 'CA')",
                   R"(UPDATE Transferencia SET    Es_Cve_Estado = 'AC' WHERE Tr_Folio = 'SL-1' AND Tr_Tipo = 'SL')"}));
  // Movements, then the transport document and its voucher, in this order.
  EXPECT_EQ(Entries({"Cancelar_", "Valor_Campo", "DefaultDatabase"}),
            (Texts{R"(Posting#1.Cancelar_Documento("TRANSFERENCIA", "T1"))",
                   R"(Inventory#1.Cancelar_Movimientos_Documento("TRANSFERENCIA", "T1"))",
                   R"(Data.Obtener_Valor_Campo("Traslado", "Tr_Tabla", "TRANSFERENCIA", "Tr_Folio", 0&, "Tr_Documento", "T1", "CA"))",
                   R"(Data.Obtener_Valor_Campo("Comprobante_Digital", "Cd_Tabla", "TRASLADO", "Es_Cve_Estado", 0&, "Cd_Documento", "TR-9", ""))",
                   "Connection.DefaultDatabase()",
                   R"(Voucher#1.Cancelar_Comprobante("Suite", 7&, "TR-9"))"}));
  EXPECT_EQ(suite->Alive("Posting") + suite->Alive("Voucher"), 0);
  EXPECT_TRUE(suite->recordsets()[5]->closed);  // the SELECT TOP
  Renew();  // another live shipment of the request: the request stays as it is
  Query("SELECT TOP 1", {{{"Tr_Folio", "E2"}}});
  ASSERT_TRUE(Cancel({FirstRow("EN", "SL-1")})) << Object().Error();
  EXPECT_TRUE(Run("UPDATE Transferencia SET    Es_Cve_Estado = 'AC'").empty());
}

TEST_F(CancelTest, ReceptionRestoresConsolidatedOrderLinesAndReopensTheShipment) {
  for (bool other_live_reception : {false, true}) {
    SCOPED_TRACE(other_live_reception);
    Renew();
    Query("FROM Documento_Consolidado",
          {ConsolidatedRow("0001", "P1", 4), ConsolidatedRow(int32_t{7}, "P2", 1.5)});
    if (other_live_reception) Query("SELECT TOP 1 Tr_Folio", {{{"Tr_Folio", "R2"}}});
    ASSERT_TRUE(Cancel({FirstRow("RC", "E1")})) << Object().Error();
    const std::string order = R"(UPDATE Pedido SET Es_Cve_Estado = 'BO' WHERE    Pd_Folio = 'PD-1' AND    Pd_ID = ')";
    EXPECT_EQ(suite->Statements(), (Texts{kLocate, kCount,
            R"(SELECT     pd.Pd_Sucursal_Inventario,   pd.Pd_Almacen_Inventario,   pd.Pd_Folio,   pd.Pd_ID,   pd.Pr_Cve_Producto,   pd.Tl_Cve_Talla ,   pd.Cl_Cve_Color ,   pd.Pd_Cantidad_Control_1 ,   pd.Pd_Cantidad_Control_2 FROM Documento_Consolidado dc     INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento        AND pd.Pd_ID = dc.Dc_Documento_id        AND pd.Es_Cve_Estado = 'AC' WHERE    dc.Dc_Documento_origen = 'T1' AND    dc.Dc_Tabla_Origen = 'TRANSFERENCIA' )",
            order + "0001' ", order + "7' ", kMarkT1,
            R"(SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = 'E1' AND Tr_Tipo = 'RC' AND Es_Cve_Estado <> 'CA')",
            R"(UPDATE Transferencia SET    Es_Cve_Estado = ')" + std::string(other_live_reception ? "RCP" : "AC") + "' WHERE Tr_Folio = 'E1' AND Tr_Tipo = 'EN'"}));
    EXPECT_EQ(Log("Inventory#1.Ajustar"),
              (Texts{Ajuste("GRL", "P1", "4#, 0#"), Ajuste("GRL", "P2", "1.5#, 0#")}));
    // Each order line is set back before its quantities are given back.
    EXPECT_LT(At("UPDATE Pedido"), At("Ajustar_Existencia"));
    EXPECT_TRUE(suite->recordsets().at(suite->recordsets().size() - 2)->closed);  // the SELECT TOP
  }
}

TEST_F(CancelTest, OtherTypeOnlyMarksItsRowsAndTheErrorOnlyChangesOnARefusal) {
  // A cancelled transfer is refused (in the text the tool shows) before the
  // posting component is reached.
  EXPECT_FALSE(Cancel({FirstRow("EN", "SL-1", "CA")}));
  EXPECT_TRUE(suite->Created("Posting") == 0 && suite->recordsets()[0]->closed);
  EXPECT_EQ(suite->Statements(), (Texts{kLocate}));
  EXPECT_FALSE(Cancel({}, "T'1"));  // the folio in the text as given
  const std::string earlier = Object().Error();
  EXPECT_EQ(earlier, kCancelSource + "Imposible localizar la transferencia: T'1");
  Answer("System.Obtener_Usuario", "O'Neil");
  Param("GEN_VALIDAR_PERIODO_OPERATIVO", true);
  ASSERT_TRUE(Cancel({FirstRow("XX", "R-9")})) << Object().Error();
  EXPECT_EQ(Object().Error(), earlier);
  const auto statements = suite->Statements();  // after the refused calls' locates
  EXPECT_EQ(Texts(statements.begin() + 2, statements.end()),
            (Texts{kLocate, kCount, Mark("Transferencia", "T1", "O''Neil", "O''Neil")}));
  EXPECT_EQ(Log("Data.Validar"),
            Texts{R"(Data.Validar_Periodo_Operativo(#2024-02-29 09:15:00#, "INVENTARIOS", 0&))"});
  suite->script.Fail("Data.Obtener_Fecha_Servidor", RuntimeError(-2147467259, "Sin conexión"));
  EXPECT_THROW(Cancel({}), RuntimeError);
  EXPECT_EQ(Object().Error(), earlier);
}

TEST_F(CancelTest, FailureTable) {
  auto refused = [&](Row first, const std::string& message, const Answers& answers = {},
                     Texts adjustments = {}) {
    SCOPED_TRACE(message);
    Script(answers);
    EXPECT_FALSE(Cancel(first.empty() ? std::vector<Row>{} : std::vector<Row>{first}));
    EXPECT_EQ(Object().Error(), kCancelSource + message);
    for (const auto& r : suite->recordsets()) EXPECT_TRUE(r->released);
    EXPECT_EQ(Log("Inventory#1.Ajustar"), adjustments);
    EXPECT_TRUE(Run("UPDATE Transferencia").empty());  // the rows keep their state
    EXPECT_EQ(suite->Alive("Posting") + suite->Alive("Voucher"), 0);
    Renew();
  };
  refused({}, "Imposible localizar la transferencia: T1");
  refused(FirstRow("SL"),
          "El período operativo correspondiente a la fecha: 29-02-2024, está cerrado o no existe!",
          {{"par:GEN_VALIDAR_PERIODO_OPERATIVO", true}, {"Data.Validar_Periodo_Operativo", false}});
  refused(FirstRow("SL"), "Póliza", Refusal("Posting.Cancelar_Documento", "Póliza"));
  refused(FirstRow("SL"),
          "Imposible cancelar el documento, ya está contabilizado! \r\nTransferencia: T1",
          {{"Posting.Documento_Habilitado", 0}, {"Data.Documento_Contabilizado", 1}});
  Query("COUNT(*)", {{{"Total", int32_t{1}}}});
  refused(FirstRow("EN"), "aplicado",
          Refusal("Inventory#1.Cancelar_Movimientos_Documento", "aplicado"));
  // A request line refused halfway: the earlier lines stay adjusted.
  Query("Control_1", {LineRow(true, "GRL", "P1", 5, 0), LineRow(true, "GRL", "P2", 3, 0)});
  suite->script.Queue("Inventory#1.Ajustar_Existencia", {true, false});
  refused(FirstRow("SL"), "insuficiente", {{"Inventory#1.Obtener_Mensaje_Error", "insuficiente"}},
          {Ajuste("GRL", "P1", "5#, 0#"), Ajuste("GRL", "P2", "3#, 0#")});
  Query("Tr_Cantidad_Control_1", {LineRow(false, "GRL", "P1", 5, 0)});
  refused(FirstRow("EN", "SL-1"), "vacío", Refusal("Inventory#1.Ajustar_Existencia", "vacío"),
          {Ajuste("GRL", "P1", "-5#, 0#")});
  Query("FROM Documento_Consolidado", {ConsolidatedRow("0001", "P1", 4)});
  refused(FirstRow("RC", "E1"), "de baja", Refusal("Inventory#1.Ajustar_Existencia", "de baja"),
          {Ajuste("GRL", "P1", "4#, 0#")});
  Transport("TR-9", "AC");
  refused(FirstRow("EN", "SL-1"), "rechazo", Refusal("Voucher.Cancelar_Comprobante", "rechazo"));
  refused(FirstRow("SL"), "\r\nInvalid object", {{"fail:COUNT(*)", "Invalid object"}});
}

const std::string kOrderSource = "Quelbarix.dll - Genera_Requisicion_Pedido()\r\n";

const Date kPedido = Date::FromCalendar(2024, 3, 1), kEntrega = Date::FromCalendar(2024, 3, 8);

// One grouped row of order PD-1 from branch NORTE, served by CEDIS.
Row OrderRow(const std::string& product, Variant q1, Variant q2 = 0.0, Variant estado = "AC") {
  const double pedida = q1.IsNull() ? 0 : q1.ToDouble();
  return {{"Al_Cve_Almacen", "GRL"}, {"Al_Cve_Almacen_Pedido", "VTA"}, {"Pd_Cantidad_1", pedida},
          {"Pd_Unidad_1", "PZA"}, {"Sc_Cve_Sucursal", "NORTE"}, {"Sc_Centro_Distribucion", "CEDIS"},
          {"Pd_Fecha", kPedido}, {"Pd_Fecha_Entrega", kEntrega}, {"Pr_Cve_Producto", product},
          {"Tl_Cve_Talla", "00"}, {"Cl_Cve_Color", "00"}, {"Es_Cve_Estado", std::move(estado)},
          {"Pd_Unidad_Control_1", "PZA"}, {"Pd_Unidad_Control_2", ""},
          {"Pd_Cantidad_Control_1", std::move(q1)}, {"Pd_Cantidad_Control_2", std::move(q2)}};
}

// The requisition goes through the real capture road of a second object (Inventory#4 to #6).
class RequisitionTest : public TransferTest {
 protected:
  // The posting component is off, so finalising needs no transfer row.
  bool Requisition(std::vector<Row> order, std::string folio = "PD-1") {
    Answer("Posting.Documento_Habilitado", false);
    Query("FROM Pedido", std::move(order));
    return Fresh().Genera_Requisicion_Pedido(folio);
  }
  // Stock figures answered by this object's stock object, in call order.
  void Stock(std::vector<Variant> figures) {
    suite->script.Queue("Inventory#1.Obtener_Existencia", std::move(figures));
  }
};

TEST_F(RequisitionTest, RequestsWhatTheDistributionCentreLacksAndFinalisesIt) {
  // P1 lacks 6, P2 is covered, P3 lacks all; once the first row is live every row is served.
  Stock({4.0, 4.0, 4.0, 4.0, 0.0, 0.0});
  // This object holds a shipment header: it is finalised with its own movements.
  Answer("Inventory#3.Obtener_Encabezado_Movimiento", "MS-7");
  Start("EN");
  ASSERT_TRUE(Requisition(
      {OrderRow("P1", 10.0), OrderRow("P2", 4.0, 0.0, "BO"), OrderRow("P3", 1.0, 0.0, "CA")}))
      << Object().Error();
  EXPECT_EQ(Object().Error(), "");
  // The grouped order query, led by the added columns.
  EXPECT_EQ(suite->Statements().at(0), R"(SELECT    (SELECT MIN(Almacen.Al_Cve_Almacen) FROM Almacen WHERE Almacen.Sc_Cve_Sucursal = Sucursal.Sc_Centro_Distribucion AND Almacen.Es_Cve_Estado <> 'BA' AND Almacen.Al_Transito = 0) as Al_Cve_Almacen,    MIN(Pedido.Al_Cve_Almacen) as Al_Cve_Almacen_Pedido,    SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_1,    Pedido.Pd_Unidad_Control_1 as Pd_Unidad_1,    Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Centro_Distribucion,    Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega,    Pedido.Pr_Cve_Producto,    Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,     Pedido.Es_Cve_Estado,    Pedido.Pd_Unidad_Control_1,    Pedido.Pd_Unidad_Control_2,    SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_Control_1,    SUM(Pedido.Pd_Cantidad_Control_2) as Pd_Cantidad_Control_2 FROM Pedido    INNER JOIN Sucursal ON Pedido.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE Pd_Folio = 'PD-1' GROUP BY    Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Centro_Distribucion,    Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega,    Pedido.Pr_Cve_Producto,    Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,    Pedido.Es_Cve_Estado,    Pedido.Pd_Unidad_Control_1,    Pedido.Pd_Unidad_Control_2)");
  // Stock is asked twice per row of this object's stock object.
  Texts stock;
  for (std::string p : {"P1", "P1", "P2", "P2", "P3", "P3"})
    stock.push_back(R"(Inventory#1.Obtener_Existencia("CEDIS", "%", ")" + p + R"(", "00", "00", 1&, ""))");
  EXPECT_EQ(suite->journal.Containing("Obtener_Existencia"), stock);
  // A line of 6 PZA, from the ordering branch and its warehouse to the centre's.
  const auto inserts = Run("INSERT INTO Transferencia");
  ASSERT_EQ(inserts.size(), 2u);
  EXPECT_THAT(inserts[0], HasSubstr(R"('F-1', '0001', '2024-03-01', '2024-03-08', 'SL', '', 'Solicitud de transferencia automática', 'Pedido', 'PD-1', 'CEDIS', 'NORTE', 'VTA', 'GRL', 'P1', '00', '00', 6, 'PZA', 6, 'PZA', )"));
  EXPECT_THAT(inserts[1], HasSubstr("'P3', '00', '00', 1, 'PZA', "));
  // Finalised under the new folio, after the order's recordset was closed.
  EXPECT_EQ(suite->journal.entries().back(),
            R"(Data.Procesar_Documento("TRANSFERENCIA", "F-1", ""))");
  EXPECT_TRUE(suite->recordsets()[0]->closed);
  EXPECT_EQ(suite->Created("Inventory"), 6);
  EXPECT_EQ(suite->Alive("Inventory"), 3);  // the second object is gone
  EXPECT_EQ(Entries({"Finalizar_Movimiento"}),
            Texts{R"(Inventory#3.Finalizar_Movimiento("MS-7"))"});
}

TEST_F(RequisitionTest, LineIsNeededOnlyWhenStockIsStrictlyLess) {
  // quantity: quantity and unit in the stored row; none: no line.
  auto requests = [&](double stock1, double stock2, Variant q1, Variant q2,
                      const std::string& quantity) {
    SCOPED_TRACE(testing::Message() << stock1 << "/" << stock2 << " " << quantity);
    Renew();
    Stock({stock1, stock2});
    const bool ok = Requisition({OrderRow("P1", q1, q2)});
    const auto inserts = Run("INSERT INTO Transferencia");
    EXPECT_EQ(inserts.size(), quantity.empty() ? 0u : 1u);
    if (!quantity.empty()) {
      EXPECT_TRUE(ok) << Object().Error();
      EXPECT_THAT(inserts.at(0), HasSubstr(quantity)) << inserts[0];
    } else {  // the second object never gets a folio, so finalising fails
      EXPECT_FALSE(ok);
      EXPECT_EQ(Object().Error(),
                kOrderSource + kFinalizarSource + "No se especificó el folio de la transferencia!");
    }
  };
  requests(10, 0, 10.0, 0.0, "");  // stock equal to both quantities
  requests(9.5, 0, 10.0, 0.0, "0.5, 'PZA', 0.5, ");
  requests(0, 0, Null{}, 0.0, "");  // a Null quantity counts as not less
}

TEST_F(RequisitionTest, FailureTable) {
  auto refused = [&](std::vector<Row> order, const std::string& error, size_t stored,
                     bool second_object) {
    SCOPED_TRACE(error);
    EXPECT_FALSE(Requisition(std::move(order)));
    EXPECT_EQ(Object().Error(), error);
    EXPECT_EQ(Run("INSERT INTO Transferencia").size(), stored);
    EXPECT_EQ(suite->Created("Inventory"), second_object ? 6 : 3);
    EXPECT_EQ(suite->Alive("Inventory"), 3);
    // Only a finalising failure gets as far as processing the document.
    EXPECT_EQ(Count(R"(Data.Procesar_Documento("TRANSFERENCIA")"),
              error.rfind(kOrderSource, 0) ? 0u : 1u);
    Renew();
  };
  refused({}, "No se encontró el pedido con el folio proporcionado: PD-1", 0, false);
  refused({OrderRow("P1", 3.0, 0.0, "ac"), OrderRow("P2", 1.0)},  // compared as it is
          "Imposible generar requisición del pedido con estado ac", 0, false);
  Row row = OrderRow("P2", 1.0);
  Set(row, "Pd_Unidad_1", "CJA");
  catalogue["Unidad.Un_Descripcion=CJA"] = "";
  refused({OrderRow("P1", 3.0), row}, kAddSource + "La unidad: CJA, no existe o está dada de baja",
          1, true);
  // The lines register; the document does not.
  suite->script.On("Data.Procesar_Documento", [](const std::vector<Variant>& a) {
    return Variant(a[0].ToString() != "TRANSFERENCIA");
  });
  Answer("Data.Obtener_Ultimo_Error", "Documento en uso");
  refused({OrderRow("P1", 3.0)}, kOrderSource + kFinalizarSource + "Documento en uso", 1, true);
  row = OrderRow("P1", 3.0);
  Set(row, "Tl_Cve_Talla", Null{});
  refused({row}, "Invalid use of Null", 0, true);
  Stock({3.0, 1.0});  // control quantity 2 short: a line of nothing is offered
  refused({OrderRow("P1", 3.0, 2.0)}, kAddSource + "la cantidad no puede ser cero: \r\nCantidad-1: "
          "0\r\nCantidad-Control-1: 0\r\nCantidad-Control-2: 0\r\nCANTIDAD-COSTO: 0", 0, true);
}

}  // namespace
}  // namespace qbx::test
