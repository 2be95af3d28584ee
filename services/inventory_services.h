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

struct IInventoryServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{7E078182-27FF-47CE-8F28-DFE7DDFA9BA2}");

  // --- stock object ---
  virtual bool Maneja_Talla(const std::string& branch, const std::string& warehouse) = 0;
  virtual bool Maneja_Color(const std::string& branch, const std::string& warehouse) = 0;
  virtual bool Maneja_Lote(const std::string& branch, const std::string& warehouse) = 0;
  virtual bool Maneja_Serie(const std::string& branch, const std::string& warehouse) = 0;
  virtual std::string Obtener_Tipo_Producto(const std::string& product) = 0;
  // Adds the signed quantities to the warehouse's availability adjustment.
  virtual bool Ajustar_Existencia(const std::string& branch, const std::string& warehouse,
                                  const std::string& product, const std::string& size,
                                  const std::string& colour, double quantity1,
                                  double quantity2) = 0;
  // warehouse_pattern "%" = any warehouse of the branch; callers pass 1 and "".
  virtual double Obtener_Existencia(const std::string& branch,
                                    const std::string& warehouse_pattern,
                                    const std::string& product, const std::string& size,
                                    const std::string& colour, int32_t one,
                                    const std::string& empty) = 0;
  virtual bool Cancelar_Movimientos_Documento(const std::string& kind,
                                              const std::string& folio) = 0;
  virtual std::string Obtener_Mensaje_Error() = 0;

  // --- movement objects ---
  virtual void Nuevo_Movimiento() = 0;
  virtual void Asignar_Encabezado_Movimiento(const MovementHeader& header) = 0;
  virtual void Asignar_Detalle_Movimiento(const MovementLine& line) = 0;
  virtual bool Agregar_Detalle_Movimiento() = 0;
  // Unit cost of the line just added, as a number text.
  virtual std::string Obtener_Costo_Detalle() = 0;
  virtual MovementHeader Obtener_Encabezado_Movimiento() = 0;
  virtual bool Finalizar_Movimiento(const std::string& folio) = 0;

 protected:
  ~IInventoryServices() = default;
};

}  // namespace qbx
