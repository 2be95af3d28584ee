// Movement documents of InventoryServices on a real database: folios, pending
// rows, finalisation, average cost, refused issues and cancellation.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/suite/inventory_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

class InventoryMovementTest : public InventoryTest {
 protected:
  // A movement object with its header set.
  com::ComPtr<IInventoryServices> Open(const std::string& branch, const std::string& warehouse,
                                       const std::string& kind, const std::string& document) {
    auto m = Inventory();
    m->Nuevo_Movimiento();
    m->Asignar_Encabezado_Movimiento(Header(branch, warehouse, kind, document));
    return m;
  }
  static bool Add(IInventoryServices& m, const MovementLine& line) {
    m.Asignar_Detalle_Movimiento(line);
    return m.Agregar_Detalle_Movimiento();
  }
  // One movement of one line, finalised.
  void Move(const std::string& branch, const std::string& warehouse, const std::string& kind,
            const std::string& document, const MovementLine& line) {
    auto m = Open(branch, warehouse, kind, document);
    ASSERT_TRUE(Add(*m, line)) << m->Obtener_Mensaje_Error();
    ASSERT_TRUE(m->Finalizar_Movimiento(m->Obtener_Encabezado_Movimiento().Folio))
        << m->Obtener_Mensaje_Error();
  }
  int64_t Rows(const std::string& where, const std::vector<Variant>& params) {
    return static_cast<int64_t>(
        Scalar("SELECT COUNT(*) FROM Movimiento WHERE " + where, params).ToDouble());
  }
};

TEST_F(InventoryMovementTest, FolioIsGivenOnTheFirstAcceptedDetailOnly) {
  MovementHeader h = Header(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-1");
  h.Referencia = "SL-7";
  h.Comentario = "envío";
  auto m = Inventory();
  m->Nuevo_Movimiento();
  m->Asignar_Encabezado_Movimiento(h);
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento(), h);

  EXPECT_FALSE(Add(*m, Line(kProductPlain, 5000)));  // beyond stock
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento().Folio, "");

  ASSERT_TRUE(Add(*m, Line(kProductPlain, 5)));
  MovementHeader back = m->Obtener_Encabezado_Movimiento();
  const std::string folio = back.Folio;
  EXPECT_NE(folio, "");
  back.Folio.clear();
  EXPECT_EQ(back, h);  // the rest of the header as it was given
  ASSERT_TRUE(Add(*m, Line(kProductPlain, 5)));
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento().Folio, folio);
  EXPECT_EQ(Rows("Mv_Folio = ?", {folio}), 2);

  auto other = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-1");
  ASSERT_TRUE(Add(*other, Line(kProductPlain, 1)));
  EXPECT_NE(other->Obtener_Encabezado_Movimiento().Folio, folio);

  m->Nuevo_Movimiento();
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento().Folio, "");
}

TEST_F(InventoryMovementTest, DetailsStayPendingUntilFinalised) {
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-3");
  auto entry = Open(kBranchNorth, kTransitWarehouse, kKindEntryTransit, "T-3");
  ASSERT_TRUE(Add(*issue, Line(kProductPlain, 50)));
  ASSERT_TRUE(Add(*entry, Line(kProductPlain, 50, 2.5)));

  // The component counts them by the upper-case kind it passes to cancel.
  EXPECT_EQ(Scalar("SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' "
                   "AND Mv_Documento = 'T-3'")
                .ToDouble(),
            2);
  EXPECT_EQ(Rows("Mv_Documento = 'T-3' AND Mv_Aplicado = 0 AND Es_Cve_Estado = 'AC'", {}), 2);
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 200);
  EXPECT_FALSE(Stock(kBranchNorth, kTransitWarehouse, kProductPlain).exists);

  const std::string folio = issue->Obtener_Encabezado_Movimiento().Folio;
  ASSERT_TRUE(issue->Finalizar_Movimiento(folio));
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 150);
  EXPECT_EQ(Rows("Mv_Folio = ? AND Mv_Aplicado = 1", {folio}), 1);
  // The other side is still pending.
  EXPECT_FALSE(Stock(kBranchNorth, kTransitWarehouse, kProductPlain).exists);

  // Finalising again applies nothing twice.
  ASSERT_TRUE(issue->Finalizar_Movimiento(folio));
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 150);

  ASSERT_TRUE(entry->Finalizar_Movimiento(entry->Obtener_Encabezado_Movimiento().Folio));
  StockFigures transit = Stock(kBranchNorth, kTransitWarehouse, kProductPlain);
  EXPECT_DOUBLE_EQ(transit.on_hand_1, 50);
  EXPECT_DOUBLE_EQ(transit.average_cost, 2.5);

  EXPECT_FALSE(issue->Finalizar_Movimiento("MV99999999"));
  EXPECT_EQ(issue->Obtener_Mensaje_Error(), "El movimiento: MV99999999, no existe");
}

