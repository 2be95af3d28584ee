// Opening stock of the sample catalogue: applied opening entries (one movement
// document per warehouse, kind kKindOpening), the serial numbers and lots
// they bring in as registrations of the opening document, the movement kinds
// of the catalogue's parameters, the inventory parameters, and the stock
// already committed to an earlier request.
#include "suite/sample_stock.h"

#include <string>
#include <vector>

#include "automation/value.h"
#include "suite/database.h"
#include "suite/decimal.h"
#include "suite/dialect.h"
#include "suite/inventory_store.h"
#include "suite/sample.h"

namespace qbx::suite {

namespace {

constexpr const char* kOpeningDocument = "APERTURA";

struct Opening {
  const char* product;
  const char* size;
  const char* colour;
  double q1, q2, cost;
  const char* serial = "";
  const char* lot = "";
};

void MovementKinds(Database& db) {
  Statement& kinds = db.Prepare(
      "INSERT INTO Tipo_Movimiento (Tm_Cve_Tipo_Movimiento, Tm_Descripcion, "
      "Tm_Naturaleza) VALUES (?, ?, ?) ON CONFLICT DO NOTHING");
  kinds.Bind({sample::kKindOpening, "Inventario inicial", "E"}).Run();
  struct Named {
    const char* parameter;
    const char* description;
    const char* nature;
  };
  for (const Named& k : {Named{"MOV_SALIDA_TRANSFERENCIA", "Salida por transferencia", "S"},
                         Named{"MOV_SALIDA_TRANSITO", "Salida del almacén de tránsito", "S"},
                         Named{"MOV_ENTRADA_TRANSITO", "Entrada al almacén de tránsito", "E"},
                         Named{"MOV_ENTRADA_TRANSFERENCIA", "Entrada por transferencia", "E"}}) {
    std::optional<std::string> code = inv::ParameterText(db, k.parameter);
    if (code && !code->empty()) kinds.Bind({*code, k.description, k.nature}).Run();
  }
}

void Parameters(Database& db) {
  Statement& st = db.Prepare(
      "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo, Pa_Descripcion) "
      "VALUES (?, ?, 'B', ?) ON CONFLICT DO NOTHING");
  st.Bind({"CON_CONTABILIZAR_TRANSFERENCIAS", "1",
           "Generar la póliza contable de las transferencias"})
      .Run();
  st.Bind({"INV_PERMITIR_EXISTENCIA_NEGATIVA", "0",
           "Permitir salidas de inventario mayores a la existencia"})
      .Run();
}

// One applied opening document at a warehouse, with its registrations.
void Open(Database& db, const char* branch, const char* warehouse,
          const std::vector<Opening>& lines) {
  const std::string folio =
      "MV" + FormatZeros(static_cast<double>(inv::NextCounter(db, "MOVIMIENTO")), "00000000");
  static const DialectSql kInsertMovimiento(
      "INSERT INTO Movimiento (Mv_Folio, Mv_ID, Mv_Fecha, Mv_Tipo_Movimiento, Mv_Naturaleza, "
      "Mv_Tabla, Mv_Documento, Mv_Comentario, Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, "
      "Tl_Cve_Talla, Cl_Cve_Color, Mv_Cantidad_1, Mv_Cantidad_2, Mv_Costo, Mv_Importe, "
      "Sr_Cve_Serie, Lt_Cve_Lote, Mv_Aplicado, Fecha_Alta, Fecha_Aplicacion) "
      "VALUES (?, ?, {today}, ?, 'E', ?, ?, 'Inventario inicial', ?, ?, ?, ?, "
      "?, ?, ?, ?, ?, ?, ?, 1, {now}, {now})");
  Statement& movement = db.Prepare(kInsertMovimiento.For(db.dialect()));
  static const DialectSql kInsertSerieRegistro(
      "INSERT INTO Serie_Registro (Sr_Tabla, Sr_Folio, Sr_ID, Pr_Cve_Producto, Tl_Cve_Talla, "
      "Cl_Cve_Color, Sr_Cve_Serie, Sr_Cantidad, Sr_Sucursal_Destino, Sr_Almacen_Destino, "
      "Fecha_Alta) VALUES (?, ?, ?, ?, ?, ?, ?, 1, ?, ?, {now})");
  Statement& serial = db.Prepare(kInsertSerieRegistro.For(db.dialect()));
  static const DialectSql kInsertLoteRegistro(
      "INSERT INTO Lote_Registro (Lt_Tabla, Lt_Folio, Lt_ID, Pr_Cve_Producto, Tl_Cve_Talla, "
      "Cl_Cve_Color, Lt_Cve_Lote, Sc_Cve_Sucursal, Al_Cve_Almacen, Lt_Cantidad_1, "
      "Lt_Cantidad_2, Fecha_Alta) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
      "{now})");
  Statement& lot = db.Prepare(kInsertLoteRegistro.For(db.dialect()));
  int n = 0;
  for (const Opening& o : lines) {
    const std::string id = FormatZeros(++n, "0000");
    movement
        .Bind({folio, id, sample::kKindOpening, std::string(inv::kKindOpening), kOpeningDocument,
               branch, warehouse, o.product, o.size, o.colour, o.q1, o.q2, o.cost,
               Multiply(o.q1, o.cost), o.serial, o.lot})
        .Run();
    inv::ApplyToStock(db, {branch, warehouse, o.product, o.size, o.colour}, 'E', false, o.q1, o.q2,
                      o.cost, true);
    if (*o.serial) {
      serial
          .Bind({std::string(inv::kKindOpening), kOpeningDocument, folio + "-" + id, o.product,
                 o.size, o.colour, o.serial, branch, warehouse})
          .Run();
    }
    if (*o.lot) {
      lot.Bind({std::string(inv::kKindOpening), kOpeningDocument, folio + "-" + id, o.product,
                o.size, o.colour, o.lot, branch, warehouse, o.q1, o.q2})
          .Run();
    }
  }
}

}  // namespace

void CreateSampleStock(Database& db) {
  using namespace sample;
  db.Transaction([&] {
    Parameters(db);
    MovementKinds(db);

    Open(db, kCedis, kWarehouseGeneral,
         {{kProductPlain, "00", "00", kCedisPlainOnHand, kCedisPlainOnHand / 12, kCedisPlainCost},
          {kProductType4, "00", "00", kCedisKitOnHand, kCedisKitOnHand * 6, kCedisKitCost},
          {"AZUCAR", "00", "00", 500, 500000, 18}});
    std::vector<Opening> apparel;
    for (const char* size : {"CH", "MD", "GD"}) {
      for (const char* colour : {"BCO", "NGO", "AZL"}) {
        if (std::string(size) == "GD" && std::string(colour) == "AZL") continue;
        apparel.push_back({kProductApparel, size, colour, kCedisApparelOnHand, kCedisApparelOnHand,
                           kCedisApparelCost});
      }
    }
    Open(db, kCedis, kWarehouseApparel, apparel);
    Open(db, kCedis, kWarehouseLots,
         {{kProductLot, "00", "00", kLotAQuantity, kLotAQuantity * 24, kLotCost, "", kLotA},
          {kProductLot, "00", "00", kLotBQuantity, kLotBQuantity * 24, kLotCost, "", kLotB}});
    std::vector<Opening> serials;
    static const char* const kCodes[] = {"SN-0001", "SN-0002", "SN-0003", "SN-0004", "SN-0005"};
    static_assert(sizeof(kCodes) / sizeof(kCodes[0]) == kCedisSerials);
    for (const char* code : kCodes) {
      serials.push_back({kProductSerial, "00", "00", 1, 1, kSerialCost, code});
    }
    Open(db, kCedis, kWarehouseSerials, serials);

    Open(db, kBranchNorth, kWarehouseGeneral,
         {{kProductPlain, "00", "00", kNorthPlainOnHand, kNorthPlainOnHand / 12, 2.4},
          {kProductType4, "00", "00", 5, 30, 118}});
    Open(db, kBranchNorth, kWarehouseSerials,
         {{kProductSerial, "00", "00", 1, 1, kSerialCost, kSerialNorth}});
    Open(db, kBranchSouth, kWarehouseGeneral,
         {{kProductPlain, "00", "00", kSouthPlainOnHand, kSouthPlainOnHand / 12, 2.6}});

    // Committed to an earlier request of a branch: on hand, not available.
    db.Prepare(
          "UPDATE Existencia SET Ex_Ajuste_1 = ?, Ex_Ajuste_2 = ? WHERE Sc_Cve_Sucursal = ? "
          "AND Al_Cve_Almacen = ? AND Pr_Cve_Producto = ? AND Tl_Cve_Talla = '00' "
          "AND Cl_Cve_Color = '00'")
        .Bind({StockFigure(-kCedisPlainCommitted), StockFigure(-kCedisPlainCommitted / 12), kCedis,
               kWarehouseGeneral, kProductPlain})
        .Run();
  });
}

}  // namespace qbx::suite
