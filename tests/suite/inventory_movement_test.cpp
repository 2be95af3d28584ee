// InventoryServices on a real database: movement documents (folios, pending
// rows, finalisation, average cost, refused issues, cancellation) and the
// stock object (warehouse capabilities, product types, availability).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "automation/value.h"
#include "services/inventory_services.h"
#include "suite/reports.h"
#include "suite/sample.h"
#include "suite/sample_stock.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

class InventoryMovementTest : public SuiteTest {
 protected:
  MovementHeader given_;  // the last header given
  // A movement object with its header set.
  com::ComPtr<IInventoryServices> Open(const char* branch, const char* warehouse, const char* kind,
                                       const std::string& document, const char* reference = "",
                                       const char* comment = "") {
    auto m = Make<IInventoryServices>(kClsidInventoryServices);
    m->Nuevo_Movimiento();
    const Date day = Date::FromCalendar(2026, 3, 5);
    given_ = {"", day, "Transferencia", document, reference, comment, branch, warehouse, kind};
    m->Asignar_Encabezado_Movimiento(given_);
    return m;
  }
  // Adds one line of this product; false when it is refused.
  static bool Add(IInventoryServices& m, const std::string& product, double quantity,
                  double cost = 0, const std::string& size = "00",
                  const std::string& colour = "00") {
    m.Asignar_Detalle_Movimiento(
        {product, size, colour, quantity, "", quantity, "", cost, 0, {}, {}});
    return m.Agregar_Detalle_Movimiento();
  }
  static bool Finish(IInventoryServices& m) {
    return m.Finalizar_Movimiento(m.Obtener_Encabezado_Movimiento().Folio);
  }
  // One movement of one line in the general warehouse, finalised.
  void Move(const char* branch, const char* kind, const std::string& document,
            const std::string& product, double quantity, double cost = 0) {
    auto m = Open(branch, kWarehouseGeneral, kind, document);
    ASSERT_TRUE(Add(*m, product, quantity, cost)) << m->Obtener_Mensaje_Error();
    ASSERT_TRUE(Finish(*m)) << m->Obtener_Mensaje_Error();
  }
  double Rows(const std::string& where) {
    return Value("SELECT COUNT(*) FROM Movimiento WHERE " + where).ToDouble();
  }
  // On hand, average cost, adjustment, on hand and adjustment in the second
  // unit of the "00" codes; empty without a stock row.
  std::vector<double> Stock(const std::string& branch, const std::string& product,
                            const std::string& warehouse = kWarehouseGeneral) {
    auto db = Db();
    Query q(
        *db,
        "SELECT Ex_Cantidad_1, Ex_Costo_Promedio, Ex_Ajuste_1, Ex_Cantidad_2, Ex_Ajuste_2 FROM "
        "Existencia WHERE Sc_Cve_Sucursal = ?1 AND Al_Cve_Almacen = ?2 AND Pr_Cve_Producto = ?3 "
        "AND Tl_Cve_Talla = '00' AND Cl_Cve_Color = '00'",
        {branch, warehouse, product});
    std::vector<double> f;
    if (q.Step())
      for (int i = 0; i < 5; ++i) f.push_back(q.Number(i));
    return f;
  }
  // "on hand @ average cost", or "none" without a stock row.
  std::string Figures(const std::string& branch, const std::string& product = kProductPlain,
                      const std::string& warehouse = kWarehouseGeneral) {
    const std::vector<double> f = Stock(branch, product, warehouse);
    return f.empty() ? "none" : NumberText(f[0]) + " @ " + NumberText(f[1]);
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
  auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-1", "SL-7", "envío");
  MovementHeader h = given_;
  EXPECT_FALSE(Add(*m, kProductPlain, 5000));  // beyond stock
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento(), h);
  ASSERT_TRUE(Add(*m, kProductPlain, 5));
  ASSERT_TRUE(Add(*m, kProductPlain, 5));
  h.Folio = m->Obtener_Encabezado_Movimiento().Folio;
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento(), h);  // the rest as it was given
  EXPECT_EQ(Rows("Mv_Folio = '" + h.Folio + "'"), 2);
  auto other = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-1");
  ASSERT_TRUE(Add(*other, kProductPlain, 1));
  // Folios are "MV" and the next number of one counter.
  EXPECT_EQ(other->Obtener_Encabezado_Movimiento().Folio,
            "MV" + FormatZeros(std::stod(h.Folio.substr(2)) + 1, "00000000"));
  m->Nuevo_Movimiento();
  EXPECT_EQ(m->Obtener_Encabezado_Movimiento().Folio, "");
}

