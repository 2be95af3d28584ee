// Graba_Movimiento (through Add_Transferencia_Detalle): which details are
// added, the line's unit cost, and the failure texts.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/transfer/capture.h"

namespace qbx::test {
namespace {

const std::string kTrapPrefix = kAddSource + "Graba_Movimiento() - \r\n\r\n";

class MovementTest : public CaptureTest {
 protected:
  // A line with serial, lot and indirect cost.
  static tTrDetalle TrackedLine() {
    tTrDetalle d = Line();
    d.Serie.Sr_Cve_Serie = "SN1";
    d.Serie.Sr_Pedimento = "PS";
    d.Serie.Sr_FechaPedimento = Date::FromCalendar(2024, 1, 15);
    d.Lote.Lt_Cve_Lote = "L1";
    d.Lote.Lt_Pedimento = "PL";  // not part of the movement line
    d.Tr_Indirecto_Importe = 6;
    return d;
  }
};

TEST_F(MovementTest, ShipmentWithoutTransitAddsOnlyTheIssueDetail) {
  InTransit(false);
  Transferencia& t = Start("EN");
  ASSERT_TRUE(AddLine(TrackedLine())) << t.Error();

  MovementLine issue;
  issue.Producto = "P1";
  issue.Talla = "00";
  issue.Color = "00";
  issue.Cantidad_1 = 5;
  issue.Unidad_1 = "PZA";
  issue.Cantidad_2 = 0;
  issue.Unidad_2 = "KG";
  issue.Serie = MovementSerial{"SN1", "PS", Date::FromCalendar(2024, 1, 15)};
  issue.Lote.Lote = "L1";
  MovementLine receipt = issue;
  receipt.Costo = 7.5;
  EXPECT_EQ(suite.LinesOf("Inventory#3"), std::vector<MovementLine>{issue});
  EXPECT_EQ(suite.LinesOf("Inventory#2"), std::vector<MovementLine>{receipt});
  EXPECT_EQ(suite.journal.Starting("Inventory#3.Agregar_Detalle_Movimiento").size(), 1u);
  EXPECT_TRUE(suite.journal.Starting("Inventory#2.Agregar_Detalle_Movimiento").empty());
  // A shipment leaves at the issue cost; the indirect cost is not added.
  EXPECT_EQ(t.Detalle().Tr_Costo, 7.5);
  EXPECT_EQ(t.Detalle().Tr_Importe_Costo, 37.5);
  EXPECT_NE(Inserts()[0].find(", 7.5, 37.5, 0, 6, ''"), std::string::npos) << Inserts()[0];
}

struct ReceptionCost {
  const char* name;
  bool in_transit;
  std::vector<Row> shipment_rows;
  double line_cost;
  double cost, amount;
  bool queried;
};

void PrintTo(const ReceptionCost& c, std::ostream* os) {
  *os << c.name;
}

class ReceptionCostTest : public MovementTest,
                          public ::testing::WithParamInterface<ReceptionCost> {};

TEST_P(ReceptionCostTest, CostIsTheBasePlusTheIndirectCostPerUnit) {
  const ReceptionCost& c = GetParam();
  InTransit(c.in_transit);
  suite.OnQuery("SELECT Tr_Costo ", c.shipment_rows);
  Transferencia& t = Start("RC");
  tTrDetalle d = TrackedLine();
  d.Tr_Cantidad_1 = 3;
  d.Tr_Costo = c.line_cost;
  ASSERT_TRUE(AddLine(d)) << t.Error();

  EXPECT_EQ(t.Detalle().Tr_Costo, c.cost);
  EXPECT_EQ(t.Detalle().Tr_Importe_Costo, c.amount);
  ASSERT_EQ(suite.LinesOf("Inventory#2").size(), 1u);
  EXPECT_EQ(suite.LinesOf("Inventory#2")[0].Costo, c.cost);
  EXPECT_EQ(suite.LinesOf("Inventory#3")[0].Costo, 0);
  EXPECT_NE(Inserts()[0].find(", " + NumberText(c.cost) + ", " + NumberText(c.amount) + ", 0, 6, "),
            std::string::npos)
      << Inserts()[0];
  size_t queries = 0;
  for (const auto& s : suite.Statements()) queries += s.rfind("SELECT Tr_Costo ", 0) == 0;
  EXPECT_EQ(queries, c.queried ? 1u : 0u);
  EXPECT_EQ(suite.journal.Starting("Inventory#3.Obtener_Costo_Detalle").size(),
            c.in_transit ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ReceptionCostTest,
    ::testing::Values(
        // 10 + 6 / 3
        ReceptionCost{"FromShipmentRow", false, {{{"Tr_Costo", 10.0}}}, 4, 12, 36, true},
        // Only the first row counts.
        ReceptionCost{
            "FirstRowOnly", false, {{{"Tr_Costo", 10.0}}, {{"Tr_Costo", 99.0}}}, 4, 12, 36, true},
        ReceptionCost{"RowCostAsText", false, {{{"Tr_Costo", "10"}}}, 4, 12, 36, true},
        // No shipment row: 4 + 6 / 3
        ReceptionCost{"FromLineItself", false, {}, 4, 6, 18, true},
        // The transit issue values it: 7.5 + 6 / 3
        ReceptionCost{"FromTransitIssue", true, {}, 4, 9.5, 28.5, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MovementTest, CostQueryTextDoublesQuotes) {
  InTransit(false);
  suite.JournalReleases(true);
  tTrEncabezado h = Header("RC");
  h.Tr_Referencia = "EN'1";
  Transferencia& t = Object();
  t.SetEncabezado(h);
  tTrDetalle d = Line();
  d.Producto.Pr_Cve_Producto = "P'1";
  d.Tl_Cve_Talla = "M'";
  d.Cl_Cve_Color = "'R";
  ASSERT_TRUE(AddLine(d)) << t.Error();

  const std::string query =
      "SELECT Tr_Costo FROM Transferencia WHERE Tr_Folio = 'EN''1' AND    Pr_Cve_Producto = "
      "'P''1' AND    Tl_Cve_Talla = '00' AND    Cl_Cve_Color = '00'";
  ASSERT_GE(suite.Statements().size(), 1u);
  EXPECT_EQ(suite.Statements()[0], query);
  EXPECT_EQ(suite.journal.Starting("Connection.Execute(\"SELECT"),
            std::vector<std::string>{"Connection.Execute(\"" + query + "\", Missing, -1&)"});
  // The recordset is dropped, not closed.
  ASSERT_GE(suite.recordsets().size(), 1u);
  EXPECT_FALSE(suite.recordsets()[0]->closed);
  EXPECT_TRUE(suite.recordsets()[0]->released);
}

TEST_F(MovementTest, CostQueryUsesSizeAndColourAsKept) {
  InTransit(false);
  suite.script.Answer("Inventory#1.Maneja_Talla", true);
  suite.script.Answer("Inventory#1.Maneja_Color", true);
  Transferencia& t = Start("RC");
  tTrDetalle d = Line();
  d.Tl_Cve_Talla = "M'";
  d.Cl_Cve_Color = "'R";
  ASSERT_TRUE(AddLine(d)) << t.Error();
  EXPECT_EQ(suite.Statements()[0],
            "SELECT Tr_Costo FROM Transferencia WHERE Tr_Folio = 'REF-1' AND    Pr_Cve_Producto = "
            "'P1' AND    Tl_Cve_Talla = 'M''' AND    Cl_Cve_Color = '''R'");
}

TEST_F(MovementTest, ReceptionNeedsAPositiveCostQuantity) {
  // Costed by weight with no weight given: cost quantity 0.
  catalogue["Producto.Pr_Unidad_Costo"] = "KG";
  for (bool transit : {false, true}) {
    SCOPED_TRACE(transit ? "in transit" : "direct");
    ResetObject();
    ResetApartment();
    suite.journal.Clear();
    InTransit(transit);
    Transferencia& t = Start("RC");
    const std::string issue = "Inventory#" + std::to_string(suite.Created("Inventory"));
    EXPECT_FALSE(AddLine(Line()));
    EXPECT_EQ(
        t.Error(),
        kAddSource + "Graba_Movimiento() - LA CANTIDAD DE COSTO NO PUEDE SER MENOR O IGUAL A 0");
    // With transit movements the issue detail was already added, and stays.
    EXPECT_EQ(suite.journal.Starting(issue + ".Agregar_Detalle_Movimiento").size(),
              transit ? 1u : 0u);
    EXPECT_TRUE(Inserts().empty());
    EXPECT_EQ(t.Detalle().Tr_ID, "");
  }
}

TEST_F(MovementTest, RefusedReceiptDetailReadsTheMessageTwice) {
  InTransit(false);
  suite.script.Answer("Inventory#2.Agregar_Detalle_Movimiento", false);
  suite.script.Queue("Inventory#2.Obtener_Mensaje_Error", {"primera", "Almacén cerrado"});
  Transferencia& t = Start("RC");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Error(), kAddSource + "Almacén cerrado");
  EXPECT_EQ(suite.journal.Starting("Inventory#2.Obtener_Mensaje_Error").size(), 2u);
  EXPECT_TRUE(Inserts().empty());
}

TEST_F(MovementTest, RefusedReceiptDetailWithoutMessageLeavesTheSourceLineAlone) {
  InTransit(true);
  suite.script.Answer("Inventory#2.Agregar_Detalle_Movimiento", false);
  Transferencia& t = Start("EN");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Error(), kAddSource);
  EXPECT_EQ(suite.journal.Starting("Inventory#2.Obtener_Mensaje_Error").size(), 1u);
  // The issue detail stays added.
  EXPECT_EQ(suite.journal.Starting("Inventory#3.Agregar_Detalle_Movimiento").size(), 1u);
}

TEST_F(MovementTest, RefusedIssueDetailInTransitReception) {
  InTransit(true);
  suite.script.Answer("Inventory#3.Agregar_Detalle_Movimiento", false);
  suite.script.Answer("Inventory#3.Obtener_Mensaje_Error", "Sin existencia en tránsito");
  Transferencia& t = Start("RC");
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Error(), kAddSource + "Sin existencia en tránsito");
  EXPECT_TRUE(suite.LinesOf("Inventory#2").empty());
}

struct Trap {
  const char* name;
  const char* tipo;
  bool in_transit;
  std::function<void(FakeSuite&)> arrange;
  const char* description;
};

void PrintTo(const Trap& t, std::ostream* os) {
  *os << t.name;
}

class MovementTrapTest : public CaptureTest, public ::testing::WithParamInterface<Trap> {};

TEST_P(MovementTrapTest, RunTimeErrorsLeaveAnEmptyLine) {
  const Trap& c = GetParam();
  InTransit(c.in_transit);
  c.arrange(suite);
  Transferencia& t = Start(c.tipo);
  EXPECT_FALSE(AddLine(Line()));
  EXPECT_EQ(t.Error(), kTrapPrefix + c.description);
  EXPECT_TRUE(Inserts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MovementTrapTest,
    ::testing::Values(
        Trap{"CostNotANumber", "EN", false,
             [](FakeSuite& s) { s.script.Answer("Inventory#3.Obtener_Costo_Detalle", "abc"); },
             "Type mismatch"},
        Trap{"CostOverflows", "EN", false,
             [](FakeSuite& s) { s.script.Answer("Inventory#3.Obtener_Costo_Detalle", "1E+308"); },
             "Overflow"},
        Trap{"NullShipmentCost", "RC", false,
             [](FakeSuite& s) {
               s.OnQuery("SELECT Tr_Costo ", {{{"Tr_Costo", Null{}}}});
             },
             "Invalid use of Null"},
        Trap{"QueryFails", "RC", false,
             [](FakeSuite& s) {
               s.FailQuery("SELECT Tr_Costo ", RuntimeError(-2147217900, "Sintaxis incorrecta"));
             },
             "Sintaxis incorrecta"},
        Trap{"ServiceFails", "RC", true,
             [](FakeSuite& s) {
               s.script.Fail("Inventory#3.Asignar_Detalle_Movimiento",
                             RuntimeError(440, "Error de automatización"));
             },
             "Error de automatización"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MovementTest, EachLineRewritesTheMovementRecord) {
  InTransit(true);
  suite.script.Queue("Inventory#3.Obtener_Costo_Detalle", {"7.5", "2"});
  Transferencia& t = Start("EN");
  ASSERT_TRUE(AddLine(TrackedLine())) << t.Error();
  tTrDetalle second = Line();
  second.Producto.Pr_Cve_Producto = "P2";
  second.Tr_Cantidad_1 = 2;
  ASSERT_TRUE(AddLine(second)) << t.Error();

  const auto lines = suite.LinesOf("Inventory#2");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].Producto, "P2");
  EXPECT_EQ(lines[1].Cantidad_1, 2);
  EXPECT_EQ(lines[1].Costo, 2);
  EXPECT_EQ(lines[1].Serie.Serie, "");
  EXPECT_EQ(lines[1].Lote.Lote, "");
  EXPECT_EQ(suite.LinesOf("Inventory#3")[1].Costo, 0);
  EXPECT_EQ(t.Detalle().Tr_Importe_Costo, 4);
}

}  // namespace
}  // namespace qbx::test
