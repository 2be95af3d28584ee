// Add_Transferencia_Detalle with Graba_Movimiento and Inserta_Transferencia:
// opening the document, checks, posting, numbering, the row, registration.
#include <cmath>
#include <functional>
#include <tuple>

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

using AddLineTest = TransferTest;

TEST_F(AddLineTest, ShipmentLinesInTransitMakeExactlyTheseCalls) {
  InTransit(true);
  suite->script.Queue("System.Obtener_Usuario", {"ALTA", "MODIF"});
  tTrEncabezado h = Header("EN");
  std::tie(h.Tr_Comentario, h.Tr_Tabla, h.Tr_Documento) =
      std::tuple("Entrega d'Angelo", "Pedido", "PD-7");
  Transferencia& t = Object();
  t.SetEncabezado(h);
  tTrDetalle d = Line();
  d.Producto.Pr_Cve_Producto = "P'1";
  d.Tr_Cantidad_1 = 12.5;
  d.Tr_Indirecto_Factor = -0.25;
  d.Tr_Indirecto_Importe = 1E-05;  // a shipment's cost ignores it
  d.Serie = {"SN1", "PS", Date::FromCalendar(2024, 1, 15), {}};
  d.Lote = {"L1", Date::FromCalendar(2025, 1, 31), "PED'1", Date::FromCalendar(2024, 2, 1), {}};
  t.SetMostrarMensajeError(false);
  suite->journal.Clear();  // the Detalle write's catalogue reads lead
  t.SetDetalle(d);
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_EQ(t.Error(), "");

  // The lot code goes only to the movement; the row's Lt_Cve_Lote stays empty.
  EXPECT_EQ(suite->journal.Dump(false), R"j(Data.Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "P'1", "Pr_Tipo_Producto", 0&, "", "", "")
Data.Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "P'1", "Pr_Tipo_Costeo", 0&, "", "", "")
Data.Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "P'1", "Pr_Unidad_Control_1", 0&, "", "", "")
Data.Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "P'1", "Pr_Unidad_Control_2", 0&, "", "", "")
Data.Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "P'1", "Pr_Unidad_Costo", 0&, "", "", "")
Data.Obtener_Factor_Conversion("P'1", "PZA", "PZA")
System.Es_Servidor_Sucursal()
System.Obtener_Parametro("GEN_VALIDAR_PERIODO_OPERATIVO", 0&, "", "")
Data.Obtener_Valor_Campo("Almacen", "Al_Cve_Almacen", "A1", "Al_Descripcion", 0&, "Sc_Cve_Sucursal", "S1", "BA")
Data.Obtener_Folio("S1", "Transferencia", 10&, True)
Data.Obtener_Fecha_Servidor()
Data.Formatear_Fecha_Hora(#2024-03-05 10:30:00#)
Inventory#2.Nuevo_Movimiento()
Inventory#3.Nuevo_Movimiento()
System.Obtener_Parametro("MOV_ENTRADA_TRANSITO", 0&, "", "")
System.Obtener_Parametro("MOV_SALIDA_TRANSFERENCIA", 0&, "", "")
Inventory#3.Asignar_Encabezado_Movimiento({Folio="", Fecha=#2024-03-05#, Tabla="Transferencia", Documento="F-1", Referencia="REF-1", Comentario="Entrega d'Angelo", Sucursal="S1", Almacen="A1", Tipo_Movimiento="STR"})
System.Obtener_Parametro("MOV_ALMACEN_TRANSITO_TRANSFERENCIA", 0&, "", "")
Inventory#2.Asignar_Encabezado_Movimiento({Folio="", Fecha=#2024-03-05#, Tabla="Transferencia", Documento="F-1", Referencia="REF-1", Comentario="Entrega d'Angelo", Sucursal="S2", Almacen="AT", Tipo_Movimiento="ETT"})
Data.Obtener_Valor_Campo("Unidad", "Un_Cve_Unidad", "PZA", "Un_Descripcion", 0&, "", "", "BA")
Inventory#1.Obtener_Tipo_Producto("P'1")
Inventory#3.Asignar_Detalle_Movimiento({Producto="P'1", Talla="00", Color="00", Cantidad_1=12.5#, Unidad_1="PZA", Cantidad_2=0#, Unidad_2="KG", Costo=0#, Costo_2=0#, Serie="SN1", Pedimento="PS", Fecha_Pedimento=#2024-01-15#, Lote="L1"})
Inventory#3.Agregar_Detalle_Movimiento()
Inventory#3.Obtener_Costo_Detalle()
Inventory#2.Asignar_Detalle_Movimiento({Producto="P'1", Talla="00", Color="00", Cantidad_1=12.5#, Unidad_1="PZA", Cantidad_2=0#, Unidad_2="KG", Costo=7.5#, Costo_2=0#, Serie="SN1", Pedimento="PS", Fecha_Pedimento=#2024-01-15#, Lote="L1"})
Inventory#2.Agregar_Detalle_Movimiento()
Data.Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F-1", "", "")
Data.Formatear_Fecha(#2024-03-05#)
Data.Formatear_Fecha(#2024-03-06#)
Data.Formatear_Fecha(#2025-01-31#)
Data.Formatear_Fecha(#2024-02-01#)
System.Obtener_Usuario()
System.Obtener_Usuario()
System.Obtener_Conexion()
Connection.Execute("INSERT INTO Transferencia (Tr_Folio, Tr_ID, Tr_Fecha, Tr_Fecha_Entrega, Tr_Tipo, Tr_Referencia, Tr_Comentario, Tr_Tabla, Tr_Documento, Sc_Cve_Sucursal_Recibe, Sc_Cve_Sucursal, Al_Cve_Almacen, Al_Cve_Almacen_Recibe, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Tr_Cantidad_1, Tr_Unidad_1, Tr_Cantidad_Control_1, Tr_Unidad_Control_1, Tr_Cantidad_Control_2, Tr_Unidad_Control_2, Tr_Cantidad_Costo, Tr_Unidad_Costo, Tr_Costo, Tr_Importe_Costo, Tr_Indirecto_Factor, Tr_Indirecto_Importe, Lt_Cve_Lote, Lt_Fecha_Caducidad, Lt_Pedimento, Lt_Fecha_Pedimento, Oper_Alta, Fecha_Alta, Oper_Ult_Modif, Fecha_Ult_Modif) VALUES ('F-1', '0001', '2024-03-05', '2024-03-06', 'EN', 'REF-1', 'Entrega d''Angelo', 'Pedido', 'PD-7', 'S2', 'S1', 'A1', 'A2', 'P''1', '00', '00', 12.5, 'PZA', 12.5, 'PZA', 0, 'KG', 12.5, 'PZA', 7.5, 93.75, -0.25, 1E-05, '', '2025-01-31', 'PED''1', '2024-02-01', 'ALTA', '2024-03-05 10:30:00', 'MODIF', '2024-03-05 10:30:00')", Missing, -1&)
Inventory#1.Ajustar_Existencia("S1", "A1", "P'1", "00", "00", 12.5#, 0#)
Data.Procesar_Documento("DETALLE_TRANSFERENCIA", "F-1", "0001")
)j");

  // A later line skips the opening and rewrites the movement records.
  Answer("Data.Obtener_Siguiente_Id", "0042");  // the row key is the data service's
  Answer("Inventory#3.Obtener_Costo_Detalle", "2");
  tTrDetalle second = Line();
  second.Producto.Pr_Cve_Producto = "P2";
  t.SetDetalle(second);
  suite->journal.Clear();
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_THAT(Run("INSERT").at(1), HasSubstr("VALUES ('F-1', '0042', "));
  const MovementLine rewritten = suite->LinesOf("Inventory#2").at(1);  // nothing of the first
  EXPECT_EQ(rewritten.Producto + "/" + rewritten.Serie.Serie + "/" + rewritten.Lote.Lote, "P2//");
  EXPECT_EQ(rewritten.Costo, 2);
  EXPECT_EQ(suite->LinesOf("Inventory#3").at(1).Costo, 0);
}

TEST_F(AddLineTest, TypeTransitAndPendingDecidePostingAndAdjustment) {
  const std::string issue = "Inventory#3.Asignar_Detalle_Movimiento",
                    issue_add = "Inventory#3.Agregar_Detalle_Movimiento",
                    cost = "Inventory#3.Obtener_Costo_Detalle",
                    receipt = "Inventory#2.Asignar_Detalle_Movimiento",
                    receipt_add = "Inventory#2.Agregar_Detalle_Movimiento";
  const std::string shipment = R"(("S1", "A1", "P1", "00", "00", 5#, 2#))";
  const std::string request = R"(("S2", "A2", "P1", "00", "00", -5#, -2#))";
  // movement: the movement-object calls after the opening; adjustment: its arguments.
  auto road = [&](const char* tipo, bool in_transit, bool pending, const char* product_type,
                  const Texts& movement, const std::string& adjustment) {
    SCOPED_TRACE(testing::Message() << tipo << in_transit << pending << product_type);
    Renew();
    InTransit(in_transit);
    Answer("Inventory#1.Obtener_Tipo_Producto", product_type);
    Start(tipo).SetInventario_Pendiente(pending);
    suite->journal.Clear();
    tTrDetalle d = Line();
    d.Tr_Cantidad_Control_2 = 2;
    ASSERT_TRUE(AddLine(d)) << Object().Error();
    // Both documents are started, receipt first; the issue side gets its header first.
    Texts expected = {"Inventory#2.Nuevo_Movimiento", "Inventory#3.Nuevo_Movimiento",
                      "Inventory#3.Asignar_Encabezado_Movimiento",
                      "Inventory#2.Asignar_Encabezado_Movimiento"};
    expected.insert(expected.end(), movement.begin(), movement.end());
    EXPECT_EQ(Entries({"Inventory#2", "Inventory#3"}, true), expected);
    EXPECT_EQ(Count("Inventory#1.Obtener_Tipo_Producto"), tipo[0] == 'S' || pending ? 0u : 1u);
    EXPECT_EQ(Log("Inventory#1.Ajustar_Existencia"),
              adjustment.empty() ? Texts{} : Texts{"Inventory#1.Ajustar_Existencia" + adjustment});
    EXPECT_EQ(Run("INSERT INTO Transferencia").size(), 1u);
  };
  road("EN", false, false, "01", {issue, issue_add, cost, receipt}, shipment);
  road("EN", true, false, "04", {issue, issue_add, cost, receipt, receipt_add}, shipment);
  road("RC", true, false, "03", {issue, issue_add, cost, receipt, receipt_add}, "");
  road("SL", false, false, "01", {}, request);  // a request opens both documents, never posts
  road("EN", false, true, "01", {}, shipment);  // pending: stored and adjusted, not posted
  road("RC", false, false, "99", {}, "");       // no stock: stored only
  road("RC", false, false, "02", {issue, receipt, receipt_add}, "");
  // That reception's movement headers (a shipment's are pinned above).
  auto side = [&](const char* instance) {
    const MovementHeader h = suite->HeadersOf(instance).at(0);
    return h.Sucursal + "/" + h.Almacen + "/" + h.Tipo_Movimiento + "/" + h.Referencia;
  };
  EXPECT_EQ(side("Inventory#3"), "S1/AT/STT/REF-1");
  EXPECT_EQ(side("Inventory#2"), "S1/A1/ETR/REF-1");
}

TEST_F(AddLineTest, RefusesWithItsExactText) {
  using Edit = std::function<void(tTrEncabezado&, tTrDetalle&)>;
  // reached: 0 refused before the folio, 1 after it, 2 after the row was sent.
  auto refused = [&](const char* tipo, int reached, const std::string& message,
                     const Answers& answers, Edit edit = nullptr,
                     std::function<void()> also = nullptr) {
    SCOPED_TRACE(message);
    Renew();
    Script(answers);
    if (also) also();
    tTrEncabezado h = Header(tipo);
    tTrDetalle d = Line();
    d.Tl_Cve_Talla = "M", d.Cl_Cve_Color = "ROJO";  // blanked unless the warehouse keeps them
    if (edit) edit(h, d);
    Object().SetEncabezado(h);
    EXPECT_FALSE(AddLine(d));
    // Texts carrying their own source line are passed on unchanged.
    EXPECT_EQ(Object().Error(), message.rfind("Quelbarix", 0) ? kAddSource + message : message);
    EXPECT_EQ(Object().Encabezado().Tr_Folio, reached > 0 ? "F-1" : "");
    EXPECT_EQ(Run("INSERT").size(), reached > 1 ? 1u : 0u);
  };
  const std::string transit = "par:MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO";
  refused("EN", 0, "Esta operación solo puede realizarse en el servidor central",
          {{"System.Es_Servidor_Sucursal", true}});
  refused("EN", 0,
          "Esta operación solo puede realizarse en el servidor con id: SRV-7\r\n"
          "el id del servidor actual es: SRV-1",
          {{"cat:Sucursal.Sc_Servidor_Id=S1", "SRV-7"}, {"System.Obtener_Servidor_Id", "SRV-1"}});
  refused("EN", 0,
          "El período operativo correspondiente a la fecha: 05-03-2024, está cerrado o no existe!",
          {{"par:GEN_VALIDAR_PERIODO_OPERATIVO", true}, {"Data.Validar_Periodo_Operativo", false}});
  refused("EN", 0, "el almacén: A1, de la sucursal: S1, no existe o esta dado de baja",
          {{"cat:Almacen.Al_Descripcion=A1", ""}, {"par:GEN_VALIDAR_PERIODO_OPERATIVO", false},
           {"Data.Validar_Periodo_Operativo", false}});  // a False setting: no period check
  refused("SL", 0, "el almacén: A2, del CEDIS: S2, no existe o esta dado de baja",
          {{"cat:Almacen.Al_Descripcion=A2", ""}});
  refused("EN", 0, "la transferencia: SL-9 se encuentra cancelado, no es posible continuar",
          {{"cat:Transferencia.Es_Cve_Estado=SL-9", "CA"}}, [](auto& h, auto&) {
            h.Tr_Tabla = "transferencia";  // compared upper-cased
            h.Tr_Documento = "SL-9";
          });
  refused("EN", 0, "Error al intentar obtener el folio de la transferencia!",
          {{"Data.Obtener_Folio", ""}});
  const std::string sizes = "Inventory#1.Maneja_Talla", colours = "Inventory#1.Maneja_Color";
  refused("EN", 1, "No se encuentra la relación producto/talla/color: P1/M/ROJO",
          {{sizes, true}, {colours, true}, {"Data.Existe_Producto_Talla_Color", false}});
  refused("EN", 1, "No se encuentra la relación producto/talla: P1/M",
          {{sizes, true}, {"Data.Existe_Producto_Talla", false}});
  refused("EN", 1, "No se encuentra la relación producto/color: P1/ROJO",
          {{colours, true}, {"Data.Existe_Producto_Color", false}});
  refused("EN", 1, "La unidad: PZA, no existe o está dada de baja",
          {{"cat:Unidad.Un_Descripcion", ""}});
  // Both control quantities 0: control unit 1 is KG, at a factor of 0.
  const Answers no_factor = {{"Data.Obtener_Factor_Conversion", 0.0}};
  refused("EN", 1,
          "la cantidad no puede ser cero: \r\nCantidad-1: 12.5\r\nCantidad-Control-1: 0\r\n"
          "Cantidad-Control-2: 0\r\nCANTIDAD-COSTO: 0",
          {{"cat:Producto.Pr_Unidad_Control_1", "KG"}, {"cat:Producto.Pr_Unidad_Costo", "CJ"},
           no_factor[0]},
          [](auto&, auto& d) { d.Tr_Cantidad_1 = 12.5; });
  refused("EN", 1, "las cantidades deben ser positivas!", {},
          [](auto&, auto& d) { d.Tr_Cantidad_Control_2 = -1; });
  // A Detalle write failing at the cost leaves the client's cost quantity; not a number
  // is refused as a negative is.
  refused("EN", 1, "las cantidades deben ser positivas!", no_factor,
          [](auto&, auto& d) { d.Tr_Cantidad_Costo = std::nan(""); });
  refused("EN", 1, "El costo no puede ser negativo: \r\nCosto: NAN", {},
          [](auto&, auto& d) { d.Tr_Costo = std::nan(""); });
  refused("RC", 1, "El tipo de producto: 05, no está programado!", {}, nullptr,
          [&] { suite->script.Queue("Inventory#1.Obtener_Tipo_Producto", {"05"}); });
  ASSERT_TRUE(AddLine(Line())) << Object().Error();  // the refused line took no number
  EXPECT_EQ(Object().Detalle().Tr_ID, "0001");
  // Graba_Movimiento's texts get this operation's source line in front.
  refused("EN", 1, "Existencia insuficiente",
          Refusal("Inventory#3.Agregar_Detalle_Movimiento", "Existencia insuficiente"));
  // An empty message leaves Error as it was: the source line alone.
  refused("EN", 1, "", {{transit, true}, {"Inventory#2.Agregar_Detalle_Movimiento", false}});
  refused("RC", 1, "Graba_Movimiento() - LA CANTIDAD DE COSTO NO PUEDE SER MENOR O IGUAL A 0",
          {{"cat:Producto.Pr_Unidad_Costo", "KG"}});  // costed by weight, none given
  EXPECT_EQ(Count("Inventory#3.Agregar_Detalle_Movimiento"), 0u);
  refused("RC", 1, "Graba_Movimiento() - \r\n\r\nSintaxis", {{"fail:SELECT Tr_Costo ", "Sintaxis"}});
  refused("SL", 2, kInsertSource + "\r\ndoble", {{"fail:INSERT INTO Transferencia", "doble"}});
  refused("SL", 2, "sin existencia", Refusal("Inventory#1.Ajustar_Existencia", "sin existencia"));
  refused("RC", 2, "no procesado",
          {{"Data.Procesar_Documento", false}, {"Data.Obtener_Ultimo_Error", "no procesado"}});
}

TEST_F(AddLineTest, RefusedOpeningStartsAgainAndOptionalChecksFollowTheirSettings) {
  suite->script.Queue("System.Es_Servidor_Sucursal", {true});
  tTrEncabezado h = Header("SL");
  h.Tr_Tabla = "TRANSFERENCIA";  // with an empty Tr_Documento: no look-up
  Object().SetEncabezado(h);
  EXPECT_FALSE(AddLine(Line()));
  Param("GEN_VALIDAR_PERIODO_OPERATIVO", true);
  h.Tr_Documento = "SL-1";
  Object().SetEncabezado(h);
  suite->journal.Clear();
  EXPECT_TRUE(AddLine(Line())) << Object().Error();
  EXPECT_EQ(Object().Detalle().Tr_ID, "0001");
  EXPECT_EQ(Count("System.Es_Servidor_Sucursal"), 1u);  // the opening is run again
  EXPECT_EQ(Log("Data.Validar_Periodo_Operativo"),
            Texts{R"(Data.Validar_Periodo_Operativo(#2024-03-05#, "INVENTARIOS", 0&))"});
  EXPECT_EQ(suite->journal.Containing(R"("Es_Cve_Estado")"),
            Texts{R"(Data.Obtener_Valor_Campo("Transferencia", "Tr_Folio", "SL-1", )"
                  R"("Es_Cve_Estado", 0&, "", "", ""))"});
}

TEST_F(AddLineTest, LineNumbersGrowToFiveDigitsAndOverflowPast32767) {
  // Lines whose row fails are numbered but not stored; they keep this quick.
  bool fail = false;
  suite->script.On("Data.Obtener_Siguiente_Id", [&](const std::vector<Variant>&) {
    if (fail) Raise(3000, "saltada");
    return Variant("0001");
  });
  Transferencia& t = Start("SL");
  t.SetDetalle(Line());
  auto add = [&](int skipped) {
    fail = true;
    for (int i = 0; i < skipped; ++i) t.Add_Transferencia_Detalle();
    fail = false;
    suite->journal.Clear();
    return t.Add_Transferencia_Detalle();
  };
  ASSERT_TRUE(add(9998)) << t.Error();
  EXPECT_EQ(t.Detalle().Tr_ID, "9999");
  ASSERT_TRUE(add(0)) << t.Error();
  EXPECT_EQ(Log("Data.Procesar_Documento"),
            Texts{R"(Data.Procesar_Documento("DETALLE_TRANSFERENCIA", "F-1", "10000"))"});
  ASSERT_TRUE(add(32767 - 10001)) << t.Error();
  EXPECT_EQ(t.Detalle().Tr_ID, "32767");
  EXPECT_FALSE(add(0));
  EXPECT_EQ(t.Error() + "/" + t.Detalle().Tr_ID, kAddSource + "Overflow/32767");
  EXPECT_EQ(Count("Data.Obtener_Siguiente_Id"), 0u);
}

TEST_F(AddLineTest, ReceptionCostIsTheBasePlusTheIndirectCostPerUnit) {
  // A line of 3 units at 4 with an indirect cost of 6, with quotes in every key of the query.
  auto costed = [&](bool in_transit, std::vector<Row> shipment_rows, double cost, double amount) {
    SCOPED_TRACE(testing::Message() << in_transit << shipment_rows.size() << " " << cost);
    Renew();
    InTransit(in_transit);
    Script({{"Inventory#1.Maneja_Talla", true}, {"Inventory#1.Maneja_Color", true}});
    Query("SELECT Tr_Costo ", shipment_rows);
    tTrEncabezado h = Header("RC");
    h.Tr_Referencia = "EN'1";
    Object().SetEncabezado(h);
    tTrDetalle d = Line();
    std::tie(d.Producto.Pr_Cve_Producto, d.Tl_Cve_Talla, d.Cl_Cve_Color) =
        std::tuple("P'1", "M'", "'R");
    std::tie(d.Tr_Cantidad_1, d.Tr_Costo, d.Tr_Indirecto_Importe) = std::tuple(3, 4, 6);
    ASSERT_TRUE(AddLine(d)) << Object().Error();
    EXPECT_EQ(std::tuple(Object().Detalle().Tr_Costo, Object().Detalle().Tr_Importe_Costo,
                         suite->LinesOf("Inventory#2").at(0).Costo,
                         suite->LinesOf("Inventory#3").at(0).Costo),
              std::tuple(cost, amount, cost, 0.0));
    EXPECT_EQ(Count("Inventory#3.Obtener_Costo_Detalle"), in_transit ? 1u : 0u);
    EXPECT_EQ(Run("SELECT"), in_transit ? Texts{} : Texts{R"(SELECT Tr_Costo FROM Transferencia WHERE Tr_Folio = 'EN''1' AND    Pr_Cve_Producto = 'P''1' AND    Tl_Cve_Talla = 'M''' AND    Cl_Cve_Color = '''R')"});
    // The recordset is dropped, never closed.
    const auto& rs = suite->recordsets();
    EXPECT_TRUE(in_transit || (!rs.at(0)->closed && rs.at(0)->released));
  };
  costed(false, {{{"Tr_Costo", 10.0}}, {{"Tr_Costo", 9.0}}}, 12, 36);  // first row: 10 + 6 / 3
  costed(false, {}, 6, 18);     // no shipment row: the line's own 4 + 6 / 3
  costed(true, {}, 9.5, 28.5);  // the transit issue values it: 7.5 + 6 / 3
}

// Inserta_Transferencia registers serial numbers and lots after the row.
class RegistrationTest : public TransferTest {
 protected:
  // Adds a line of a product of the given type in a warehouse that keeps lots
  // and serials; the journal then holds what the line did.
  bool Register(const char* tipo, const char* type, const char* setting, const char* receiving,
                const char* lot = "L'7", double quantity = 2.5, const Answers& extra = {}) {
    Renew();
    Script({{"cat:Producto.Pr_Tipo_Producto", type}, {"Inventory#1.Obtener_Tipo_Producto", type},
            {"Inventory#1.Maneja_Serie", true}, {"Inventory#1.Maneja_Lote", true},
            {"par:MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", setting},
            {"Series.Obtener_Mensaje_Error", "no disponible"},
            {"Lot.Obtener_Mensaje_Error", "no disponible"}});
    Script(extra);
    tTrEncabezado h = Header(tipo);
    h.Sucursal_Recibe.Sc_Cve_Sucursal = receiving;
    Object().SetEncabezado(h);
    tTrDetalle d = Line();
    std::tie(d.Tr_Cantidad_1, d.Tr_Cantidad_Control_2, d.Lote.Lt_Cve_Lote) =
        std::tuple(quantity, 1.5, lot);
    d.Serie = {"SN1", "PS", Date::FromCalendar(2024, 1, 15), {}};
    suite->JournalReleases(true);
    suite->journal.Clear();
    return AddLine(d);
  }
};

const std::string kFiscalSerie =
    R"(Series#1.Registrar_Serie_Deposito_Fiscal("P1", "SN1", "PS", #2024-01-15#, 10#, 0&, True, 0&, "", "", "", 0%, 0%, 0#, 0#))";
const std::string kSerie =  // 2.5 pieces are registered as 2
    R"(Series#1.Registrar_Serie("TRANSFERENCIA", "F-1", "0001", "P1", "00", "00", "SN1", "PS", #2024-01-15#, 2%))";
const std::string kFiscalLote =
    R"(Lot#1.Registrar_Lote_Deposito_Fiscal("P1", "00", "00", "L'7", True, "", 0#, ""))";
const std::string kLote =
    R"(Lot#1.Registrar_Lote("TRANSFERENCIA", "F-1", "0001", "P1", "00", "00", "L'7", 2.5#, 1.5#))";

TEST_F(RegistrationTest, RegistersTheSerialOrTheLotAfterTheRow) {
  auto registers = [&](const char* tipo, const char* type, const char* setting,
                       const char* receiving, Texts expected, const Answers& extra = {}) {
    SCOPED_TRACE(testing::Message() << tipo << type << " '" << setting << "' '" << receiving);
    // A request needs no lot.
    ASSERT_TRUE(Register(tipo, type, setting, receiving, tipo[0] == 'S' ? "" : "L'7", 2.5, extra))
        << Object().Error();
    if (!expected.empty())
      expected.push_back(type[1] == '3' ? "Series#1.Release()" : "Lot#1.Release()");
    EXPECT_EQ(Entries({"Series#", "Lot#"}), expected);
    if (expected.empty()) return;
    // After the row is stored, released before the line is registered.
    EXPECT_LT(At("Connection.Execute(\"INSERT"), At(expected.front()));
    EXPECT_LT(At(expected.back()), At("Data.Procesar_Documento"));
  };
  registers("RC", "03", "s2x", "S2", {kFiscalSerie, kSerie});  // a substring, case ignored
  registers("EN", "03", "07", "12", {kSerie});
  registers("SL", "03", "S2", "S2", {});
  registers("EN", "02", "S2", "S2", {kFiscalLote, kLote});
  registers("EN", "02", "", "S2", {kLote});
  registers("SL", "02", "S2", "S2", {});
  // Warehouses without serials or lots register nothing.
  registers("EN", "02", "S2", "S2", {}, {{"Inventory#1.Maneja_Lote", false}});
  registers("EN", "03", "S2", "S2", {}, {{"Inventory#1.Maneja_Serie", false}});
}

TEST_F(RegistrationTest, RefusedRegistrationKeepsTheRow) {
  auto refused = [&](const char* type, const char* failing, const std::string& message, Texts calls,
                     const char* lot = "L'7", double quantity = 2.5) {
    SCOPED_TRACE(message + " " + failing);
    EXPECT_FALSE(Register("EN", type, "S2", "S2", lot, quantity, {{failing, false}}));
    EXPECT_EQ(Object().Error(), kInsertSource + message);
    if (!calls.empty()) calls.push_back(calls[0].substr(0, calls[0].find('.')) + ".Release");
    EXPECT_EQ(Entries({"Series#", "Lot#"}, true), calls);
    EXPECT_EQ(Run("INSERT").size(), 1u);
    EXPECT_EQ(Count("Data.Procesar_Documento"), 0u);
  };
  refused("03", "Series.Registrar_Serie_Deposito_Fiscal", "no disponible",
          {"Series#1.Registrar_Serie_Deposito_Fiscal", "Series#1.Obtener_Mensaje_Error"});
  refused("03", "Series.Registrar_Serie", "no disponible",
          {"Series#1.Registrar_Serie_Deposito_Fiscal", "Series#1.Registrar_Serie",
           "Series#1.Obtener_Mensaje_Error"});
  refused("02", "Lot.Registrar_Lote_Deposito_Fiscal", "no disponible",
          {"Lot#1.Registrar_Lote_Deposito_Fiscal", "Lot#1.Obtener_Mensaje_Error"});
  refused("02", "Lot.Registrar_Lote", "no disponible",
          {"Lot#1.Registrar_Lote_Deposito_Fiscal", "Lot#1.Registrar_Lote",
           "Lot#1.Obtener_Mensaje_Error"});
  refused("02", "", "Debe especificar los lotes a descargar", {}, "");  // checked after the row
  // 40000 pieces do not fit the serial's quantity.
  refused("03", "", "\r\nOverflow", {"Series#1.Registrar_Serie_Deposito_Fiscal"}, "", 40000);
}

}  // namespace
}  // namespace qbx::test
