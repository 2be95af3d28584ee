// InventoryServices on a real database: movement documents (folios, pending
// rows, finalisation, average cost, refused issues, cancellation) and the
// stock object (warehouse capabilities, product types, availability).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "automation/value.h"
#include "tests/suite/inventory_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

class InventoryMovementTest : public InventoryTest {
 protected:
  // One movement of one line, finalised.
  void Move(const std::string& branch, const std::string& kind, const std::string& document,
            const std::string& product, double quantity, double cost = 0) {
    auto m = Open(branch, kWarehouseGeneral, kind, document);
    ASSERT_TRUE(Add(*m, product, quantity, cost)) << m->Obtener_Mensaje_Error();
    ASSERT_TRUE(Finish(*m)) << m->Obtener_Mensaje_Error();
  }
  double Rows(const std::string& where) {
    return Value("SELECT COUNT(*) FROM Movimiento WHERE " + where).ToDouble();
  }
  double OnHand(const std::string& branch, const std::string& product = kProductPlain) {
    return Stock(branch, kWarehouseGeneral, product).on_hand;
  }
  // On hand and average cost as "on hand @ cost", or "none" without a stock row.
  std::string Figures(const std::string& branch, const std::string& warehouse,
                      const std::string& product = kProductPlain) {
    const StockFigures f = Stock(branch, warehouse, product);
    return f.exists ? NumberText(f.on_hand) + " @ " + NumberText(f.average_cost) : "none";
  }
  // The refusal of an issue beyond the stock of the general warehouse.
  static std::string Short(const std::string& product, const std::string& branch, double have,
                           double want) {
    return "Existencia insuficiente del producto: " + product + ", en el almacén: GRL de la " +
           "sucursal: " + branch + ". Existencia: " + NumberText(have) +
           ", cantidad solicitada: " + NumberText(want);
  }
};

TEST_F(InventoryMovementTest, FolioIsGivenOnTheFirstAcceptedDetailOnly) {
  MovementHeader h = Header(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-1");
  h.Referencia = "SL-7";
  h.Comentario = "envío";
  auto m = Open(h);
  EXPECT_FALSE(Add(*m, kProductPlain, 5000));  // beyond stock
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento(), h);
  ASSERT_TRUE(Add(*m, kProductPlain, 5));
  MovementHeader back = m->Obtener_Encabezado_Movimiento();
  const std::string folio = back.Folio;
  back.Folio.clear();
  EXPECT_EQ(back, h);  // the rest of the header as it was given
  ASSERT_TRUE(Add(*m, kProductPlain, 5));
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento().Folio, folio);
  EXPECT_EQ(Rows("Mv_Folio = '" + folio + "'"), 2);
  auto other = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-1");
  ASSERT_TRUE(Add(*other, kProductPlain, 1));
  // Folios are "MV" and the next number of one counter.
  ASSERT_EQ(folio.size(), 10u);
  EXPECT_EQ(other->Obtener_Encabezado_Movimiento().Folio,
            "MV" + FormatZeros(static_cast<double>(std::stoll(folio.substr(2)) + 1), "00000000"));
  m->Nuevo_Movimiento();
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento().Folio, "");
}

TEST_F(InventoryMovementTest, DetailsStayPendingUntilFinalised) {
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-3");
  auto entry = Open(kBranchNorth, kTransitWarehouse, kKindEntryTransit, "T-3");
  EXPECT_EQ(issue->Obtener_Costo_Detalle(), "0");  // nothing added yet
  ASSERT_TRUE(Add(*issue, kProductPlain, 50));
  EXPECT_EQ(issue->Obtener_Costo_Detalle(), "2.5");
  ASSERT_TRUE(Add(*entry, kProductPlain, 50, 2.5));
  // The component counts them by the upper-case table it passes to cancel.
  EXPECT_EQ(Rows("Mv_Tabla = 'TRANSFERENCIA' AND Mv_Documento = 'T-3' AND Mv_Aplicado = 0 AND "
                 "Es_Cve_Estado = 'AC'"),
            2);
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 200);
  ASSERT_TRUE(Finish(*issue));
  EXPECT_EQ(Figures(kBranchNorth, kTransitWarehouse), "none");  // still pending
  ASSERT_TRUE(Finish(*issue));                                  // applies nothing twice
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 150);
  ASSERT_TRUE(Finish(*entry));
  EXPECT_EQ(Figures(kBranchNorth, kTransitWarehouse), "50 @ 2.5");
  EXPECT_FALSE(issue->Finalizar_Movimiento("MV99999999"));
  EXPECT_EQ(issue->Obtener_Mensaje_Error(), "El movimiento: MV99999999, no existe");
}

