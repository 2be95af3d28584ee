// The transfer object: Encabezado, Nuevo, and the write of Detalle (refusals,
// conversions, blanking).
#include <tuple>

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

using ObjectTest = TransferTest;

TEST_F(ObjectTest, EncabezadoCopiesItsFieldsUntilTheFolioAndNuevoClears) {
  EXPECT_TRUE(Object().MostrarMensajeError() && !Object().Inventario_Pendiente());
  suite->script.On("Inventory#1.Maneja_Color", [](const std::vector<Variant>& a) {
    return Variant(a[1].ToString() == "A9");  // only warehouse A9 keeps colours
  });
  Transferencia& t = Start("RC");
  tTrEncabezado h = Header("EN");
  std::tie(h.Almacen.Al_Cve_Almacen, h.Tr_Tabla, h.Tr_Documento, h.GeneraOC) =
      std::tuple("A9", "Pedido", "PD-1", true);
  const tTrEncabezado expected = h;
  h.Tr_Folio = h.Tr_Sucursal_Recibe = h.Sucursal.Sc_Centro_Costo = "X";  // none is taken over
  h.Tr_Descuento_Global_Factor = 3;
  h.Almacen_Recibe.Al_Cuenta_Contable = "CTA";
  suite->journal.Clear();
  t.SetEncabezado(h);
  EXPECT_EQ(suite->journal.Dump(false), R"(Data.Obtener_Valor_Campo("Sucursal", "Sc_Cve_Sucursal", "S1", "Sc_Servidor_Id", 0&, "", "", "")
Inventory#1.Maneja_Talla("S1", "A9")
Inventory#1.Maneja_Color("S1", "A9")
Inventory#1.Maneja_Lote("S1", "A9")
Inventory#1.Maneja_Serie("S1", "A9")
)");
  EXPECT_EQ(t.Encabezado(), expected);
  // The last write set the flags: A9 keeps the colour.
  tTrDetalle line = Line();
  line.Cl_Cve_Color = "ROJO";
  ASSERT_TRUE(AddLine(line)) << t.Error();
  EXPECT_EQ(t.Detalle().Cl_Cve_Color, "ROJO");
  // Once the folio is assigned a header write is ignored, until Nuevo.
  t.SetInventario_Pendiente(true);
  const tTrEncabezado before = t.Encabezado();
  const tTrDetalle detail = t.Detalle();
  ASSERT_EQ(before.Tr_Folio, "F-1");
  suite->journal.Clear();
  t.SetEncabezado(Header("RC"));
  EXPECT_EQ(t.Encabezado(), before);
  EXPECT_TRUE(suite->journal.entries().empty()) << suite->journal.Dump();
  // Nuevo: a header with fresh dates, only the receiving warehouse kept.
  tTrEncabezado fresh;
  fresh.Tr_Fecha = Date::FromCalendar(2024, 4, 1, 8, 0, 0);
  fresh.Tr_Fecha_Entrega = Date::FromCalendar(2024, 4, 2, 9, 0, 0);
  fresh.Almacen_Recibe.Al_Cve_Almacen = "A2";
  suite->script.Queue("Data.Obtener_Fecha_Servidor", {fresh.Tr_Fecha, fresh.Tr_Fecha_Entrega});
  t.Nuevo();
  EXPECT_EQ(suite->journal.Calls(), (Texts(2, "Data.Obtener_Fecha_Servidor")));
  EXPECT_EQ(t.Encabezado(), fresh);
  EXPECT_FALSE(t.Inventario_Pendiente() || t.MostrarMensajeError());  // the latter kept
  EXPECT_EQ(t.Detalle(), detail);                                      // kept
  // Accepted again; a failing write reaches the client and keeps what it changed.
  suite->script.Fail("Inventory#1.Maneja_Lote", RuntimeError(5000, "sin almacén"));
  EXPECT_THROW(t.SetEncabezado(Header("RC")), RuntimeError);
  EXPECT_EQ(t.Encabezado().Tr_Tipo, "RC");
}

