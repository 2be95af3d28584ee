// SeriesServices and LotServices on a real database: registrations against
// transfer lines, their refusals, and where serials and lots are once a
// transfer is cancelled.
#include <gtest/gtest.h>

#include <string>

#include "tests/suite/inventory_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

class InventoryRegistrationTest : public InventoryTest {
 protected:
  com::ComPtr<ISeriesServices> Series() { return Make<ISeriesServices>(kClsidSeriesServices); }
  com::ComPtr<ILotServices> Lots() { return Make<ILotServices>(kClsidLotServices); }

  // Registers the serial of line 0001 of a transfer; "" when accepted, else
  // the refusal text.
  std::string Serial(const std::string& folio, const std::string& serial,
                     const std::string& kind = "TRANSFERENCIA") {
    auto s = Series();
    if (s->Registrar_Serie(kind, folio, "0001", kProductSerial, "00", "00", serial, "", Date(),
                           1)) {
      return "";
    }
    return s->Obtener_Mensaje_Error();
  }
  std::string Lot(const std::string& folio, const std::string& lot, double quantity) {
    auto l = Lots();
    if (l->Registrar_Lote("TRANSFERENCIA", folio, "0001", kProductLot, "00", "00", lot, quantity,
                          quantity * 24)) {
      return "";
    }
    return l->Obtener_Mensaje_Error();
  }
  // A one-line shipment from the centre's warehouse to the north branch.
  void Shipment(const std::string& folio, const char* warehouse, const char* product) {
    InsertTransferLine(folio, "0001", "EN", kCedis, warehouse, kBranchNorth, product);
  }
  // A one-line reception into the north branch's warehouse.
  void Reception(const std::string& folio, const char* warehouse, const char* product) {
    InsertTransferLine(folio, "0001", "RC", kBranchNorth, warehouse, "", product);
  }
  double Held(const std::string& branch, const std::string& warehouse, const std::string& lot) {
    return Scalar(
               "SELECT TOTAL(r.Lt_Cantidad_1) FROM Lote_Registro r WHERE r.Lt_Cve_Lote = ? "
               "AND r.Sc_Cve_Sucursal = ? AND r.Al_Cve_Almacen = ? AND (r.Lt_Tabla <> "
               "'TRANSFERENCIA' OR EXISTS (SELECT 1 FROM Transferencia t WHERE t.Tr_Folio = "
               "r.Lt_Folio AND t.Tr_ID = r.Lt_ID AND t.Es_Cve_Estado <> 'CA'))",
               {lot, branch, warehouse})
        .ToDouble();
  }
};

