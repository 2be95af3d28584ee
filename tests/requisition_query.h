// The requisition's order query, exactly as the component sends it: the
// transfer tests compare the text sent, the suite tests run it on the schema.
#pragma once

#include <string>
#include <string_view>

namespace qbx::test {

inline std::string RequisitionOrderQuery(std::string_view folio) {
  return std::string(
             "SELECT    (SELECT MIN(Almacen.Al_Cve_Almacen) FROM Almacen WHERE "
             "Almacen.Sc_Cve_Sucursal = Sucursal.Sc_Centro_Distribucion AND "
             "Almacen.Es_Cve_Estado <> 'BA' AND Almacen.Al_Transito = 0) as Al_Cve_Almacen,    "
             "MIN(Pedido.Al_Cve_Almacen) as Al_Cve_Almacen_Pedido,    "
             "SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_1,    "
             "Pedido.Pd_Unidad_Control_1 as Pd_Unidad_1,    Sucursal.Sc_Cve_Sucursal,    "
             "Sucursal.Sc_Centro_Distribucion,    Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega, "
             "   Pedido.Pr_Cve_Producto,    Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,     "
             "Pedido.Es_Cve_Estado,    Pedido.Pd_Unidad_Control_1,    "
             "Pedido.Pd_Unidad_Control_2,    SUM(Pedido.Pd_Cantidad_Control_1) as "
             "Pd_Cantidad_Control_1,    SUM(Pedido.Pd_Cantidad_Control_2) as "
             "Pd_Cantidad_Control_2 FROM Pedido    INNER JOIN Sucursal ON "
             "Pedido.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE Pd_Folio = ") +
         "'" + std::string(folio) + "'" +
         " GROUP BY    Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Centro_Distribucion,    "
         "Pedido.Pd_Fecha,    Pedido.Pd_Fecha_Entrega,    Pedido.Pr_Cve_Producto,    "
         "Pedido.Tl_Cve_Talla,    Pedido.Cl_Cve_Color,    Pedido.Es_Cve_Estado,    "
         "Pedido.Pd_Unidad_Control_1,    Pedido.Pd_Unidad_Control_2";
}

}  // namespace qbx::test