TEST_F(ObjectTest, DetalleRefusalsAreStoredOrShownWithTheirKey) {
  const std::string control = "El parámetro Tr_Cantidad_Control_1, es de solo lectura!";
  // The run-time row (key 7500003): the line is in boxes at a factor of 0 to pieces.
  using Case = std::tuple<double, const char*, const char*, std::string>;
  const Case cases[] = {
      {2, "", "ERR-ID:7500001", control},
      {0, "CJ", "ERR-ID:7500002", "El parámetro Tr_Unidad_Costo, es de solo lectura!"},
      {0, "", "ERR-ID:7500003", "Division by zero"}};
  for (const auto& [control_1, cost_unit, key, message] : cases) {
    for (bool show : {false, true}) {
      SCOPED_TRACE(message + (show ? " shown" : " stored"));
      const bool run_time = key == std::string("ERR-ID:7500003");
      Renew();
      tTrDetalle line = Line();
      line.Producto.Pr_Cve_Producto = "ANTES";
      Start("EN").SetDetalle(line);  // the previous line
      const tTrDetalle kept = Object().Detalle();
      if (run_time) Answer("Data.Obtener_Factor_Conversion", 0.0);
      Object().SetMostrarMensajeError(show);
      line = Line();
      std::tie(line.Tr_Cantidad_Control_1, line.Tr_Unidad_Costo) = std::tuple(control_1, cost_unit);
      if (run_time) line.Tr_Unidad_1 = "CJ";
      suite->journal.Clear();
      Object().SetDetalle(line);
      EXPECT_EQ(Object().Error(), show ? "" : "Property Let Detalle() - \r\n" + message);
      const std::string shown = R"(System.Mostrar_Mensaje(")" + message +
          R"x(", 16&, "Property Let Detalle()", Missing, "Quelbarix", ")x" + key + R"x("))x";
      EXPECT_EQ(Log("System.Mostrar_Mensaje"), show ? Texts{shown} : Texts{});
      const tTrDetalle d = Object().Detalle();
      if (!run_time) {
        EXPECT_EQ(d, kept);
        EXPECT_EQ(suite->journal.entries().size(), show ? 1u : 0u);  // refused before any call
        Object().SetDetalle(Line());  // an accepted write clears the error
        EXPECT_EQ(Object().Error(), "");
      } else {  // steps before the failing call stay applied: units filled, 0 x 5 pieces
        EXPECT_EQ(d.Tr_Unidad_Control_1 + "/" + d.Tr_Unidad_Costo, "PZA/PZA");
        EXPECT_EQ(std::tie(d.Tr_Costo, d.Tr_Cantidad_Control_1), std::tuple(10.0, 0.0));
      }
    }
  }
}

TEST_F(ObjectTest, DetalleConvertsQuantitiesAndCost) {
  Texts asked;  // product:from>to; one CJ holds 12 PZA
  suite->script.On("Data.Obtener_Factor_Conversion", [&](const std::vector<Variant>& a) {
    asked.push_back(a[0].ToString() + ":" + a[1].ToString() + ">" + a[2].ToString());
    return Variant(a[1].ToString() == "CJ" && a[2].ToString() == "PZA" ? 12.0 : 1.0);
  });
  auto converts = [&](const char* entry_unit, const char* cost_unit, double control_2,
                      const Texts& factors, double control_1, double cost_quantity, double cost,
                      double amount) {
    SCOPED_TRACE(std::string(entry_unit) + " costed by " + cost_unit);
    catalogue["Producto.Pr_Unidad_Costo"] = cost_unit;
    asked.clear();
    tTrDetalle line = Line();
    std::tie(line.Tr_Cantidad_1, line.Tr_Unidad_1, line.Tr_Cantidad_Control_2, line.Tr_Costo) =
        std::tuple(2, entry_unit, control_2, 120);
    Start("EN").SetDetalle(line);
    ASSERT_EQ(Object().Error(), "");
    EXPECT_EQ(asked, factors);
    const tTrDetalle d = Object().Detalle();
    EXPECT_EQ(
        std::tie(d.Tr_Cantidad_Control_1, d.Tr_Cantidad_Costo, d.Tr_Costo, d.Tr_Importe_Costo),
        std::tie(control_1, cost_quantity, cost, amount));
  };
  // Entry in boxes: 24 pieces; the box cost is divided into a piece cost.
  converts("CJ", "PZA", 0, {"P1:CJ>PZA", "P1:CJ>PZA"}, 24, 24, 10, 240);
  // Costed by weight: the client's control quantity 2, cost as passed.
  converts("CJ", "KG", 8, {"P1:CJ>PZA"}, 24, 8, 120, 960);
}

TEST_F(ObjectTest, DetalleBlanksWhatTheWarehouseDoesNotKeep) {
  // keeps: whether the warehouse keeps sizes, colours, lots and serials, as 0/1.
  for (auto [type, keeps, kept] : {std::tuple("01", "1100", "M/ROJO/L1/PED/SN1/PS"),
                                   std::tuple("02", "0001", "00/00//PED/SN1/PS"),
                                   std::tuple("02", "0010", "00/00/L1/PED/SN1/PS"),
                                   std::tuple("03", "1010", "M/00/L1/PED//PS"),
                                   std::tuple("03", "0101", "00/ROJO/L1/PED/SN1/PS")}) {
    SCOPED_TRACE(std::string(type) + " " + keeps);
    Renew();
    Script({{"cat:Producto.Pr_Tipo_Producto", type}});
    for (int i = 0; i < 4; ++i)
      Answer(std::string("Inventory#1.Maneja_") + std::array{"Talla", "Color", "Lote", "Serie"}[i],
             keeps[i] == '1');
    tTrDetalle line = Line();
    std::tie(line.Tl_Cve_Talla, line.Cl_Cve_Color) = std::tuple("M", "ROJO");
    line.Lote = {"L1", {}, "PED", {}, {}};  // the other lot and serial fields are kept
    line.Serie = {"SN1", "PS", {}, {}};
    Start("EN").SetDetalle(line);
    const tTrDetalle d = Object().Detalle();
    EXPECT_EQ(d.Tl_Cve_Talla + "/" + d.Cl_Cve_Color + "/" + d.Lote.Lt_Cve_Lote + "/" +
                  d.Lote.Lt_Pedimento + "/" + d.Serie.Sr_Cve_Serie + "/" + d.Serie.Sr_Pedimento,
              kept);
  }
}

}  // namespace
}  // namespace qbx::test