TEST_F(InventoryMovementTest, AverageCostFollowsEachAppliedMovement) {
  const struct {
    const char* kind;
    double quantity, cost, on_hand, average;
  } steps[] = {
      {kKindEntryTransfer, 10, 5, 10, 5}, {kKindEntryTransfer, 30, 9, 40, 8},
      {kKindIssueTransfer, 20, 0, 20, 8}, {kKindEntryTransfer, 20, 2, 40, 5},
      {kKindIssueTransfer, 40, 0, 0, 5},  {kKindEntryTransfer, 4, 7, 4, 7},
  };
  int n = 0;  // sugar at the north branch, which holds none at first
  for (const auto& s : steps) {
    SCOPED_TRACE(++n);
    auto m = Open(kBranchNorth, kWarehouseGeneral, s.kind, "D-" + std::to_string(n));
    const double before = Stock(kBranchNorth, kWarehouseGeneral, "AZUCAR").average_cost;
    ASSERT_TRUE(Add(*m, "AZUCAR", s.quantity, s.cost)) << m->Obtener_Mensaje_Error();
    // An issue leaves at the average cost, as a number text; an entry at its own.
    EXPECT_EQ(m->Obtener_Costo_Detalle(),
              NumberText(s.kind == std::string(kKindIssueTransfer) ? before : s.cost));
    ASSERT_TRUE(Finish(*m));
    EXPECT_EQ(Figures(kBranchNorth, kWarehouseGeneral, "AZUCAR"),
              NumberText(s.on_hand) + " @ " + NumberText(s.average));
  }
}

// The average's edges: a first entry of nothing still sets it; taking a
// dear entry back out of what is left cannot make it negative.
TEST_F(InventoryMovementTest, AverageCostAtItsEdges) {
  Move(kBranchNorth, kKindEntryTransfer, "C-0", "AZUCAR", 0, 7);
  EXPECT_EQ(Figures(kBranchNorth, kWarehouseGeneral, "AZUCAR"), "0 @ 7");
  Move(kBranchNorth, kKindEntryTransfer, "C-1", "AZUCAR", 10, 1);
  Move(kBranchNorth, kKindEntryTransfer, "C-2", "AZUCAR", 10, 9);
  Move(kBranchNorth, kKindIssueTransfer, "C-3", "AZUCAR", 5);
  ASSERT_EQ(Figures(kBranchNorth, kWarehouseGeneral, "AZUCAR"), "15 @ 5");
  auto stock = Inventory();
  ASSERT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "C-2"))
      << stock->Obtener_Mensaje_Error();
  EXPECT_EQ(Figures(kBranchNorth, kWarehouseGeneral, "AZUCAR"), "5 @ 0");  // not (75 - 90) / 5
}

TEST_F(InventoryMovementTest, IssuesBeyondOnHandStock) {
  const struct {
    bool allow_negative;
    std::vector<double> lines;
    std::vector<bool> accepted;
    std::string refusal;  // the last one
  } cases[] = {
      {false, {200}, {true}, ""},
      {false, {201}, {false}, Short(kProductPlain, kCedis, 200, 201)},
      {false, {150, 60, 50}, {true, false, true}, Short(kProductPlain, kCedis, 50, 60)},
      {true, {250, 10}, {true, true}, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(++n);
    SetParameter("INV_PERMITIR_EXISTENCIA_NEGATIVA", c.allow_negative ? "1" : "0");
    auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-" + std::to_string(n));
    std::string refusal;
    for (size_t i = 0; i < c.lines.size(); ++i) {
      const bool ok = Add(*m, kProductPlain, c.lines[i]);
      EXPECT_EQ(ok, c.accepted[i]) << i;
      if (!ok) refusal = m->Obtener_Mensaje_Error();
    }
    EXPECT_EQ(refusal, c.refusal);
    m->Nuevo_Movimiento();  // leaves its rows pending; stock is never touched
  }
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 200);
  // Without stock an issue has no cost.
  auto none = Open(kBranchSouth, kWarehouseGeneral, kKindIssueTransfer, "T-5");
  ASSERT_TRUE(Add(*none, kProductType4, 2)) << none->Obtener_Mensaje_Error();
  EXPECT_EQ(none->Obtener_Costo_Detalle(), "0");
}