TEST_F(InventoryMovementTest, AverageCostFollowsEachAppliedMovement) {
  struct Step {
    const char* kind;
    double quantity, cost;
    double on_hand, average;
  };
  // Sugar at the north branch, which holds none at first.
  const Step steps[] = {
      {kKindEntryTransfer, 10, 5, 10, 5}, {kKindEntryTransfer, 30, 9, 40, 8},
      {kKindIssueTransfer, 20, 0, 20, 8}, {kKindEntryTransfer, 20, 2, 40, 5},
      {kKindIssueTransfer, 40, 0, 0, 5},  {kKindEntryTransfer, 4, 7, 4, 7},
  };
  int n = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(++n);
    auto m = Open(kBranchNorth, kWarehouseGeneral, s.kind, "D-" + std::to_string(n));
    const double before = Stock(kBranchNorth, kWarehouseGeneral, "AZUCAR").average_cost;
    ASSERT_TRUE(Add(*m, Line("AZUCAR", s.quantity, s.cost))) << m->Obtener_Mensaje_Error();
    // An issue leaves at the average cost; an entry at its own.
    EXPECT_EQ(m->Obtener_Costo_Detalle(),
              NumberText(s.kind == std::string(kKindIssueTransfer) ? before : s.cost));
    ASSERT_TRUE(m->Finalizar_Movimiento(m->Obtener_Encabezado_Movimiento().Folio));
    StockFigures f = Stock(kBranchNorth, kWarehouseGeneral, "AZUCAR");
    EXPECT_DOUBLE_EQ(f.on_hand_1, s.on_hand);
    EXPECT_DOUBLE_EQ(f.average_cost, s.average);
  }
}

TEST_F(InventoryMovementTest, IssueCostIsAlwaysANumberText) {
  auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-4");
  EXPECT_EQ(m->Obtener_Costo_Detalle(), "0");  // nothing added yet
  ASSERT_TRUE(Add(*m, Line(kProductPlain, 3)));
  EXPECT_EQ(m->Obtener_Costo_Detalle(), "2.5");

  SetParameter("INV_PERMITIR_EXISTENCIA_NEGATIVA", "1");
  auto none = Open(kBranchSouth, kWarehouseGeneral, kKindIssueTransfer, "T-4");
  ASSERT_TRUE(Add(*none, Line(kProductType4, 2))) << none->Obtener_Mensaje_Error();
  EXPECT_EQ(none->Obtener_Costo_Detalle(), "0");  // no stock, no cost
}

TEST_F(InventoryMovementTest, IssuesBeyondOnHandStock) {
  struct Case {
    const char* name;
    bool allow_negative;
    std::vector<double> lines;
    std::vector<bool> accepted;
    const char* message;  // of the last refusal
  };
  const Case cases[] = {
      {"all of it", false, {200}, {true}, ""},
      {"one too many",
       false,
       {201},
       {false},
       "Existencia insuficiente del producto: TORN-001, en el almacén: GRL de la sucursal: "
       "CEDIS. Existencia: 200, cantidad solicitada: 201"},
      {"lines of one document add up",
       false,
       {150, 60, 50},
       {true, false, true},
       "Existencia insuficiente del producto: TORN-001, en el almacén: GRL de la sucursal: "
       "CEDIS. Existencia: 50, cantidad solicitada: 60"},
      {"allowed by the parameter", true, {250, 10}, {true, true}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetParameter("INV_PERMITIR_EXISTENCIA_NEGATIVA", c.allow_negative ? "1" : "0");
    auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, c.name);
    std::string last_refusal;
    for (size_t i = 0; i < c.lines.size(); ++i) {
      bool ok = Add(*m, Line(kProductPlain, c.lines[i]));
      EXPECT_EQ(ok, c.accepted[i]) << i;
      if (!ok) last_refusal = m->Obtener_Mensaje_Error();
    }
    EXPECT_EQ(last_refusal, c.message);
    m->Nuevo_Movimiento();  // leaves its rows pending; stock is never touched
  }
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 200);
}

