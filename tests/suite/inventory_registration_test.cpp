// SeriesServices, LotServices, PostingServices and VoucherServices on a real
// database: registrations against transfer lines and their refusals, where
// serials and lots are once a transfer is cancelled, the accounting entry of
// a transfer, and the transport document's voucher.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "services/registration_services.h"
#include "services/system_services.h"
#include "suite/reports.h"
#include "suite/sample.h"
#include "suite/sample_stock.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

using namespace sample;

class InventoryRegistrationTest : public SuiteTest {
 protected:
  // A row of table Transferencia, as the component stores it before it
  // registers the line's serial number or lot or posts the transfer.
  void Line(const std::string& folio, const char* type, const char* branch, const char* warehouse,
            const char* receiving_branch, const char* product, double quantity = 1,
            double amount = 0, const std::string& id = "0001") {
    Db()->Run(
        "INSERT INTO Transferencia (Tr_Folio, Tr_ID, Tr_Fecha, Tr_Tipo, Sc_Cve_Sucursal, "
        "Al_Cve_Almacen, Sc_Cve_Sucursal_Recibe, Al_Cve_Almacen_Recibe, Pr_Cve_Producto, "
        "Tl_Cve_Talla, Cl_Cve_Color, Tr_Cantidad_Control_1, Tr_Importe_Costo) "
        "VALUES (?, ?, '2026-03-05', ?, ?, ?, ?, '', ?, '00', '00', ?, ?)",
        {folio, id, type, branch, warehouse, receiving_branch, product, quantity, amount});
  }
  void CancelTransfer(const std::string& folio) {
    Db()->Run("UPDATE Transferencia SET Es_Cve_Estado = 'CA' WHERE Tr_Folio = ?1", {folio});
  }
  // Registers the serial or lot of line 0001 of a transfer; "" when
  // accepted, else the refusal text.
  std::string Serial(const std::string& folio, const std::string& serial) {
    auto s = Make<ISeriesServices>(kClsidSeriesServices);
    if (s->Registrar_Serie("TRANSFERENCIA", folio, "0001", kProductSerial, "00", "00", serial, "",
                           Date(), 1))
      return "";
    return s->Obtener_Mensaje_Error();
  }
  std::string Lot(const std::string& folio, const std::string& lot, double quantity) {
    auto l = Make<ILotServices>(kClsidLotServices);
    if (l->Registrar_Lote("TRANSFERENCIA", folio, "0001", kProductLot, "00", "00", lot, quantity,
                          quantity * 24))
      return "";
    return l->Obtener_Mensaje_Error();
  }
  // Quantity of the lot held at a warehouse, counting live transfers only.
  double Held(const char* branch, const char* warehouse, const std::string& lot) {
    return Value(
               "SELECT TOTAL(r.Lt_Cantidad_1) FROM Lote_Registro r WHERE r.Lt_Cve_Lote = ?1 AND "
               "r.Sc_Cve_Sucursal = ?2 AND r.Al_Cve_Almacen = ?3 AND (r.Lt_Tabla <> "
               "'TRANSFERENCIA' OR EXISTS (SELECT 1 FROM Transferencia t WHERE t.Tr_Folio = "
               "r.Lt_Folio AND t.Tr_ID = r.Lt_ID AND t.Es_Cve_Estado <> 'CA'))",
               {lot, branch, warehouse})
        .ToDouble();
  }
  // The live accounting entry of a transfer: company, total debits and
  // credits, then each line's account (or not), debit and credit.
  std::string Entries(const std::string& folio, bool accounts = true) {
    auto db = Db();
    Query q(
        *db,
        "SELECT p.Em_Cve_Empresa, p.Po_Cargos, p.Po_Abonos, d.Po_Cuenta, d.Po_Cargo, d.Po_Abono "
        "FROM Poliza p JOIN Poliza_Detalle d ON d.Po_Folio = p.Po_Folio WHERE p.Po_Tabla = "
        "'TRANSFERENCIA' AND p.Po_Documento = ?1 AND p.Es_Cve_Estado <> 'CA' ORDER BY "
        "d.Po_Renglon",
        {folio});
    const auto amounts = [&](int at) {
      return NumberText(q.Number(at)) + " " + NumberText(q.Number(at + 1));
    };
    std::string text;
    while (q.Step()) {
      if (text.empty()) text = q.Text(0) + " " + amounts(1);
      text += (accounts ? "\n" + q.Text(3) + " " : "; ") + amounts(4);
    }
    return text;
  }
};