TEST_F(InventoryMovementTest, WarehouseCodesKindsAndRefusals) {
  // The general warehouse keeps no sizes or colours: any code counts as "00".
  auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-5");
  ASSERT_TRUE(Add(*m, kProductPlain, 10, 0, "", ""));
  ASSERT_TRUE(Finish(*m));
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 190);
  // The apparel warehouse keeps them apart.
  auto a = Open(kCedis, kWarehouseApparel, kKindIssueTransfer, "T-5");
  ASSERT_TRUE(Add(*a, kProductApparel, 40, 0, "MD", "BCO"));
  EXPECT_FALSE(Add(*a, kProductApparel, 1, 0, "MD", "BCO"));
  EXPECT_TRUE(Add(*a, kProductApparel, 1, 0, "MD", "NGO"));

  auto kind = Open(kCedis, kWarehouseGeneral, "ZZZ", "T-6");
  EXPECT_FALSE(Add(*kind, kProductPlain, 1));
  EXPECT_EQ(kind->Obtener_Mensaje_Error(), "El tipo de movimiento: ZZZ, no existe");
  auto w = Open(kBranchNorth, "OBS", kKindEntryTransfer, "T-6");
  EXPECT_FALSE(Add(*w, kProductPlain, 1, 3));
  EXPECT_EQ(w->Obtener_Mensaje_Error(),
            "El almacén: OBS, de la sucursal: NORTE, no existe o está dado de baja");
  EXPECT_EQ(w->Obtener_Encabezado_Movimiento().Folio, "");

  // A kind without its row takes its direction from the parameters.
  Db()->Exec("DELETE FROM Tipo_Movimiento");
  Move(kCedis, kKindIssueTransfer, "T-7", kProductPlain, 20);
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 170);
}

TEST_F(InventoryMovementTest, FinalisingRefusesWhatStockNoLongerCovers) {
  auto a = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-8");
  auto b = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-9");
  ASSERT_TRUE(Add(*a, kProductPlain, 150));
  ASSERT_TRUE(Add(*b, kProductPlain, 30));
  ASSERT_TRUE(Add(*b, kProductPlain, 70));
  ASSERT_TRUE(Finish(*a));
  const std::string folio = b->Obtener_Encabezado_Movimiento().Folio;
  EXPECT_FALSE(b->Finalizar_Movimiento(folio));
  EXPECT_EQ(b->Obtener_Mensaje_Error(), "No es posible finalizar el movimiento: " + folio + "\r\n" +
                                            Short(kProductPlain, kCedis, 20, 70));
  // All or nothing: the first line was not applied either.
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 50);
  EXPECT_EQ(Rows("Mv_Folio = '" + folio + "' AND Mv_Aplicado = 0"), 2);
}

TEST_F(InventoryMovementTest, CancelReversesAppliedMovementsAndDiscardsPendingOnes) {
  // Shipment T-10: issue applied, transit entry still pending.
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-10");
  auto transit = Open(kBranchNorth, kTransitWarehouse, kKindEntryTransit, "T-10");
  ASSERT_TRUE(Add(*issue, kProductPlain, 50));
  ASSERT_TRUE(Add(*transit, kProductPlain, 50, 2.5));
  ASSERT_TRUE(Finish(*issue));
  // Entries of T-10 at the north branch, applied: 40 at 2.4 + 10 at 4.9 = 50 at 2.9.
  Move(kBranchNorth, kKindEntryTransfer, "T-10", kProductPlain, 10, 4.9);
  // Another document brings 50 at 4.5 to the centre: 200 at 3.
  Move(kCedis, kKindEntryTransfer, "OTRO", kProductPlain, 50, 4.5);
  EXPECT_EQ(Figures(kCedis, kWarehouseGeneral), "200 @ 3");

  auto stock = Inventory();
  ASSERT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-10"))
      << stock->Obtener_Mensaje_Error();
  // The 50 come back at the 2.5 they left with: (200 x 3 + 50 x 2.5) / 250.
  EXPECT_EQ(Figures(kCedis, kWarehouseGeneral), "250 @ 2.9");
  // The 10 at 4.9 leave again: (50 x 2.9 - 10 x 4.9) / 40.
  EXPECT_EQ(Figures(kBranchNorth, kWarehouseGeneral), "40 @ 2.4");
  EXPECT_EQ(Rows("Mv_Documento = 'T-10' AND Es_Cve_Estado = 'CA'"), 3);
  EXPECT_EQ(Rows("Mv_Documento = 'OTRO' AND Es_Cve_Estado = 'AC'"), 1);
  // The discarded side finalised afterwards moves nothing; nothing is left to undo.
  ASSERT_TRUE(Finish(*transit));
  EXPECT_EQ(Figures(kBranchNorth, kTransitWarehouse), "none");
  EXPECT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-10"));
  EXPECT_DOUBLE_EQ(OnHand(kCedis), 250);

  // Refused when the goods brought in have left again.
  Move(kBranchNorth, kKindEntryTransfer, "T-11", "AZUCAR", 10, 5);
  Move(kBranchNorth, kKindIssueTransfer, "T-12", "AZUCAR", 8);
  EXPECT_FALSE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-11"));
  EXPECT_EQ(stock->Obtener_Mensaje_Error(),
            "No es posible cancelar los movimientos del documento: TRANSFERENCIA T-11\r\n" +
                Short("AZUCAR", kBranchNorth, 2, 10));
  EXPECT_DOUBLE_EQ(OnHand(kBranchNorth, "AZUCAR"), 2);
  EXPECT_EQ(Rows("Mv_Documento = 'T-11' AND Es_Cve_Estado = 'AC'"), 1);
}

