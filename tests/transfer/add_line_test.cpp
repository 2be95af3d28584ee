// Add_Transferencia_Detalle: opening the document, checks, posting, numbering,
// storing, stock adjustment and registration.
#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/transfer/capture.h"

namespace qbx::test {
namespace {

using AddLineTest = CaptureTest;

// The INSERT of the fixture's line 0001 of folio F-1, with its values after
// the first three.
std::string FixtureInsert(const std::string& tipo, const std::string& rest) {
  return std::string(kInsertColumns) + "'F-1', '0001', '2024-03-05', '2024-03-06', '" + tipo +
         "', " + rest;
}

TEST_F(AddLineTest, FirstShipmentLineInTransitMakesExactlyTheseCalls) {
  InTransit(true);
  Transferencia& t = Start("EN");
  t.SetDetalle(Line());
  ASSERT_EQ(t.Error(), "");
  suite.journal.Clear();

  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_EQ(t.Error(), "");

  const std::string insert = FixtureInsert(
      "EN",
      "'REF-1', 'Comentario', '', '', 'S2', 'S1', 'A1', 'A2', 'P1', '00', '00', 5, 'PZA', 5, "
      "'PZA', 0, 'KG', 5, 'PZA', 7.5, 37.5, 0, 0, '', '1899-12-30', '', '1899-12-30', 'OPER', "
      "'2024-03-05 10:30:00', 'OPER', '2024-03-05 10:30:00')");
  const std::string line_fields =
      R"(Producto="P1", Talla="00", Color="00", Cantidad_1=5#, Unidad_1="PZA", Cantidad_2=0#, )"
      R"(Unidad_2="KG", )";
  const std::string line_tail =
      R"(Costo_2=0#, Serie="", Pedimento="", Fecha_Pedimento=#1899-12-30#, Lote=""})";
  const std::string header_fields =
      R"({Folio="", Fecha=#2024-03-05#, Tabla="Transferencia", Documento="F-1", )"
      R"(Referencia="REF-1", Comentario="Comentario", )";
  const std::vector<std::string> expected = {
      R"(System.Es_Servidor_Sucursal())",
      R"(System.Obtener_Parametro("GEN_VALIDAR_PERIODO_OPERATIVO", 0&, "", ""))",
      R"(Data.Obtener_Valor_Campo("Almacen", "Al_Cve_Almacen", "A1", "Al_Descripcion", 0&, "Sc_Cve_Sucursal", "S1", "BA"))",
      R"(Data.Obtener_Folio("S1", "Transferencia", 10&, True))",
      R"(Data.Obtener_Fecha_Servidor())",
      R"(Data.Formatear_Fecha_Hora(#2024-03-05 10:30:00#))",
      R"(Inventory#2.Nuevo_Movimiento())",
      R"(Inventory#3.Nuevo_Movimiento())",
      R"(System.Obtener_Parametro("MOV_ENTRADA_TRANSITO", 0&, "", ""))",
      R"(System.Obtener_Parametro("MOV_SALIDA_TRANSFERENCIA", 0&, "", ""))",
      "Inventory#3.Asignar_Encabezado_Movimiento(" + header_fields +
          R"(Sucursal="S1", Almacen="A1", Tipo_Movimiento="STR"}))",
      R"(System.Obtener_Parametro("MOV_ALMACEN_TRANSITO_TRANSFERENCIA", 0&, "", ""))",
      "Inventory#2.Asignar_Encabezado_Movimiento(" + header_fields +
          R"(Sucursal="S2", Almacen="AT", Tipo_Movimiento="ETT"}))",
      R"(Data.Obtener_Valor_Campo("Unidad", "Un_Cve_Unidad", "PZA", "Un_Descripcion", 0&, "", "", "BA"))",
      R"(Inventory#1.Obtener_Tipo_Producto("P1"))",
      "Inventory#3.Asignar_Detalle_Movimiento({" + line_fields + "Costo=0#, " + line_tail + ")",
      R"(Inventory#3.Agregar_Detalle_Movimiento())",
      R"(Inventory#3.Obtener_Costo_Detalle())",
      "Inventory#2.Asignar_Detalle_Movimiento({" + line_fields + "Costo=7.5#, " + line_tail + ")",
      R"(Inventory#2.Agregar_Detalle_Movimiento())",
      R"(Data.Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F-1", "", ""))",
      R"(Data.Formatear_Fecha(#2024-03-05#))",
      R"(Data.Formatear_Fecha(#2024-03-06#))",
      R"(Data.Formatear_Fecha(#1899-12-30#))",
      R"(Data.Formatear_Fecha(#1899-12-30#))",
      R"(System.Obtener_Usuario())",
      R"(System.Obtener_Usuario())",
      R"(System.Obtener_Conexion())",
      "Connection.Execute(\"" + insert + "\", Missing, -1&)",
      R"(Inventory#1.Ajustar_Existencia("S1", "A1", "P1", "00", "00", 5#, 0#))",
      R"(Data.Procesar_Documento("DETALLE_TRANSFERENCIA", "F-1", "0001"))",
  };
  EXPECT_EQ(suite.journal.entries(), expected) << suite.journal.Dump();
  EXPECT_EQ(t.Encabezado().Tr_Folio, "F-1");
  EXPECT_EQ(t.Detalle().Tr_ID, "0001");
}