TEST_F(InventoryRegistrationTest, SerialRefusalsAndWhereItIsUntilATransferIsCancelled) {
  Line("EN-1", "EN", kCedis, kWarehouseSerials, kBranchNorth, kProductSerial);
  Line("EN-2", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductSerial);
  Line("SL-1", "SL", kBranchNorth, kWarehouseGeneral, kCedis, kProductSerial);
  const struct {
    const char *folio, *serial, *message;
  } cases[] = {
      {"EN-1", "SN-9999", "La serie: SN-9999 del producto: LAPTOP-01, no existe"},
      {"EN-2", "SN-0001",
       "La serie: SN-0001 del producto: LAPTOP-01, no se encuentra en el almacén: GRL de la "
       "sucursal: CEDIS (está en el almacén: SER de la sucursal: CEDIS)"},
      {"EN-3", "SN-0001", "No se encuentra el renglón: 0001 de la transferencia: EN-3"},
      {"SL-1", "SN-0001", "La transferencia: SL-1 de tipo SL no mueve mercancía"},
      {"EN-1", "", "Debe especificar la serie del producto: LAPTOP-01"},
  };
  for (const auto& c : cases) EXPECT_EQ(Serial(c.folio, c.serial), c.message);
  EXPECT_EQ(Value("SELECT COUNT(*) FROM Serie_Registro WHERE Sr_Tabla = 'TRANSFERENCIA'"),
            Variant(int32_t{0}));
  ASSERT_EQ(Serial("EN-1", "SN-0002"), "");
  // It left the centre: a second shipment of it is refused.
  Line("EN-4", "EN", kCedis, kWarehouseSerials, kBranchNorth, kProductSerial);
  EXPECT_EQ(Serial("EN-4", "SN-0002"),
            "La serie: SN-0002 del producto: LAPTOP-01, no se encuentra en el almacén: SER de "
            "la sucursal: CEDIS (está en el almacén: TR de la sucursal: NORTE)");
  // The north branch receives it from transit.
  Line("RC-1", "RC", kBranchNorth, kWarehouseSerials, "", kProductSerial);
  ASSERT_EQ(Serial("RC-1", "SN-0002"), "");
  // Cancelling the reception puts it back in transit; cancelling the
  // shipment too puts it back at the centre, so EN-4 can ship it.
  CancelTransfer("RC-1");
  Line("RC-2", "RC", kBranchNorth, kWarehouseSerials, "", kProductSerial);
  CancelTransfer("EN-1");
  EXPECT_EQ(Serial("RC-2", "SN-0002"),
            "La serie: SN-0002 del producto: LAPTOP-01, no se encuentra en el almacén: TR de la "
            "sucursal: NORTE (está en el almacén: SER de la sucursal: CEDIS)");
  EXPECT_EQ(Serial("EN-4", "SN-0002"), "");
}

TEST_F(InventoryRegistrationTest, LotRefusalsAndHoldings) {
  for (const char* folio : {"EN-1", "EN-2", "EN-3", "EN-4"})
    Line(folio, "EN", kCedis, kWarehouseLots, kBranchNorth, kProductLot);
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

  // A reception takes the lot out of transit.
  ASSERT_EQ(Lot("EN-4", kLotB, 5), "");
  Line("RC-1", "RC", kBranchNorth, kWarehouseLots, "", kProductLot);
  ASSERT_EQ(Lot("RC-1", kLotB, 5), "");
  EXPECT_DOUBLE_EQ(Held(kBranchNorth, kWarehouseLots, kLotB), 5);
  EXPECT_DOUBLE_EQ(Held(kBranchNorth, kTransitWarehouse, kLotB), 0);
}