TEST_F(InventoryMovementTest, DetailsStayPendingUntilFinalisedAllOrNothing) {
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-3");
  auto entry = Open(kBranchNorth, kTransitWarehouse, kKindEntryTransit, "T-3");
  auto late = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-4");
  ASSERT_TRUE(Add(*issue, kProductPlain, 50));
  EXPECT_EQ(issue->Obtener_Costo_Detalle(), "2.5");
  ASSERT_TRUE(Add(*entry, kProductPlain, 50, 2.5));
  ASSERT_TRUE(Add(*late, kProductPlain, 30));  // other documents' pending rows do not count
  ASSERT_TRUE(Add(*late, kProductPlain, 140));
  // The component counts them by the upper-case table it passes to cancel.
  EXPECT_EQ(Rows("Mv_Tabla = 'TRANSFERENCIA' AND Mv_Documento = 'T-3' AND Mv_Aplicado = 0 AND "
                 "Es_Cve_Estado = 'AC'"),
            2);
  EXPECT_EQ(Figures(kCedis), "200 @ 2.5");
  ASSERT_TRUE(Finish(*issue));
  EXPECT_EQ(Figures(kBranchNorth, kProductPlain, kTransitWarehouse), "none");  // still pending
  ASSERT_TRUE(Finish(*issue));  // applies nothing twice
  EXPECT_EQ(Figures(kCedis), "150 @ 2.5");
  ASSERT_TRUE(Finish(*entry));
  EXPECT_EQ(Figures(kBranchNorth, kProductPlain, kTransitWarehouse), "50 @ 2.5");
  // Stock no longer covers T-4: none of its lines is applied.
  const std::string folio = late->Obtener_Encabezado_Movimiento().Folio;
  EXPECT_FALSE(late->Finalizar_Movimiento(folio));
  EXPECT_EQ(late->Obtener_Mensaje_Error(), "No es posible finalizar el movimiento: " + folio +
                                               "\r\n" + Short(kProductPlain, kCedis, 120, 140));
  EXPECT_EQ(Figures(kCedis), "150 @ 2.5");
  EXPECT_EQ(Rows("Mv_Folio = '" + folio + "' AND Mv_Aplicado = 0"), 2);
}

// Sugar at the north branch, which holds none at first: a first entry of
// nothing still sets the average; cancelling a dear entry out of what is left
// cannot make it negative.
TEST_F(InventoryMovementTest, AverageCostFollowsEachAppliedMovement) {
  const struct {
    const char* kind;
    double quantity, cost, on_hand, average;
  } steps[] = {
      {kKindEntryTransfer, 0, 7, 0, 7},   {kKindEntryTransfer, 10, 5, 10, 5},
      {kKindEntryTransfer, 30, 9, 40, 8}, {kKindIssueTransfer, 20, 0, 20, 8},
      {kKindEntryTransfer, 20, 2, 40, 5}, {kKindIssueTransfer, 40, 0, 0, 5},
      {kKindEntryTransfer, 10, 1, 10, 1}, {kKindEntryTransfer, 10, 9, 20, 5},
      {kKindIssueTransfer, 5, 0, 15, 5},
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(++n);
    auto m = Open(kBranchNorth, kWarehouseGeneral, s.kind, "D-" + std::to_string(n));
    const std::vector<double> before = Stock(kBranchNorth, "AZUCAR");
    ASSERT_TRUE(Add(*m, "AZUCAR", s.quantity, s.cost)) << m->Obtener_Mensaje_Error();
    // An issue leaves at the average cost, as a number text; an entry at its own.
    EXPECT_EQ(m->Obtener_Costo_Detalle(),
              NumberText(s.kind == std::string(kKindIssueTransfer) ? before[1] : s.cost));
    ASSERT_TRUE(Finish(*m));
    EXPECT_EQ(Figures(kBranchNorth, "AZUCAR"),
              NumberText(s.on_hand) + " @ " + NumberText(s.average));
  }
  auto stock = Make<IInventoryServices>(kClsidInventoryServices);
  ASSERT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "D-8"))
      << stock->Obtener_Mensaje_Error();
  EXPECT_EQ(Figures(kBranchNorth, "AZUCAR"), "5 @ 0");  // not (75 - 90) / 5
}

