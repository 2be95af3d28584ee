#include "bench/null_services.h"

#include <string>
#include <string_view>

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

class NullSystem final : public com::Object<NullSystem, ISystemServices> {
 public:
  NullSystem(bool in_transit, int rows)
      : in_transit_(in_transit), connection_(NullConnection::Make(rows)) {}
  com::ComPtr<IConnection> Obtener_Conexion() override { return connection_; }
  std::string Obtener_Usuario() override { return "ADMIN"; }
  std::string Obtener_Servidor_Id() override { return ""; }
  bool Es_Servidor_Sucursal() override { return false; }
  Variant Obtener_Parametro(const std::string& name, int32_t, const std::string&,
                            const std::string&) override {
    if (name == "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO") return in_transit_;
    if (name == "GEN_VALIDAR_PERIODO_OPERATIVO") return true;
    if (name == "MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL") return "";
    return "X";
  }
  Variant Mostrar_Mensaje(const Variant&, int32_t, const Variant&, const Variant&, const Variant&,
                          const Variant&) override {
    return int32_t{1};
  }

 private:
  bool in_transit_;
  com::ComPtr<IConnection> connection_;
};

class NullData final : public com::Object<NullData, IDataServices> {
 public:
  std::string Obtener_Valor_Campo(const std::string&, const std::string&, const std::string&,
                                  const std::string& result_column, int32_t, const std::string&,
                                  const std::string&, const std::string&) override {
    if (result_column == "Sc_Servidor_Id") return "";
    if (result_column == "Pr_Tipo_Producto") return "01";
    if (result_column == "Es_Cve_Estado") return "AC";
    if (result_column.starts_with("Pr_Unidad")) return "PZA";
    return "X";
  }
  Date Obtener_Fecha_Servidor() override { return Date::FromCalendar(2024, 1, 15, 10, 30, 0); }
  Variant Obtener_Folio(const std::string&, const std::string&, int32_t, bool) override {
    return "CEDIS-0000000001";
  }
  std::string Obtener_Siguiente_Id(const std::string&, const std::string&, const std::string&,
                                   const std::string&, const std::string&,
                                   const std::string&) override {
    return "0001";
  }
  bool Validar_Periodo_Operativo(const Date&, const std::string&, int32_t) override { return true; }
  bool Existe_Producto_Talla(const std::string&, const std::string&) override { return true; }
  bool Existe_Producto_Color(const std::string&, const std::string&) override { return true; }
  bool Existe_Producto_Talla_Color(const std::string&, const std::string&,
                                   const std::string&) override {
    return true;
  }
  double Obtener_Factor_Conversion(const std::string&, const std::string&,
                                   const std::string&) override {
    return 1;
  }
  std::string Formatear_Fecha(const Date&) override { return "2024-01-15"; }
  std::string Formatear_Fecha_Hora(const Date&) override { return "2024-01-15 10:30:00"; }
  std::string Obtener_Ultimo_Error() override { return ""; }
  bool Procesar_Documento(const std::string&, const std::string&, const std::string&) override {
    return true;
  }
  int32_t Obtener_Consecutivo_Serie(std::string, std::string, int32_t) override { return 1; }
  bool Documento_Contabilizado(const std::string&, const std::string&) override { return false; }
};

class NullInventory final : public com::Object<NullInventory, IInventoryServices> {
 public:
  bool Maneja_Talla(const std::string&, const std::string&) override { return false; }
  bool Maneja_Color(const std::string&, const std::string&) override { return false; }
  bool Maneja_Lote(const std::string&, const std::string&) override { return false; }
  bool Maneja_Serie(const std::string&, const std::string&) override { return false; }
  std::string Obtener_Tipo_Producto(const std::string&) override { return "01"; }
  bool Ajustar_Existencia(const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, double, double) override {
    return true;
  }
  double Obtener_Existencia(const std::string&, const std::string&, const std::string&,
                            const std::string&, const std::string&, int32_t,
                            const std::string&) override {
    return 0;
  }
  bool Cancelar_Movimientos_Documento(const std::string&, const std::string&) override {
    return true;
  }
  std::string Obtener_Mensaje_Error() override { return ""; }
  void Nuevo_Movimiento() override {}
  void Asignar_Encabezado_Movimiento(const MovementHeader&) override {}
  void Asignar_Detalle_Movimiento(const MovementLine&) override {}
  bool Agregar_Detalle_Movimiento() override { return true; }
  std::string Obtener_Costo_Detalle() override { return "2.5"; }
  MovementHeader Obtener_Encabezado_Movimiento() override {
    MovementHeader h;
    h.Folio = "MV00000001";
    return h;
  }
  bool Finalizar_Movimiento(const std::string&) override { return true; }
};

class NullSeries final : public com::Object<NullSeries, ISeriesServices> {
 public:
  bool Registrar_Serie_Deposito_Fiscal(const std::string&, const std::string&, const std::string&,
                                       const Date&, const Variant&, int32_t, bool, int32_t,
                                       const std::string&, const std::string&, const std::string&,
                                       const Variant&, const Variant&, double, double) override {
    return true;
  }
  bool Registrar_Serie(const std::string&, const std::string&, const std::string&,
                       const std::string&, const std::string&, const std::string&,
                       const std::string&, const std::string&, const Date&, int16_t) override {
    return true;
  }
  std::string Obtener_Mensaje_Error() override { return ""; }
};

class NullLots final : public com::Object<NullLots, ILotServices> {
 public:
  bool Registrar_Lote_Deposito_Fiscal(const std::string&, const std::string&, const std::string&,
                                      const std::string&, bool, const std::string&, double,
                                      const std::string&) override {
    return true;
  }
  bool Registrar_Lote(const std::string&, const std::string&, const std::string&,
                      const std::string&, const std::string&, const std::string&,
                      const std::string&, double, double) override {
    return true;
  }
  std::string Obtener_Mensaje_Error() override { return ""; }
};

class NullPosting final : public com::Object<NullPosting, IPostingServices> {
 public:
  bool Documento_Habilitado(const std::string&) override { return true; }
  bool Generar_Documento(const std::string&, const std::string&, const std::string&) override {
    return true;
  }
  bool Cancelar_Documento(const std::string&, const std::string&) override { return true; }
  std::string Obtener_Mensaje_Error() override { return ""; }
};

class NullVoucher final : public com::Object<NullVoucher, IVoucherServices> {
 public:
  bool Cancelar_Comprobante(const std::string&, int32_t, const std::string&) override {
    return true;
  }
  std::string Obtener_Mensaje_Error() override { return ""; }
};

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