TEST_F(AddLineTest, LaterLineSkipsTheOpeningSteps) {
  InTransit(false);
  Transferencia& t = Start("EN");
  ASSERT_TRUE(AddLine(Line())) << t.Error();
  tTrDetalle second = Line();
  second.Producto.Pr_Cve_Producto = "P2";
  suite.journal.Clear();
  suite.script.Answer("Data.Obtener_Siguiente_Id", "0002");
  ASSERT_TRUE(AddLine(second)) << t.Error();

  const std::vector<std::string> calls = suite.journal.Calls();
  for (const char* opening :
       {"System.Es_Servidor_Sucursal", "Data.Obtener_Folio", "Data.Formatear_Fecha_Hora",
        "Inventory#2.Nuevo_Movimiento", "Inventory#3.Asignar_Encabezado_Movimiento",
        "System.Obtener_Parametro"})
    EXPECT_EQ(std::count(calls.begin(), calls.end(), opening), 0) << opening;
  EXPECT_TRUE(suite.journal.Containing(R"("Almacen")").empty());
  EXPECT_EQ(t.Detalle().Tr_ID, "0002");
  EXPECT_EQ(suite.journal.Starting("Data.Procesar_Documento"),
            std::vector<std::string>{
                R"(Data.Procesar_Documento("DETALLE_TRANSFERENCIA", "F-1", "0002"))"});
  // The timestamp of the first line is kept for the whole document.
  ASSERT_EQ(Inserts().size(), 2u);
  EXPECT_EQ(Inserts()[1],
            std::string(kInsertColumns) +
                "'F-1', '0002', '2024-03-05', '2024-03-06', 'EN', 'REF-1', 'Comentario', '', '', "
                "'S2', 'S1', 'A1', 'A2', 'P2', '00', '00', 5, 'PZA', 5, 'PZA', 0, 'KG', 5, 'PZA', "
                "7.5, 37.5, 0, 0, '', '1899-12-30', '', '1899-12-30', 'OPER', "
                "'2024-03-05 10:30:00', 'OPER', '2024-03-05 10:30:00')");
}

// What each transfer type and in-transit setting does on the first line.
struct Road {
  const char* tipo;
  bool in_transit;
  std::vector<std::string> parameters;  // kinds and transit warehouse, in reading order
  MovementHeader issue, receipt;        // Sucursal, Almacen, Tipo_Movimiento of each side
  std::vector<std::string> movement;    // movement-object calls after the headers
  std::string adjustment;
};

MovementHeader Side(const char* branch, const char* warehouse, const char* kind) {
  MovementHeader h;
  h.Tabla = "Transferencia";
  h.Documento = "F-1";
  h.Sucursal = branch;
  h.Almacen = warehouse;
  h.Tipo_Movimiento = kind;
  return h;
}

const std::vector<std::string> kShipmentParameters = {
    "MOV_ENTRADA_TRANSITO", "MOV_SALIDA_TRANSFERENCIA", "MOV_ALMACEN_TRANSITO_TRANSFERENCIA"};
