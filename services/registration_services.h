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
#include "services/operations.h"

namespace qbx {

inline constexpr Guid kClsidSeriesServices = MakeGuid("{D87DB9BA-FDEC-4F9F-BD7C-1A2225F103A9}");
inline constexpr Guid kClsidLotServices = MakeGuid("{F8E983C6-9F26-46CC-B659-6471E893B051}");
inline constexpr Guid kClsidPostingServices = MakeGuid("{A4F0CA0C-F635-4571-8038-2818430A10DD}");
inline constexpr Guid kClsidVoucherServices = MakeGuid("{FB077CAA-CD9A-47FD-9D31-7D910B8EA5AC}");

// The operations (see services/operations.h).
#define QBX_SERIES_SERVICES_OPS(X)                                                                 \
  /* Callers pass: cost (Variant Double), 0, True, 0, "", "", "", Integer 0, */                    \
  /* Integer 0, 0.0, 0.0. */                                                                       \
  X(bool, Registrar_Serie_Deposito_Fiscal,                                                         \
    (const std::string& product, const std::string& serial, const std::string& customs_entry,      \
     const Date& customs_date, const Variant& cost, int32_t zero1, bool yes, int32_t zero2,        \
     const std::string& empty1, const std::string& empty2, const std::string& empty3,              \
     const Variant& int_zero1, const Variant& int_zero2, double dzero1, double dzero2),            \
    (product, serial, customs_entry, customs_date, cost, zero1, yes, zero2, empty1, empty2,        \
     empty3, int_zero1, int_zero2, dzero1, dzero2))                                                \
  X(bool, Registrar_Serie,                                                                         \
    (const std::string& kind, const std::string& folio, const std::string& line_id,                \
     const std::string& product, const std::string& size, const std::string& colour,               \
     const std::string& serial, const std::string& customs_entry, const Date& customs_date,        \
     int16_t quantity),                                                                            \
    (kind, folio, line_id, product, size, colour, serial, customs_entry, customs_date,             \
     quantity))                                                                                    \
  X(std::string, Obtener_Mensaje_Error, (), ())

struct ISeriesServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{8AA5E5B6-A923-4446-B55E-C2850957DFDA}");

  QBX_SERIES_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~ISeriesServices() = default;
};

#define QBX_LOT_SERVICES_OPS(X)                                                                    \
  /* Callers pass: True, "", 0.0, "". */                                                           \
  X(bool, Registrar_Lote_Deposito_Fiscal,                                                          \
    (const std::string& product, const std::string& size, const std::string& colour,               \
     const std::string& lot, bool yes, const std::string& empty1, double dzero,                    \
     const std::string& empty2),                                                                   \
    (product, size, colour, lot, yes, empty1, dzero, empty2))                                      \
  X(bool, Registrar_Lote,                                                                          \
    (const std::string& kind, const std::string& folio, const std::string& line_id,                \
     const std::string& product, const std::string& size, const std::string& colour,               \
     const std::string& lot, double quantity1, double quantity2),                                  \
    (kind, folio, line_id, product, size, colour, lot, quantity1, quantity2))                      \
  X(std::string, Obtener_Mensaje_Error, (), ())

struct ILotServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{588233C6-B00B-4D54-A9C4-A9D6CF33A1E5}");

  QBX_LOT_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~ILotServices() = default;
};

#define QBX_POSTING_SERVICES_OPS(X)                                                                \
  X(bool, Documento_Habilitado, (const std::string& kind), (kind))                                 \
  X(bool, Generar_Documento,                                                                       \
    (const std::string& kind, const std::string& folio, const std::string& company),               \
    (kind, folio, company))                                                                        \
  X(bool, Cancelar_Documento, (const std::string& kind, const std::string& folio),                 \
    (kind, folio))                                                                                 \
  /* A non-empty text after a True result still means failure. */                                  \
  X(std::string, Obtener_Mensaje_Error, (), ())

struct IPostingServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{C89FAD3A-67BB-4DE4-9247-BF217E55F358}");

  QBX_POSTING_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~IPostingServices() = default;
};

#define QBX_VOUCHER_SERVICES_OPS(X)                                                                \
  /* database: the connection's DefaultDatabase; callers pass 7. */                                \
  X(bool, Cancelar_Comprobante,                                                                    \
    (const std::string& database, int32_t seven, const std::string& folio),                        \
    (database, seven, folio))                                                                      \
  X(std::string, Obtener_Mensaje_Error, (), ())

struct IVoucherServices : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{913CBC48-4EE6-4123-9659-15E8A76539D4}");

  QBX_VOUCHER_SERVICES_OPS(QBX_DECLARE_OP)

 protected:
  ~IVoucherServices() = default;
};

}  // namespace qbx
