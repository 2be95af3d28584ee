#include "bench/null_services.h"

#include <string>
#include <string_view>
#include <type_traits>

#include "automation/value.h"
#include "services/connection.h"
#include "services/inventory_services.h"
#include "services/registration_services.h"
#include "services/system_services.h"

namespace qbx::bench {
namespace {

// Every row of every recordset: numbers where the component reads numbers,
// dates where it reads dates, a live state and a shipment type, text elsewhere.
Variant FieldValue(std::string_view name) {
  if (name == "Es_Cve_Estado") return "AC";
  if (name == "Tr_Tipo") return "EN";
  if (name == "Tr_Fecha" || name == "Pd_Fecha" || name == "Pd_Fecha_Entrega")
    return Date::FromCalendar(2024, 1, 15);
  if (name.find("Cantidad") != std::string_view::npos || name == "Tr_Costo" ||
      name == "Tr_Importe_Costo" || name == "Total")
    return 1.0;
  if (name == "Sc_Traslado_Serie") return "TC";
  if (name.find("Unidad") != std::string_view::npos) return "PZA";
  return "X";
}

class NullRecordset final : public com::Object<NullRecordset, IRecordset> {
 public:
  explicit NullRecordset(int rows) : rows_(rows) {}
  bool Eof() override { return pos_ >= rows_; }
  Variant Field(std::string_view name) override { return FieldValue(name); }
  void MoveNext() override { ++pos_; }
  void Close() override {}

 private:
  int rows_;
  int pos_ = 0;
};

class NullConnection final : public com::Object<NullConnection, IConnection> {
 public:
  explicit NullConnection(int rows) : rows_(rows) {}
  com::ComPtr<IRecordset> Execute(const std::string&, const Variant&, int32_t) override {
    return NullRecordset::Make(rows_);
  }
  std::string DefaultDatabase() override { return "bench"; }
  int32_t BeginTrans() override { return ++level_; }
  void CommitTrans() override { --level_; }
  void RollbackTrans() override { --level_; }

