// Genera_Requisicion_Pedido on the recording doubles. The requisition goes
// through the real capture road of a second object, so the doubles answer the
// catalogue look-ups that capture needs.
#include <functional>
#include <string>
#include <vector>

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

const std::string kSource = "Quelbarix.dll - Genera_Requisicion_Pedido()\r\n";
const std::string kFinalizar = "Quelbarix.dll - Finalizar_Transferencia()\r\n";
const std::string kAdd = "Quelbarix.dll - Add_Transferencia_Detalle()\r\n";

// The grouped order query as the suite's vocabulary has it, for order PD-1.
const std::string kGroupedQuery =
    "   Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Centro_Distribucion,    Pedido.Pd_Fecha,    "
    "Pedido.Pd_Fecha_Entrega,    Pedido.Pr_Cve_Producto,    Pedido.Tl_Cve_Talla,    "
    "Pedido.Cl_Cve_Color,     Pedido.Es_Cve_Estado,    Pedido.Pd_Unidad_Control_1,    "
    "Pedido.Pd_Unidad_Control_2,    SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_Control_1, "
    "   SUM(Pedido.Pd_Cantidad_Control_2) as Pd_Cantidad_Control_2 FROM Pedido    INNER JOIN "
    "Sucursal ON Pedido.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE Pd_Folio = 'PD-1' "
    "GROUP BY    Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Centro_Distribucion,    "
    "Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega,    Pedido.Pr_Cve_Producto,    "
    "Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,    Pedido.Es_Cve_Estado,    "
    "Pedido.Pd_Unidad_Control_1,    Pedido.Pd_Unidad_Control_2";

// The columns the requisition adds in front: the warehouses of both ends and
// the line's quantity and unit.
const std::string kExtraColumns =
    "   (SELECT MIN(Almacen.Al_Cve_Almacen) FROM Almacen WHERE Almacen.Sc_Cve_Sucursal = "
    "Sucursal.Sc_Centro_Distribucion AND Almacen.Es_Cve_Estado <> 'BA' AND Almacen.Al_Transito "
    "= 0) as Al_Cve_Almacen,    MIN(Pedido.Al_Cve_Almacen) as Al_Cve_Almacen_Pedido,    "
    "SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_1,    Pedido.Pd_Unidad_Control_1 as "
    "Pd_Unidad_1, ";

// One grouped row of order PD-1 from branch NORTE, served by CEDIS.
Row OrderRow(const std::string& product, Variant q1, Variant q2 = 0.0, Variant estado = "AC") {
  const double pedida = q1.IsNull() ? 0 : q1.ToDouble();
  return {{"Al_Cve_Almacen", "GRL"},
          {"Al_Cve_Almacen_Pedido", "VTA"},
          {"Pd_Cantidad_1", pedida},
          {"Pd_Unidad_1", "PZA"},
          {"Sc_Cve_Sucursal", "NORTE"},
          {"Sc_Centro_Distribucion", "CEDIS"},
          {"Pd_Fecha", Date::FromCalendar(2024, 3, 1)},
          {"Pd_Fecha_Entrega", Date::FromCalendar(2024, 3, 8)},
          {"Pr_Cve_Producto", product},
          {"Tl_Cve_Talla", "00"},
          {"Cl_Cve_Color", "00"},
          {"Es_Cve_Estado", std::move(estado)},
          {"Pd_Unidad_Control_1", "PZA"},
          {"Pd_Unidad_Control_2", ""},
          {"Pd_Cantidad_Control_1", std::move(q1)},
          {"Pd_Cantidad_Control_2", std::move(q2)}};
}

void Set(Row& row, const std::string& field, Variant value) {
  for (auto& [name, v] : row)
    if (name == field) v = std::move(value);
}

// Answers what capturing a request needs: live warehouses and units, the
// product catalogue, a folio; the posting component off.
void Capturable(FakeSuite& s) {
  s.script.On("Data.Obtener_Valor_Campo", [](const std::vector<Variant>& a) {
    const std::string table = a[0].ToString();
    const std::string column = a[3].ToString();
    if (table == "Almacen") return Variant("Almacén");
    if (table == "Unidad") return Variant(a[2].ToString() == "PZA" ? "Pieza" : "");
    if (table == "Producto") {
      if (column == "Pr_Tipo_Producto") return Variant("01");
      if (column == "Pr_Unidad_Control_1" || column == "Pr_Unidad_Costo") return Variant("PZA");
    }
    return Variant("");
  });
  s.script.Answer("Data.Obtener_Folio", "REQ-1");
  s.script.Answer("Posting.Documento_Habilitado", false);
}

