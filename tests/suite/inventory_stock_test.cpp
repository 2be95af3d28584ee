// The stock object of InventoryServices on a real database: warehouse
// capabilities, product types and the availability figures.
#include <gtest/gtest.h>

#include <string>

#include "tests/suite/inventory_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

using InventoryStockTest = InventoryTest;

TEST_F(InventoryStockTest, WarehouseCapabilitiesComeFromTheCatalogue) {
  struct Case {
    const char* branch;
    const char* warehouse;
    bool size, colour, lot, serial;
  };
  const Case cases[] = {
      {kCedis, kWarehouseGeneral, false, false, false, false},
      {kCedis, kWarehouseApparel, true, true, false, false},
      {kBranchNorth, kWarehouseLots, false, false, true, false},
      {kBranchSouth, kWarehouseSerials, false, false, false, true},
      {kBranchNorth, kTransitWarehouse, true, true, true, true},
      {kBranchNorth, "OBS", false, false, false, false},  // deactivated
      {kCedis, "NINGUNO", false, false, false, false},
  };
  auto inv = Inventory();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.branch) + "/" + c.warehouse);
    EXPECT_EQ(inv->Maneja_Talla(c.branch, c.warehouse), c.size);
    EXPECT_EQ(inv->Maneja_Color(c.branch, c.warehouse), c.colour);
    EXPECT_EQ(inv->Maneja_Lote(c.branch, c.warehouse), c.lot);
    EXPECT_EQ(inv->Maneja_Serie(c.branch, c.warehouse), c.serial);
  }
}

TEST_F(InventoryStockTest, ProductTypeIsEmptyForAnUnknownProduct) {
  const std::pair<const char*, const char*> cases[] = {
      {kProductPlain, "01"}, {kProductLot, "02"},     {kProductSerial, "03"},
      {kProductType4, "04"}, {kProductService, "99"}, {"NO-EXISTE", ""},
  };
  auto inv = Inventory();
  for (const auto& [product, type] : cases) EXPECT_EQ(inv->Obtener_Tipo_Producto(product), type);
}

TEST_F(InventoryStockTest, AvailableIsOnHandPlusTheAdjustment) {
  auto inv = Inventory();
  auto available = [&](const std::string& pattern, int32_t unit = 1) {
    return inv->Obtener_Existencia(kCedis, pattern, kProductPlain, "00", "00", unit, "");
  };
  // The sample commits 100 of the 200 on hand to an earlier request.
  EXPECT_DOUBLE_EQ(available("%"), kCedisPlainOnHand - kCedisPlainCommitted);
  EXPECT_DOUBLE_EQ(available(kWarehouseGeneral), 100);
  EXPECT_DOUBLE_EQ(available("G%"), 100);
  EXPECT_DOUBLE_EQ(available(kWarehouseApparel), 0);
  EXPECT_NEAR(available("%", 2), 100.0 / 12, 1e-12);

  // A request commits 30 more; its shipment gives them back.
  ASSERT_TRUE(
      inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "00", "00", -30, -2.5));
  EXPECT_DOUBLE_EQ(available("%"), 70);
  ASSERT_TRUE(
      inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "00", "00", 30, 2.5));
  EXPECT_DOUBLE_EQ(available("%"), 100);

  StockFigures f = Stock(kCedis, kWarehouseGeneral, kProductPlain);
  EXPECT_DOUBLE_EQ(f.on_hand_1, 200);  // the adjustment never touches on hand
  EXPECT_DOUBLE_EQ(f.adjustment_1, -100);
}

TEST_F(InventoryStockTest, AvailableSumsTheMatchingWarehouses) {
  auto inv = Inventory();
  // Stock by size at the apparel warehouse, committed stock at the general one.
  ASSERT_TRUE(inv->Ajustar_Existencia(kBranchSouth, kWarehouseGeneral, kProductApparel, "MD", "BCO",
                                      -4, -4));
  ASSERT_TRUE(inv->Ajustar_Existencia(kBranchSouth, kWarehouseApparel, kProductApparel, "MD", "BCO",
                                      10, 10));
  EXPECT_DOUBLE_EQ(inv->Obtener_Existencia(kBranchSouth, "%", kProductApparel, "00", "00", 1, ""),
                   -4);
  EXPECT_DOUBLE_EQ(inv->Obtener_Existencia(kBranchSouth, "%", kProductApparel, "MD", "BCO", 1, ""),
                   10);
  EXPECT_DOUBLE_EQ(inv->Obtener_Existencia(kBranchNorth, "%", kProductApparel, "MD", "BCO", 1, ""),
                   0);
}

TEST_F(InventoryStockTest, AdjustingAnUnknownWarehouseIsRefused) {
  auto inv = Inventory();
  EXPECT_FALSE(inv->Ajustar_Existencia(kCedis, "NINGUNO", kProductPlain, "00", "00", 1, 1));
  EXPECT_EQ(inv->Obtener_Mensaje_Error(),
            "El almacén: NINGUNO, de la sucursal: CEDIS, no existe o está dado de baja");
  EXPECT_TRUE(inv->Ajustar_Existencia(kCedis, kWarehouseGeneral, kProductPlain, "", "", 1, 0));
  EXPECT_EQ(inv->Obtener_Mensaje_Error(), "");
}

TEST_F(InventoryStockTest, SampleStockMatchesItsDescription) {
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).on_hand_1, kCedisPlainOnHand);
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseGeneral, kProductPlain).average_cost, kCedisPlainCost);
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseLots, kProductLot).on_hand_1,
                   kLotAQuantity + kLotBQuantity);
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseSerials, kProductSerial).on_hand_1, kCedisSerials);
  EXPECT_DOUBLE_EQ(Stock(kCedis, kWarehouseApparel, kProductApparel, "GD", "NGO").on_hand_1,
                   kCedisApparelOnHand);
  // On hand equals the applied opening movements.
  EXPECT_DOUBLE_EQ(Scalar("SELECT TOTAL(Mv_Cantidad_1) FROM Movimiento WHERE Mv_Aplicado = 1 "
                          "AND Sc_Cve_Sucursal = ? AND Pr_Cve_Producto = ?",
                          {kCedis, kProductPlain})
                       .ToDouble(),
                   kCedisPlainOnHand);
  // The north branch's order cannot be covered from what is available.
  auto inv = Inventory();
  const double ordered = Scalar(
                             "SELECT SUM(Pd_Cantidad_Control_1) FROM Pedido WHERE "
                             "Pd_Folio = 'PED-0001' AND Pr_Cve_Producto = ?",
                             {kProductPlain})
                             .ToDouble();
  const double available = inv->Obtener_Existencia(kCedis, "%", kProductPlain, "00", "00", 1, "");
  EXPECT_LT(available, ordered);
  EXPECT_GE(kCedisPlainOnHand, ordered - available);  // the shortfall is on hand to ship
}

}  // namespace
}  // namespace qbx::suite::test
