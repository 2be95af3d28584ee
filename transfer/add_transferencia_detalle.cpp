// Add_Transferencia_Detalle: validates the current line, opens the document on
// the first line, posts the line's movements, numbers and stores it, adjusts
// the stock figure and registers the line with the data service.
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "automation/value.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr std::string_view kOperation = "Add_Transferencia_Detalle";
const std::string kNewLine(kCrLf);

// Suite parameters that name codes are used as text (Null is a run-time error).
std::string TextParameter(ISystemServices& system, const std::string& name) {
  return system.Obtener_Parametro(name, 0, "", "").ToString();
}

bool CarriesStock(const std::string& type) {
  return type == "01" || type == "02" || type == "03" || type == "04";
}

// Leaves the refusal in error and answers false.
bool Refuse(std::string& error, const std::string& message) {
  error = FailureText(kOperation, message);
  return false;
}

}  // namespace

bool Transferencia::Add_Transferencia_Detalle() {
  error_.clear();
  try {
    const tTrEncabezado& h = header_;
    const tTrDetalle& d = detail_;
    // Only the first line of a folio opens the document.
    if (h.Tr_Folio.empty() && !OpenDocument()) return false;
    if (!CheckLine()) return false;

    if ((h.Tr_Tipo == "EN" || h.Tr_Tipo == "RC") && !inventario_pendiente_) {
      const std::string type = stock_->Obtener_Tipo_Producto(d.Producto.Pr_Cve_Producto);
      if (CarriesStock(type)) {
        if (!Graba_Movimiento()) {
          error_ = FailureText(kOperation, error_);
          return false;
        }
      } else if (type != "99") {
        return Refuse(error_, "El tipo de producto: " + type + ", no está programado!");
      }
    }

    // Numbering and storing. The counter is 16 bits wide, as the document's
    // line numbers always were: one line past 32767 is an overflow.
    if (line_counter_ == std::numeric_limits<int16_t>::max()) Raise(kErrOverflow);
    ++line_counter_;
    detail_.Tr_ID = FormatZeros(line_counter_, "0000");

    // Inserta_Transferencia leaves a complete text of its own.
    if (!Inserta_Transferencia()) return false;

    if (h.Tr_Tipo == "SL") {
      // A request commits the goods at the distribution centre.
      if (!stock_->Ajustar_Existencia(h.Sucursal_Recibe.Sc_Cve_Sucursal,
                                      h.Almacen_Recibe.Al_Cve_Almacen, d.Producto.Pr_Cve_Producto,
                                      d.Tl_Cve_Talla, d.Cl_Cve_Color, -d.Tr_Cantidad_Control_1,
                                      -d.Tr_Cantidad_Control_2))
        return Refuse(error_, stock_->Obtener_Mensaje_Error());
    } else if (h.Tr_Tipo == "EN") {
      // A shipment gives back what the request committed.
      if (!stock_->Ajustar_Existencia(h.Sucursal.Sc_Cve_Sucursal, h.Almacen.Al_Cve_Almacen,
                                      d.Producto.Pr_Cve_Producto, d.Tl_Cve_Talla, d.Cl_Cve_Color,
                                      d.Tr_Cantidad_Control_1, d.Tr_Cantidad_Control_2))
        return Refuse(error_, stock_->Obtener_Mensaje_Error());
    }

    if (!module_.data->Procesar_Documento("DETALLE_TRANSFERENCIA", h.Tr_Folio, d.Tr_ID))
      return Refuse(error_, module_.data->Obtener_Ultimo_Error());
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    error_ = FailureText(kOperation, e.description());
    return false;
  }
}