TEST_F(InventoryRegistrationTest, FiscalDepositRegister) {
  auto s = Make<ISeriesServices>(kClsidSeriesServices);
  EXPECT_TRUE(s->Registrar_Serie_Deposito_Fiscal(kProductSerial, "SN-0003", "24 47 3807 4002117",
                                                 Date::FromCalendar(2026, 1, 10), 9500.0, 0, true,
                                                 0, "", "", "", int16_t{0}, int16_t{0}, 0, 0));
  auto l = Make<ILotServices>(kClsidLotServices);
  EXPECT_TRUE(l->Registrar_Lote_Deposito_Fiscal(kProductLot, "00", "00", kLotA, true, "", 0, ""));
  EXPECT_EQ(Value("SELECT COUNT(*) FROM Deposito_Fiscal WHERE (Df_Tipo = 'SERIE' AND Df_Clave = "
                  "'SN-0003' AND Df_Costo = 9500 AND Df_Pedimento = '24 47 3807 4002117') OR "
                  "(Df_Tipo = 'LOTE' AND Df_Clave = ?1)",
                  {kLotA}),
            Variant(int32_t{2}));
  // The register does not move the serial.
  Line("EN-1", "EN", kCedis, kWarehouseSerials, kBranchNorth, kProductSerial);
  EXPECT_EQ(Serial("EN-1", "SN-0003"), "");
}

TEST_F(InventoryRegistrationTest, EntriesOfShipmentsAndReceptionsAndTheirCancellation) {
  auto p = Make<IPostingServices>(kClsidPostingServices);
  EXPECT_TRUE(p->Documento_Habilitado("TRANSFERENCIA"));  // the sample's setting
  EXPECT_FALSE(p->Documento_Habilitado("FACTURA"));       // no parameter
  Line("EN-1", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductPlain, 10, 25.004, "0001");
  Line("EN-1", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductPlain, 5, 12.5, "0002");
  Line("EN-1", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductType4, 2, 240, "0003");
  Line("EN-1", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductService, 1, 0, "0004");
  // A return request and a shipment of services post nothing; asked again, a
  // document keeps its one entry.
  Line("SL-1", "SL", kBranchNorth, kWarehouseGeneral, kCedis, kProductPlain, 50, 125);
  Line("EN-0", "EN", kCedis, kWarehouseGeneral, kBranchNorth, kProductService);
  for (const char* folio : {"SL-1", "EN-0", "EN-1", "EN-1"})
    ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", folio, "EMP01")) << folio;
  EXPECT_EQ(p->Obtener_Mensaje_Error(), "");
  EXPECT_EQ(Value("SELECT COUNT(*) FROM Poliza"), Variant(int32_t{1}));
  // Goods in transit at the north branch against the centre's warehouse:
  // branch, warehouse and product accounts joined.
  EXPECT_EQ(Entries("EN-1"), R"(EMP01 277.5 277.5
115-01-002-115-02-5-115-03-001 37.5 0
115-01-002-115-02-5-115-03-005 240 0
115-01-001-115-02-1-115-03-001 0 37.5
115-01-001-115-02-1-115-03-005 0 240)");
  // A reception debits its warehouse against transit.
  Line("RC-1", "RC", kBranchNorth, kWarehouseGeneral, "", kProductPlain, 4, 10);
  ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", "RC-1", "EMP01"));
  EXPECT_EQ(Entries("RC-1"), R"(EMP01 10 10
115-01-002-115-02-1-115-03-001 10 0
115-01-002-115-02-5-115-03-001 0 10)");
  EXPECT_FALSE(p->Generar_Documento("TRANSFERENCIA", "NO-EXISTE", "EMP01"));
  EXPECT_EQ(p->Obtener_Mensaje_Error(), "La transferencia: NO-EXISTE, no existe o está cancelada");

  // Cancelling reverses the entry; nothing left to reverse is no failure.
  auto data = Make<IDataServices>(kClsidDataServices);
  EXPECT_TRUE(data->Documento_Contabilizado("TRANSFERENCIA", "EN-1"));
  ASSERT_TRUE(p->Cancelar_Documento("TRANSFERENCIA", "EN-1"));
  EXPECT_EQ(Value("SELECT Es_Cve_Estado FROM Poliza WHERE Po_Documento = 'EN-1'"), Variant("CA"));
  EXPECT_FALSE(data->Documento_Contabilizado("TRANSFERENCIA", "EN-1"));
  EXPECT_EQ(Entries("EN-1"), "");
  EXPECT_TRUE(p->Cancelar_Documento("TRANSFERENCIA", "EN-1"));
  // A cancelled transfer is not posted again.
  CancelTransfer("EN-1");
  EXPECT_FALSE(p->Generar_Documento("TRANSFERENCIA", "EN-1", "EMP01"));
  SetParameter(*Db(), "CON_CONTABILIZAR_TRANSFERENCIAS", "0");
  EXPECT_FALSE(p->Documento_Habilitado("TRANSFERENCIA"));
  // A suite without accounting entries has posted nothing.
  Db()->Exec("DROP TABLE Poliza");
  EXPECT_FALSE(data->Documento_Contabilizado("TRANSFERENCIA", "RC-1"));
}