TEST_F(InventoryMovementTest, SizesAreKeptUnderTheWarehousesCodes) {
  // The general warehouse keeps no sizes or colours: any code counts as "00".
  auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-5");
  ASSERT_TRUE(Add(*m, Line(kProductPlain, 10, 0, "", "")));
  ASSERT_TRUE(m->Finalizar_Movimiento(m->Obtener_Encabezado_Movimiento().Folio));
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 190);
  // The apparel warehouse keeps them apart.
  auto a = Open(kCedis, kWarehouseApparel, kKindIssueTransfer, "T-5");
  ASSERT_TRUE(Add(*a, Line(kProductApparel, 40, 0, "MD", "BCO")));
  EXPECT_FALSE(Add(*a, Line(kProductApparel, 1, 0, "MD", "BCO")));
  EXPECT_TRUE(Add(*a, Line(kProductApparel, 1, 0, "MD", "NGO")));
}

TEST_F(InventoryMovementTest, UnknownKindOrWarehouseIsRefused) {
  auto m = Open(kCedis, kWarehouseGeneral, "ZZZ", "T-6");
  EXPECT_FALSE(Add(*m, Line(kProductPlain, 1)));
  EXPECT_EQ(m->Obtener_Mensaje_Error(), "El tipo de movimiento: ZZZ, no existe");

  auto w = Open(kBranchNorth, "OBS", kKindEntryTransfer, "T-6");
  EXPECT_FALSE(Add(*w, Line(kProductPlain, 1, 3)));
  EXPECT_EQ(w->Obtener_Mensaje_Error(),
            "El almacén: OBS, de la sucursal: NORTE, no existe o está dado de baja");
  EXPECT_EQ(w->Obtener_Encabezado_Movimiento().Folio, "");
}

TEST_F(InventoryMovementTest, KindWithoutRowTakesItsDirectionFromTheParameters) {
  Exec("DELETE FROM Tipo_Movimiento");
  auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-7");
  ASSERT_TRUE(Add(*m, Line(kProductPlain, 20)));
  ASSERT_TRUE(m->Finalizar_Movimiento(m->Obtener_Encabezado_Movimiento().Folio));
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 180);
}

TEST_F(InventoryMovementTest, FinalisingRefusesWhatStockNoLongerCovers) {
  auto a = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-8");
  auto b = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-9");
  ASSERT_TRUE(Add(*a, Line(kProductPlain, 150)));
  ASSERT_TRUE(Add(*b, Line(kProductPlain, 30)));
  ASSERT_TRUE(Add(*b, Line(kProductPlain, 70)));
  ASSERT_TRUE(a->Finalizar_Movimiento(a->Obtener_Encabezado_Movimiento().Folio));

  const std::string folio = b->Obtener_Encabezado_Movimiento().Folio;
  EXPECT_FALSE(b->Finalizar_Movimiento(folio));
  EXPECT_EQ(b->Obtener_Mensaje_Error(),
            "No es posible finalizar el movimiento: " + folio +
                "\r\nExistencia insuficiente del producto: TORN-001, en el almacén: GRL de la "
                "sucursal: CEDIS. Existencia: 20, cantidad solicitada: 70");
  // All or nothing: the first line was not applied either.
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 50);
  EXPECT_EQ(Rows("Mv_Folio = ? AND Mv_Aplicado = 0", {folio}), 2);
}