TEST_F(InventoryMovementTest, WarehouseCodesKindsAndRefusals) {
  // The general warehouse keeps no sizes or colours: any code counts as "00".
  auto m = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-5");
  ASSERT_TRUE(Add(*m, kProductPlain, 10, 0, "", ""));
  ASSERT_TRUE(Finish(*m));
  EXPECT_EQ(Figures(kCedis), "190 @ 2.5");
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

  // A kind without its row takes its direction from the parameters.
  Db()->Exec("DELETE FROM Tipo_Movimiento");
  Move(kCedis, kKindIssueTransfer, "T-7", kProductPlain, 20);
  EXPECT_EQ(Figures(kCedis), "170 @ 2.5");
  // Beyond stock (here none) when its parameter allows, and then at no cost.
  SetParameter(*Db(), "INV_PERMITIR_EXISTENCIA_NEGATIVA", "1");
  auto none = Open(kBranchSouth, kWarehouseGeneral, kKindIssueTransfer, "T-8");
  ASSERT_TRUE(Add(*none, kProductType4, 2)) << none->Obtener_Mensaje_Error();
  EXPECT_EQ(none->Obtener_Costo_Detalle(), "0");
}

TEST_F(InventoryMovementTest, CancelUndoesNewestFirstAndDiscardsPendingRows) {
  // T-10: the issue at the centre applied, the transit entry still pending.
  auto issue = Open(kCedis, kWarehouseGeneral, kKindIssueTransfer, "T-10");
  auto transit = Open(kBranchNorth, kTransitWarehouse, kKindEntryTransit, "T-10");
  ASSERT_TRUE(Add(*issue, kProductPlain, 50));
  ASSERT_TRUE(Add(*transit, kProductPlain, 50, 2.5));
  ASSERT_TRUE(Finish(*issue));
  // North: 40 at 2.4 + 10 at 4.9 = 50 at 2.9, and all 50 leave; undoing the
  // entry before the issue would leave -10 and be refused.
  Move(kBranchNorth, kKindEntryTransfer, "T-10", kProductPlain, 10, 4.9);
  Move(kBranchNorth, kKindIssueTransfer, "T-10", kProductPlain, 50);
  Move(kCedis, kKindEntryTransfer, "OTRO", kProductPlain, 50, 4.5);
  EXPECT_EQ(Figures(kCedis), "200 @ 3");
  auto stock = Make<IInventoryServices>(kClsidInventoryServices);
  ASSERT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-10"))
      << stock->Obtener_Mensaje_Error();
  // The 50 come back at the 2.5 they left with: (200 x 3 + 50 x 2.5) / 250.
  EXPECT_EQ(Figures(kCedis), "250 @ 2.9");
  // The 50 come back at 2.9, the 10 at 4.9 leave again: (50 x 2.9 - 10 x 4.9) / 40.
  EXPECT_EQ(Figures(kBranchNorth), "40 @ 2.4");
  EXPECT_EQ(Rows("Mv_Documento = 'T-10' AND Es_Cve_Estado = 'CA'"), 4);
  // The discarded side finalised afterwards moves nothing; nothing is left to undo.
  ASSERT_TRUE(Finish(*transit));
  EXPECT_EQ(Figures(kBranchNorth, kProductPlain, kTransitWarehouse), "none");
  EXPECT_TRUE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-10"));
  EXPECT_EQ(Figures(kCedis), "250 @ 2.9");

  // Refused when the goods brought in have left again.
  Move(kBranchNorth, kKindEntryTransfer, "T-11", "AZUCAR", 10, 5);
  Move(kBranchNorth, kKindIssueTransfer, "T-12", "AZUCAR", 8);
  EXPECT_FALSE(stock->Cancelar_Movimientos_Documento("TRANSFERENCIA", "T-11"));
  EXPECT_EQ(stock->Obtener_Mensaje_Error(),
            "No es posible cancelar los movimientos del documento: TRANSFERENCIA T-11\r\n" +
                Short("AZUCAR", kBranchNorth, 2, 10));
  EXPECT_EQ(Figures(kBranchNorth, "AZUCAR"), "2 @ 5");
  EXPECT_EQ(Rows("Mv_Documento = 'T-11' AND Es_Cve_Estado = 'AC'"), 1);
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
  const std::vector<double> start = Stock(kCedis, kProductPlain);
  auto inv = Make<IInventoryServices>(kClsidInventoryServices);
  const auto adjust = [&](double q) {
    ASSERT_TRUE(
        inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "00", "00", q, q / 12));
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(++n);
    Move(kCedis, s.kind, "IDA", kProductPlain, s.quantity, s.cost);
    adjust(s.quantity);
    const std::vector<double> f = Stock(kCedis, kProductPlain);
    EXPECT_EQ(f[0], s.on_hand);
    for (double figure : f)  // every figure is kept to six decimals
      EXPECT_EQ(std::round(figure * 1e6) / 1e6, figure) << NumberText(figure);
  }
  for (const auto& s : steps) adjust(-s.quantity);
  ASSERT_TRUE(inv->Cancelar_Movimientos_Documento("TRANSFERENCIA", "IDA"))
      << inv->Obtener_Mensaje_Error();
  EXPECT_EQ(Stock(kCedis, kProductPlain), start);
}

