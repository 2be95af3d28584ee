// Cancelar_Transferencia on the recording doubles.
#include <functional>
#include <string>
#include <vector>

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

const std::string kSource = "Quelbarix.dll - Cancelar_Transferencia()\r\n";
const std::string kStamp = "2024-03-05 10:30:00";  // the doubles' server time as SQL text

const std::string kLocate = "SELECT * FROM Transferencia WHERE Tr_Folio = 'T1' ORDER BY Tr_ID ";
const std::string kCount =
    "SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND "
    "Mv_Documento = 'T1'";
const std::string kLinesTail =
    "     Pr_Cve_Producto,      Tl_Cve_Talla,      Cl_Cve_Color,      Tr_Cantidad_Control_1,     "
    " Tr_Cantidad_Control_2 FROM Transferencia WHERE      Tr_Folio = 'T1' ";
const std::string kRequestLines =
    "SELECT      Sc_Cve_Sucursal_Recibe,      Al_Cve_Almacen_Recibe, " + kLinesTail;
const std::string kShipmentLines =
    "SELECT      Sc_Cve_Sucursal,      Al_Cve_Almacen, " + kLinesTail;
const std::string kMarkT1 =
    "UPDATE Transferencia SET      Es_Cve_Estado = 'CA',      Oper_Ult_Modif = 'OPER',      "
    "Fecha_Ult_Modif = '" +
    kStamp + "',      Oper_Baja = 'OPER',      Fecha_Baja = '" + kStamp + "' WHERE Tr_Folio = 'T1'";
const std::string kConsolidated =
    "SELECT     pd.Pd_Sucursal_Inventario,   pd.Pd_Almacen_Inventario,   pd.Pd_Folio,   "
    "pd.Pd_ID,   pd.Pr_Cve_Producto,   pd.Tl_Cve_Talla ,   pd.Cl_Cve_Color ,   "
    "pd.Pd_Cantidad_Control_1 ,   pd.Pd_Cantidad_Control_2 FROM Documento_Consolidado dc     "
    "INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento        AND pd.Pd_ID = "
    "dc.Dc_Documento_id        AND pd.Es_Cve_Estado = 'AC' WHERE    dc.Dc_Documento_origen = "
    "'T1' AND    dc.Dc_Tabla_Origen = 'TRANSFERENCIA' ";

Row FirstRow(Variant tipo, Variant referencia = "", Variant estado = "AC") {
  return {{"Tr_Folio", "T1"},
          {"Tr_ID", "0001"},
          {"Tr_Fecha", Date::FromCalendar(2024, 2, 29, 9, 15, 0)},
          {"Es_Cve_Estado", std::move(estado)},
          {"Tr_Tipo", std::move(tipo)},
          {"Tr_Referencia", std::move(referencia)},
          {"Sc_Cve_Sucursal", "S1"},
          {"Al_Cve_Almacen", "A1"}};
}

Row LineRow(const std::string& branch_column, const std::string& warehouse_column,
            const std::string& branch, const std::string& warehouse, const std::string& product,
            double q1, double q2) {
  return {{branch_column, branch},      {warehouse_column, warehouse},
          {"Pr_Cve_Producto", product}, {"Tl_Cve_Talla", "00"},
          {"Cl_Cve_Color", "00"},       {"Tr_Cantidad_Control_1", q1},
          {"Tr_Cantidad_Control_2", q2}};
}

Row OrderRow(const std::string& folio, Variant id, const std::string& product, double q1) {
  return {{"Pd_Sucursal_Inventario", "CEDIS"},
          {"Pd_Almacen_Inventario", "GRL"},
          {"Pd_Folio", folio},
          {"Pd_ID", std::move(id)},
          {"Pr_Cve_Producto", product},
          {"Tl_Cve_Talla", "00"},
          {"Cl_Cve_Color", "00"},
          {"Pd_Cantidad_Control_1", q1},
          {"Pd_Cantidad_Control_2", 0.0}};
}