class RequisitionTest : public TransferTest {
 protected:
  RequisitionTest() { Capturable(suite); }
  bool Requisition(std::string folio = "PD-1") {
    Object();
    suite.journal.Clear();
    return Object().Genera_Requisicion_Pedido(folio);
  }
  std::vector<std::string> Inserts() const {
    std::vector<std::string> out;
    for (const auto& s : suite.Statements())
      if (s.rfind("INSERT INTO Transferencia", 0) == 0) out.push_back(s);
    return out;
  }
  // Stock figures answered by this object's stock object, in call order.
  void Stock(std::vector<Variant> figures) {
    suite.script.Queue("Inventory#1.Obtener_Existencia", std::move(figures));
  }
};

TEST_F(RequisitionTest, OrderQueryKeepsTheGroupedQueryAndLeadsWithTheAddedColumns) {
  EXPECT_FALSE(Requisition());
  ASSERT_FALSE(suite.Statements().empty());
  EXPECT_EQ(suite.Statements()[0], "SELECT " + kExtraColumns + kGroupedQuery);
}

TEST_F(RequisitionTest, RequestsWhatTheDistributionCentreLacksAndFinalisesIt) {
  suite.OnQuery("FROM Pedido", {OrderRow("P1", 10.0), OrderRow("P2", 4.0)});
  Stock({4.0, 4.0, 4.0, 4.0});  // P1 lacks 6, P2 is covered
  ASSERT_TRUE(Requisition()) << Object().Error();
  EXPECT_EQ(Object().Error(), "");

  // Stock is asked twice per row of this object's stock object.
  const std::string p1 =
      "Inventory#1.Obtener_Existencia(\"CEDIS\", \"%\", \"P1\", \"00\", \"00\", 1&, \"\")";
  const std::string p2 =
      "Inventory#1.Obtener_Existencia(\"CEDIS\", \"%\", \"P2\", \"00\", \"00\", 1&, \"\")";
  EXPECT_EQ(suite.journal.Containing("Obtener_Existencia"),
            (std::vector<std::string>{p1, p1, p2, p2}));

  // The header: from the ordering branch and its warehouse to the centre's warehouse.
  EXPECT_EQ(suite.journal
                .Containing("Data.Obtener_Valor_Campo(\"Almacen\", \"Al_Cve_Almacen\", \"VTA\", "
                            "\"Al_Descripcion\", 0&, \"Sc_Cve_Sucursal\", \"NORTE\", \"BA\")")
                .size(),
            1u);
  EXPECT_EQ(suite.journal
                .Containing("Data.Obtener_Valor_Campo(\"Almacen\", \"Al_Cve_Almacen\", \"GRL\", "
                            "\"Al_Descripcion\", 0&, \"Sc_Cve_Sucursal\", \"CEDIS\", \"BA\")")
                .size(),
            1u);
  EXPECT_EQ(
      suite.journal.Starting("Data.Obtener_Folio"),
      (std::vector<std::string>{"Data.Obtener_Folio(\"NORTE\", \"Transferencia\", 10&, True)"}));

  // One line, of 6 PZA, committed at the centre by the second object's stock object.
  auto inserts = Inserts();
  ASSERT_EQ(inserts.size(), 1u);
  for (const char* piece :
       {"'REQ-1', '0001', ", "'SL', ", "'Solicitud de transferencia automática'",
        "'Pedido', 'PD-1', ", "'CEDIS', 'NORTE', 'VTA', 'GRL', 'P1', ", "6, 'PZA', 6, 'PZA', "})
    EXPECT_NE(inserts[0].find(piece), std::string::npos) << piece << "\n" << inserts[0];
  EXPECT_EQ(suite.journal.Starting("Inventory#4.Ajustar_Existencia"),
            (std::vector<std::string>{
                "Inventory#4.Ajustar_Existencia(\"CEDIS\", \"GRL\", \"P1\", \"00\", \"00\", -6#, "
                "0#)"}));

  // Finalised under the new folio, after the order's recordset was closed.
  EXPECT_EQ(suite.journal.entries().back(),
            "Data.Procesar_Documento(\"TRANSFERENCIA\", \"REQ-1\", \"\")");
  EXPECT_TRUE(suite.recordsets()[0]->closed);
  EXPECT_EQ(suite.Created("Inventory"), 6);
  EXPECT_EQ(suite.Alive("Inventory"), 3);  // the second object is gone
}

struct NeedCase {
  const char* name;
  double stock1, stock2;
  Variant q1, q2;
  bool line;
  std::string quantity_piece;  // quantity and unit in the stored row
};

