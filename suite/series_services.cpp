// SeriesServices of the embedded suite: serial numbers registered against the
// document line that moves them (table Serie_Registro) and the fiscal-deposit
// register (table Deposito_Fiscal).
//
// Each registration records where the serial leaves from and where it goes.
// Where a serial is now is the destination of its newest registration that
// still counts: one of the opening document, or one whose transfer line is
// not cancelled. Cancelling a transfer never calls this service, so nothing
// here is rewritten then; the registration simply stops counting.
#include <string>

#include "automation/value.h"
#include "services/registration_services.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/dialect.h"
#include "suite/inventory_store.h"
#include "suite/services.h"

namespace qbx::suite {

namespace {

using inv::Refusal;

class SeriesServices final : public com::Object<SeriesServices, ISeriesServices> {
 public:
  SeriesServices() : Object(&SuiteModule()), db_(Database::ForThread()) {}

  bool Registrar_Serie_Deposito_Fiscal(const std::string& product, const std::string& serial,
                                       const std::string& customs_entry, const Date& customs_date,
                                       const Variant& cost, int32_t, bool, int32_t,
                                       const std::string&, const std::string&, const std::string&,
                                       const Variant&, const Variant&, double, double) override {
    error_.clear();
    if (product.empty()) return Fail("No se especificó el producto de la serie");
    if (serial.empty()) return Fail("Debe especificar la serie del producto: " + product);
    const double unit_cost = cost.IsNull() || cost.IsEmpty() ? 0.0 : cost.ToDouble();
    static const DialectSql kInsertDepositoFiscal(
        "INSERT INTO Deposito_Fiscal (Df_Tipo, Pr_Cve_Producto, Df_Clave, Df_Pedimento, "
        "Df_Fecha_Pedimento, Df_Costo, Oper_Alta, Fecha_Alta) "
        "VALUES ('SERIE', ?, ?, ?, ?, ?, ?, {now})");
    db_->Prepare(kInsertDepositoFiscal.For(db_->dialect()))
        .Bind({product, serial, customs_entry, customs_date, unit_cost,
               CurrentConfig().operator_code})
        .Run();
    return true;
  }

  bool Registrar_Serie(const std::string& kind, const std::string& folio,
                       const std::string& line_id, const std::string& product,
                       const std::string& size, const std::string& colour,
                       const std::string& serial, const std::string& customs_entry,
                       const Date& customs_date, int16_t quantity) override {
    error_.clear();
    try {
      // Checked and written in one transaction, so that two registrations of
      // one serial cannot both pass the check.
      db_->Transaction([&] {
        if (!inv::SameCode(kind, inv::kKindTransfer)) {
          inv::Refuse("El documento: " + kind + ", no está programado para registrar series");
        }
        if (serial.empty()) inv::Refuse("Debe especificar la serie del producto: " + product);
        inv::TransferLine line = inv::ReadTransferLine(*db_, folio, line_id);
        if (!line.exists) {
          inv::Refuse("No se encuentra el renglón: " + line_id + " de la transferencia: " + folio);
        }
        inv::Route route = inv::TransferRoute(*db_, line, folio);
        Location at = Where(product, serial);
        if (!at.found) {
          inv::Refuse("La serie: " + serial + " del producto: " + product + ", no existe");
        }
        if (!inv::SameCode(at.branch, route.from_branch) ||
            !inv::SameCode(at.warehouse, route.from_warehouse)) {
          inv::Refuse("La serie: " + serial + " del producto: " + product +
                      ", no se encuentra en el almacén: " + route.from_warehouse +
                      " de la sucursal: " + route.from_branch + " (está en el almacén: " +
                      at.warehouse + " de la sucursal: " + at.branch + ")");
        }
        static const DialectSql kInsertSerieRegistro(
            "INSERT INTO Serie_Registro (Sr_Tabla, Sr_Folio, Sr_ID, Pr_Cve_Producto, "
            "Tl_Cve_Talla, Cl_Cve_Color, Sr_Cve_Serie, Sr_Pedimento, Sr_Fecha_Pedimento, "
            "Sr_Cantidad, Sr_Sucursal_Origen, Sr_Almacen_Origen, Sr_Sucursal_Destino, "
            "Sr_Almacen_Destino, Oper_Alta, Fecha_Alta) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, {now})");
        db_->Prepare(kInsertSerieRegistro.For(db_->dialect()))
            .Bind({std::string(inv::kKindTransfer), folio, line_id, product, size, colour, serial,
                   customs_entry, customs_date, static_cast<int32_t>(quantity), route.from_branch,
                   route.from_warehouse, route.to_branch, route.to_warehouse,
                   CurrentConfig().operator_code})
            .Run();
      });
    } catch (const Refusal& r) {
      return Fail(r.what());
    }
    return true;
  }

  std::string Obtener_Mensaje_Error() override { return error_; }

 private:
  struct Location {
    bool found = false;
    std::string branch, warehouse;
  };

  // The newest registration of the serial that still counts.
  Location Where(const std::string& product, const std::string& serial) {
    Query query(*db_,
                "SELECT s.Sr_Sucursal_Destino, s.Sr_Almacen_Destino FROM Serie_Registro s "
                "WHERE s.Pr_Cve_Producto = ? AND s.Sr_Cve_Serie = ? AND s.Es_Cve_Estado <> 'CA' "
                "AND (s.Sr_Tabla <> 'TRANSFERENCIA' OR EXISTS (SELECT 1 FROM Transferencia t "
                "WHERE t.Tr_Folio = s.Sr_Folio AND t.Tr_ID = s.Sr_ID AND t.Es_Cve_Estado <> 'CA')) "
                "ORDER BY s.Sr_Registro DESC LIMIT 1",
                {product, serial});
    if (!query.Step()) return {};
    return {true, query.Text(0), query.Text(1)};
  }

  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  std::shared_ptr<Database> db_;
  std::string error_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreateSeriesServices() {
  return SeriesServices::Make();
}

}  // namespace qbx::suite