TEST_F(InventoryMovementTest, WarehouseCapabilitiesProductTypesAndAvailableStock) {
  auto inv = Make<IInventoryServices>(kClsidInventoryServices);
  // Whether each keeps sizes, colours, lots and serials ("OBS" is deactivated).
  std::string kept;
  for (const auto& [branch, warehouse] :
       {std::pair(kCedis, kWarehouseGeneral), std::pair(kCedis, kWarehouseApparel),
        std::pair(kBranchSouth, kWarehouseSerials), std::pair(kBranchNorth, kTransitWarehouse),
        std::pair(kBranchNorth, "OBS")}) {
    for (bool yes : {inv->Maneja_Talla(branch, warehouse), inv->Maneja_Color(branch, warehouse),
                     inv->Maneja_Lote(branch, warehouse), inv->Maneja_Serie(branch, warehouse)})
      kept += yes ? "1" : "0";
    kept += " ";
  }
  EXPECT_EQ(kept, "0000 1100 0001 1111 0000 ");
  std::string types;
  for (const char* product :
       {kProductPlain, kProductLot, kProductSerial, kProductType4, kProductService, "NO-EXISTE"})
    types += inv->Obtener_Tipo_Producto(product) + " ";
  EXPECT_EQ(types, "01 02 03 04 99  ");

  // Available is on hand plus the adjustment.
  const auto adjust = [&](const char* branch, const char* warehouse, const char* product,
                          const char* size, const char* colour, double q) {
    return inv->Ajustar_Existencia(branch, warehouse, product, size, colour, q, q / 12);
  };
  const auto available = [&](const char* branch, const char* pattern, const char* product,
                             const char* size = "00", const char* colour = "00", int32_t unit = 1) {
    return inv->Obtener_Existencia(branch, pattern, product, size, colour, unit, "");
  };
  // The sample commits 100 of the 200 on hand: 200 / 12 and 100 / 12 in the
  // second unit, each kept to six decimals.
  EXPECT_EQ(available(kCedis, kWarehouseGeneral, kProductPlain, "00", "00", 2),
            16.666667 - 8.333333);
  // A request commits 30 more, leaving on hand as it is.
  ASSERT_TRUE(adjust(kCedis, kWarehouseGeneral, kProductPlain, "", "", -30));
  EXPECT_EQ(inv->Obtener_Mensaje_Error(), "");
  EXPECT_EQ(Figures(kCedis), "200 @ 2.5");
  EXPECT_EQ(available(kCedis, "%", kProductPlain), 70);
  EXPECT_FALSE(adjust(kCedis, "NINGUNO", kProductPlain, "00", "00", 1));
  EXPECT_NE(inv->Obtener_Mensaje_Error().find("NINGUNO"), std::string::npos);
  // The general warehouse keeps no sizes: its adjustment counts under "00".
  ASSERT_TRUE(adjust(kBranchSouth, kWarehouseGeneral, kProductApparel, "MD", "BCO", -4));
  ASSERT_TRUE(adjust(kBranchSouth, kWarehouseApparel, kProductApparel, "MD", "BCO", 10));
  EXPECT_EQ(available(kBranchSouth, "%", kProductApparel), -4);
  EXPECT_EQ(available(kBranchSouth, "%", kProductApparel, "MD", "BCO"), 10);
  EXPECT_EQ(available(kBranchNorth, "%", kProductApparel, "MD", "BCO"), 0);
  // Summed over warehouses, the answer keeps the figures' precision.
  ASSERT_TRUE(adjust(kBranchSouth, kWarehouseGeneral, "AZUCAR", "", "", 0.1));
  ASSERT_TRUE(adjust(kBranchSouth, kWarehouseSerials, "AZUCAR", "", "", 0.2));
  EXPECT_EQ(available(kBranchSouth, "%", "AZUCAR"), 0.3);
}

}  // namespace
}  // namespace qbx::suite::test