TEST_F(InventoryRegistrationTest, ExactAmountsAreRoundedOncePerSide) {
  // Each receiving branch is its own goods-in-transit account.
  const char* const receivers[] = {kBranchNorth, kBranchSouth, kCedis};
  const struct {
    int rows;
    double amount;
    int receivers;  // the rows take turns over this many
    const char* entries;
  } cases[] = {
      {100, 0.025, 1, "EMP01 2.5 2.5; 2.5 0; 0 2.5"},
      {10000, Multiply(0.01, 2.5), 1, "EMP01 250 250; 250 0; 0 250"},
      {3, 1.0 / 3, 3, "EMP01 1 1; 0.34 0; 0.33 0; 0.33 0; 0 1"},
      {100, 0.0025, 1, "EMP01 0.25 0.25; 0.25 0; 0 0.25"},
      {3, -1.0 / 3, 3, "EMP01 1 1; 1 0; 0 0.34; 0 0.33; 0 0.33"},  // returned: the sides swap
      {1, 0.004, 1, ""},                                           // under half a cent: no entry
  };
  auto p = Make<IPostingServices>(kClsidPostingServices);
  int n = 0;
  for (const auto& c : cases) {
    const std::string folio = "EN-" + std::to_string(++n);
    SCOPED_TRACE(folio);
    Db()->Transaction([&] {
      for (int i = 0; i < c.rows; ++i)
        Line(folio, "EN", kCedis, kWarehouseGeneral, receivers[i % c.receivers], kProductPlain, 1,
             c.amount, FormatZeros(i + 1, "00000"));
    });
    ASSERT_TRUE(p->Generar_Documento("TRANSFERENCIA", folio, "EMP01"));
    EXPECT_EQ(Entries(folio, false), c.entries);
  }
}

TEST_F(InventoryRegistrationTest, VoucherOfATransportDocumentIsCancelledOnce) {
  RecordVoucher(*Db(), "TC-1", "U-1");
  Db()->Exec(
      "INSERT INTO Comprobante_Digital (Cd_Tabla, Cd_Documento, Cd_UUID) VALUES "
      "('FACTURA', 'TC-2', 'U-2')");
  auto v = Make<IVoucherServices>(kClsidVoucherServices);
  const std::string database = Db()->name();
  EXPECT_TRUE(v->Cancelar_Comprobante(database, 7, "TC-1"));
  EXPECT_FALSE(v->Cancelar_Comprobante(database, 7, "TC-1"));
  EXPECT_EQ(v->Obtener_Mensaje_Error(),
            "No existe un comprobante digital vigente del traslado: TC-1");
  EXPECT_FALSE(v->Cancelar_Comprobante(database, 7, "TC-2"));  // only transport documents'
  EXPECT_EQ(VoucherState(*Db(), "TC-1"), "CA");
  EXPECT_EQ(Value("SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_UUID = 'U-2'"),
            Variant("AC"));
}

}  // namespace
}  // namespace qbx::suite::test
