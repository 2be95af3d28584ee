// PostingServices and VoucherServices on a real database: the accounting entry
// of a transfer, its cancellation, and the transport document's voucher.
#include <gtest/gtest.h>

#include <string>

#include "services/system_services.h"
#include "tests/suite/inventory_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

class InventoryPostingTest : public InventoryTest {
 protected:
  com::ComPtr<IPostingServices> Posting() { return Make<IPostingServices>(kClsidPostingServices); }
  double Entry(const std::string& folio, const std::string& column) {
    return Scalar("SELECT TOTAL(d." + column +
                      ") FROM Poliza p JOIN Poliza_Detalle d ON d.Po_Folio = p.Po_Folio "
                      "WHERE p.Po_Tabla = 'TRANSFERENCIA' AND p.Po_Documento = ? "
                      "AND p.Es_Cve_Estado <> 'CA'",
                  {folio})
        .ToDouble();
  }
  double AccountTotal(const std::string& folio, const std::string& account,
                      const std::string& column) {
    return Scalar("SELECT TOTAL(d." + column +
                      ") FROM Poliza p JOIN Poliza_Detalle d ON d.Po_Folio = p.Po_Folio "
                      "WHERE p.Po_Documento = ? AND d.Po_Cuenta = ?",
                  {folio, account})
        .ToDouble();
  }
};

TEST_F(InventoryPostingTest, TransfersArePostedWhenTheParameterSaysSo) {
  auto p = Posting();
  EXPECT_TRUE(p->Documento_Habilitado("TRANSFERENCIA"));  // the sample's setting
  SetParameter("CON_CONTABILIZAR_TRANSFERENCIAS", "0");
  EXPECT_FALSE(p->Documento_Habilitado("TRANSFERENCIA"));
  EXPECT_FALSE(p->Documento_Habilitado("FACTURA"));  // no parameter
}

TEST_F(InventoryPostingTest, ShipmentEntryIsBalancedPerAccount) {
  InsertTransferLine("EN-1", "0001", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductPlain,
                     10, 25.004);
  InsertTransferLine("EN-1", "0002", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductPlain,
                     5, 12.5);
  InsertTransferLine("EN-1", "0003", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductType4,
                     2, 240);
  InsertTransferLine("EN-1", "0004", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductService,
                     1, 0);

  auto p = Posting();
  ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", "EN-1", "EMP01"));
  EXPECT_EQ(p->Obtener_Mensaje_Error(), "");
  EXPECT_DOUBLE_EQ(Entry("EN-1", "Po_Cargo"), 277.5);
  EXPECT_DOUBLE_EQ(Entry("EN-1", "Po_Abono"), 277.5);
  // Goods in transit at the north branch against the centre's warehouse:
  // branch, warehouse and product accounts joined.
  EXPECT_DOUBLE_EQ(AccountTotal("EN-1", "115-01-002-115-02-5-115-03-001", "Po_Cargo"), 37.5);
  EXPECT_DOUBLE_EQ(AccountTotal("EN-1", "115-01-001-115-02-1-115-03-001", "Po_Abono"), 37.5);
  EXPECT_DOUBLE_EQ(AccountTotal("EN-1", "115-01-001-115-02-1-115-03-005", "Po_Abono"), 240);
  EXPECT_EQ(Scalar("SELECT Em_Cve_Empresa || '|' || Po_Cargos || '|' || Po_Abonos FROM Poliza "
                   "WHERE Po_Documento = 'EN-1'")
                .ToString(),
            "EMP01|277.5|277.5");

  // Asked again, it keeps the one entry.
  ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", "EN-1", "EMP01"));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Poliza WHERE Po_Documento = 'EN-1'").ToDouble(), 1);
}

TEST_F(InventoryPostingTest, ReceptionDebitsItsWarehouseAgainstTransit) {
  InsertTransferLine("RC-1", "0001", "RC", kBranchNorth, kWarehouseGeneral, "", kProductPlain, 4,
                     10);
  auto p = Posting();
  ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", "RC-1", "EMP01"));
  EXPECT_DOUBLE_EQ(AccountTotal("RC-1", "115-01-002-115-02-1-115-03-001", "Po_Cargo"), 10);
  EXPECT_DOUBLE_EQ(AccountTotal("RC-1", "115-01-002-115-02-5-115-03-001", "Po_Abono"), 10);
}

