// The write of Detalle: refusals, catalogue units, conversions, blanking.
#include <string>
#include <vector>

#include "tests/transfer/capture.h"

namespace qbx::test {
namespace {

using DetalleTest = CaptureTest;

const std::string kStoredPrefix = "Property Let Detalle() - \r\n";

std::string Shown(const std::string& message, const std::string& key) {
  return R"(System.Mostrar_Mensaje(")" + message +
         R"x(", 16&, "Property Let Detalle()", Missing, "Quelbarix", ")x" + key + R"x("))x";
}

struct Refusal {
  const char* name;
  double control_1;
  const char* cost_unit;
  const char* key;
  const char* message;
};

const Refusal kRefusals[] = {
    {"ControlQuantity", 2, "", "ERR-ID:7500001",
     "El parámetro Tr_Cantidad_Control_1, es de solo lectura!"},
    {"CostUnit", 0, "CJ", "ERR-ID:7500002", "El parámetro Tr_Unidad_Costo, es de solo lectura!"},
    // Both set: only the first refusal is reported.
    {"Both", -1, "CJ", "ERR-ID:7500001", "El parámetro Tr_Cantidad_Control_1, es de solo lectura!"},
};

class DetalleRefusalTest : public CaptureTest,
                           public ::testing::WithParamInterface<std::tuple<Refusal, bool>> {};

TEST_P(DetalleRefusalTest, RefusesComputedFieldsKeepingThePreviousLine) {
  const auto& [r, show] = GetParam();
  Transferencia& t = Start("EN");
  t.SetMostrarMensajeError(show);
  tTrDetalle previous = Line();
  previous.Producto.Pr_Cve_Producto = "ANTES";
  t.SetDetalle(previous);
  const tTrDetalle kept = t.Detalle();

  tTrDetalle line = Line();
  line.Tr_Cantidad_Control_1 = r.control_1;
  line.Tr_Unidad_Costo = r.cost_unit;
  suite.journal.Clear();
  t.SetDetalle(line);

  EXPECT_EQ(t.Detalle(), kept);
  if (show) {
    EXPECT_EQ(t.Error(), "");
    EXPECT_EQ(suite.journal.entries(), std::vector<std::string>{Shown(r.message, r.key)});
  } else {
    EXPECT_EQ(t.Error(), kStoredPrefix + r.message);
    EXPECT_TRUE(suite.journal.entries().empty()) << suite.journal.Dump();
  }
}

INSTANTIATE_TEST_SUITE_P(Refusals, DetalleRefusalTest,
                         ::testing::Combine(::testing::ValuesIn(kRefusals), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Shown" : "Stored");
                         });

TEST_F(DetalleTest, ClearsErrorOnAnAcceptedWrite) {
  Transferencia& t = Start("EN");
  t.SetMostrarMensajeError(false);
  tTrDetalle bad = Line();
  bad.Tr_Cantidad_Control_1 = 1;
  t.SetDetalle(bad);
  ASSERT_NE(t.Error(), "");
  t.SetDetalle(Line());
  EXPECT_EQ(t.Error(), "");
}

TEST_F(DetalleTest, FillsTypesAndUnitsFromTheCatalogueInOrder) {
  Transferencia& t = Start("EN");
  tTrDetalle line = Line();
  line.Producto.Pr_Unidad_Control_1 = "CLIENTE-1";
  line.Producto.Pr_Unidad_Costo = "CLIENTE-C";
  suite.journal.Clear();
  t.SetDetalle(line);

  auto lookup = [](const char* column) {
    return std::string(R"(Data.Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "P1", ")") +
           column + R"(", 0&, "", "", ""))";
  };
  EXPECT_EQ(suite.journal.entries(),
            (std::vector<std::string>{
                lookup("Pr_Tipo_Producto"), lookup("Pr_Tipo_Costeo"), lookup("Pr_Unidad_Control_1"),
                lookup("Pr_Unidad_Control_2"), lookup("Pr_Unidad_Costo"),
                // Entry unit PZA is control unit 1: only the cost conversion is asked.
                R"(Data.Obtener_Factor_Conversion("P1", "PZA", "PZA"))"}));
  const tTrDetalle d = t.Detalle();
  EXPECT_EQ(d.Producto.Pr_Tipo_Producto, "01");
  EXPECT_EQ(d.Producto.Pr_Tipo_Costeo, "P");
  EXPECT_EQ(d.Tr_Unidad_Control_1, "PZA");
  EXPECT_EQ(d.Tr_Unidad_Control_2, "KG");
  EXPECT_EQ(d.Tr_Unidad_Costo, "PZA");
  EXPECT_EQ(d.Producto.Pr_Unidad_Control_1, "CLIENTE-1");
  EXPECT_EQ(d.Producto.Pr_Unidad_Costo, "CLIENTE-C");
  EXPECT_EQ(d.Tr_Cantidad_Control_1, 5);
  EXPECT_EQ(d.Tr_Cantidad_Costo, 5);
  EXPECT_EQ(d.Tr_Costo, 10);
  EXPECT_EQ(d.Tr_Importe_Costo, 50);
}

