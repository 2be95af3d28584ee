// Cancelar_Transferencia on the recording doubles.

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

const std::string kSource = "Quelbarix.dll - Cancelar_Transferencia()\r\n";
const std::string kLocate = "SELECT * FROM Transferencia WHERE Tr_Folio = 'T1' ORDER BY Tr_ID ";
const std::string kCount =
    "SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND "
    "Mv_Documento = 'T1'";
const std::string kLinesTail =
    "     Pr_Cve_Producto,      Tl_Cve_Talla,      Cl_Cve_Color,      Tr_Cantidad_Control_1,     "
    " Tr_Cantidad_Control_2 FROM Transferencia WHERE      Tr_Folio = 'T1' ";

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

Row OrderRow(Variant id, const std::string& product, double q1) {
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
  ASSERT_TRUE(Cancel({FirstRow("SL")})) << Object().Error();
  EXPECT_EQ(Object().Error(), "");
  EXPECT_EQ(suite->Statements(),
            (Texts{kLocate, kCount,
                   "SELECT      Sc_Cve_Sucursal_Recibe,      Al_Cve_Almacen_Recibe, " + kLinesTail,
                   kMarkT1}));
  EXPECT_EQ(Log("Inventory#1.Ajustar"),
            (Texts{Ajuste("GRL", "P1", "5#, 0#"), Ajuste("ROP", "P2", "2.5#, 1#")}));
  // The timestamp first; no movements were counted and a request has no transport document.
  EXPECT_EQ(Entries({"Fecha", "Cancelar_", "Valor_Campo"}, true),
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
  EXPECT_EQ(
      suite->Statements(),
      (Texts{kLocate, kCount, "SELECT      Sc_Cve_Sucursal,      Al_Cve_Almacen, " + kLinesTail,
             Mark("Traslado", "TR-9", "U1", "U2", " "), Mark("Transferencia", "T1", "U3", "U4"),
             "SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'SL-1' AND Tr_Tipo = "
             "'EN' AND Es_Cve_Estado <> 'CA'",
             "UPDATE Transferencia SET    Es_Cve_Estado = 'AC' WHERE Tr_Folio = 'SL-1' AND "
             "Tr_Tipo = 'SL'"}));
  // Movements, then the transport document and its voucher, in this order.
  EXPECT_EQ(Entries({"Cancelar_", "Valor_Campo", "DefaultDatabase"}),
            (Texts{R"(Posting#1.Cancelar_Documento("TRANSFERENCIA", "T1"))",
                   R"(Inventory#1.Cancelar_Movimientos_Documento("TRANSFERENCIA", "T1"))",
                   R"(Data.Obtener_Valor_Campo("Traslado", "Tr_Tabla", "TRANSFERENCIA", )"
                   R"("Tr_Folio", 0&, "Tr_Documento", "T1", "CA"))",
                   R"(Data.Obtener_Valor_Campo("Comprobante_Digital", "Cd_Tabla", )"
                   R"("TRASLADO", "Es_Cve_Estado", 0&, "Cd_Documento", "TR-9", ""))",
                   "Connection.DefaultDatabase()",
                   R"(Voucher#1.Cancelar_Comprobante("Suite", 7&, "TR-9"))"}));
  EXPECT_EQ(suite->Alive("Posting") + suite->Alive("Voucher"), 0);
  EXPECT_TRUE(suite->recordsets()[5]->closed);  // the SELECT TOP
}

TEST_F(CancelTest, ShipmentVariations) {
  auto shipment = [&](const char* traslado, const char* voucher, const char* referencia,
                      bool other_live_shipment, bool request_reopened) {
    SCOPED_TRACE(testing::Message() << traslado << "/" << voucher << "/" << referencia);
    Renew();
    if (other_live_shipment) Query("SELECT TOP 1", {{{"Tr_Folio", "E2"}}});
    Transport(traslado, voucher);
    ASSERT_TRUE(Cancel({FirstRow("EN", referencia)})) << Object().Error();
    EXPECT_EQ(Run("UPDATE Traslado").size(), *traslado ? 1u : 0u);
    EXPECT_EQ(suite->journal.Containing("\"Comprobante_Digital\"").size(), *traslado ? 1u : 0u);
    EXPECT_EQ(suite->Created("Voucher"), *voucher ? 1 : 0);
    EXPECT_EQ(Run("SELECT TOP 1").size(), *referencia ? 1u : 0u);
    EXPECT_EQ(Run("UPDATE Transferencia SET    Es_Cve_Estado = 'AC'").size(),
              request_reopened ? 1u : 0u);
    EXPECT_EQ(Run("UPDATE Transferencia SET      Es_Cve_Estado = 'CA'").size(), 1u);
  };
  shipment("", "", "SL-1", false, true);      // no transport document
  shipment("TR-9", "", "SL-1", false, true);  // a transport document without voucher
  shipment("TR-9", "AC", "", false, false);   // no reference: nothing more is looked up
  shipment("", "", "SL-1", true, false);      // the request has another live shipment
}

TEST_F(CancelTest, ReceptionRestoresConsolidatedOrderLinesAndReopensTheShipment) {
  for (bool other_live_reception : {false, true}) {
    SCOPED_TRACE(other_live_reception);
    Renew();
    Query("FROM Documento_Consolidado",
          {OrderRow("0001", "P1", 4), OrderRow(int32_t{7}, "P2", 1.5)});
    if (other_live_reception) Query("SELECT TOP 1 Tr_Folio", {{{"Tr_Folio", "R2"}}});
    ASSERT_TRUE(Cancel({FirstRow("RC", "E1")})) << Object().Error();
    const std::string order =
        "UPDATE Pedido SET Es_Cve_Estado = 'BO' WHERE    Pd_Folio = 'PD-1' AND    Pd_ID = '";
    EXPECT_EQ(
        suite->Statements(),
        (Texts{
            kLocate, kCount,
            "SELECT     pd.Pd_Sucursal_Inventario,   pd.Pd_Almacen_Inventario,   pd.Pd_Folio,   "
            "pd.Pd_ID,   pd.Pr_Cve_Producto,   pd.Tl_Cve_Talla ,   pd.Cl_Cve_Color ,   "
            "pd.Pd_Cantidad_Control_1 ,   pd.Pd_Cantidad_Control_2 FROM Documento_Consolidado dc  "
            "   INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento        AND pd.Pd_ID = "
            "dc.Dc_Documento_id        AND pd.Es_Cve_Estado = 'AC' WHERE    "
            "dc.Dc_Documento_origen = 'T1' AND    dc.Dc_Tabla_Origen = 'TRANSFERENCIA' ",
            order + "0001' ", order + "7' ", kMarkT1,
            "SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = 'E1' AND Tr_Tipo = "
            "'RC' AND Es_Cve_Estado <> 'CA'",
            "UPDATE Transferencia SET    Es_Cve_Estado = '" +
                std::string(other_live_reception ? "RCP" : "AC") +
                "' WHERE Tr_Folio = 'E1' AND Tr_Tipo = 'EN'"}));
    EXPECT_EQ(Log("Inventory#1.Ajustar"),
              (Texts{Ajuste("GRL", "P1", "4#, 0#"), Ajuste("GRL", "P2", "1.5#, 0#")}));
    // Each order line is set back before its quantities are given back.
    EXPECT_LT(At("UPDATE Pedido"), At("Ajustar_Existencia"));
    EXPECT_TRUE(suite->recordsets().at(suite->recordsets().size() - 2)->closed);  // the SELECT TOP
  }
}

TEST_F(CancelTest, OtherTypeOnlyMarksItsRowsAndTheErrorOnlyChangesOnARefusal) {
  // A cancelled transfer is refused before the posting component is reached.
  EXPECT_FALSE(Cancel({FirstRow("EN", "SL-1", "CA")}));
  EXPECT_EQ(suite->Created("Posting"), 0);
  EXPECT_EQ(suite->Statements(), (Texts{kLocate}));
  // Refused before reading the parameter; the quote is doubled in the statement only.
  EXPECT_FALSE(Cancel({}, "T'1"));
  EXPECT_EQ(Count("System.Obtener_Parametro"), 0u);
  EXPECT_EQ(suite->Statements().back(),
            "SELECT * FROM Transferencia WHERE Tr_Folio = 'T''1' ORDER BY Tr_ID ");
  const std::string earlier = Object().Error();
  EXPECT_EQ(earlier, kSource + "Imposible localizar la transferencia: T'1");
  Answer("System.Obtener_Usuario", "O'Neil");
  ASSERT_TRUE(Cancel({FirstRow("XX", "R-9")})) << Object().Error();
  EXPECT_EQ(Object().Error(), earlier);
  const auto statements = suite->Statements();  // after the failed calls' locates
  EXPECT_EQ(Texts(statements.begin() + 2, statements.end()),
            (Texts{kLocate, kCount, Mark("Transferencia", "T1", "O''Neil", "O''Neil")}));
  EXPECT_EQ(Count("Inventory#1.Ajustar"), 0u);
  suite->script.Fail("Data.Obtener_Fecha_Servidor", RuntimeError(-2147467259, "Sin conexión"));
  try {
    Cancel({});
    ADD_FAILURE() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "Sin conexión");
  }
  EXPECT_EQ(Object().Error(), earlier);
}