TEST_F(InventoryMovementTest, CancelUndoesTheNewestMovementFirst) {
  // T-13 brings 10 of sugar to the north branch (which held none) and then
  // sends them on: undoing the entry first would leave -10 and be refused.
  Move(kBranchNorth, kKindEntryTransfer, "T-13", "AZUCAR", 10, 5);
  Move(kBranchNorth, kKindIssueTransfer, "T-13", "AZUCAR", 10);
  ASSERT_EQ(OnHand(kBranchNorth, "AZUCAR"), 0);
  auto stock = Inventory();
  ASSERT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-13"))
      << stock->Obtener_Mensaje_Error();
  EXPECT_EQ(OnHand(kBranchNorth, "AZUCAR"), 0);
  EXPECT_EQ(Rows("Mv_Documento = 'T-13' AND Es_Cve_Estado = 'CA'"), 2);
}

TEST_F(InventoryMovementTest, ReversalsLeaveStockFiguresExactlyAsTheyWere) {
  const struct {
    const char* kind;
    double quantity, cost, on_hand;
  } steps[] = {
      {kKindEntryTransfer, 0.1, 1.0 / 3, 200.1},    {kKindEntryTransfer, 0.2, 0.7, 200.3},
      {kKindIssueTransfer, 1.0 / 3, 0, 199.966667}, {kKindEntryTransfer, 1.0 / 3, 0.1, 200.3},
      {kKindIssueTransfer, 0.2, 0, 200.1},          {kKindEntryTransfer, 0.0000005, 3, 200.100001},
  };
  const auto figures = [&] {
    const StockFigures f = Stock(kCedis, kWarehouseGeneral, kProductPlain);
    return std::vector<double>{f.on_hand, f.on_hand_2, f.average_cost, f.adjustment,
                               f.adjustment_2};
  };
  const std::vector<double> start = figures();
  auto inv = Inventory();
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(++n);
    Move(kCedis, s.kind, "IDA", kProductPlain, s.quantity, s.cost);
    ASSERT_TRUE(inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "00", "00",
                                        s.quantity, s.quantity / 12));
    const std::vector<double> f = figures();
    EXPECT_EQ(f[0], s.on_hand);
    for (double figure : f)  // every figure is kept to six decimals
      EXPECT_EQ(std::round(figure * 1e6) / 1e6, figure) << NumberText(figure);
  }
  for (const auto& s : steps) {
    ASSERT_TRUE(inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "00", "00",
                                        -s.quantity, -s.quantity / 12));
  }
  ASSERT_TRUE(inv->Cancelar_Movimientos_Documento("TRANSFERENCIA", "IDA"))
      << inv->Obtener_Mensaje_Error();
  EXPECT_EQ(figures(), start);
}

using InventoryStockTest = InventoryTest;

