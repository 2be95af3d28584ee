// InventoryServices: warehouse capabilities, product types, stock figures and
// inventory movement documents. A Transferencia owns three instances: the
// stock object and the issue and receipt movement objects.
//
// Every method may raise qbx::RuntimeError. A False result is a refusal
// explained by Obtener_Mensaje_Error.
#pragma once

#include <cstdint>
#include <string>

#include "automation/com.h"
#include "automation/value.h"
#include "services/operations.h"

namespace qbx {

inline constexpr Guid kClsidInventoryServices =
    MakeGuid("{FD636EBA-7296-45BE-A819-67D98E1DCD02}");

// Movement header. The first field is the movement folio, given by the
// service; the component leaves it empty.
struct MovementHeader {
  std::string Folio;
  Date Fecha;
  std::string Tabla;       // source document table ("Transferencia")
  std::string Documento;   // source document folio
  std::string Referencia;
  std::string Comentario;
  std::string Sucursal;
  std::string Almacen;
  std::string Tipo_Movimiento;  // movement kind code (a suite parameter's value)
  bool operator==(const MovementHeader&) const = default;
};

struct MovementSerial {
  std::string Serie;
  std::string Pedimento;
  Date Fecha_Pedimento;
  bool operator==(const MovementSerial&) const = default;
};

struct MovementLot {
  std::string Lote;
  Date Fecha_Caducidad;
  std::string Pedimento;
  Date Fecha_Pedimento;
  bool operator==(const MovementLot&) const = default;
};

struct MovementLine {
  std::string Producto;
  std::string Talla;
  std::string Color;
  double Cantidad_1 = 0;   // control unit 1
  std::string Unidad_1;
  double Cantidad_2 = 0;   // control unit 2
  std::string Unidad_2;
  double Costo = 0;        // unit cost (0 on the issue side)
  double Costo_2 = 0;      // always 0 from the component
  MovementSerial Serie;
  MovementLot Lote;
  bool operator==(const MovementLine&) const = default;
};

// The operations (see services/operations.h).
#define QBX_INVENTORY_SERVICES_OPS(X)                                                              \
  /* --- stock object --- */                                                                       \
  X(bool, Maneja_Talla, (const std::string& branch, const std::string& warehouse),                 \
    (branch, warehouse))                                                                           \
  X(bool, Maneja_Color, (const std::string& branch, const std::string& warehouse),                 \
    (branch, warehouse))                                                                           \
  X(bool, Maneja_Lote, (const std::string& branch, const std::string& warehouse),                  \
    (branch, warehouse))                                                                           \
  X(bool, Maneja_Serie, (const std::string& branch, const std::string& warehouse),                 \
    (branch, warehouse))                                                                           \
  X(std::string, Obtener_Tipo_Producto, (const std::string& product), (product))                   \
  /* Adds the signed quantities to the warehouse's availability adjustment. */                     \
  X(bool, Ajustar_Existencia,                                                                      \
    (const std::string& branch, const std::string& warehouse, const std::string& product,          \
     const std::string& size, const std::string& colour, double quantity1, double quantity2),      \
    (branch, warehouse, product, size, colour, quantity1, quantity2))                              \
  /* warehouse_pattern "%" = any warehouse of the branch; callers pass 1 and "". */                \
  X(double, Obtener_Existencia,                                                                    \
    (const std::string& branch, const std::string& warehouse_pattern,                              \
     const std::string& product, const std::string& size, const std::string& colour,               \
     int32_t one, const std::string& empty),                                                       \
    (branch, warehouse_pattern, product, size, colour, one, empty))                                \
  X(bool, Cancelar_Movimientos_Documento, (const std::string& kind, const std::string& folio),     \
    (kind, folio))                                                                                 \
  X(std::string, Obtener_Mensaje_Error, (), ())                                                    \
  /* --- movement objects --- */                                                                   \
  X(void, Nuevo_Movimiento, (), ())                                                                \
  X(void, Asignar_Encabezado_Movimiento, (const MovementHeader& header), (header))                 \
  X(void, Asignar_Detalle_Movimiento, (const MovementLine& line), (line))                          \
  X(bool, Agregar_Detalle_Movimiento, (), ())                                                      \
  /* Unit cost of the line just added, as a number text. */                                        \
  X(std::string, Obtener_Costo_Detalle, (), ())                                                    \
  X(MovementHeader, Obtener_Encabezado_Movimiento, (), ())                                         \
  X(bool, Finalizar_Movimiento, (const std::string& folio), (folio))

struct IInventoryServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{7E078182-27FF-47CE-8F28-DFE7DDFA9BA2}");

  QBX_INVENTORY_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~IInventoryServices() = default;
};

}  // namespace qbx
