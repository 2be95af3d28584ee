// Genera_Requisicion_Pedido: requests from the distribution centre what it
// cannot cover of an order, as a transfer of type "SL" captured on a second
// Transferencia object and finalised on this one.
#include <memory>
#include <string>
#include <string_view>

#include "automation/value.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr std::string_view kRequisicion = "Genera_Requisicion_Pedido";

// The order grouped by product, size, colour, state and control units.
//
// Decided: the request goes from the ordering branch and its warehouse
// (Sucursal/Almacen) to the branch's distribution centre and one of its
// warehouses (Sucursal_Recibe/Almacen_Recibe), which is what a request's
// warehouse checks expect. The grouped columns alone do not name those
// warehouses nor the quantity and unit of the line, so the query leads with
// four more columns; the grouped columns and the grouping follow unchanged:
// - Al_Cve_Almacen: the distribution centre's warehouse that serves the
//   request, the lowest code among its live warehouses that are not its
//   transit warehouse;
// - Al_Cve_Almacen_Pedido: the ordering branch's warehouse that receives the
//   goods (the order lines' own warehouse; the lowest when they differ);
// - Pd_Cantidad_1 / Pd_Unidad_1: the line asks in control unit 1, so the
//   quantity is the summed control quantity 1 and the unit control unit 1.
void BuildOrderQuery(std::string& sql, const std::string& folio) {
  sql.clear();
  sql += "SELECT ";
  sql += "   (SELECT MIN(Almacen.Al_Cve_Almacen) FROM Almacen ";
  sql += "WHERE Almacen.Sc_Cve_Sucursal = Sucursal.Sc_Centro_Distribucion ";
  sql += "AND Almacen.Es_Cve_Estado <> 'BA' AND Almacen.Al_Transito = 0) as Al_Cve_Almacen, ";
  sql += "   MIN(Pedido.Al_Cve_Almacen) as Al_Cve_Almacen_Pedido, ";
  sql += "   SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_1, ";
  sql += "   Pedido.Pd_Unidad_Control_1 as Pd_Unidad_1, ";
  sql += "   Sucursal.Sc_Cve_Sucursal, ";
  sql += "   Sucursal.Sc_Centro_Distribucion, ";
  sql += "   Pedido.Pd_Fecha, ";
  sql += "   Pedido.Pd_Fecha_Entrega, ";
  sql += "   Pedido.Pr_Cve_Producto, ";
  sql += "   Pedido.Tl_Cve_Talla, ";
  sql += "   Pedido.Cl_Cve_Color,  ";
  sql += "   Pedido.Es_Cve_Estado, ";
  sql += "   Pedido.Pd_Unidad_Control_1, ";
  sql += "   Pedido.Pd_Unidad_Control_2, ";
  sql += "   SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_Control_1, ";
  sql += "   SUM(Pedido.Pd_Cantidad_Control_2) as Pd_Cantidad_Control_2 ";
  sql += "FROM Pedido ";
  sql += "   INNER JOIN Sucursal ON Pedido.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal ";
  sql += "WHERE Pd_Folio = '";
  sql += SqlText(folio);
  sql += "' ";
  sql += "GROUP BY ";
  sql += "   Sucursal.Sc_Cve_Sucursal, ";
  sql += "   Sucursal.Sc_Centro_Distribucion, ";
  sql += "   Pedido.Pd_Fecha, ";
  sql += "   Pedido.Pd_Fecha_Entrega, ";
  sql += "   Pedido.Pr_Cve_Producto, ";
  sql += "   Pedido.Tl_Cve_Talla, ";
  sql += "   Pedido.Cl_Cve_Color, ";
  sql += "   Pedido.Es_Cve_Estado, ";
  sql += "   Pedido.Pd_Unidad_Control_1, ";
  sql += "   Pedido.Pd_Unidad_Control_2";
}

}  // namespace