TEST_F(RequisitionTest, LineIsNeededOnlyWhenStockIsStrictlyLess) {
  const std::vector<NeedCase> cases = {
      {"stock equal to both quantities", 10, 0, 10.0, 0.0, false, ""},
      {"stock above", 12, 3, 10.0, 2.0, false, ""},
      {"no stock", 0, 0, 10.0, 0.0, true, "10, 'PZA', 10, "},
      {"a little short", 9.5, 0, 10.0, 0.0, true, "0.5, 'PZA', 0.5, "},
      {"Null first quantity counts as not less", 0, 0, Null{}, 0.0, false, ""},
      {"Null second quantity counts as not less", 10, 0, 10.0, Null{}, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    Capturable(local);
    local.OnQuery("FROM Pedido", {OrderRow("P1", c.q1, c.q2)});
    local.script.Queue("Inventory#1.Obtener_Existencia", {c.stock1, c.stock2});
    {
      Transferencia t;
      std::string folio = "PD-1";
      const bool ok = t.Genera_Requisicion_Pedido(folio);
      std::vector<std::string> inserts;
      for (const auto& s : local.Statements())
        if (s.rfind("INSERT INTO Transferencia", 0) == 0) inserts.push_back(s);
      if (c.line) {
        EXPECT_TRUE(ok) << t.Error();
        ASSERT_EQ(inserts.size(), 1u);
        EXPECT_NE(inserts[0].find(c.quantity_piece), std::string::npos) << inserts[0];
      } else {
        // No line: the second object never gets a folio, so finalising fails.
        EXPECT_FALSE(ok);
        EXPECT_TRUE(inserts.empty());
        EXPECT_EQ(t.Error(),
                  kSource + kFinalizar + "No se especificó el folio de la transferencia!");
      }
    }
  }
}

TEST_F(RequisitionTest, EveryRowIsProcessedWhenTheFirstIsLive) {
  suite.OnQuery("FROM Pedido", {OrderRow("P1", 3.0), OrderRow("P2", 2.0, 0.0, "BO"),
                                OrderRow("P3", 1.0, 0.0, "CA")});
  ASSERT_TRUE(Requisition()) << Object().Error();
  auto inserts = Inserts();
  ASSERT_EQ(inserts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const std::string product = "'P" + std::to_string(i + 1) + "', '00', '00', ";
    EXPECT_NE(inserts[i].find("'REQ-1', "), std::string::npos) << inserts[i];
    EXPECT_NE(inserts[i].find(product), std::string::npos) << inserts[i];
  }
  EXPECT_EQ(suite.journal.Starting("Data.Obtener_Folio").size(), 1u);
}

struct RequisitionFailure {
  const char* name;
  std::function<void(FakeSuite&)> setup;
  std::string error;
  size_t lines_stored;
  bool order_closed;
  bool second_object;  // whether a second object was created
};

TEST_F(RequisitionTest, FailureTable) {
  const std::vector<RequisitionFailure> cases = {
      {"F1 no order rows", [](FakeSuite&) {},
       "No se encontró el pedido con el folio proporcionado: PD-1", 0, true, false},
      {"F2 first row not live",
       [](FakeSuite& s) {
         s.OnQuery("FROM Pedido", {OrderRow("P1", 3.0, 0.0, "BO"), OrderRow("P2", 1.0)});
       },
       "Imposible generar requisición del pedido con estado BO", 0, true, false},
      {"F2 state compared with case",
       [](FakeSuite& s) { s.OnQuery("FROM Pedido", {OrderRow("P1", 3.0, 0.0, "ac")}); },
       "Imposible generar requisición del pedido con estado ac", 0, true, false},
      {"F3 second line refused",
       [](FakeSuite& s) {
         Row second = OrderRow("P2", 1.0);
         Set(second, "Pd_Unidad_1", "CJA");
         s.OnQuery("FROM Pedido", {OrderRow("P1", 3.0), second});
       },
       kAdd + "La unidad: CJA, no existe o está dada de baja", 1, true, true},
      {"F3 nothing to request beyond the control quantity 2",
       [](FakeSuite& s) {
         s.OnQuery("FROM Pedido", {OrderRow("P1", 3.0, 2.0)});
         s.script.Queue("Inventory#1.Obtener_Existencia", {3.0, 1.0});
       },
       kAdd + "la cantidad no puede ser cero: \r\nCantidad-1: 0\r\nCantidad-Control-1: "
              "0\r\nCantidad-Control-2: 0\r\nCANTIDAD-COSTO: 0",
       0, true, true},
      {"F4 processing refused",
       [](FakeSuite& s) {
         s.OnQuery("FROM Pedido", {OrderRow("P1", 3.0)});
         // The lines register; the document does not.
         s.script.On("Data.Procesar_Documento", [](const std::vector<Variant>& a) {
           return Variant(a[0].ToString() != "TRANSFERENCIA");
         });
         s.script.Answer("Data.Obtener_Ultimo_Error", "Documento en uso");
       },
       kSource + kFinalizar + "Documento en uso", 1, true, true},
      {"F5 failed statement",
       [](FakeSuite& s) {
         s.FailQuery("FROM Pedido", RuntimeError(-2147217900, "Incorrect syntax near 'GROUP'."));
       },
       "Incorrect syntax near 'GROUP'.", 0, false, false},
      {"F5 Null where a text is read",
       [](FakeSuite& s) {
         Row row = OrderRow("P1", 3.0);
         Set(row, "Tl_Cve_Talla", Null{});
         s.OnQuery("FROM Pedido", {row});
       },
       "Invalid use of Null", 0, false, true},
      {"F5 missing column",
       [](FakeSuite& s) {
         Row row = OrderRow("P1", 3.0);
         row.erase(row.begin());  // no Al_Cve_Almacen
         s.OnQuery("FROM Pedido", {row});
       },
       std::string(kItemNotFoundText), 0, false, true},
      {"F5 stock object raises on the second row",
       [](FakeSuite& s) {
         s.OnQuery("FROM Pedido", {OrderRow("P1", 3.0), OrderRow("P2", 1.0)});
         s.script.On("Inventory#1.Obtener_Existencia",
                     [n = 0](const std::vector<Variant>&) mutable {
                       if (++n > 2) Raise(-2147418113, "Catastrophic");
                       return Variant(0.0);
                     });
       },
       "Catastrophic", 1, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    Capturable(local);
    c.setup(local);
    {
      Transferencia t;
      std::string folio = "PD-1";
      EXPECT_FALSE(t.Genera_Requisicion_Pedido(folio));
      EXPECT_EQ(t.Error(), c.error);
      size_t stored = 0;
      for (const auto& s : local.Statements())
        stored += s.rfind("INSERT INTO Transferencia", 0) == 0 ? 1 : 0;
      EXPECT_EQ(stored, c.lines_stored);
      if (!local.recordsets().empty()) {
        EXPECT_EQ(local.recordsets()[0]->closed, c.order_closed);
      }
      EXPECT_EQ(local.Created("Inventory"), c.second_object ? 6 : 3);
      EXPECT_EQ(local.Alive("Inventory"), 3);
      if (c.error.rfind(kSource, 0) != 0) {  // only F4 gets as far as finalising
        EXPECT_TRUE(local.journal.Starting("Data.Procesar_Documento(\"TRANSFERENCIA\"").empty());
      }
    }
  }
}

TEST_F(RequisitionTest, FinalisesOnThisObjectWithItsOwnMovements) {
  // This object is a shipment with a movement of its own: finalising the
  // requisition closes that movement, not anything of the second object.
  suite.script.Answer("Inventory#3.Obtener_Encabezado_Movimiento", "MS-7");
  Object().SetEncabezado(Header("EN"));
  suite.OnQuery("FROM Pedido", {OrderRow("P1", 3.0)});
  ASSERT_TRUE(Requisition()) << Object().Error();
  EXPECT_EQ(suite.journal.Starting("Inventory#3.Finalizar_Movimiento"),
            (std::vector<std::string>{"Inventory#3.Finalizar_Movimiento(\"MS-7\")"}));
  EXPECT_TRUE(suite.journal.Starting("Inventory#6.Finalizar_Movimiento").empty());
}

TEST_F(RequisitionTest, SecondObjectShowsDetalleRefusalsWhateverThisObjectSays) {
  Object().SetMostrarMensajeError(false);
  suite.OnQuery("FROM Pedido", {OrderRow("P1", 3.0)});
  suite.script.Fail("Data.Obtener_Factor_Conversion", RuntimeError(11, "Division by zero"));
  // A unit other than the control unit makes Detalle ask for a factor.
  suite.script.On("Data.Obtener_Valor_Campo", [](const std::vector<Variant>& a) {
    const std::string table = a[0].ToString();
    if (table == "Almacen" || table == "Unidad") return Variant("ok");
    if (table == "Producto" && a[3].ToString() == "Pr_Unidad_Control_1") return Variant("CJA");
    return Variant("");
  });
  Requisition();
  const auto shown = suite.journal.Starting("System.Mostrar_Mensaje");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("\"ERR-ID:7500003\""), std::string::npos) << shown[0];
  EXPECT_FALSE(Object().MostrarMensajeError());
}

}  // namespace
}  // namespace qbx::test
