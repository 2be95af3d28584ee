// The smaller outside services: serial numbers, lots, accounting posting and
// digital vouchers. Created afresh for each use and released at its end.
//
// Every method may raise qbx::RuntimeError. A False result is a refusal
// explained by Obtener_Mensaje_Error.
#pragma once

#include <cstdint>
#include <string>

#include "automation/com.h"
#include "automation/value.h"

namespace qbx {

inline constexpr Guid kClsidSeriesServices = MakeGuid("{D87DB9BA-FDEC-4F9F-BD7C-1A2225F103A9}");
inline constexpr Guid kClsidLotServices = MakeGuid("{F8E983C6-9F26-46CC-B659-6471E893B051}");
inline constexpr Guid kClsidPostingServices = MakeGuid("{A4F0CA0C-F635-4571-8038-2818430A10DD}");
inline constexpr Guid kClsidVoucherServices = MakeGuid("{FB077CAA-CD9A-47FD-9D31-7D910B8EA5AC}");

struct ISeriesServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{8AA5E5B6-A923-4446-B55E-C2850957DFDA}");

  // Callers pass: cost (Variant Double), 0, True, 0, "", "", "", Integer 0,
  // Integer 0, 0.0, 0.0.
  virtual bool Registrar_Serie_Deposito_Fiscal(
      const std::string& product, const std::string& serial, const std::string& customs_entry,
      const Date& customs_date, const Variant& cost, int32_t zero1, bool yes, int32_t zero2,
      const std::string& empty1, const std::string& empty2, const std::string& empty3,
      const Variant& int_zero1, const Variant& int_zero2, double dzero1, double dzero2) = 0;
  virtual bool Registrar_Serie(const std::string& kind, const std::string& folio,
                               const std::string& line_id, const std::string& product,
                               const std::string& size, const std::string& colour,
                               const std::string& serial, const std::string& customs_entry,
                               const Date& customs_date, int16_t quantity) = 0;
  virtual std::string Obtener_Mensaje_Error() = 0;

 protected:
  ~ISeriesServices() = default;
};

struct ILotServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{588233C6-B00B-4D54-A9C4-A9D6CF33A1E5}");

  // Callers pass: True, "", 0.0, "".
  virtual bool Registrar_Lote_Deposito_Fiscal(const std::string& product, const std::string& size,
                                              const std::string& colour, const std::string& lot,
                                              bool yes, const std::string& empty1, double dzero,
                                              const std::string& empty2) = 0;
  virtual bool Registrar_Lote(const std::string& kind, const std::string& folio,
                              const std::string& line_id, const std::string& product,
                              const std::string& size, const std::string& colour,
                              const std::string& lot, double quantity1, double quantity2) = 0;
  virtual std::string Obtener_Mensaje_Error() = 0;

 protected:
  ~ILotServices() = default;
};

struct IPostingServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{C89FAD3A-67BB-4DE4-9247-BF217E55F358}");

  virtual bool Documento_Habilitado(const std::string& kind) = 0;
  virtual bool Generar_Documento(const std::string& kind, const std::string& folio,
                                 const std::string& company) = 0;
  virtual bool Cancelar_Documento(const std::string& kind, const std::string& folio) = 0;
  // A non-empty text after a True result still means failure.
  virtual std::string Obtener_Mensaje_Error() = 0;

 protected:
  ~IPostingServices() = default;
};

struct IVoucherServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{913CBC48-4EE6-4123-9659-15E8A76539D4}");

  // database: the connection's DefaultDatabase; callers pass 7.
  virtual bool Cancelar_Comprobante(const std::string& database, int32_t seven,
                                    const std::string& folio) = 0;
  virtual std::string Obtener_Mensaje_Error() = 0;

 protected:
  ~IVoucherServices() = default;
};

}  // namespace qbx