bool Transferencia::Genera_Requisicion_Pedido(std::string& Pd_Folio) {
  // Error is not cleared here; a success leaves it empty through
  // Finalizar_Transferencia.
  try {
    BuildOrderQuery(module_.scratch, Pd_Folio);
    com::ComPtr<IRecordset> rs =
        module_.system->Obtener_Conexion()->Execute(module_.scratch, Missing{}, -1);
    if (rs->Eof()) {
      error_ = "No se encontró el pedido con el folio proporcionado: " + Pd_Folio;
      rs->Close();
      return false;
    }
    const Variant estado = rs->Field("Es_Cve_Estado");
    if (!IsEqual(estado, Variant("AC"))) {
      error_ = "Imposible generar requisición del pedido con estado " + estado.ToStringOrEmpty();
      rs->Close();
      return false;
    }

    // Lives for this call only; released on every way out.
    auto requisicion = std::make_unique<Transferencia>();
    requisicion->Nuevo();

    tTrEncabezado encabezado;
    encabezado.Tr_Fecha = rs->Field("Pd_Fecha").ToDate();
    encabezado.Tr_Fecha_Entrega = rs->Field("Pd_Fecha_Entrega").ToDate();
    encabezado.Tr_Tipo = "SL";
    encabezado.Tr_Tabla = "Pedido";
    encabezado.Tr_Documento = Pd_Folio;
    encabezado.Tr_Comentario = "Solicitud de transferencia automática";
    encabezado.Sucursal.Sc_Cve_Sucursal = rs->Field("Sc_Cve_Sucursal").ToString();
    encabezado.Almacen.Al_Cve_Almacen = rs->Field("Al_Cve_Almacen_Pedido").ToString();
    encabezado.Sucursal_Recibe.Sc_Cve_Sucursal = rs->Field("Sc_Centro_Distribucion").ToString();
    encabezado.Almacen_Recibe.Al_Cve_Almacen = rs->Field("Al_Cve_Almacen").ToString();
    requisicion->SetEncabezado(encabezado);

    tTrDetalle linea;
    while (!rs->Eof()) {
      const std::string cedis = rs->Field("Sc_Centro_Distribucion").ToString();
      const std::string producto = rs->Field("Pr_Cve_Producto").ToString();
      const std::string talla = rs->Field("Tl_Cve_Talla").ToString();
      const std::string color = rs->Field("Cl_Cve_Color").ToString();
      const double existencia_1 =
          stock_->Obtener_Existencia(cedis, "%", producto, talla, color, 1, "");
      const double existencia_2 =
          stock_->Obtener_Existencia(cedis, "%", producto, talla, color, 1, "");

      // Strictly less; a Null ordered quantity never asks for a line.
      if (IsLess(Variant(existencia_1), rs->Field("Pd_Cantidad_Control_1")) ||
          IsLess(Variant(existencia_2), rs->Field("Pd_Cantidad_Control_2"))) {
        linea.Producto.Pr_Cve_Producto = producto;
        linea.Tl_Cve_Talla = talla;
        linea.Cl_Cve_Color = color;
        linea.Tr_Cantidad_1 = Subtract(rs->Field("Pd_Cantidad_1").ToDouble(), existencia_1);
        linea.Tr_Unidad_1 = rs->Field("Pd_Unidad_1").ToString();
        linea.Tr_Unidad_Control_1 = rs->Field("Pd_Unidad_Control_1").ToString();
        linea.Tr_Unidad_Control_2 = rs->Field("Pd_Unidad_Control_2").ToString();
        requisicion->SetDetalle(linea);
        if (!requisicion->Add_Transferencia_Detalle()) {
          error_ = requisicion->Error();
          rs->Close();
          return false;
        }
      }
      rs->MoveNext();
    }
    rs->Close();

    std::string folio = requisicion->Encabezado().Tr_Folio;
    if (!Finalizar_Transferencia(folio)) {
      error_ = SourceLine(kRequisicion) + std::string(kCrLf) + error_;
      return false;
    }
    return true;
  } catch (...) {
    // Unexpected errors carry no source line here.
    error_ = CurrentRuntimeError().description();
    return false;
  }
}

}  // namespace qbx
