// Graba_Movimiento: posts the current line into the issue and receipt
// movement documents and works out the line's unit cost.
#include <string>

#include "automation/value.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

// The cost with which the same article left in the shipment received; the
// line's own cost when the shipment has no such article.
double ShipmentCost(Publico& module, const tTrEncabezado& h, const tTrDetalle& d) {
  std::string& sql = module.scratch;
  sql = "SELECT Tr_Costo ";
  sql += "FROM Transferencia ";
  sql += "WHERE Tr_Folio = '" + SqlText(h.Tr_Referencia) + "' AND ";
  sql += "   Pr_Cve_Producto = '" + SqlText(d.Producto.Pr_Cve_Producto) + "' AND ";
  sql += "   Tl_Cve_Talla = '" + SqlText(d.Tl_Cve_Talla) + "' AND ";
  sql += "   Cl_Cve_Color = '" + SqlText(d.Cl_Cve_Color) + "'";
  com::ComPtr<IConnection> connection = module.system->Obtener_Conexion();
  com::ComPtr<IRecordset> rows = connection->Execute(sql, Variant(Missing{}), -1);
  return rows->Eof() ? d.Tr_Costo : rows->Field("Tr_Costo").ToDouble();
}

}  // namespace

bool Transferencia::Graba_Movimiento() {
  try {
    const tTrEncabezado& h = header_;
    tTrDetalle& d = detail_;
    const bool in_transit = module_.en_transito;

    mov_serial_.Serie = d.Serie.Sr_Cve_Serie;
    mov_serial_.Pedimento = d.Serie.Sr_Pedimento;
    mov_serial_.Fecha_Pedimento = d.Serie.Sr_FechaPedimento;
    mov_lot_.Lote = d.Lote.Lt_Cve_Lote;

    mov_line_.Producto = d.Producto.Pr_Cve_Producto;
    mov_line_.Talla = d.Tl_Cve_Talla;
    mov_line_.Color = d.Cl_Cve_Color;
    mov_line_.Cantidad_1 = d.Tr_Cantidad_Control_1;
    mov_line_.Unidad_1 = d.Tr_Unidad_Control_1;
    mov_line_.Cantidad_2 = d.Tr_Cantidad_Control_2;
    mov_line_.Unidad_2 = d.Tr_Unidad_Control_2;
    mov_line_.Costo = 0;  // the issue side is valued by the movement service
    mov_line_.Costo_2 = 0;
    mov_line_.Serie = mov_serial_;
    mov_line_.Lote = mov_lot_;
    issue_->Asignar_Detalle_Movimiento(mov_line_);

    if (h.Tr_Tipo == "EN" || in_transit) {
      if (!issue_->Agregar_Detalle_Movimiento()) {
        // The caller puts its own source line in front.
        error_ = issue_->Obtener_Mensaje_Error();
        return false;
      }
    }

    double cost = 0;
    if (h.Tr_Tipo != "RC") {
      cost = Variant(issue_->Obtener_Costo_Detalle()).ToDouble();
    } else {
      // Written as "not > 0" so that a quantity that is not a number is refused too.
      if (!(d.Tr_Cantidad_Costo > 0)) {
        error_ = "Graba_Movimiento() - LA CANTIDAD DE COSTO NO PUEDE SER MENOR O IGUAL A 0";
        return false;
      }
      double base = 0;
      if (in_transit) {
        base = Variant(issue_->Obtener_Costo_Detalle()).ToDouble();
      } else {
        base = ShipmentCost(module_, h, d);
      }
      cost = Add(base, Divide(d.Tr_Indirecto_Importe, d.Tr_Cantidad_Costo));
    }

    d.Tr_Costo = cost;
    d.Tr_Importe_Costo = Multiply(cost, d.Tr_Cantidad_Costo);
    mov_line_.Costo = cost;
    receipt_->Asignar_Detalle_Movimiento(mov_line_);

    if (h.Tr_Tipo == "RC" || in_transit) {
      if (!receipt_->Agregar_Detalle_Movimiento()) {
        // An empty text leaves Error as it was.
        if (!receipt_->Obtener_Mensaje_Error().empty()) error_ = receipt_->Obtener_Mensaje_Error();
        return false;
      }
    }
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    error_ = "Graba_Movimiento() - ";
    error_ += kCrLf;
    error_ += kCrLf;
    error_ += e.description();
    return false;
  }
}

}  // namespace qbx
