// Genera_Requisicion_Pedido on the recording doubles. The requisition goes
// through the real capture road of a second object (Inventory#4 to #6).

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

const std::string kSource = "Quelbarix.dll - Genera_Requisicion_Pedido()\r\n";

const Date kPedido = Date::FromCalendar(2024, 3, 1), kEntrega = Date::FromCalendar(2024, 3, 8);

// One grouped row of order PD-1 from branch NORTE, served by CEDIS.
Row OrderRow(const std::string& product, Variant q1, Variant q2 = 0.0, Variant estado = "AC") {
  const double pedida = q1.IsNull() ? 0 : q1.ToDouble();
  return {{"Al_Cve_Almacen", "GRL"},         {"Al_Cve_Almacen_Pedido", "VTA"},
          {"Pd_Cantidad_1", pedida},          {"Pd_Unidad_1", "PZA"},
          {"Sc_Cve_Sucursal", "NORTE"},       {"Sc_Centro_Distribucion", "CEDIS"},
          {"Pd_Fecha", kPedido},              {"Pd_Fecha_Entrega", kEntrega},
          {"Pr_Cve_Producto", product},       {"Tl_Cve_Talla", "00"},
          {"Cl_Cve_Color", "00"},             {"Es_Cve_Estado", std::move(estado)},
          {"Pd_Unidad_Control_1", "PZA"},     {"Pd_Unidad_Control_2", ""},
          {"Pd_Cantidad_Control_1", std::move(q1)}, {"Pd_Cantidad_Control_2", std::move(q2)}};
}

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
  EXPECT_EQ(suite->Statements().at(0),
            "SELECT    (SELECT MIN(Almacen.Al_Cve_Almacen) FROM Almacen WHERE "
            "Almacen.Sc_Cve_Sucursal = Sucursal.Sc_Centro_Distribucion AND "
            "Almacen.Es_Cve_Estado <> 'BA' AND Almacen.Al_Transito = 0) as Al_Cve_Almacen,  "
            "  MIN(Pedido.Al_Cve_Almacen) as Al_Cve_Almacen_Pedido,    "
            "SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_1,    "
            "Pedido.Pd_Unidad_Control_1 as Pd_Unidad_1,    Sucursal.Sc_Cve_Sucursal,    "
            "Sucursal.Sc_Centro_Distribucion,    Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega,"
            "    Pedido.Pr_Cve_Producto,    Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,     "
            "Pedido.Es_Cve_Estado,    Pedido.Pd_Unidad_Control_1,    "
            "Pedido.Pd_Unidad_Control_2,    SUM(Pedido.Pd_Cantidad_Control_1) as "
            "Pd_Cantidad_Control_1,    SUM(Pedido.Pd_Cantidad_Control_2) as "
            "Pd_Cantidad_Control_2 FROM Pedido    INNER JOIN Sucursal ON "
            "Pedido.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE Pd_Folio = 'PD-1' "
            "GROUP BY    Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Centro_Distribucion,    "
            "Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega,    Pedido.Pr_Cve_Producto,    "
            "Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,    Pedido.Es_Cve_Estado,    "
            "Pedido.Pd_Unidad_Control_1,    Pedido.Pd_Unidad_Control_2");
  // Stock is asked twice per row of this object's stock object.
  auto stock = [](const char* product) {
    return std::string(R"(Inventory#1.Obtener_Existencia("CEDIS", "%", ")") + product +
           R"(", "00", "00", 1&, ""))";
  };
  EXPECT_EQ(suite->journal.Containing("Obtener_Existencia"),
            (Texts{stock("P1"), stock("P1"), stock("P2"), stock("P2"), stock("P3"), stock("P3")}));
  // A line of 6 PZA, from the ordering branch and its warehouse to the centre's.
  const auto inserts = Run("INSERT INTO Transferencia");
  ASSERT_EQ(inserts.size(), 2u);
  EXPECT_THAT(inserts[0],
              HasSubstr("'F-1', '0001', '2024-03-01', '2024-03-08', 'SL', '', "
                        "'Solicitud de transferencia automática', 'Pedido', 'PD-1', 'CEDIS', "
                        "'NORTE', 'VTA', 'GRL', 'P1', '00', '00', 6, 'PZA', 6, 'PZA', "))
      << inserts[0];
  EXPECT_THAT(inserts[1], HasSubstr("'P3', '00', '00', 1, 'PZA', "));
  EXPECT_EQ(Count("Data.Obtener_Folio"), 1u);
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
                kSource + kFinalizarSource + "No se especificó el folio de la transferencia!");
    }
  };
  requests(10, 0, 10.0, 0.0, "");  // stock equal to both quantities
  requests(12, 3, 10.0, 2.0, "");
  requests(0, 0, 10.0, 0.0, "10, 'PZA', 10, ");
  requests(9.5, 0, 10.0, 0.0, "0.5, 'PZA', 0.5, ");
  requests(0, 0, Null{}, 0.0, "");  // a Null quantity counts as not less
  requests(10, 0, 10.0, Null{}, "");
}