// Both kinds first; the transit warehouse when the side that needs it is filled.
const std::vector<std::string> kOtherParameters = {
    "MOV_SALIDA_TRANSITO", "MOV_ENTRADA_TRANSFERENCIA", "MOV_ALMACEN_TRANSITO_TRANSFERENCIA"};
const char* kShipmentAdjustment =
    R"(Inventory#1.Ajustar_Existencia("S1", "A1", "P1", "00", "00", 5#, 0#))";
const char* kRequestAdjustment =
    R"(Inventory#1.Ajustar_Existencia("S2", "A2", "P1", "00", "00", -5#, 0#))";

const Road kRoads[] = {
    {"EN",
     false,
     kShipmentParameters,
     Side("S1", "A1", "STR"),
     Side("S2", "AT", "ETT"),
     {"Inventory#3.Asignar_Detalle_Movimiento", "Inventory#3.Agregar_Detalle_Movimiento",
      "Inventory#3.Obtener_Costo_Detalle", "Inventory#2.Asignar_Detalle_Movimiento"},
     kShipmentAdjustment},
    {"EN",
     true,
     kShipmentParameters,
     Side("S1", "A1", "STR"),
     Side("S2", "AT", "ETT"),
     {"Inventory#3.Asignar_Detalle_Movimiento", "Inventory#3.Agregar_Detalle_Movimiento",
      "Inventory#3.Obtener_Costo_Detalle", "Inventory#2.Asignar_Detalle_Movimiento",
      "Inventory#2.Agregar_Detalle_Movimiento"},
     kShipmentAdjustment},
    {"RC",
     false,
     kOtherParameters,
     Side("S1", "AT", "STT"),
     Side("S1", "A1", "ETR"),
     {"Inventory#3.Asignar_Detalle_Movimiento", "Inventory#2.Asignar_Detalle_Movimiento",
      "Inventory#2.Agregar_Detalle_Movimiento"},
     ""},
    {"RC",
     true,
     kOtherParameters,
     Side("S1", "AT", "STT"),
     Side("S1", "A1", "ETR"),
     {"Inventory#3.Asignar_Detalle_Movimiento", "Inventory#3.Agregar_Detalle_Movimiento",
      "Inventory#3.Obtener_Costo_Detalle", "Inventory#2.Asignar_Detalle_Movimiento",
      "Inventory#2.Agregar_Detalle_Movimiento"},
     ""},
    // A request opens both movement documents but never posts.
    {"SL",
     false,
     kOtherParameters,
     Side("S1", "AT", "STT"),
     Side("S1", "A1", "ETR"),
     {},
     kRequestAdjustment},
    {"SL",
     true,
     kOtherParameters,
     Side("S1", "AT", "STT"),
     Side("S1", "A1", "ETR"),
     {},
     kRequestAdjustment},
};

void PrintTo(const Road& r, std::ostream* os) {
  *os << r.tipo << (r.in_transit ? " in transit" : "");
}

class AddLineRoadTest : public CaptureTest, public ::testing::WithParamInterface<Road> {};