bool Transferencia::OpenDocument() {
  ISystemServices& system = *module_.system;
  IDataServices& data = *module_.data;
  const tTrEncabezado& h = header_;

  const bool branch_installation = system.Es_Servidor_Sucursal();
  if (branch_server_id_.empty()) {
    if (branch_installation)
      return Refuse(error_, "Esta operación solo puede realizarse en el servidor central");
  } else if (branch_server_id_ != module_.servidor_id) {
    return Refuse(error_, "Esta operación solo puede realizarse en el servidor con id: " +
                              branch_server_id_ + kNewLine +
                              "el id del servidor actual es: " + module_.servidor_id);
  }

  Variant validate = system.Obtener_Parametro("GEN_VALIDAR_PERIODO_OPERATIVO", 0, "", "");
  if (!validate.IsNull() && validate.ToBool()) {
    if (!data.Validar_Periodo_Operativo(h.Tr_Fecha, "INVENTARIOS", 0))
      return Refuse(error_, "El período operativo correspondiente a la fecha: " +
                                h.Tr_Fecha.FormatDdMmYyyy() + ", está cerrado o no existe!");
  }

  if (data.Obtener_Valor_Campo("Almacen", "Al_Cve_Almacen", h.Almacen.Al_Cve_Almacen,
                               "Al_Descripcion", 0, "Sc_Cve_Sucursal", h.Sucursal.Sc_Cve_Sucursal,
                               "BA")
          .empty())
    return Refuse(error_, "el almacén: " + h.Almacen.Al_Cve_Almacen + ", de la sucursal: " +
                              h.Sucursal.Sc_Cve_Sucursal + ", no existe o esta dado de baja");

  if (h.Tr_Tipo == "SL" &&
      data.Obtener_Valor_Campo("Almacen", "Al_Cve_Almacen", h.Almacen_Recibe.Al_Cve_Almacen,
                               "Al_Descripcion", 0, "Sc_Cve_Sucursal",
                               h.Sucursal_Recibe.Sc_Cve_Sucursal, "BA")
          .empty())
    return Refuse(error_, "el almacén: " + h.Almacen_Recibe.Al_Cve_Almacen + ", del CEDIS: " +
                              h.Sucursal_Recibe.Sc_Cve_Sucursal + ", no existe o esta dado de baja");

  if (UCase(h.Tr_Tabla) == "TRANSFERENCIA" && !h.Tr_Documento.empty() &&
      data.Obtener_Valor_Campo("Transferencia", "Tr_Folio", h.Tr_Documento, "Es_Cve_Estado", 0,
                               "", "", "") == "CA")
    return Refuse(error_, "la transferencia: " + h.Tr_Documento +
                              " se encuentra cancelado, no es posible continuar");

  header_.Tr_Folio =
      data.Obtener_Folio(h.Sucursal.Sc_Cve_Sucursal, "Transferencia", 10, true).ToString();
  if (h.Tr_Folio.empty())
    return Refuse(error_, "Error al intentar obtener el folio de la transferencia!");

  line_counter_ = 0;
  timestamp_ = data.Formatear_Fecha_Hora(data.Obtener_Fecha_Servidor());
  StartMovements();
  return true;
}