TEST_F(InventoryMovementTest, CancelReversesAppliedMovementsAndDiscardsPendingOnes) {
  // Shipment T-10: issue applied, transit entry still pending.
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-10");
  auto transit = Open(kBranchNorth, kTransitWarehouse, kKindEntryTransit, "T-10");
  ASSERT_TRUE(Add(*issue, Line(kProductPlain, 50)));
  ASSERT_TRUE(Add(*transit, Line(kProductPlain, 50, 2.5)));
  ASSERT_TRUE(issue->Finalizar_Movimiento(issue->Obtener_Encabezado_Movimiento().Folio));
  // Entries of T-10 at the north branch, applied: 40 at 2.4 + 10 at 4.9 = 50 at 2.9.
  Move(kBranchNorth, kWarehouseGeneral, kKindEntryTransfer, "T-10", Line(kProductPlain, 10, 4.9));
  EXPECT_NEAR(Stock(kBranchNorth, kWarehouseGeneral, kProductPlain).average_cost, 2.9, 1e-12);
  // Another document brings 50 at 4.5 to the centre: 200 at 3.
  Move(kCedis, kWarehouseGeneral, kKindEntryTransfer, "OTRO", Line(kProductPlain, 50, 4.5));
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).average_cost, 3);

  auto stock = Inventory();
  ASSERT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-10"))
      << stock->Obtener_Mensaje_Error();

  // The 50 come back at the 2.5 they left with: (200 x 3 + 50 x 2.5) / 250.
  StockFigures cedis = Stock(kCedis, kWarehouseGeneral, kProductPlain);
  EXPECT_DOUBLE_EQ(cedis.on_hand_1, 250);
  EXPECT_DOUBLE_EQ(cedis.average_cost, 2.9);
  // The 10 at 4.9 leave again: (50 x 2.9 - 10 x 4.9) / 40.
  StockFigures north = Stock(kBranchNorth, kWarehouseGeneral, kProductPlain);
  EXPECT_DOUBLE_EQ(north.on_hand_1, 40);
  EXPECT_NEAR(north.average_cost, 2.4, 1e-12);
  // The pending entry never reached stock.
  EXPECT_FALSE(Stock(kBranchNorth, kTransitWarehouse, kProductPlain).exists);
  EXPECT_EQ(Rows("Mv_Documento = 'T-10' AND Es_Cve_Estado = 'CA'", {}), 3);
  EXPECT_EQ(Rows("Mv_Documento = 'OTRO' AND Es_Cve_Estado = 'AC'", {}), 1);

  // Finalising the discarded side afterwards moves nothing.
  ASSERT_TRUE(transit->Finalizar_Movimiento(transit->Obtener_Encabezado_Movimiento().Folio));
  EXPECT_FALSE(Stock(kBranchNorth, kTransitWarehouse, kProductPlain).exists);
  // A second cancellation has nothing left to undo.
  EXPECT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-10"));
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, 250);
}

TEST_F(InventoryMovementTest, CancelIsRefusedWhenTheGoodsBroughtInHaveLeft) {
  Move(kBranchNorth, kWarehouseGeneral, kKindEntryTransfer, "T-11", Line("AZUCAR", 10, 5));
  Move(kBranchNorth, kWarehouseGeneral, kKindIssueTransfer, "T-12", Line("AZUCAR", 8));

  auto stock = Inventory();
  EXPECT_FALSE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-11"));
  EXPECT_EQ(stock->Obtener_Mensaje_Error(),
            "No es posible cancelar los movimientos del documento: TRANSFERENCIA T-11\r\n"
            "Existencia insuficiente del producto: AZUCAR, en el almacén: GRL de la sucursal: "
            "NORTE. Existencia: 2, cantidad solicitada: 10");
  EXPECT_DOUBLE_EQ(Stock(kBranchNorth, kWarehouseGeneral, "AZUCAR").on_hand_1, 2);
  EXPECT_EQ(Rows("Mv_Documento = 'T-11' AND Es_Cve_Estado = 'AC'", {}), 1);
}

TEST_F(InventoryMovementTest, LargeDocumentStaysFast) {
  constexpr int kLines = 10000;
  auto entry = Open(kBranchNorth, kWarehouseGeneral, kKindEntryTransfer, "GRANDE");
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "GRANDE");
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    ASSERT_TRUE(Add(*entry, Line("AZUCAR", 1, 10 + i % 7)));
    ASSERT_TRUE(Add(*issue, Line("AZUCAR", 0.04)));
  }
  ASSERT_TRUE(entry->Finalizar_Movimiento(entry->Obtener_Encabezado_Movimiento().Folio));
  ASSERT_TRUE(issue->Finalizar_Movimiento(issue->Obtener_Encabezado_Movimiento().Folio));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_DOUBLE_EQ(Stock(kBranchNorth, kWarehouseGeneral, "AZUCAR").on_hand_1, kLines);
  EXPECT_NEAR(Stock(kCedis, kWarehouseGeneral, "AZUCAR").on_hand_1, 100, 1e-6);
  EXPECT_EQ(Rows("Mv_Documento = 'GRANDE'", {}), 2 * kLines);
  // Generous for sanitizer builds; a per-line scan would take minutes.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 60);
}

}  // namespace
}  // namespace qbx::suite::test
