// SystemServices and DataServices: the suite's operator, parameter, server,
// connection, message and database services. One of each per apartment.
//
// Every method may raise qbx::RuntimeError (an automation error), which the
// calling operation handles as an unexpected error. Boolean results report
// refusals; the text of the last refusal comes from Obtener_Ultimo_Error.
#pragma once

#include <cstdint>
#include <string>

#include "automation/com.h"
#include "automation/value.h"
#include "services/connection.h"
#include "services/operations.h"

namespace qbx {

inline constexpr Guid kClsidSystemServices = MakeGuid("{54E34BDD-C60A-4AB5-A221-D8360420CEFA}");
inline constexpr Guid kClsidDataServices = MakeGuid("{635AC3B1-DB02-41A4-9FB3-20F308A4625C}");

// The operations (see services/operations.h).
#define QBX_SYSTEM_SERVICES_OPS(X)                                                                 \
  X(com::ComPtr<IConnection>, Obtener_Conexion, (), ())                                            \
  X(std::string, Obtener_Usuario, (), ())                                                          \
  X(std::string, Obtener_Servidor_Id, (), ())                                                      \
  /* True when this installation is not the central server. */                                     \
  X(bool, Es_Servidor_Sucursal, (), ())                                                            \
  /* Callers pass the Long 0; kind and default as the caller's step says. */                       \
  X(Variant, Obtener_Parametro,                                                                    \
    (const std::string& name, int32_t zero, const std::string& kind,                               \
     const std::string& default_value),                                                            \
    (name, zero, kind, default_value))                                                             \
  /* style is 16; the fourth argument is omitted (Missing). Never blocks. */                       \
  X(Variant, Mostrar_Mensaje,                                                                      \
    (const Variant& text, int32_t style, const Variant& title, const Variant& omitted,             \
     const Variant& source, const Variant& key),                                                   \
    (text, style, title, omitted, source, key))

struct ISystemServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{3A045C1C-B103-432C-A046-60236F3E7017}");

  QBX_SYSTEM_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~ISystemServices() = default;
};

#define QBX_DATA_SERVICES_OPS(X)                                                                   \
  /* "" when no row matches; the second key applies when its column is not empty; */               \
  /* rows in excluded_state are ignored when it is not empty. */                                   \
  X(std::string, Obtener_Valor_Campo,                                                              \
    (const std::string& table, const std::string& key_column, const std::string& key_value,        \
     const std::string& result_column, int32_t zero, const std::string& key2_column,               \
     const std::string& key2_value, const std::string& excluded_state),                            \
    (table, key_column, key_value, result_column, zero, key2_column, key2_value,                   \
     excluded_state))                                                                              \
  X(Date, Obtener_Fecha_Servidor, (), ())                                                          \
  /* Callers pass 10 and True. A folio never handed out before; "" on failure. */                  \
  X(Variant, Obtener_Folio,                                                                        \
    (const std::string& branch, const std::string& kind, int32_t ten, bool yes),                   \
    (branch, kind, ten, yes))                                                                      \
  /* Callers pass two empty strings last. Next key in the line-number form */                      \
  /* ("0001" ... "9999", "10000"). */                                                              \
  X(std::string, Obtener_Siguiente_Id,                                                             \
    (const std::string& table, const std::string& column, const std::string& filter_column,        \
     const std::string& filter_value, const std::string& empty1, const std::string& empty2),       \
    (table, column, filter_column, filter_value, empty1, empty2))                                  \
  /* module "INVENTARIOS", then the Long 0. */                                                     \
  X(bool, Validar_Periodo_Operativo,                                                               \
    (const Date& date, const std::string& module, int32_t zero), (date, module, zero))             \
  X(bool, Existe_Producto_Talla, (const std::string& product, const std::string& size),            \
    (product, size))                                                                               \
  X(bool, Existe_Producto_Color, (const std::string& product, const std::string& colour),          \
    (product, colour))                                                                             \
  X(bool, Existe_Producto_Talla_Color,                                                             \
    (const std::string& product, const std::string& size, const std::string& colour),              \
    (product, size, colour))                                                                       \
  /* Quantity in to_unit of one from_unit; 1 for a unit to itself. */                              \
  X(double, Obtener_Factor_Conversion,                                                             \
    (const std::string& product, const std::string& from_unit, const std::string& to_unit),        \
    (product, from_unit, to_unit))                                                                 \
  /* SQL texts of a date and a date-time (callers enclose them in quotes). */                      \
  X(std::string, Formatear_Fecha, (const Date& date), (date))                                      \
  X(std::string, Formatear_Fecha_Hora, (const Date& date), (date))                                 \
  X(std::string, Obtener_Ultimo_Error, (), ())                                                     \
  /* entity "DETALLE_TRANSFERENCIA" or "TRANSFERENCIA"; line_id "" for a document. */              \
  X(bool, Procesar_Documento,                                                                      \
    (const std::string& entity, const std::string& folio, const std::string& line_id),             \
    (entity, folio, line_id))                                                                      \
  /* Arguments by value; callers pass 4. */                                                        \
  X(int32_t, Obtener_Consecutivo_Serie, (std::string branch, std::string series, int32_t four),    \
    (branch, series, four))                                                                        \
  X(bool, Documento_Contabilizado, (const std::string& kind, const std::string& folio),            \
    (kind, folio))

struct IDataServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{4A3C37F6-0143-47E5-85D7-BB412111EE9E}");

  QBX_DATA_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~IDataServices() = default;
};

}  // namespace qbx