 private:
  int rows_;
  int32_t level_ = 0;
};

// Answers of every operation: Booleans True, texts "", numbers 0, Variants
// Empty, records and objects empty; the Answer overloads below say otherwise.
struct Default {
  template <class R>
  R AsResult() const {
    if constexpr (std::is_same_v<R, bool>) return true;
    else return R{};
  }
};

template <ops::Name N>
using Op = ops::Op<N>;

class NullBase {
 protected:
  template <ops::Name N, class... A>
  Default Answer(Op<N>, const A&...) {
    return {};
  }
};

#define QBX_NULL_OP(Result, Name, Params, Names)                                                   \
  Result Name Params override {                                                                    \
    return ops::Reply<Result>(Answer(Op<#Name>{} QBX_MORE_ARGS Names));                            \
  }

class NullSystem final : public com::Object<NullSystem, ISystemServices>, NullBase {
 public:
  NullSystem(bool in_transit, int rows)
      : in_transit_(in_transit), connection_(NullConnection::Make(rows)) {}
  QBX_SYSTEM_SERVICES_OPS(QBX_NULL_OP)

 private:
  using NullBase::Answer;
  com::ComPtr<IConnection> Answer(Op<"Obtener_Conexion">) { return connection_; }
  std::string Answer(Op<"Obtener_Usuario">) { return "ADMIN"; }
  bool Answer(Op<"Es_Servidor_Sucursal">) { return false; }
  Variant Answer(Op<"Obtener_Parametro">, const std::string& name, const auto&...) {
    if (name == "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO") return in_transit_;
    if (name == "GEN_VALIDAR_PERIODO_OPERATIVO") return true;
    if (name == "MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL") return "";
    return "X";
  }
  Variant Answer(Op<"Mostrar_Mensaje">, const auto&...) { return int32_t{1}; }

  bool in_transit_;
  com::ComPtr<IConnection> connection_;
};

class NullData final : public com::Object<NullData, IDataServices>, NullBase {
 public:
  QBX_DATA_SERVICES_OPS(QBX_NULL_OP)

 private:
  using NullBase::Answer;
  std::string Answer(Op<"Obtener_Valor_Campo">, const std::string&, const std::string&,
                     const std::string&, const std::string& result_column, const auto&...) {
    if (result_column == "Sc_Servidor_Id") return "";
    if (result_column == "Pr_Tipo_Producto") return "01";
    if (result_column == "Es_Cve_Estado") return "AC";
    if (result_column.starts_with("Pr_Unidad")) return "PZA";
    return "X";
  }
  Date Answer(Op<"Obtener_Fecha_Servidor">) { return Date::FromCalendar(2024, 1, 15, 10, 30, 0); }
  Variant Answer(Op<"Obtener_Folio">, const auto&...) { return "CEDIS-0000000001"; }
  std::string Answer(Op<"Obtener_Siguiente_Id">, const auto&...) { return "0001"; }
  double Answer(Op<"Obtener_Factor_Conversion">, const auto&...) { return 1; }
  std::string Answer(Op<"Formatear_Fecha">, const Date&) { return "2024-01-15"; }
  std::string Answer(Op<"Formatear_Fecha_Hora">, const Date&) { return "2024-01-15 10:30:00"; }
  int32_t Answer(Op<"Obtener_Consecutivo_Serie">, const auto&...) { return 1; }
  bool Answer(Op<"Documento_Contabilizado">, const auto&...) { return false; }
};

class NullInventory final : public com::Object<NullInventory, IInventoryServices>, NullBase {
 public:
  QBX_INVENTORY_SERVICES_OPS(QBX_NULL_OP)

 private:
  using NullBase::Answer;
  bool Answer(Op<"Maneja_Talla">, const auto&...) { return false; }
  bool Answer(Op<"Maneja_Color">, const auto&...) { return false; }
  bool Answer(Op<"Maneja_Lote">, const auto&...) { return false; }
  bool Answer(Op<"Maneja_Serie">, const auto&...) { return false; }
  std::string Answer(Op<"Obtener_Tipo_Producto">, const std::string&) { return "01"; }
  std::string Answer(Op<"Obtener_Costo_Detalle">) { return "2.5"; }
  MovementHeader Answer(Op<"Obtener_Encabezado_Movimiento">) {
    MovementHeader h;
    h.Folio = "MV00000001";
    return h;
  }
};

// Series, lots, posting and vouchers: every answer the default.
class NullSeries final : public com::Object<NullSeries, ISeriesServices>, NullBase {
 public:
  QBX_SERIES_SERVICES_OPS(QBX_NULL_OP)
};

class NullLots final : public com::Object<NullLots, ILotServices>, NullBase {
 public:
  QBX_LOT_SERVICES_OPS(QBX_NULL_OP)
};

class NullPosting final : public com::Object<NullPosting, IPostingServices>, NullBase {
 public:
  QBX_POSTING_SERVICES_OPS(QBX_NULL_OP)
};

class NullVoucher final : public com::Object<NullVoucher, IVoucherServices>, NullBase {
 public:
  QBX_VOUCHER_SERVICES_OPS(QBX_NULL_OP)
};

#undef QBX_NULL_OP

template <class T>
com::HRESULT Hand(com::ComPtr<T> object, const Guid& iid, void** out) {
  return object->QueryInterface(iid, out);
}

}  // namespace

com::HRESULT NullProvider::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  if (!out) return com::E_POINTER;
  *out = nullptr;
  if (clsid == kClsidSystemServices) return Hand(NullSystem::Make(in_transit_, rows_), iid, out);
  if (clsid == kClsidDataServices) return Hand(NullData::Make(), iid, out);
  if (clsid == kClsidInventoryServices) return Hand(NullInventory::Make(), iid, out);
  if (clsid == kClsidSeriesServices) return Hand(NullSeries::Make(), iid, out);
  if (clsid == kClsidLotServices) return Hand(NullLots::Make(), iid, out);
  if (clsid == kClsidPostingServices) return Hand(NullPosting::Make(), iid, out);
  if (clsid == kClsidVoucherServices) return Hand(NullVoucher::Make(), iid, out);
  return com::REGDB_E_CLASSNOTREG;
}

}  // namespace qbx::bench