TEST_F(InventoryStockTest, WarehouseCapabilitiesAndProductTypes) {
  const struct {
    const char *branch, *warehouse;
    bool size, colour, lot, serial;
  } cases[] = {
      {kCedis, kWarehouseGeneral, false, false, false, false},
      {kCedis, kWarehouseApparel, true, true, false, false},
      {kBranchSouth, kWarehouseSerials, false, false, false, true},
      {kBranchNorth, kTransitWarehouse, true, true, true, true},
      {kBranchNorth, "OBS", false, false, false, false},  // deactivated
  };
  auto inv = Inventory();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.branch) + "/" + c.warehouse);
    EXPECT_EQ(inv->Maneja_Talla(c.branch, c.warehouse), c.size);
    EXPECT_EQ(inv->Maneja_Color(c.branch, c.warehouse), c.colour);
    EXPECT_EQ(inv->Maneja_Lote(c.branch, c.warehouse), c.lot);
    EXPECT_EQ(inv->Maneja_Serie(c.branch, c.warehouse), c.serial);
  }
  const std::pair<const char*, const char*> types[] = {
      {kProductPlain, "01"}, {kProductLot, "02"},     {kProductSerial, "03"},
      {kProductType4, "04"}, {kProductService, "99"}, {"NO-EXISTE", ""},
  };
  for (const auto& [product, type] : types) EXPECT_EQ(inv->Obtener_Tipo_Producto(product), type);
}

TEST_F(InventoryStockTest, AvailableIsOnHandPlusTheAdjustment) {
  auto inv = Inventory();
  auto available = [&](const std::string& pattern, int32_t unit = 1) {
    return inv->Obtener_Existencia(kCedis, pattern, kProductPlain, "00", "00", unit, "");
  };
  // The sample commits 100 of the 200 on hand to an earlier request.
  EXPECT_DOUBLE_EQ(available("%"), kCedisPlainOnHand - kCedisPlainCommitted);
  EXPECT_DOUBLE_EQ(available("G%"), 100);
  EXPECT_DOUBLE_EQ(available(kWarehouseApparel), 0);
  // 200 / 12 on hand and 100 / 12 committed, each kept to six decimals.
  EXPECT_EQ(available(kWarehouseGeneral, 2), 16.666667 - 8.333333);
  // A request commits 30 more; its shipment gives them back.
  ASSERT_TRUE(
      inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "00", "00", -30, -2.5));
  EXPECT_DOUBLE_EQ(available("%"), 70);
  ASSERT_TRUE(inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "", "", 30, 2.5));
  EXPECT_EQ(inv->Obtener_Mensaje_Error(), "");
  EXPECT_DOUBLE_EQ(available("%"), 100);
  StockFigures f = Stock(kCedis, kWarehouseGeneral, kProductPlain);
  EXPECT_EQ(std::pair(f.on_hand, f.adjustment), std::pair(200.0, -100.0));  // on hand untouched
  EXPECT_FALSE(inv->Ajustar_Existencia(kCedis, "NINGUNO", kProductPlain, "00", "00", 1, 1));
  EXPECT_NE(inv->Obtener_Mensaje_Error().find("NINGUNO"), std::string::npos);

  // The general warehouse keeps no sizes: its adjustment counts under "00".
  ASSERT_TRUE(inv->Ajustar_Existencia(kBranchSouth, kWarehouseGeneral, kProductApparel, "MD", "BCO",
                                      -4, -4));
  ASSERT_TRUE(inv->Ajustar_Existencia(kBranchSouth, kWarehouseApparel, kProductApparel, "MD", "BCO",
                                      10, 10));
  auto apparel = [&](const char* branch, const char* size, const char* colour) {
    return inv->Obtener_Existencia(branch, "%", kProductApparel, size, colour, 1, "");
  };
  EXPECT_DOUBLE_EQ(apparel(kBranchSouth, "00", "00"), -4);
  EXPECT_DOUBLE_EQ(apparel(kBranchSouth, "MD", "BCO"), 10);
  EXPECT_DOUBLE_EQ(apparel(kBranchNorth, "MD", "BCO"), 0);

  // Summed over warehouses, the answer keeps the figures' precision.
  ASSERT_TRUE(inv->Ajustar_Existencia(kBranchSouth, kWarehouseGeneral, "AZUCAR", "", "", 0.1, 0));
  ASSERT_TRUE(inv->Ajustar_Existencia(kBranchSouth, kWarehouseSerials, "AZUCAR", "", "", 0.2, 0));
  EXPECT_EQ(inv->Obtener_Existencia(kBranchSouth, "%", "AZUCAR", "00", "00", 1, ""), 0.3);
}

}  // namespace
}  // namespace qbx::suite::test
