// The write of Detalle: refuses the computed fields, takes over the line and
// derives units, quantities and cost amounts from the catalogue.
#include <string>

#include "automation/value.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr const char* kDetalleTitle = "Property Let Detalle()";

}  // namespace

void Transferencia::SetDetalle(const tTrDetalle& Valor) {
  error_.clear();
  try {
    if (Valor.Tr_Cantidad_Control_1 != 0) {
      RefuseDetalle("ERR-ID:7500001", "El parámetro Tr_Cantidad_Control_1, es de solo lectura!");
      return;
    }
    if (!Valor.Tr_Unidad_Costo.empty()) {
      RefuseDetalle("ERR-ID:7500002", "El parámetro Tr_Unidad_Costo, es de solo lectura!");
      return;
    }

    detail_ = Valor;
    tTrDetalle& d = detail_;
    const std::string product = d.Producto.Pr_Cve_Producto;
    auto catalogue = [&](const char* column) {
      return module_.data->Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", product, column, 0,
                                               "", "", "");
    };
    d.Producto.Pr_Tipo_Producto = catalogue("Pr_Tipo_Producto");
    d.Producto.Pr_Tipo_Costeo = catalogue("Pr_Tipo_Costeo");
    // The units go to the line; the Producto sub-record keeps the client's.
    d.Tr_Unidad_Control_1 = catalogue("Pr_Unidad_Control_1");
    d.Tr_Unidad_Control_2 = catalogue("Pr_Unidad_Control_2");
    d.Tr_Unidad_Costo = catalogue("Pr_Unidad_Costo");

    if (d.Tr_Unidad_Control_1 == d.Tr_Unidad_1) {
      d.Tr_Cantidad_Control_1 = d.Tr_Cantidad_1;
    } else {
      double factor =
          module_.data->Obtener_Factor_Conversion(product, d.Tr_Unidad_1, d.Tr_Unidad_Control_1);
      d.Tr_Cantidad_Control_1 = Multiply(factor, d.Tr_Cantidad_1);
    }

    if (d.Tr_Unidad_Costo == d.Tr_Unidad_Control_1) {
      double factor =
          module_.data->Obtener_Factor_Conversion(product, d.Tr_Unidad_1, d.Tr_Unidad_Costo);
      d.Tr_Costo = Divide(d.Tr_Costo, factor);
      d.Tr_Cantidad_Costo = d.Tr_Cantidad_Control_1;
    } else {
      d.Tr_Cantidad_Costo = d.Tr_Cantidad_Control_2;
    }
    d.Tr_Importe_Costo = Multiply(d.Tr_Costo, d.Tr_Cantidad_Costo);

    if (!usa_tallas_) d.Tl_Cve_Talla = "00";
    if (!usa_colores_) d.Cl_Cve_Color = "00";
    if (d.Producto.Pr_Tipo_Producto == "02" && !usa_lotes_) d.Lote.Lt_Cve_Lote.clear();
    if (d.Producto.Pr_Tipo_Producto == "03" && !usa_series_) d.Serie.Sr_Cve_Serie.clear();
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    try {
      RefuseDetalle("ERR-ID:7500003", e.description());
    } catch (...) {
      // The write never raises: a message that cannot be shown is kept instead.
      error_ = std::string(kDetalleTitle) + " - " + "\r\n" + e.description();
    }
  }
}

void Transferencia::RefuseDetalle(const std::string& key, const std::string& message) {
  module_.scratch = message;
  if (mostrar_mensajes_) {
    module_.system->Mostrar_Mensaje(Variant(module_.scratch), 16, Variant(kDetalleTitle),
                                    Variant(Missing{}), Variant("Quelbarix"), Variant(key));
  } else {
    error_ = std::string(kDetalleTitle) + " - " + "\r\n" + module_.scratch;
  }
}

}  // namespace qbx