std::string Ajuste(const std::string& b, const std::string& w, const std::string& p,
                   const std::string& q1, const std::string& q2) {
  return "Inventory#1.Ajustar_Existencia(\"" + b + "\", \"" + w + "\", \"" + p +
         "\", \"00\", \"00\", " + q1 + ", " + q2 + ")";
}

// Answers Obtener_Valor_Campo by table: the live transport folio and its voucher state.
void TransportDocument(FakeSuite& s, const std::string& traslado, const std::string& voucher) {
  s.script.On("Data.Obtener_Valor_Campo", [=](const std::vector<Variant>& a) {
    const std::string table = a[0].ToString();
    if (table == "Traslado") return Variant(traslado);
    if (table == "Comprobante_Digital") return Variant(voucher);
    return Variant("");
  });
}

// The count of movements is always one row; none unless a test says so.
void NoMovements(FakeSuite& s) {
  s.OnQuery("COUNT(*)", {{{"Total", int32_t{0}}}}, true);
}

class CancelTest : public TransferTest {
 protected:
  bool Cancel(std::string folio = "T1") {
    NoMovements(suite);
    Object();
    suite.journal.Clear();
    return Object().Cancelar_Transferencia(folio);
  }
  std::vector<std::string> Adjustments() const {
    return suite.journal.Starting("Inventory#1.Ajustar_Existencia");
  }
};

TEST_F(CancelTest, RequestGivesBackWhatItCommittedAtTheDistributionCentre) {
  suite.OnQuery("SELECT * FROM Transferencia", {FirstRow("SL")});
  suite.OnQuery(
      "Tr_Cantidad_Control_1",
      {LineRow("Sc_Cve_Sucursal_Recibe", "Al_Cve_Almacen_Recibe", "CEDIS", "GRL", "P1", 5, 0),
       LineRow("Sc_Cve_Sucursal_Recibe", "Al_Cve_Almacen_Recibe", "CEDIS", "ROP", "P2", 2.5, 1)});
  ASSERT_TRUE(Cancel()) << Object().Error();
  EXPECT_EQ(Object().Error(), "");
  EXPECT_EQ(suite.Statements(),
            (std::vector<std::string>{kLocate, kCount, kRequestLines, kMarkT1}));
  EXPECT_EQ(Adjustments(), (std::vector<std::string>{Ajuste("CEDIS", "GRL", "P1", "5#", "0#"),
                                                     Ajuste("CEDIS", "ROP", "P2", "2.5#", "1#")}));
  // The timestamp is taken first, then the steps in their order.
  const auto calls = suite.journal.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "Data.Obtener_Fecha_Servidor");
  EXPECT_EQ(calls[1], "Data.Formatear_Fecha_Hora");
  EXPECT_TRUE(suite.journal.Starting("Inventory#1.Cancelar_Movimientos_Documento").empty());
  EXPECT_TRUE(suite.journal.Starting("Data.Obtener_Valor_Campo").empty());
  EXPECT_EQ(
      suite.journal.Starting("Posting#1.Cancelar_Documento(\"TRANSFERENCIA\", \"T1\")").size(), 1u);
  EXPECT_EQ(suite.Alive("Posting"), 0);
  EXPECT_TRUE(suite.recordsets()[0]->closed);
  EXPECT_TRUE(suite.recordsets()[1]->closed);
}

