// Helpers of the inventory services' tests on the sample database: service
// objects, parameters, stock figures, movements and transfer rows written
// straight into the database.
#pragma once

#include <string>

#include "services/inventory_services.h"
#include "services/registration_services.h"
#include "suite/reports.h"
#include "suite/sample.h"
#include "suite/sample_stock.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {

struct StockFigures {
  double on_hand = 0, average_cost = 0, adjustment = 0;
  bool exists = false;
  double on_hand_2 = 0, adjustment_2 = 0;
};

class InventoryTest : public SuiteTest {
 protected:
  com::ComPtr<IInventoryServices> Inventory() {
    return Make<IInventoryServices>(kClsidInventoryServices);
  }
  void SetParameter(const std::string& name, const std::string& value) {
    suite::SetParameter(*Db(), name, value);
  }
  StockFigures Stock(const std::string& branch, const std::string& warehouse,
                     const std::string& product, const std::string& size = "00",
                     const std::string& colour = "00") {
    auto db = Db();
    auto st = db->PrepareOnce(
        "SELECT Ex_Cantidad_1, Ex_Costo_Promedio, Ex_Ajuste_1, Ex_Cantidad_2, Ex_Ajuste_2 "
        "FROM Existencia WHERE "
        "Sc_Cve_Sucursal = ? AND Al_Cve_Almacen = ? AND Pr_Cve_Producto = ? AND Tl_Cve_Talla = ? "
        "AND Cl_Cve_Color = ?",
        Origin::Suite);
    st->Bind({branch, warehouse, product, size, colour});
    if (!st->Step()) return {};
    return {st->Column(0).ToDouble(), st->Column(1).ToDouble(), st->Column(2).ToDouble(), true,
            st->Column(3).ToDouble(), st->Column(4).ToDouble()};
  }

  // A movement object with its header set.
  com::ComPtr<IInventoryServices> Open(const std::string& branch, const std::string& warehouse,
                                       const std::string& kind, const std::string& document) {
    return Open(Header(branch, warehouse, kind, document));
  }
  com::ComPtr<IInventoryServices> Open(const MovementHeader& header) {
    auto m = Inventory();
    m->Nuevo_Movimiento();
    m->Asignar_Encabezado_Movimiento(header);
    return m;
  }
  static MovementHeader Header(const std::string& branch, const std::string& warehouse,
                               const std::string& kind, const std::string& document) {
    MovementHeader h;
    h.Fecha = Date::FromCalendar(2026, 3, 5);
    h.Tabla = "Transferencia";
    h.Documento = document;
    h.Sucursal = branch;
    h.Almacen = warehouse;
    h.Tipo_Movimiento = kind;
    return h;
  }
  // Adds one line of this product; false when it is refused.
  static bool Add(IInventoryServices& m, const std::string& product, double quantity,
                  double cost = 0, const std::string& size = "00",
                  const std::string& colour = "00") {
    MovementLine l;
    l.Producto = product;
    l.Talla = size;
    l.Color = colour;
    l.Cantidad_1 = l.Cantidad_2 = quantity;
    l.Costo = cost;
    m.Asignar_Detalle_Movimiento(l);
    return m.Agregar_Detalle_Movimiento();
  }
  static bool Finish(IInventoryServices& m) {
    return m.Finalizar_Movimiento(m.Obtener_Encabezado_Movimiento().Folio);
  }
};

}  // namespace qbx::suite::test