TEST_F(CancelTest, PeriodCheckFollowsTheParameter) {
  for (Variant setting : {Variant(Null{}), Variant(false), Variant("0"), Variant(true)}) {
    SCOPED_TRACE(setting.Describe());
    Renew();
    Param("GEN_VALIDAR_PERIODO_OPERATIVO", setting);
    EXPECT_TRUE(Cancel({FirstRow("XX")})) << Object().Error();
    EXPECT_EQ(Count("Data.Validar_Periodo_Operativo"), setting.IsNull() ? 0 : setting.ToBool());
    EXPECT_EQ(Count(R"(Data.Validar_Periodo_Operativo(#2024-02-29 09:15:00#, "INVENTARIOS", 0&))"),
              Count("Data.Validar_Periodo_Operativo"));
  }
}

TEST_F(CancelTest, FailureTable) {
  // closed: Close() of each recordset handed out, in order.
  auto refused = [&](Row first, const std::string& message, std::vector<bool> closed,
                     const Answers& answers = {}, Texts adjustments = {}) {
    SCOPED_TRACE(message);
    Script(answers);
    EXPECT_FALSE(Cancel(first.empty() ? std::vector<Row>{} : std::vector<Row>{first}));
    EXPECT_EQ(Object().Error(), kSource + message);
    std::vector<bool> was_closed;
    for (const auto& r : suite->recordsets()) {
      was_closed.push_back(r->closed);
      EXPECT_TRUE(r->released);
    }
    EXPECT_EQ(was_closed, closed);
    EXPECT_EQ(Log("Inventory#1.Ajustar"), adjustments);
    EXPECT_TRUE(Run("UPDATE Transferencia").empty());  // the rows keep their state
    EXPECT_EQ(suite->Alive("Posting") + suite->Alive("Voucher"), 0);
    Renew();
  };
  refused({}, "Imposible localizar la transferencia: T1", {true});
  refused(FirstRow("SL"),
          "El período operativo correspondiente a la fecha: 29-02-2024, está cerrado o no existe!",
          {true},
          {{"par:GEN_VALIDAR_PERIODO_OPERATIVO", true}, {"Data.Validar_Periodo_Operativo", false}});
  refused(FirstRow("SL", "", "CA"), "Imposible cancelar la transferencia: T1, con estado = 'CA'",
          {true});
  refused(FirstRow("SL"), "Póliza", {false}, Refusal("Posting.Cancelar_Documento", "Póliza"));
  const Answers posted = {{"Posting.Documento_Habilitado", 0}, {"Data.Documento_Contabilizado", 1}};
  refused(FirstRow("SL"),
          "Imposible cancelar el documento, ya está contabilizado! \r\nTransferencia: T1", {false},
          posted);
  Answer("Data.Obtener_Ultimo_Error", "Póliza D-15");
  refused(FirstRow("SL"), "Imposible cancelar el documento, ya está contabilizado! \r\nPóliza D-15",
          {false}, posted);
  Query("COUNT(*)", {{{"Total", int32_t{1}}}});
  refused(FirstRow("EN"), "aplicado", {true, true},
          Refusal("Inventory#1.Cancelar_Movimientos_Documento", "aplicado"));
  // A request line refused halfway: the earlier lines stay adjusted.
  Query("Control_1", {LineRow(true, "GRL", "P1", 5, 0), LineRow(true, "GRL", "P2", 3, 0)});
  suite->script.Queue("Inventory#1.Ajustar_Existencia", {true, false});
  refused(FirstRow("SL"), "insuficiente", {true, true, false},
          {{"Inventory#1.Obtener_Mensaje_Error", "insuficiente"}},
          {Ajuste("GRL", "P1", "5#, 0#"), Ajuste("GRL", "P2", "3#, 0#")});
  Query("Tr_Cantidad_Control_1", {LineRow(false, "GRL", "P1", 5, 0)});
  Transport("TR-9", "AC");
  refused(FirstRow("EN", "SL-1"), "vacío", {true, true, false},
          Refusal("Inventory#1.Ajustar_Existencia", "vacío"), {Ajuste("GRL", "P1", "-5#, 0#")});
  // An order line refused after it was set back.
  Query("FROM Documento_Consolidado", {OrderRow("0001", "P1", 4)});
  refused(FirstRow("RC", "E1"), "de baja", {true, true, false, false},
          Refusal("Inventory#1.Ajustar_Existencia", "de baja"), {Ajuste("GRL", "P1", "4#, 0#")});
  Transport("TR-9", "AC");
  refused(FirstRow("EN", "SL-1"), "rechazo", {true, true, false},
          Refusal("Voucher.Cancelar_Comprobante", "rechazo"));
  refused(FirstRow("SL"), "\r\nInvalid object", {true}, {{"fail:COUNT(*)", "Invalid object"}});
  refused(FirstRow(Null{}), "\r\nInvalid use of Null", {false});
  refused(FirstRow("EN", Null{}), "\r\nInvalid use of Null", {false});
  refused({{"Tr_Folio", "T1"}}, "\r\n" + std::string(kItemNotFoundText), {false});
}

}  // namespace
}  // namespace qbx::test