TEST_F(CancelTest, ShipmentTakesBackItsLinesAndCancelsTransportDocumentAndVoucher) {
  suite.OnQuery("SELECT * FROM Transferencia", {FirstRow("EN", "SL-1")});
  suite.OnQuery("COUNT(*)", {{{"Total", int32_t{2}}}});
  suite.OnQuery("Tr_Cantidad_Control_1",
                {LineRow("Sc_Cve_Sucursal", "Al_Cve_Almacen", "CEDIS", "GRL", "P1", 5, 0),
                 LineRow("Sc_Cve_Sucursal", "Al_Cve_Almacen", "CEDIS", "GRL", "P2", 1, 2),
                 LineRow("Sc_Cve_Sucursal", "Al_Cve_Almacen", "CEDIS", "LOT", "P3", 0.5, 0)});
  TransportDocument(suite, "TR-9", "AC");
  suite.script.Queue("System.Obtener_Usuario", {"U1", "U2", "U3", "U4"});

  ASSERT_TRUE(Cancel()) << Object().Error();
  EXPECT_EQ(Adjustments(), (std::vector<std::string>{Ajuste("CEDIS", "GRL", "P1", "-5#", "0#"),
                                                     Ajuste("CEDIS", "GRL", "P2", "-1#", "-2#"),
                                                     Ajuste("CEDIS", "LOT", "P3", "-0.5#", "0#")}));
  const std::string traslado =
      "UPDATE Traslado SET      Es_Cve_Estado = 'CA',      Oper_Ult_Modif = 'U1',      "
      "Fecha_Ult_Modif = '" +
      kStamp + "',      Oper_Baja = 'U2',      Fecha_Baja = '" + kStamp +
      "' WHERE Tr_Folio = 'TR-9' ";
  const std::string mark =
      "UPDATE Transferencia SET      Es_Cve_Estado = 'CA',      Oper_Ult_Modif = 'U3',      "
      "Fecha_Ult_Modif = '" +
      kStamp + "',      Oper_Baja = 'U4',      Fecha_Baja = '" + kStamp + "' WHERE Tr_Folio = 'T1'";
  EXPECT_EQ(suite.Statements(),
            (std::vector<std::string>{
                kLocate, kCount, kShipmentLines, traslado, mark,
                "SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'SL-1' AND Tr_Tipo = "
                "'EN' AND Es_Cve_Estado <> 'CA'",
                "UPDATE Transferencia SET    Es_Cve_Estado = 'AC' WHERE Tr_Folio = 'SL-1' AND "
                "Tr_Tipo = 'SL'"}));

  // Movements, then the transport document and its voucher, in this order.
  std::vector<std::string> outside;
  for (const auto& e : suite.journal.entries())
    if (e.find("Cancelar_") != std::string::npos || e.find("Valor_Campo") != std::string::npos ||
        e.find("DefaultDatabase") != std::string::npos)
      outside.push_back(e);
  EXPECT_EQ(outside,
            (std::vector<std::string>{
                "Posting#1.Cancelar_Documento(\"TRANSFERENCIA\", \"T1\")",
                "Inventory#1.Cancelar_Movimientos_Documento(\"TRANSFERENCIA\", \"T1\")",
                "Data.Obtener_Valor_Campo(\"Traslado\", \"Tr_Tabla\", \"TRANSFERENCIA\", "
                "\"Tr_Folio\", 0&, \"Tr_Documento\", \"T1\", \"CA\")",
                "Data.Obtener_Valor_Campo(\"Comprobante_Digital\", \"Cd_Tabla\", \"TRASLADO\", "
                "\"Es_Cve_Estado\", 0&, \"Cd_Documento\", \"TR-9\", \"\")",
                "Connection.DefaultDatabase()",
                "Voucher#1.Cancelar_Comprobante(\"Suite\", 7&, \"TR-9\")",
            }));
  EXPECT_EQ(suite.Alive("Voucher"), 0);
  EXPECT_TRUE(suite.recordsets()[5]->closed);  // the SELECT TOP
}

struct ShipmentCase {
  const char* name;
  std::string traslado;
  std::string voucher;
  Variant referencia;
  bool other_live_shipment;
  bool traslado_updated;
  bool voucher_cancelled;
  bool request_looked_up;
  bool request_reopened;
};

