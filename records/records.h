// The public records of class Transferencia. Plain value types: every read of
// a record property hands out a copy, every write copies in; nested records
// are embedded by value.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "automation/value.h"

namespace qbx {

// User-defined extra data of the suite's shared type library: two strings and
// 32 bytes of other data. Copied whole, never read.
struct UserDef {
  std::string text1;
  std::string text2;
  std::array<uint8_t, 32> data{};
  bool operator==(const UserDef&) const = default;
};

struct tTrSucursal {
  std::string Sc_Cve_Sucursal;
  std::string Sc_Centro_Costo;
  std::string Sc_Cuenta_Contable;
  qbx::UserDef UserDef;
  bool operator==(const tTrSucursal&) const = default;
};

struct tTrAlmacen {
  std::string Sc_Cve_Sucursal;
  std::string Al_Cve_Almacen;
  std::string Al_Centro_Costo;
  std::string Al_Cuenta_Contable;
  qbx::UserDef UserDef;
  bool operator==(const tTrAlmacen&) const = default;
};

struct tTrProducto {
  std::string Pr_Cve_Producto;
  std::string Pr_Cuenta_Contable;
  std::string Pr_Unidad_Control_1;
  std::string Pr_Unidad_Control_2;
  std::string Pr_Unidad_Costo;
  double Pr_Porcentaje_Variacion = 0;
  std::string Pr_Tipo_Producto;
  std::string Pr_Tipo_Costeo;
  std::string Ct_Cve_Categoria;
  std::string Dp_Cve_Departamento;
  std::string Mr_Cve_Marca;
  std::string Ln_Cve_Linea;
  std::string Fm_Cve_Familia;
  std::string Sf_Cve_SubFamilia;
  qbx::UserDef UserDef;
  bool operator==(const tTrProducto&) const = default;
};

struct tTrSerie {
  std::string Sr_Cve_Serie;
  std::string Sr_Pedimento;
  Date Sr_FechaPedimento;
  qbx::UserDef UserDef;
  bool operator==(const tTrSerie&) const = default;
};

struct tTrLote {
  std::string Lt_Cve_Lote;
  Date Lt_Fecha_Caducidad;
  std::string Lt_Pedimento;
  Date Lt_Fecha_Pedimento;
  qbx::UserDef UserDef;
  bool operator==(const tTrLote&) const = default;
};

struct tTrEncabezado {
  std::string Tr_Folio;
  Date Tr_Fecha;
  Date Tr_Fecha_Entrega;
  std::string Tr_Sucursal_Recibe;
  std::string Tr_Tipo;
  std::string Tr_Tabla;
  std::string Tr_Documento;
  std::string Tr_Referencia;
  std::string Tr_Comentario;
  std::string Tr_Descuento_Global_Cuenta_Contable;
  double Tr_Descuento_Global_Factor = 0;
  double Tr_Descuento_Global_Importe = 0;
  tTrSucursal Sucursal;
  tTrSucursal Sucursal_Recibe;
  tTrAlmacen Almacen;
  tTrAlmacen Almacen_Recibe;
  bool GeneraOC = false;
  bool operator==(const tTrEncabezado&) const = default;
};

struct tTrDetalle {
  std::string Tr_ID;
  tTrProducto Producto;
  std::string Tl_Cve_Talla;
  std::string Cl_Cve_Color;
  double Tr_Cantidad_1 = 0;
  std::string Tr_Unidad_1;
  double Tr_Cantidad_Control_1 = 0;
  std::string Tr_Unidad_Control_1;
  double Tr_Cantidad_Control_2 = 0;
  std::string Tr_Unidad_Control_2;
  double Tr_Cantidad_Costo = 0;
  std::string Tr_Unidad_Costo;
  double Tr_Costo = 0;
  double Tr_Importe_Costo = 0;
  double Tr_Indirecto_Factor = 0;
  double Tr_Indirecto_Importe = 0;
  tTrSerie Serie;
  tTrLote Lote;
  bool operator==(const tTrDetalle&) const = default;
};

}  // namespace qbx