TEST_F(RequisitionTest, FailureTable) {
  auto refused = [&](std::vector<Row> order, const std::string& error, size_t stored,
                     bool order_closed, bool second_object) {
    SCOPED_TRACE(error);
    EXPECT_FALSE(Requisition(std::move(order)));
    EXPECT_EQ(Object().Error(), error);
    EXPECT_EQ(Run("INSERT INTO Transferencia").size(), stored);
    EXPECT_TRUE(suite->recordsets().empty() || suite->recordsets()[0]->closed == order_closed);
    EXPECT_EQ(suite->Created("Inventory"), second_object ? 6 : 3);
    EXPECT_EQ(suite->Alive("Inventory"), 3);
    // Only a finalising failure gets as far as processing the document.
    EXPECT_EQ(Count(R"(Data.Procesar_Documento("TRANSFERENCIA")"),
              error.rfind(kSource, 0) ? 0u : 1u);
    Renew();
  };
  refused({}, "No se encontró el pedido con el folio proporcionado: PD-1", 0, true, false);
  refused({OrderRow("P1", 3.0, 0.0, "BO"), OrderRow("P2", 1.0)},
          "Imposible generar requisición del pedido con estado BO", 0, true, false);
  refused({OrderRow("P1", 3.0, 0.0, "ac")},
          "Imposible generar requisición del pedido con estado ac", 0, true, false);
  Row row = OrderRow("P2", 1.0);
  Set(row, "Pd_Unidad_1", "CJA");
  catalogue["Unidad.Un_Descripcion=CJA"] = "";
  refused({OrderRow("P1", 3.0), row}, kAddSource + "La unidad: CJA, no existe o está dada de baja",
          1, true, true);
  Stock({3.0, 1.0});  // control quantity 1 covered, 2 not: a line of nothing is offered
  refused({OrderRow("P1", 3.0, 2.0)},
          kAddSource +
              "la cantidad no puede ser cero: \r\nCantidad-1: 0\r\nCantidad-Control-1: "
              "0\r\nCantidad-Control-2: 0\r\nCANTIDAD-COSTO: 0",
          0, true, true);
  // The lines register; the document does not.
  suite->script.On("Data.Procesar_Documento", [](const std::vector<Variant>& a) {
    return Variant(a[0].ToString() != "TRANSFERENCIA");
  });
  Answer("Data.Obtener_Ultimo_Error", "Documento en uso");
  refused({OrderRow("P1", 3.0)}, kSource + kFinalizarSource + "Documento en uso", 1, true, true);
  Script({{"fail:FROM Pedido", "Incorrect syntax"}});
  refused({}, "Incorrect syntax", 0, false, false);
  row = OrderRow("P1", 3.0);
  Set(row, "Tl_Cve_Talla", Null{});
  refused({row}, "Invalid use of Null", 0, false, true);
  row.erase(row.begin());  // no Al_Cve_Almacen
  refused({row}, std::string(kItemNotFoundText), 0, false, true);
  suite->script.On("Inventory#1.Obtener_Existencia", [n = 0](const std::vector<Variant>&) mutable {
    if (++n > 2) Raise(-2147418113, "Catastrophic");  // on the second row
    return Variant(0.0);
  });
  refused({OrderRow("P1", 3.0), OrderRow("P2", 1.0)}, "Catastrophic", 1, false, true);
}

TEST_F(RequisitionTest, SecondObjectShowsDetalleRefusalsWhateverThisObjectSays) {
  Object().SetMostrarMensajeError(false);
  suite->script.Fail("Data.Obtener_Factor_Conversion", RuntimeError(11, "Division by zero"));
  catalogue["Producto.Pr_Unidad_Control_1"] = "CJA";  // makes Detalle ask for a factor
  Requisition({OrderRow("P1", 3.0)});
  const auto shown = Log("System.Mostrar_Mensaje");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_THAT(shown[0], HasSubstr("\"ERR-ID:7500003\"")) << shown[0];
  EXPECT_FALSE(Object().MostrarMensajeError());
}

}  // namespace
}  // namespace qbx::test