void Transferencia::StartMovements() {
  ISystemServices& system = *module_.system;
  const tTrEncabezado& h = header_;
  receipt_->Nuevo_Movimiento();
  issue_->Nuevo_Movimiento();

  const bool shipment = h.Tr_Tipo == "EN";
  std::string receipt_kind;
  std::string issue_kind;
  if (shipment) {
    receipt_kind = TextParameter(system, "MOV_ENTRADA_TRANSITO");
    issue_kind = TextParameter(system, "MOV_SALIDA_TRANSFERENCIA");
  } else {
    issue_kind = TextParameter(system, "MOV_SALIDA_TRANSITO");
    receipt_kind = TextParameter(system, "MOV_ENTRADA_TRANSFERENCIA");
  }
  mov_header_.Fecha = h.Tr_Fecha;
  mov_header_.Tabla = "Transferencia";
  mov_header_.Documento = h.Tr_Folio;
  mov_header_.Referencia = h.Tr_Referencia;
  mov_header_.Comentario = h.Tr_Comentario;

  // A shipment leaves the own warehouse; anything else leaves transit.
  mov_header_.Sucursal = h.Sucursal.Sc_Cve_Sucursal;
  mov_header_.Almacen = shipment ? h.Almacen.Al_Cve_Almacen
                                 : TextParameter(system, "MOV_ALMACEN_TRANSITO_TRANSFERENCIA");
  mov_header_.Tipo_Movimiento = issue_kind;
  issue_->Asignar_Encabezado_Movimiento(mov_header_);

  // A shipment enters the receiving branch's transit; anything else the own warehouse.
  if (shipment) {
    mov_header_.Sucursal = h.Sucursal_Recibe.Sc_Cve_Sucursal;
    mov_header_.Almacen = TextParameter(system, "MOV_ALMACEN_TRANSITO_TRANSFERENCIA");
  } else {
    mov_header_.Sucursal = h.Sucursal.Sc_Cve_Sucursal;
    mov_header_.Almacen = h.Almacen.Al_Cve_Almacen;
  }
  mov_header_.Tipo_Movimiento = receipt_kind;
  receipt_->Asignar_Encabezado_Movimiento(mov_header_);
}

bool Transferencia::CheckLine() {
  IDataServices& data = *module_.data;
  const tTrDetalle& d = detail_;
  const std::string& product = d.Producto.Pr_Cve_Producto;
  if (usa_tallas_ && usa_colores_) {
    if (!data.Existe_Producto_Talla_Color(product, d.Tl_Cve_Talla, d.Cl_Cve_Color))
      return Refuse(error_, "No se encuentra la relación producto/talla/color: " + product + "/" +
                                d.Tl_Cve_Talla + "/" + d.Cl_Cve_Color);
  } else if (usa_tallas_) {
    if (!data.Existe_Producto_Talla(product, d.Tl_Cve_Talla))
      return Refuse(error_, "No se encuentra la relación producto/talla: " + product + "/" +
                                d.Tl_Cve_Talla);
  } else if (usa_colores_) {
    if (!data.Existe_Producto_Color(product, d.Cl_Cve_Color))
      return Refuse(error_, "No se encuentra la relación producto/color: " + product + "/" +
                                d.Cl_Cve_Color);
  }

  if (data.Obtener_Valor_Campo("Unidad", "Un_Cve_Unidad", d.Tr_Unidad_1, "Un_Descripcion", 0, "",
                               "", "BA")
          .empty())
    return Refuse(error_, "La unidad: " + d.Tr_Unidad_1 + ", no existe o está dada de baja");

  if (d.Tr_Cantidad_Control_1 == 0 && d.Tr_Cantidad_Control_2 == 0)
    return Refuse(error_, "la cantidad no puede ser cero: " + kNewLine +
                              "Cantidad-1: " + NumberText(d.Tr_Cantidad_1) + kNewLine +
                              "Cantidad-Control-1: " + NumberText(d.Tr_Cantidad_Control_1) +
                              kNewLine + "Cantidad-Control-2: " +
                              NumberText(d.Tr_Cantidad_Control_2) + kNewLine +
                              "CANTIDAD-COSTO: " + NumberText(d.Tr_Cantidad_Costo));

  // Written as "not >= 0" so that a quantity that is not a number is refused too.
  if (!(d.Tr_Cantidad_1 >= 0) || !(d.Tr_Cantidad_Control_1 >= 0) ||
      !(d.Tr_Cantidad_Control_2 >= 0) || !(d.Tr_Cantidad_Costo >= 0))
    return Refuse(error_, "las cantidades deben ser positivas!");

  if (!(d.Tr_Costo >= 0))
    return Refuse(error_, "El costo no puede ser negativo: " + kNewLine +
                              "Costo: " + NumberText(d.Tr_Costo));
  return true;
}

}  // namespace qbx