TEST_F(DetalleTest, UnknownProductLeavesTypesAndUnitsEmpty) {
  catalogue.clear();
  Transferencia& t = Start("EN");
  tTrDetalle line = Line();
  line.Producto.Pr_Tipo_Producto = "01";
  t.SetDetalle(line);
  const tTrDetalle d = t.Detalle();
  EXPECT_EQ(d.Producto.Pr_Tipo_Producto, "");
  EXPECT_EQ(d.Producto.Pr_Tipo_Costeo, "");
  EXPECT_EQ(d.Tr_Unidad_Control_1, "");
  EXPECT_EQ(d.Tr_Unidad_Control_2, "");
  EXPECT_EQ(d.Tr_Unidad_Costo, "");
}

struct Conversion {
  const char* name;
  const char* entry_unit;
  const char* cost_unit;  // catalogue's Pr_Unidad_Costo
  double control_2;       // the client's Tr_Cantidad_Control_2
  std::vector<std::string> factor_calls;
  double control_1, cost_quantity, cost, amount;
};

class DetalleConversionTest : public CaptureTest,
                              public ::testing::WithParamInterface<Conversion> {};

TEST_P(DetalleConversionTest, ConvertsQuantitiesAndCost) {
  const Conversion& c = GetParam();
  catalogue["Producto.Pr_Unidad_Costo"] = c.cost_unit;
  // One CJ holds 12 PZA; one CJ weighs 4 KG.
  suite.script.On("Data.Obtener_Factor_Conversion", [](const std::vector<Variant>& a) {
    const std::string from = a[1].ToString(), to = a[2].ToString();
    if (from == "CJ" && to == "PZA") return Variant(12.0);
    if (from == "CJ" && to == "KG") return Variant(4.0);
    return Variant(1.0);
  });
  Transferencia& t = Start("EN");
  tTrDetalle line = Line();
  line.Tr_Cantidad_1 = 2;
  line.Tr_Unidad_1 = c.entry_unit;
  line.Tr_Cantidad_Control_2 = c.control_2;
  line.Tr_Costo = 120;
  suite.journal.Clear();
  t.SetDetalle(line);
  ASSERT_EQ(t.Error(), "");

  std::vector<std::string> factors;
  for (const auto& e : suite.journal.Starting("Data.Obtener_Factor_Conversion"))
    factors.push_back(e);
  EXPECT_EQ(factors, c.factor_calls);
  const tTrDetalle d = t.Detalle();
  EXPECT_EQ(d.Tr_Cantidad_Control_1, c.control_1);
  EXPECT_EQ(d.Tr_Cantidad_Costo, c.cost_quantity);
  EXPECT_EQ(d.Tr_Costo, c.cost);
  EXPECT_EQ(d.Tr_Importe_Costo, c.amount);
}

INSTANTIATE_TEST_SUITE_P(
    Units, DetalleConversionTest,
    ::testing::Values(
        // Entry in control unit 1, cost per control unit 1.
        Conversion{"SameUnits",
                   "PZA",
                   "PZA",
                   0,
                   {R"(Data.Obtener_Factor_Conversion("P1", "PZA", "PZA"))"},
                   2,
                   2,
                   120,
                   240},
        // Entry in boxes: 24 pieces; the box cost is divided into a piece cost.
        Conversion{"Boxes",
                   "CJ",
                   "PZA",
                   0,
                   {R"(Data.Obtener_Factor_Conversion("P1", "CJ", "PZA"))",
                    R"(Data.Obtener_Factor_Conversion("P1", "CJ", "PZA"))"},
                   24,
                   24,
                   10,
                   240},
        // Costed by weight: the client's control quantity 2, cost as passed.
        Conversion{"CostByWeight",
                   "CJ",
                   "KG",
                   8,
                   {R"(Data.Obtener_Factor_Conversion("P1", "CJ", "PZA"))"},
                   24,
                   8,
                   120,
                   960}),
    [](const auto& info) { return std::string(info.param.name); });

struct TrapCase {
  const char* name;
  double cost;
  const char* description;
};

class DetalleTrapTest : public CaptureTest,
                        public ::testing::WithParamInterface<std::tuple<TrapCase, bool>> {};