TEST_F(InventoryRegistrationTest, SerialRefusals) {
  Shipment("EN-1", kWarehouseSerials, kProductSerial);
  Shipment("EN-2", kWarehouseGeneral, kProductSerial);
  InsertTransferLine("SL-1", "0001", "SL", kBranchNorth, kWarehouseGeneral, kCedis, kProductSerial);
  struct Case {
    const char* folio;
    const char* serial;
    const char* kind;
    const char* message;
  };
  const Case cases[] = {
      {"EN-1", "SN-9999", "TRANSFERENCIA", "La serie: SN-9999 del producto: LAPTOP-01, no existe"},
      {"EN-2", "SN-0001", "TRANSFERENCIA",
       "La serie: SN-0001 del producto: LAPTOP-01, no se encuentra en el almacén: GRL de la "
       "sucursal: CEDIS (está en el almacén: SER de la sucursal: CEDIS)"},
      {"EN-3", "SN-0001", "TRANSFERENCIA",
       "No se encuentra el renglón: 0001 de la transferencia: EN-3"},
      {"SL-1", "SN-0001", "TRANSFERENCIA", "La transferencia: SL-1 de tipo SL no mueve mercancía"},
      {"EN-1", "", "TRANSFERENCIA", "Debe especificar la serie del producto: LAPTOP-01"},
      {"EN-1", "SN-0001", "FACTURA",
       "El documento: FACTURA, no está programado para registrar series"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(Serial(c.folio, c.serial, c.kind), c.message);
  }
  EXPECT_EQ(
      Scalar("SELECT COUNT(*) FROM Serie_Registro WHERE Sr_Tabla = 'TRANSFERENCIA'").ToDouble(), 0);
}

TEST_F(InventoryRegistrationTest, SerialFollowsItsTransfersUntilOneIsCancelled) {
  Shipment("EN-1", kWarehouseSerials, kProductSerial);
  ASSERT_EQ(Serial("EN-1", "SN-0002"), "");
  // It left the centre: a second shipment of it is refused.
  Shipment("EN-2", kWarehouseSerials, kProductSerial);
  EXPECT_EQ(Serial("EN-2", "SN-0002"),
            "La serie: SN-0002 del producto: LAPTOP-01, no se encuentra en el almacén: SER de "
            "la sucursal: CEDIS (está en el almacén: TR de la sucursal: NORTE)");
  // The north branch receives it from transit.
  Reception("RC-1", kWarehouseSerials, kProductSerial);
  ASSERT_EQ(Serial("RC-1", "SN-0002"), "");

  // Cancelling the reception puts it back in transit; cancelling the
  // shipment too puts it back at the centre, so EN-2 can ship it.
  CancelTransfer("RC-1");
  Reception("RC-2", kWarehouseSerials, kProductSerial);
  CancelTransfer("EN-1");
  EXPECT_EQ(Serial("RC-2", "SN-0002"),
            "La serie: SN-0002 del producto: LAPTOP-01, no se encuentra en el almacén: TR de la "
            "sucursal: NORTE (está en el almacén: SER de la sucursal: CEDIS)");
  EXPECT_EQ(Serial("EN-2", "SN-0002"), "");
}

TEST_F(InventoryRegistrationTest, LotRefusalsAndHoldings) {
  Shipment("EN-1", kWarehouseLots, kProductLot);
  Shipment("EN-2", kWarehouseLots, kProductLot);
  Shipment("EN-3", kWarehouseLots, kProductLot);
  ASSERT_EQ(Lot("EN-1", kLotA, 12), "");
  EXPECT_DOUBLE_EQ(Held(kCedis, kWarehouseLots, kLotA), kLotAQuantity - 12);
  EXPECT_DOUBLE_EQ(Held(kBranchNorth, kTransitWarehouse, kLotA), 12);

  EXPECT_EQ(Lot("EN-2", kLotA, 18.5),
            "El lote: L-2401 del producto: MED-LOTE tiene 18 en el almacén: LOT de la sucursal: "
            "CEDIS, insuficiente para 18.5");
  EXPECT_EQ(Lot("EN-2", "L-0000", 1), "El lote: L-0000 del producto: MED-LOTE, no existe");
  EXPECT_EQ(Lot("EN-2", "", 1), "Debe especificar el lote del producto: MED-LOTE");
  EXPECT_EQ(Lot("EN-9", kLotA, 1), "No se encuentra el renglón: 0001 de la transferencia: EN-9");
  ASSERT_EQ(Lot("EN-2", kLotA, 18), "");  // exactly what is left
  EXPECT_DOUBLE_EQ(Held(kCedis, kWarehouseLots, kLotA), 0);

  // Cancelling EN-1 gives its 12 back to the centre, and only those.
  CancelTransfer("EN-1");
  EXPECT_DOUBLE_EQ(Held(kCedis, kWarehouseLots, kLotA), 12);
  EXPECT_DOUBLE_EQ(Held(kBranchNorth, kTransitWarehouse, kLotA), 18);
  ASSERT_EQ(Lot("EN-3", kLotA, 12), "");
  EXPECT_EQ(Lot("EN-3", kLotB, kLotBQuantity + 1),
            "El lote: L-2402 del producto: MED-LOTE tiene 20 en el almacén: LOT de la sucursal: "
            "CEDIS, insuficiente para 21");
}

TEST_F(InventoryRegistrationTest, ReceptionTakesTheLotOutOfTransit) {
  Shipment("EN-1", kWarehouseLots, kProductLot);
  ASSERT_EQ(Lot("EN-1", kLotB, 5), "");
  Reception("RC-1", kWarehouseLots, kProductLot);
  EXPECT_EQ(Lot("RC-1", kLotB, 6),
            "El lote: L-2402 del producto: MED-LOTE tiene 5 en el almacén: TR de la sucursal: "
            "NORTE, insuficiente para 6");
  ASSERT_EQ(Lot("RC-1", kLotB, 5), "");
  EXPECT_DOUBLE_EQ(Held(kBranchNorth, kWarehouseLots, kLotB), 5);
  EXPECT_DOUBLE_EQ(Held(kBranchNorth, kTransitWarehouse, kLotB), 0);
}

TEST_F(InventoryRegistrationTest, FiscalDepositRegister) {
  auto s = Series();
  EXPECT_TRUE(s->Registrar_Serie_Deposito_Fiscal(kProductSerial, "SN-0003", "24 47 3807 4002117",
                                                 Date::FromCalendar(2026, 1, 10), 9500.0, 0, true,
                                                 0, "", "", "", int16_t{0}, int16_t{0}, 0, 0));
  EXPECT_FALSE(s->Registrar_Serie_Deposito_Fiscal(kProductSerial, "", "", Date(), 0.0, 0, true, 0,
                                                  "", "", "", int16_t{0}, int16_t{0}, 0, 0));
  EXPECT_EQ(s->Obtener_Mensaje_Error(), "Debe especificar la serie del producto: LAPTOP-01");

  auto l = Lots();
  EXPECT_TRUE(l->Registrar_Lote_Deposito_Fiscal(kProductLot, "00", "00", kLotA, true, "", 0, ""));
  EXPECT_FALSE(l->Registrar_Lote_Deposito_Fiscal(kProductLot, "00", "00", "", true, "", 0, ""));
  EXPECT_EQ(l->Obtener_Mensaje_Error(), "Debe especificar el lote del producto: MED-LOTE");

  EXPECT_EQ(Scalar("SELECT Df_Pedimento || '|' || Df_Costo FROM Deposito_Fiscal WHERE "
                   "Df_Tipo = 'SERIE' AND Df_Clave = 'SN-0003'")
                .ToString(),
            "24 47 3807 4002117|9500.0");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Deposito_Fiscal WHERE Df_Tipo = 'LOTE' AND "
                   "Df_Clave = ?",
                   {kLotA})
                .ToDouble(),
            1);
  // The register does not move the serial.
  Shipment("EN-1", kWarehouseSerials, kProductSerial);
  EXPECT_EQ(Serial("EN-1", "SN-0003"), "");
}

}  // namespace
}  // namespace qbx::suite::test