TEST_F(CancelTest, ShipmentVariations) {
  const std::vector<ShipmentCase> cases = {
      {"no transport document", "", "", "SL-1", false, false, false, true, true},
      {"transport document without voucher", "TR-9", "", "SL-1", false, true, false, true, true},
      {"empty reference", "TR-9", "AC", "", false, true, true, false, false},
      {"request served by another live shipment", "", "", "SL-1", true, false, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.OnQuery("SELECT * FROM Transferencia", {FirstRow("EN", c.referencia)});
    if (c.other_live_shipment) local.OnQuery("SELECT TOP 1", {{{"Tr_Folio", "E2"}}});
    TransportDocument(local, c.traslado, c.voucher);
    NoMovements(local);
    {
      Transferencia t;
      std::string folio = "T1";
      ASSERT_TRUE(t.Cancelar_Transferencia(folio)) << t.Error();
      auto count = [&](const std::string& prefix) {
        size_t n = 0;
        for (const auto& s : local.Statements()) n += s.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
      };
      EXPECT_EQ(count("UPDATE Traslado"), c.traslado_updated ? 1u : 0u);
      EXPECT_EQ(local.Created("Voucher"), c.voucher_cancelled ? 1 : 0);
      EXPECT_EQ(local.journal.Containing("\"Comprobante_Digital\"").size(),
                c.traslado.empty() ? 0u : 1u);
      EXPECT_EQ(count("SELECT TOP 1"), c.request_looked_up ? 1u : 0u);
      EXPECT_EQ(count("UPDATE Transferencia SET    Es_Cve_Estado = 'AC'"),
                c.request_reopened ? 1u : 0u);
      EXPECT_EQ(count("UPDATE Transferencia SET      Es_Cve_Estado = 'CA'"), 1u);
      if (!c.request_looked_up) {  // the last statement marks the shipment
        EXPECT_EQ(local.Statements().back().rfind("UPDATE Transferencia SET      Es_Cve", 0), 0u);
      }
    }
  }
}

struct ReceptionCase {
  const char* name;
  bool other_live_reception;
  std::string shipment_state;
};

TEST_F(CancelTest, ReceptionRestoresConsolidatedOrderLinesAndReopensTheShipment) {
  const std::vector<ReceptionCase> cases = {{"last live reception", false, "AC"},
                                            {"another live reception", true, "RCP"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.OnQuery("SELECT * FROM Transferencia", {FirstRow("RC", "E1")});
    local.OnQuery("FROM Documento_Consolidado",
                  {OrderRow("PD-1", "0001", "P1", 4), OrderRow("PD-1", int32_t{7}, "P2", 1.5)});
    if (c.other_live_reception) local.OnQuery("SELECT TOP 1 Tr_Folio", {{{"Tr_Folio", "R2"}}});
    NoMovements(local);
    {
      Transferencia t;
      std::string folio = "T1";
      ASSERT_TRUE(t.Cancelar_Transferencia(folio)) << t.Error();
      EXPECT_EQ(local.Statements(),
                (std::vector<std::string>{
                    kLocate, kCount, kConsolidated,
                    "UPDATE Pedido SET Es_Cve_Estado = 'BO' WHERE    Pd_Folio = 'PD-1' AND    "
                    "Pd_ID = '0001' ",
                    "UPDATE Pedido SET Es_Cve_Estado = 'BO' WHERE    Pd_Folio = 'PD-1' AND    "
                    "Pd_ID = '7' ",
                    kMarkT1,
                    "SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = 'E1' AND "
                    "Tr_Tipo = 'RC' AND Es_Cve_Estado <> 'CA'",
                    "UPDATE Transferencia SET    Es_Cve_Estado = '" + c.shipment_state +
                        "' WHERE Tr_Folio = 'E1' AND Tr_Tipo = 'EN'"}));
      EXPECT_EQ(local.journal.Starting("Inventory#1.Ajustar_Existencia"),
                (std::vector<std::string>{Ajuste("CEDIS", "GRL", "P1", "4#", "0#"),
                                          Ajuste("CEDIS", "GRL", "P2", "1.5#", "0#")}));
      // Each order line is set back before its quantities are given back.
      const auto calls = local.journal.entries();
      size_t first_update = 0, first_adjust = 0;
      for (size_t i = 0; i < calls.size(); ++i) {
        if (!first_update && calls[i].find("UPDATE Pedido") != std::string::npos) first_update = i;
        if (!first_adjust && calls[i].find("Ajustar_Existencia") != std::string::npos)
          first_adjust = i;
      }
      EXPECT_LT(first_update, first_adjust);
      const auto& sets = local.recordsets();
      EXPECT_TRUE(sets[sets.size() - 2]->closed);  // the SELECT TOP
    }
  }
}

TEST_F(CancelTest, OtherTypeOnlyMarksItsRows) {
  suite.OnQuery("SELECT * FROM Transferencia", {FirstRow("XX", "R-9")});
  ASSERT_TRUE(Cancel()) << Object().Error();
  EXPECT_EQ(suite.Statements(), (std::vector<std::string>{kLocate, kCount, kMarkT1}));
  EXPECT_TRUE(Adjustments().empty());
}

TEST_F(CancelTest, PeriodCheckFollowsTheParameter) {
  struct PeriodCase {
    Variant parameter;
    bool checked;
  };
  for (const auto& c : {PeriodCase{Null{}, false}, PeriodCase{false, false}, PeriodCase{"0", false},
                        PeriodCase{true, true}}) {
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.Parameter("GEN_VALIDAR_PERIODO_OPERATIVO", c.parameter);
    local.OnQuery("SELECT * FROM Transferencia", {FirstRow("XX")});
    NoMovements(local);
    {
      Transferencia t;
      std::string folio = "T1";
      EXPECT_TRUE(t.Cancelar_Transferencia(folio)) << t.Error();
      EXPECT_EQ(
          local.journal
              .Containing(
                  "Data.Validar_Periodo_Operativo(#2024-02-29 09:15:00#, \"INVENTARIOS\", 0&)")
              .size(),
          c.checked ? 1u : 0u);
      EXPECT_EQ(local.journal
                    .Starting("System.Obtener_Parametro(\"GEN_VALIDAR_PERIODO_OPERATIVO\", "
                              "0&, \"\", \"\")")
                    .size(),
                1u);
    }
  }
}

struct CancelFailure {
  const char* name;
  std::function<void(FakeSuite&)> setup;
  std::string message;       // after the source line
  std::vector<bool> closed;  // Close() of each recordset handed out, in order
  std::vector<std::string> adjustments_made;
};

TEST_F(CancelTest, FailureTable) {
  auto first = [](Row row) {
    return [row](FakeSuite& s) { s.OnQuery("SELECT * FROM Transferencia", {row}); };
  };
  const std::vector<CancelFailure> cases = {
      {"F1 folio without rows",
       [](FakeSuite&) {},
       "Imposible localizar la transferencia: T1",
       {true},
       {}},
      {"F2 period closed",
       [&](FakeSuite& s) {
         first(FirstRow("SL"))(s);
         s.Parameter("GEN_VALIDAR_PERIODO_OPERATIVO", true);
         s.script.Answer("Data.Validar_Periodo_Operativo", false);
       },
       "El período operativo correspondiente a la fecha: 29-02-2024, está cerrado o no existe!",
       {true},
       {}},
      {"F3 first row cancelled",
       first(FirstRow("SL", "", "CA")),
       "Imposible cancelar la transferencia: T1, con estado = 'CA'",
       {true},
       {}},
      {"F4 accounting record not cancelled",
       [&](FakeSuite& s) {
         first(FirstRow("SL"))(s);
         s.script.Answer("Posting.Cancelar_Documento", false);
         s.script.Answer("Posting.Obtener_Mensaje_Error", "Póliza en periodo cerrado");
       },
       "Póliza en periodo cerrado",
       {false},
       {}},
      {"F5 posted, with the data service's text",
       [&](FakeSuite& s) {
         first(FirstRow("SL"))(s);
         s.script.Answer("Posting.Documento_Habilitado", false);
         s.script.Answer("Data.Documento_Contabilizado", true);
         s.script.Answer("Data.Obtener_Ultimo_Error", "Póliza D-15");
       },
       "Imposible cancelar el documento, ya está contabilizado! \r\nPóliza D-15",
       {false},
       {}},
      {"F5 posted, without a text",
       [&](FakeSuite& s) {
         first(FirstRow("SL"))(s);
         s.script.Answer("Posting.Documento_Habilitado", false);
         s.script.Answer("Data.Documento_Contabilizado", true);
       },
       "Imposible cancelar el documento, ya está contabilizado! \r\nTransferencia: T1",
       {false},
       {}},
      {"F6 movements not undone",
       [&](FakeSuite& s) {
         first(FirstRow("EN"))(s);
         s.OnQuery("COUNT(*)", {{{"Total", int32_t{1}}}});
         s.script.Answer("Inventory#1.Cancelar_Movimientos_Documento", false);
         s.script.Answer("Inventory#1.Obtener_Mensaje_Error", "Movimiento ya aplicado");
       },
       "Movimiento ya aplicado",
       {true, true},
       {}},
      {"F7 request line refused halfway",
       [&](FakeSuite& s) {
         first(FirstRow("SL"))(s);
         s.OnQuery("Tr_Cantidad_Control_1",
                   {LineRow("Sc_Cve_Sucursal_Recibe", "Al_Cve_Almacen_Recibe", "CEDIS", "GRL", "P1",
                            5, 0),
                    LineRow("Sc_Cve_Sucursal_Recibe", "Al_Cve_Almacen_Recibe", "CEDIS", "GRL", "P2",
                            3, 0)});
         s.script.Queue("Inventory#1.Ajustar_Existencia", {true, false});
         s.script.Answer("Inventory#1.Obtener_Mensaje_Error", "Existencia insuficiente");
       },
       "Existencia insuficiente",
       {true, true, false},
       {Ajuste("CEDIS", "GRL", "P1", "5#", "0#"), Ajuste("CEDIS", "GRL", "P2", "3#", "0#")}},
      {"F7 shipment line refused",
       [&](FakeSuite& s) {
         first(FirstRow("EN", "SL-1"))(s);
         s.OnQuery("Tr_Cantidad_Control_1",
                   {LineRow("Sc_Cve_Sucursal", "Al_Cve_Almacen", "CEDIS", "GRL", "P1", 5, 0)});
         s.script.Answer("Inventory#1.Ajustar_Existencia", false);
         s.script.Answer("Inventory#1.Obtener_Mensaje_Error", "Sin existencia");
         TransportDocument(s, "TR-9", "AC");
       },
       "Sin existencia",
       {true, true, false},
       {Ajuste("CEDIS", "GRL", "P1", "-5#", "0#")}},
      {"F7 order line refused after its order line was set back",
       [&](FakeSuite& s) {
         first(FirstRow("RC", "E1"))(s);
         s.OnQuery("FROM Documento_Consolidado", {OrderRow("PD-1", "0001", "P1", 4)});
         s.script.Answer("Inventory#1.Ajustar_Existencia", false);
         s.script.Answer("Inventory#1.Obtener_Mensaje_Error", "Almacén dado de baja");
       },
       "Almacén dado de baja",
       {true, true, false, false},
       {Ajuste("CEDIS", "GRL", "P1", "4#", "0#")}},
      {"F8 voucher not cancelled",
       [&](FakeSuite& s) {
         first(FirstRow("EN", "SL-1"))(s);
         TransportDocument(s, "TR-9", "AC");
         s.script.Answer("Voucher.Cancelar_Comprobante", false);
         s.script.Answer("Voucher.Obtener_Mensaje_Error", "El SAT rechazó la cancelación");
       },
       "El SAT rechazó la cancelación",
       {true, true, false},
       {}},
      {"F9 database error",
       [&](FakeSuite& s) {
         first(FirstRow("SL"))(s);
         s.FailQuery("COUNT(*)", RuntimeError(-2147217865, "Invalid object name 'Movimiento'."));
       },
       "\r\nInvalid object name 'Movimiento'.",
       {true},
       {}},
      {"F9 Null type", first(FirstRow(Null{})), "\r\nInvalid use of Null", {false}, {}},
      {"F9 Null reference", first(FirstRow("EN", Null{})), "\r\nInvalid use of Null", {false}, {}},
      {"F9 missing column",
       [](FakeSuite& s) {
         s.OnQuery("SELECT * FROM Transferencia", {{{"Tr_Folio", "T1"}}});
       },
       "\r\nItem cannot be found in the collection corresponding to the requested name or "
       "ordinal.",
       {false},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    c.setup(local);
    NoMovements(local);
    {
      Transferencia t;
      std::string folio = "T1";
      EXPECT_FALSE(t.Cancelar_Transferencia(folio));
      EXPECT_EQ(t.Error(), kSource + c.message);
      std::vector<bool> closed;
      for (const auto& r : local.recordsets()) {
        closed.push_back(r->closed);
        EXPECT_TRUE(r->released);
      }
      EXPECT_EQ(closed, c.closed);
      EXPECT_EQ(local.journal.Starting("Inventory#1.Ajustar_Existencia"), c.adjustments_made);
      // The rows keep their state and nothing is reopened.
      for (const auto& s : local.Statements())
        EXPECT_EQ(s.rfind("UPDATE Transferencia", 0), std::string::npos) << s;
      EXPECT_EQ(local.Alive("Posting"), 0);
      EXPECT_EQ(local.Alive("Voucher"), 0);
    }
  }
}

TEST_F(CancelTest, RefusalsBeforeTheMovementsChangeNothing) {
  // F3 does not reach the posting component; F1 does not even read the parameter.
  suite.OnQuery("SELECT * FROM Transferencia", {FirstRow("EN", "SL-1", "CA")});
  EXPECT_FALSE(Cancel());
  EXPECT_EQ(suite.Created("Posting"), 0);
  EXPECT_EQ(suite.Statements(), (std::vector<std::string>{kLocate}));
  suite.journal.Clear();
  EXPECT_FALSE(Cancel("T2"));
  EXPECT_EQ(Object().Error(), kSource + "Imposible localizar la transferencia: T2");
  EXPECT_TRUE(suite.journal.Starting("System.Obtener_Parametro").empty());
}

TEST_F(CancelTest, FailingTimestampReachesTheCallerAndKeepsTheError) {
  Object();
  std::string folio = "T1";
  EXPECT_FALSE(Object().Cancelar_Transferencia(folio));  // F1
  const std::string earlier = Object().Error();
  suite.script.Fail("Data.Obtener_Fecha_Servidor", RuntimeError(-2147467259, "Sin conexión"));
  try {
    Object().Cancelar_Transferencia(folio);
    ADD_FAILURE() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "Sin conexión");
  }
  EXPECT_EQ(Object().Error(), earlier);
}

TEST_F(CancelTest, SuccessLeavesAnEarlierErrorInPlace) {
  EXPECT_FALSE(Cancel("NADA"));
  const std::string earlier = Object().Error();
  suite.OnQuery("SELECT * FROM Transferencia", {FirstRow("XX")});
  ASSERT_TRUE(Cancel());
  EXPECT_EQ(Object().Error(), earlier);
}

TEST_F(CancelTest, QuotesAreDoubledInStatementsAndKeptInMessages) {
  EXPECT_FALSE(Cancel("T'1"));
  EXPECT_EQ(suite.Statements()[0],
            "SELECT * FROM Transferencia WHERE Tr_Folio = 'T''1' ORDER BY Tr_ID ");
  EXPECT_EQ(Object().Error(), kSource + "Imposible localizar la transferencia: T'1");

  suite.OnQuery("SELECT * FROM Transferencia", {FirstRow("EN", "SL'1")});
  suite.script.Answer("System.Obtener_Usuario", "O'Neil");
  ASSERT_TRUE(Cancel("T'1"));
  const auto statements = suite.Statements();
  EXPECT_NE(statements[statements.size() - 3].find("Oper_Baja = 'O''Neil'"), std::string::npos);
  EXPECT_EQ(statements.back(),
            "UPDATE Transferencia SET    Es_Cve_Estado = 'AC' WHERE Tr_Folio = 'SL''1' AND "
            "Tr_Tipo = 'SL'");
}

}  // namespace
}  // namespace qbx::test