TEST_F(InventoryPostingTest, DocumentsWithoutGoodsGetNoEntry) {
  InsertTransferLine("SL-1", "0001", "SL", kBranchNorth, kWarehouseGeneral, kCedis, kProductPlain,
                     50, 125);
  InsertTransferLine("EN-0", "0001", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductService,
                     1, 0);
  auto p = Posting();
  EXPECT_TRUE(p->Generar_Documento("TRANSFERENCIA", "SL-1", "EMP01"));
  EXPECT_TRUE(p->Generar_Documento("TRANSFERENCIA", "EN-0", "EMP01"));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Poliza").ToDouble(), 0);

  EXPECT_FALSE(p->Generar_Documento("TRANSFERENCIA", "NO-EXISTE", "EMP01"));
  EXPECT_EQ(p->Obtener_Mensaje_Error(), "La transferencia: NO-EXISTE, no existe o está cancelada");
  EXPECT_FALSE(p->Generar_Documento("FACTURA", "F-1", "EMP01"));
  EXPECT_EQ(p->Obtener_Mensaje_Error(),
            "El documento: FACTURA, no está programado para "
            "contabilizarse");
}

TEST_F(InventoryPostingTest, CancellingReversesTheEntry) {
  InsertTransferLine("EN-1", "0001", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductPlain,
                     10, 25);
  auto p = Posting();
  auto data = Make<IDataServices>(kClsidDataServices);
  ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", "EN-1", "EMP01"));
  EXPECT_TRUE(data->Documento_Contabilizado("TRANSFERENCIA", "EN-1"));

  ASSERT_TRUE(p->Cancelar_Documento("TRANSFERENCIA", "EN-1"));
  EXPECT_EQ(Scalar("SELECT Es_Cve_Estado FROM Poliza WHERE Po_Documento = 'EN-1'").ToString(),
            "CA");
  EXPECT_FALSE(data->Documento_Contabilizado("TRANSFERENCIA", "EN-1"));
  EXPECT_DOUBLE_EQ(Entry("EN-1", "Po_Cargo"), 0);
  // Nothing left to reverse is no failure.
  EXPECT_TRUE(p->Cancelar_Documento("TRANSFERENCIA", "EN-1"));
  EXPECT_TRUE(p->Cancelar_Documento("TRANSFERENCIA", "NUNCA"));

  // A cancelled transfer is not posted again.
  CancelTransfer("EN-1");
  EXPECT_FALSE(p->Generar_Documento("TRANSFERENCIA", "EN-1", "EMP01"));
}

using InventoryVoucherTest = InventoryTest;

TEST_F(InventoryVoucherTest, CancelsTheLiveVoucherOfATransportDocument) {
  Exec(
      "INSERT INTO Comprobante_Digital (Cd_Tabla, Cd_Documento, Cd_UUID) VALUES "
      "('TRASLADO', 'TC-1', 'U-1'), ('FACTURA', 'TC-2', 'U-2')");
  auto v = Make<IVoucherServices>(kClsidVoucherServices);
  const std::string database = Db()->name();

  EXPECT_FALSE(v->Cancelar_Comprobante(database, 8, "TC-1"));
  EXPECT_EQ(v->Obtener_Mensaje_Error(), "El tipo de comprobante: 8, no está programado");
  EXPECT_FALSE(v->Cancelar_Comprobante("OTRA", 7, "TC-1"));
  EXPECT_EQ(v->Obtener_Mensaje_Error(),
            "La base de datos: OTRA, no corresponde a la de la suite: " + database);

  EXPECT_TRUE(v->Cancelar_Comprobante(database, 7, "TC-1"));
  EXPECT_EQ(
      Scalar("SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_UUID = 'U-1'").ToString(),
      "CA");
  EXPECT_FALSE(v->Cancelar_Comprobante(database, 7, "TC-1"));
  EXPECT_EQ(v->Obtener_Mensaje_Error(),
            "No existe un comprobante digital vigente del traslado: "
            "TC-1");
  // Only transport documents' vouchers.
  EXPECT_FALSE(v->Cancelar_Comprobante(database, 7, "TC-2"));
  EXPECT_EQ(
      Scalar("SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_UUID = 'U-2'").ToString(),
      "AC");
}

}  // namespace
}  // namespace qbx::suite::test