TEST_P(DetalleTrapTest, FactorZeroIsReportedWithTheTrapKey) {
  const auto& [c, show] = GetParam();
  suite.script.On("Data.Obtener_Factor_Conversion", [](const std::vector<Variant>& a) {
    return Variant(a[2].ToString() == "PZA" ? 0.0 : 1.0);
  });
  Transferencia& t = Start("EN");
  t.SetMostrarMensajeError(show);
  tTrDetalle line = Line();
  line.Tr_Unidad_1 = "CJ";
  line.Tr_Costo = c.cost;
  suite.journal.Clear();
  t.SetDetalle(line);

  if (show) {
    EXPECT_EQ(t.Error(), "");
    EXPECT_EQ(suite.journal.Starting("System.Mostrar_Mensaje"),
              std::vector<std::string>{Shown(c.description, "ERR-ID:7500003")});
  } else {
    EXPECT_EQ(t.Error(), kStoredPrefix + c.description);
    EXPECT_TRUE(suite.journal.Starting("System.Mostrar_Mensaje").empty());
  }
  // Steps before the failing division stay applied.
  const tTrDetalle d = t.Detalle();
  EXPECT_EQ(d.Tr_Unidad_Control_1, "PZA");
  EXPECT_EQ(d.Tr_Unidad_Costo, "PZA");
  EXPECT_EQ(d.Tr_Cantidad_Control_1, 0);  // 0 x 5
  EXPECT_EQ(d.Tr_Costo, c.cost);
  EXPECT_EQ(d.Tr_Cantidad_Costo, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, DetalleTrapTest,
                         ::testing::Combine(::testing::Values(TrapCase{"Cost", 10,
                                                                       "Division by zero"},
                                                              TrapCase{"NoCost", 0, "Overflow"}),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Shown" : "Stored");
                         });

TEST_F(DetalleTest, FailingServiceIsReportedWithTheTrapKey) {
  suite.script.Fail("Data.Obtener_Factor_Conversion", RuntimeError(3000, "sin conexión"));
  Transferencia& t = Start("EN");
  t.SetMostrarMensajeError(false);
  t.SetDetalle(Line());
  EXPECT_EQ(t.Error(), kStoredPrefix + "sin conexión");
  EXPECT_EQ(t.Detalle().Tr_Unidad_Costo, "PZA");
}

struct Blanking {
  const char* name;
  const char* type;
  bool sizes, colours, lots, serials;
  const char *size, *colour, *lot, *serial;
};

class DetalleBlankingTest : public CaptureTest, public ::testing::WithParamInterface<Blanking> {};

TEST_P(DetalleBlankingTest, BlanksWhatTheWarehouseDoesNotKeep) {
  const Blanking& b = GetParam();
  catalogue["Producto.Pr_Tipo_Producto"] = b.type;
  suite.script.Answer("Inventory#1.Maneja_Talla", b.sizes);
  suite.script.Answer("Inventory#1.Maneja_Color", b.colours);
  suite.script.Answer("Inventory#1.Maneja_Lote", b.lots);
  suite.script.Answer("Inventory#1.Maneja_Serie", b.serials);
  Transferencia& t = Start("EN");
  tTrDetalle line = Line();
  line.Tl_Cve_Talla = "M";
  line.Cl_Cve_Color = "ROJO";
  line.Lote.Lt_Cve_Lote = "L1";
  line.Lote.Lt_Pedimento = "PED";
  line.Lote.Lt_Fecha_Caducidad = Date::FromCalendar(2025, 1, 31);
  line.Serie.Sr_Cve_Serie = "SN1";
  line.Serie.Sr_Pedimento = "PS";
  t.SetDetalle(line);
  const tTrDetalle d = t.Detalle();
  EXPECT_EQ(d.Tl_Cve_Talla, b.size);
  EXPECT_EQ(d.Cl_Cve_Color, b.colour);
  EXPECT_EQ(d.Lote.Lt_Cve_Lote, b.lot);
  EXPECT_EQ(d.Serie.Sr_Cve_Serie, b.serial);
  // The other lot and serial fields are never blanked.
  EXPECT_EQ(d.Lote.Lt_Pedimento, "PED");
  EXPECT_EQ(d.Lote.Lt_Fecha_Caducidad, Date::FromCalendar(2025, 1, 31));
  EXPECT_EQ(d.Serie.Sr_Pedimento, "PS");
}

INSTANTIATE_TEST_SUITE_P(
    Capabilities, DetalleBlankingTest,
    ::testing::Values(
        Blanking{"NothingKept", "01", false, false, false, false, "00", "00", "L1", "SN1"},
        Blanking{"SizesAndColours", "01", true, true, false, false, "M", "ROJO", "L1", "SN1"},
        Blanking{"LotProductNoLots", "02", false, false, false, true, "00", "00", "", "SN1"},
        Blanking{"LotProductWithLots", "02", false, false, true, false, "00", "00", "L1", "SN1"},
        Blanking{"SerialProductNoSerials", "03", true, false, true, false, "M", "00", "L1", ""},
        Blanking{"SerialProductWithSerials", "03", false, true, false, true, "00", "ROJO", "L1",
                 "SN1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qbx::test