TEST_P(AddLineRoadTest, OpensPostsAndAdjustsByTypeAndTransitSetting) {
  const Road& r = GetParam();
  InTransit(r.in_transit);
  Transferencia& t = Start(r.tipo);
  suite.journal.Clear();
  ASSERT_TRUE(AddLine(Line())) << t.Error();

  std::vector<std::string> parameters;
  for (const auto& e : suite.journal.Starting("System.Obtener_Parametro(\"MOV_"))
    parameters.push_back(e.substr(e.find('"') + 1, e.find("\", ") - e.find('"') - 1));
  EXPECT_EQ(parameters, r.parameters);

  MovementHeader issue = r.issue, receipt = r.receipt;
  const std::string reference = std::string(r.tipo) == "SL" ? "" : "REF-1";
  issue.Referencia = receipt.Referencia = reference;
  issue.Comentario = receipt.Comentario = "Comentario";
  issue.Fecha = receipt.Fecha = Date::FromCalendar(2024, 3, 5);
  EXPECT_EQ(suite.HeadersOf("Inventory#3"), std::vector<MovementHeader>{issue});
  EXPECT_EQ(suite.HeadersOf("Inventory#2"), std::vector<MovementHeader>{receipt});
  // Both are started, receipt first; the issue side gets its header first.
  const std::vector<std::string> calls = suite.journal.Calls();
  std::vector<std::string> opening, movement;
  for (const auto& c : calls) {
    if (c.find("Nuevo_Movimiento") != std::string::npos ||
        c.find("Encabezado_Movimiento") != std::string::npos)
      opening.push_back(c);
    else if (c.rfind("Inventory#2", 0) == 0 || c.rfind("Inventory#3", 0) == 0)
      movement.push_back(c);
  }
  EXPECT_EQ(opening, (std::vector<std::string>{"Inventory#2.Nuevo_Movimiento",
                                               "Inventory#3.Nuevo_Movimiento",
                                               "Inventory#3.Asignar_Encabezado_Movimiento",
                                               "Inventory#2.Asignar_Encabezado_Movimiento"}));
  EXPECT_EQ(movement, r.movement);
  EXPECT_EQ(suite.journal.Starting("Inventory#1.Obtener_Tipo_Producto").size(),
            std::string(r.tipo) == "SL" ? 0u : 1u);
  std::vector<std::string> adjustments = suite.journal.Starting("Inventory#1.Ajustar_Existencia");
  EXPECT_EQ(adjustments, r.adjustment.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{r.adjustment});
  EXPECT_EQ(Inserts().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(TypesAndTransit, AddLineRoadTest, ::testing::ValuesIn(kRoads),
                         [](const auto& info) {
                           return std::string(info.param.tipo) +
                                  (info.param.in_transit ? "InTransit" : "Direct");
                         });

// ---------------------------------------------------------------------------
// Refusals
// ---------------------------------------------------------------------------

// What a refusal case may change before the line is added.
struct Arrange {
  FakeSuite& suite;
  std::map<std::string, std::string>& catalogue;
  tTrEncabezado& h;
  tTrDetalle& d;
};

struct Refusal {
  const char* name;
  const char* tipo;
  std::function<void(Arrange&)> arrange;
  std::string message;
  bool folio_kept;  // the folio was assigned before the refusal
};

const Refusal kRefusals[] = {
    {"CentralServerOnly", "EN",
     [](Arrange& a) { a.suite.script.Answer("System.Es_Servidor_Sucursal", true); },
     "Esta operación solo puede realizarse en el servidor central", false},
    {"ClosedPeriod", "EN",
     [](Arrange& a) {
       a.suite.Parameter("GEN_VALIDAR_PERIODO_OPERATIVO", true);
       a.suite.script.Answer("Data.Validar_Periodo_Operativo", false);
     },
     "El período operativo correspondiente a la fecha: 05-03-2024, está cerrado o no existe!",
     false},
    {"OwnWarehouse", "EN", [](Arrange& a) { a.catalogue["Almacen.Al_Descripcion=A1"] = ""; },
     "el almacén: A1, de la sucursal: S1, no existe o esta dado de baja", false},
    {"CedisWarehouse", "SL", [](Arrange& a) { a.catalogue["Almacen.Al_Descripcion=A2"] = ""; },
     "el almacén: A2, del CEDIS: S2, no existe o esta dado de baja", false},
    {"CancelledSource", "EN",
     [](Arrange& a) {
       a.h.Tr_Tabla = "transferencia";  // compared upper-cased
       a.h.Tr_Documento = "SL-9";
       a.catalogue["Transferencia.Es_Cve_Estado=SL-9"] = "CA";
     },
     "la transferencia: SL-9 se encuentra cancelado, no es posible continuar", false},
    {"NoFolio", "EN", [](Arrange& a) { a.suite.script.Answer("Data.Obtener_Folio", ""); },
     "Error al intentar obtener el folio de la transferencia!", false},
    {"SizeAndColour", "EN",
     [](Arrange& a) {
       a.suite.script.Answer("Inventory#1.Maneja_Talla", true);
       a.suite.script.Answer("Inventory#1.Maneja_Color", true);
       a.suite.script.Answer("Data.Existe_Producto_Talla_Color", false);
       a.d.Tl_Cve_Talla = "M";
       a.d.Cl_Cve_Color = "ROJO";
     },
     "No se encuentra la relación producto/talla/color: P1/M/ROJO", true},
    {"SizeOnly", "EN",
     [](Arrange& a) {
       a.suite.script.Answer("Inventory#1.Maneja_Talla", true);
       a.suite.script.Answer("Data.Existe_Producto_Talla", false);
       a.d.Tl_Cve_Talla = "M";
     },
     "No se encuentra la relación producto/talla: P1/M", true},
    {"ColourOnly", "EN",
     [](Arrange& a) {
       a.suite.script.Answer("Inventory#1.Maneja_Color", true);
       a.suite.script.Answer("Data.Existe_Producto_Color", false);
       a.d.Cl_Cve_Color = "ROJO";
     },
     "No se encuentra la relación producto/color: P1/ROJO", true},
    {"Unit", "EN", [](Arrange& a) { a.catalogue["Unidad.Un_Descripcion"] = ""; },
     "La unidad: PZA, no existe o está dada de baja", true},
    {"ZeroQuantities", "EN", [](Arrange& a) { a.d.Tr_Cantidad_1 = 0; },
     "la cantidad no puede ser cero: \r\nCantidad-1: 0\r\nCantidad-Control-1: 0\r\n"
     "Cantidad-Control-2: 0\r\nCANTIDAD-COSTO: 0",
     true},
    {"NegativeCostQuantity", "EN",
     [](Arrange& a) {
       a.catalogue["Producto.Pr_Unidad_Costo"] = "KG";
       a.d.Tr_Cantidad_Control_2 = -1;
     },
     "las cantidades deben ser positivas!", true},
    {"NegativeCost", "EN", [](Arrange& a) { a.d.Tr_Costo = -0.5; },
     "El costo no puede ser negativo: \r\nCosto: -0.5", true},
    {"UnknownProductType", "RC",
     [](Arrange& a) { a.suite.script.Answer("Inventory#1.Obtener_Tipo_Producto", "05"); },
     "El tipo de producto: 05, no está programado!", true},
    {"StockAdjustment", "SL",
     [](Arrange& a) {
       a.suite.script.Answer("Inventory#1.Ajustar_Existencia", false);
       a.suite.script.Answer("Inventory#1.Obtener_Mensaje_Error", "sin existencia");
     },
     "sin existencia", true},
    {"Registration", "RC",
     [](Arrange& a) {
       a.suite.script.Answer("Data.Procesar_Documento", false);
       a.suite.script.Answer("Data.Obtener_Ultimo_Error", "no procesado");
     },
     "no procesado", true},
    {"ServiceFailure", "EN",
     [](Arrange& a) {
       a.suite.script.Fail("Data.Existe_Producto_Talla", RuntimeError(3000, "sin conexión"));
       a.suite.script.Answer("Inventory#1.Maneja_Talla", true);
     },
     "sin conexión", true},
    {"NullFolio", "EN", [](Arrange& a) { a.suite.script.Answer("Data.Obtener_Folio", Null{}); },
     "Invalid use of Null", false},
};

void PrintTo(const Refusal& r, std::ostream* os) {
  *os << r.name;
}

class AddLineRefusalTest : public CaptureTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(AddLineRefusalTest, RefusesWithItsExactText) {
  const Refusal& r = GetParam();
  InTransit(false);
  tTrEncabezado h = Header(r.tipo);
  tTrDetalle d = Line();
  Arrange a{suite, catalogue, h, d};
  r.arrange(a);
  Transferencia& t = Object();
  t.SetEncabezado(h);
  EXPECT_FALSE(AddLine(d));
  EXPECT_EQ(t.Error(), kAddSource + r.message);
  EXPECT_EQ(t.Encabezado().Tr_Folio, r.folio_kept ? "F-1" : "");
}

INSTANTIATE_TEST_SUITE_P(Checks, AddLineRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AddLineTest, RefusedOpeningStartsAgainOnTheNextCall) {
  suite.script.Queue("System.Es_Servidor_Sucursal", {true});
  Transferencia& t = Start("EN");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Encabezado().Tr_Folio, "");
  EXPECT_TRUE(suite.journal.Starting("Data.Obtener_Folio").empty());
  EXPECT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_EQ(suite.journal.Starting("System.Es_Servidor_Sucursal").size(), 2u);
  EXPECT_EQ(t.Detalle().Tr_ID, "0001");
}

TEST_F(AddLineTest, PeriodIsCheckedOnlyWhenTheParameterIsTrue) {
  for (Variant setting : {Variant(Null{}), Variant(false), Variant("0")}) {
    suite.Parameter("GEN_VALIDAR_PERIODO_OPERATIVO", setting);
    Transferencia& t = Start("SL");
    EXPECT_TRUE(AddLine(Line())) << setting.Describe() << ": " << t.Error();
    t.Nuevo();
  }
  EXPECT_TRUE(suite.journal.Starting("Data.Validar_Periodo_Operativo").empty());
  suite.Parameter("GEN_VALIDAR_PERIODO_OPERATIVO", true);
  Start("SL");
  EXPECT_TRUE(AddLine(Line()));
  EXPECT_EQ(suite.journal.Starting("Data.Validar_Periodo_Operativo"),
            std::vector<std::string>{
                R"(Data.Validar_Periodo_Operativo(#2024-03-05#, "INVENTARIOS", 0&))"});
}

TEST_F(AddLineTest, SourceTransferIsLookedUpOnlyForATransferDocument) {
  tTrEncabezado h = Header("EN");
  h.Tr_Tabla = "TRANSFERENCIA";
  Transferencia& t = Object();
  t.SetEncabezado(h);  // empty Tr_Documento: no lookup
  EXPECT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_TRUE(suite.journal.Containing(R"("Es_Cve_Estado")").empty());

  t.Nuevo();
  h.Tr_Documento = "SL-1";
  t.SetEncabezado(h);
  EXPECT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_EQ(
      suite.journal.Containing(R"("Es_Cve_Estado")"),
      std::vector<std::string>{
          R"(Data.Obtener_Valor_Campo("Transferencia", "Tr_Folio", "SL-1", "Es_Cve_Estado", 0&, "", "", ""))"});
}

TEST_F(AddLineTest, NumbersInMessagesUseThePlainDecimalText) {
  struct Case {
    double cantidad_1, costo;
    std::string message;
  };
  const Case cases[] = {
      {12.5, -0.25, "El costo no puede ser negativo: \r\nCosto: -0.25"},
      {1, -1E-05, "El costo no puede ser negativo: \r\nCosto: -1E-05"},
  };
  for (const Case& c : cases) {
    Transferencia& t = Start("EN");
    tTrDetalle d = Line();
    d.Tr_Cantidad_1 = c.cantidad_1;
    d.Tr_Costo = c.costo;
    EXPECT_FALSE(AddLine(d));
    EXPECT_EQ(t.Error(), kAddSource + c.message);
  }
  // The zero text shows every quantity, 12.5 among them.
  catalogue["Producto.Pr_Unidad_Control_1"] = "KG";
  suite.script.Answer("Data.Obtener_Factor_Conversion", 0.0);
  catalogue["Producto.Pr_Unidad_Costo"] = "CJ";
  Transferencia& t = Object();
  tTrDetalle d = Line();
  d.Tr_Cantidad_1 = 12.5;
  t.SetDetalle(d);
  EXPECT_FALSE(t.Add_Transferencia_Detalle());
  EXPECT_EQ(t.Error(), kAddSource +
                           "la cantidad no puede ser cero: \r\nCantidad-1: 12.5\r\n"
                           "Cantidad-Control-1: 0\r\nCantidad-Control-2: 0\r\nCANTIDAD-COSTO: 0");
}

TEST_F(AddLineTest, NegativeCostQuantityAloneIsRefused) {
  // A Detalle write that failed half-way leaves the client's cost quantity.
  suite.script.Answer("Data.Obtener_Factor_Conversion", 0.0);
  Transferencia& t = Start("EN");
  t.SetMostrarMensajeError(false);
  tTrDetalle d = Line();
  d.Tr_Cantidad_Costo = -1;
  t.SetDetalle(d);
  ASSERT_EQ(t.Error(), "Property Let Detalle() - \r\nDivision by zero");
  ASSERT_EQ(t.Detalle().Tr_Cantidad_Control_1, 5);
  EXPECT_FALSE(t.Add_Transferencia_Detalle());
  EXPECT_EQ(t.Error(), kAddSource + "las cantidades deben ser positivas!");
}

TEST_F(AddLineTest, PendingInventoryStoresAndAdjustsWithoutPosting) {
  Transferencia& t = Start("EN");
  t.SetInventario_Pendiente(true);
  ASSERT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_TRUE(suite.journal.Starting("Inventory#1.Obtener_Tipo_Producto").empty());
  EXPECT_TRUE(suite.journal.Containing("Detalle_Movimiento").empty());
  EXPECT_EQ(Inserts().size(), 1u);
  EXPECT_EQ(suite.journal.Starting("Inventory#1.Ajustar_Existencia").size(), 1u);
}

TEST_F(AddLineTest, NoStockProductIsStoredWithoutMovement) {
  suite.script.Answer("Inventory#1.Obtener_Tipo_Producto", "99");
  Transferencia& t = Start("RC");
  ASSERT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_TRUE(suite.journal.Containing("Detalle_Movimiento").empty());
  EXPECT_EQ(Inserts().size(), 1u);
}

TEST_F(AddLineTest, RefusedProductTypeDoesNotConsumeANumber) {
  suite.script.Queue("Inventory#1.Obtener_Tipo_Producto", {"05"});
  Transferencia& t = Start("RC");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_TRUE(Inserts().empty());
  ASSERT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_EQ(t.Detalle().Tr_ID, "0001");
}

TEST_F(AddLineTest, MovementFailureGetsThisOperationsSourceLineInFront) {
  suite.script.Answer("Inventory#3.Agregar_Detalle_Movimiento", false);
  suite.script.Answer("Inventory#3.Obtener_Mensaje_Error", "Existencia insuficiente");
  Transferencia& t = Start("EN");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Error(), kAddSource + "Existencia insuficiente");
  EXPECT_TRUE(Inserts().empty());
}

