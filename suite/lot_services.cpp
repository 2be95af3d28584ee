// LotServices of the embedded suite: lots registered against the document line
// that moves them (table Lote_Registro) and the fiscal-deposit register (table
// Deposito_Fiscal).
//
// A move is two registration rows of the same line: the quantities taken out
// where the lot leaves from (negative) and put in where it goes (positive).
// What a lot holds at a warehouse is the sum of its rows there that still
// count: those of the opening document, and those whose transfer line is not
// cancelled. Cancelling a transfer never calls this service; its rows simply
// stop counting, so the holding is kept in one place only.
#include <cmath>
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

class LotServices final : public com::Object<LotServices, ILotServices> {
 public:
  LotServices() : Object(&SuiteModule()), db_(Database::ForThread()) {}

  bool Registrar_Lote_Deposito_Fiscal(const std::string& product, const std::string& size,
                                      const std::string& colour, const std::string& lot, bool,
                                      const std::string&, double, const std::string&) override {
    error_.clear();
    if (product.empty()) return Fail("No se especificó el producto del lote");
    if (lot.empty()) return Fail("Debe especificar el lote del producto: " + product);
    static const DialectSql kInsertDepositoFiscal(
        "INSERT INTO Deposito_Fiscal (Df_Tipo, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, "
        "Df_Clave, Oper_Alta, Fecha_Alta) "
        "VALUES ('LOTE', ?, ?, ?, ?, ?, {now})");
    db_->Prepare(kInsertDepositoFiscal.For(db_->dialect()))
        .Bind({product, size, colour, lot, CurrentConfig().operator_code})
        .Run();
    return true;
  }

  bool Registrar_Lote(const std::string& kind, const std::string& folio, const std::string& line_id,
                      const std::string& product, const std::string& size,
                      const std::string& colour, const std::string& lot, double quantity1,
                      double quantity2) override {
    error_.clear();
    try {
      // Checked and written in one transaction, so that two registrations
      // cannot both take the same quantity.
      db_->Transaction([&] {
        if (!inv::SameCode(kind, inv::kKindTransfer)) {
          inv::Refuse("El documento: " + kind + ", no está programado para registrar lotes");
        }
        if (lot.empty()) inv::Refuse("Debe especificar el lote del producto: " + product);
        if (!std::isfinite(quantity1) || !std::isfinite(quantity2) || quantity1 < 0 ||
            quantity2 < 0) {
          inv::Refuse("Las cantidades del lote: " + lot + " no pueden ser negativas");
        }
        inv::TransferLine line = inv::ReadTransferLine(*db_, folio, line_id);
        if (!line.exists) {
          inv::Refuse("No se encuentra el renglón: " + line_id + " de la transferencia: " + folio);
        }
        inv::Route route = inv::TransferRoute(*db_, line, folio);
        if (!Known(product, lot)) {
          inv::Refuse("El lote: " + lot + " del producto: " + product + ", no existe");
        }
        const double held =
            Holding(product, size, colour, lot, route.from_branch, route.from_warehouse);
        if (quantity1 > held + inv::kEpsilon && !inv::NegativeStockAllowed(*db_)) {
          inv::Refuse("El lote: " + lot + " del producto: " + product + " tiene " +
                      NumberText(held) + " en el almacén: " + route.from_warehouse +
                      " de la sucursal: " + route.from_branch + ", insuficiente para " +
                      NumberText(quantity1));
        }
        Insert(folio, line_id, product, size, colour, lot, route.from_branch, route.from_warehouse,
               -quantity1, -quantity2);
        Insert(folio, line_id, product, size, colour, lot, route.to_branch, route.to_warehouse,
               quantity1, quantity2);
      });
    } catch (const Refusal& r) {
      return Fail(r.what());
    }
    return true;
  }

  std::string Obtener_Mensaje_Error() override { return error_; }

 private:
  bool Known(const std::string& product, const std::string& lot) {
    return Query(*db_,
                 "SELECT 1 FROM Lote_Registro WHERE Pr_Cve_Producto = ? AND Lt_Cve_Lote = ? "
                 "LIMIT 1",
                 {product, lot})
        .Step();
  }

  double Holding(const std::string& product, const std::string& size, const std::string& colour,
                 const std::string& lot, const std::string& branch, const std::string& warehouse) {
    Query query(*db_,
                "SELECT COALESCE(SUM(r.Lt_Cantidad_1), 0.0) FROM Lote_Registro r "
                "WHERE r.Pr_Cve_Producto = ? AND r.Lt_Cve_Lote = ? AND r.Tl_Cve_Talla = ? "
                "AND r.Cl_Cve_Color = ? AND r.Sc_Cve_Sucursal = ? AND r.Al_Cve_Almacen = ? "
                "AND r.Es_Cve_Estado <> 'CA' "
                "AND (r.Lt_Tabla <> 'TRANSFERENCIA' OR EXISTS (SELECT 1 FROM Transferencia t "
                "WHERE t.Tr_Folio = r.Lt_Folio AND t.Tr_ID = r.Lt_ID AND t.Es_Cve_Estado <> 'CA'))",
                {product, lot, size, colour, branch, warehouse});
    return query.Step() ? query.Number(0) : 0;
  }

  void Insert(const std::string& folio, const std::string& line_id, const std::string& product,
              const std::string& size, const std::string& colour, const std::string& lot,
              const std::string& branch, const std::string& warehouse, double q1, double q2) {
    static const DialectSql kInsertLoteRegistro(
        "INSERT INTO Lote_Registro (Lt_Tabla, Lt_Folio, Lt_ID, Pr_Cve_Producto, Tl_Cve_Talla, "
        "Cl_Cve_Color, Lt_Cve_Lote, Sc_Cve_Sucursal, Al_Cve_Almacen, Lt_Cantidad_1, "
        "Lt_Cantidad_2, Oper_Alta, Fecha_Alta) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, {now})");
    db_->Prepare(kInsertLoteRegistro.For(db_->dialect()))
        .Bind({std::string(inv::kKindTransfer), folio, line_id, product, size, colour, lot, branch,
               warehouse, q1, q2, CurrentConfig().operator_code})
        .Run();
  }

  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  std::shared_ptr<Database> db_;
  std::string error_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreateLotServices() {
  return LotServices::Make();
}

}  // namespace qbx::suite
