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

namespace qbx {

inline constexpr Guid kClsidSystemServices = MakeGuid("{54E34BDD-C60A-4AB5-A221-D8360420CEFA}");
inline constexpr Guid kClsidDataServices = MakeGuid("{635AC3B1-DB02-41A4-9FB3-20F308A4625C}");

struct ISystemServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{3A045C1C-B103-432C-A046-60236F3E7017}");

  virtual com::ComPtr<IConnection> Obtener_Conexion() = 0;
  virtual std::string Obtener_Usuario() = 0;
  virtual std::string Obtener_Servidor_Id() = 0;
  // True when this installation is not the central server.
  virtual bool Es_Servidor_Sucursal() = 0;
  // Callers pass the Long 0; kind and default as the caller's step says.
  virtual Variant Obtener_Parametro(const std::string& name, int32_t zero, const std::string& kind,
                                    const std::string& default_value) = 0;
  // style is 16; the fourth argument is omitted (Missing). Never blocks.
  virtual Variant Mostrar_Mensaje(const Variant& text, int32_t style, const Variant& title,
                                  const Variant& omitted, const Variant& source,
                                  const Variant& key) = 0;

 protected:
  ~ISystemServices() = default;
};

struct IDataServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{4A3C37F6-0143-47E5-85D7-BB412111EE9E}");

  // "" when no row matches; the second key applies when its column is not
  // empty; rows in excluded_state are ignored when it is not empty.
  virtual std::string Obtener_Valor_Campo(const std::string& table, const std::string& key_column,
                                          const std::string& key_value,
                                          const std::string& result_column, int32_t zero,
                                          const std::string& key2_column,
                                          const std::string& key2_value,
                                          const std::string& excluded_state) = 0;
  virtual Date Obtener_Fecha_Servidor() = 0;
  // Callers pass 10 and True. A folio never handed out before; "" on failure.
  virtual Variant Obtener_Folio(const std::string& branch, const std::string& kind, int32_t ten,
                                bool yes) = 0;
  // Callers pass two empty strings last. Next key in the line-number form
  // ("0001" ... "9999", "10000").
  virtual std::string Obtener_Siguiente_Id(const std::string& table, const std::string& column,
                                           const std::string& filter_column,
                                           const std::string& filter_value,
                                           const std::string& empty1,
                                           const std::string& empty2) = 0;
  // module "INVENTARIOS", then the Long 0.
  virtual bool Validar_Periodo_Operativo(const Date& date, const std::string& module,
                                         int32_t zero) = 0;
  virtual bool Existe_Producto_Talla(const std::string& product, const std::string& size) = 0;
  virtual bool Existe_Producto_Color(const std::string& product, const std::string& colour) = 0;
  virtual bool Existe_Producto_Talla_Color(const std::string& product, const std::string& size,
                                           const std::string& colour) = 0;
  // Quantity in to_unit of one from_unit; 1 for a unit to itself.
  virtual double Obtener_Factor_Conversion(const std::string& product,
                                           const std::string& from_unit,
                                           const std::string& to_unit) = 0;
  // SQL texts of a date and a date-time (callers enclose them in quotes).
  virtual std::string Formatear_Fecha(const Date& date) = 0;
  virtual std::string Formatear_Fecha_Hora(const Date& date) = 0;
  virtual std::string Obtener_Ultimo_Error() = 0;
  // entity "DETALLE_TRANSFERENCIA" or "TRANSFERENCIA"; line_id "" for a document.
  virtual bool Procesar_Documento(const std::string& entity, const std::string& folio,
                                  const std::string& line_id) = 0;
  // Arguments by value; callers pass 4.
  virtual int32_t Obtener_Consecutivo_Serie(std::string branch, std::string series,
                                            int32_t four) = 0;
  virtual bool Documento_Contabilizado(const std::string& kind, const std::string& folio) = 0;

 protected:
  ~IDataServices() = default;
};

}  // namespace qbx