TEST_F(AddLineTest, InsertFailureIsPassedOnUnchangedAndConsumesTheNumber) {
  suite.FailQuery("INSERT INTO Transferencia", RuntimeError(-1, "clave duplicada"));
  Transferencia& t = Start("SL");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Error(), kInsertSource + "\r\nclave duplicada");
  EXPECT_TRUE(suite.journal.Starting("Inventory#1.Ajustar_Existencia").empty());
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Detalle().Tr_ID, "0002");
}

// Lines that fail in the insert still take their numbers; they keep this
// test quick on the way to the counter's limits.
class AddLineCounterTest : public CaptureTest {
 protected:
  void SetUp() override {
    suite.script.On("Data.Obtener_Siguiente_Id", [this](const std::vector<Variant>&) {
      if (fail_inserts_) Raise(3000, "saltada");
      return Variant("0001");
    });
    Start("SL");
  }
  // Adds n lines that are numbered but not stored.
  void Skip(int n) {
    fail_inserts_ = true;
    Transferencia& t = Object();
    for (int i = 0; i < n; ++i) t.Add_Transferencia_Detalle();
    fail_inserts_ = false;
    suite.journal.Clear();
  }
  bool fail_inserts_ = false;
};

TEST_F(AddLineCounterTest, MaskGrowsToFiveDigitsPastLine9999) {
  Transferencia& t = Object();
  t.SetDetalle(Line());
  Skip(9998);
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_EQ(t.Detalle().Tr_ID, "9999");
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_EQ(t.Detalle().Tr_ID, "10000");
  EXPECT_EQ(suite.journal.Starting("Data.Procesar_Documento").back(),
            R"(Data.Procesar_Documento("DETALLE_TRANSFERENCIA", "F-1", "10000"))");
}

TEST_F(AddLineCounterTest, CounterOverflowIsTrapped) {
  Transferencia& t = Object();
  t.SetDetalle(Line());
  Skip(32766);
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_EQ(t.Detalle().Tr_ID, "32767");
  suite.journal.Clear();
  EXPECT_FALSE(t.Add_Transferencia_Detalle());
  EXPECT_EQ(t.Error(), kAddSource + "Overflow");
  EXPECT_TRUE(suite.journal.Starting("Data.Obtener_Siguiente_Id").empty());
  EXPECT_EQ(t.Detalle().Tr_ID, "32767");
}

}  // namespace
}  // namespace qbx::test
