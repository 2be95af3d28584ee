#include "cli/trace.h"

#include <map>
#include <type_traits>
#include <utility>

#include "services/registration_services.h"
#include "services/system_services.h"

namespace qbx::cli {

std::string TraceText(const std::string& s) {
  return "\"" + s + "\"";
}
std::string TraceText(double d) {
  return NumberText(d);
}
std::string TraceText(int32_t n) {
  return std::to_string(n);
}
std::string TraceText(int16_t n) {
  return std::to_string(n);
}
std::string TraceText(bool b) {
  return b ? "True" : "False";
}
std::string TraceText(const Date& d) {
  return "#" + d.ToIsoText() + "#";
}
std::string TraceText(const Variant& v) {
  return v.Describe();
}

std::string TraceText(const MovementHeader& h) {
  return "{Folio=" + TraceText(h.Folio) + ", Fecha=" + TraceText(h.Fecha) +
         ", Tabla=" + TraceText(h.Tabla) + ", Documento=" + TraceText(h.Documento) +
         ", Referencia=" + TraceText(h.Referencia) + ", Sucursal=" + TraceText(h.Sucursal) +
         ", Almacen=" + TraceText(h.Almacen) + ", Tipo_Movimiento=" + TraceText(h.Tipo_Movimiento) +
         "}";
}

std::string TraceText(const MovementLine& l) {
  std::string text = "{Producto=" + TraceText(l.Producto) + ", Talla=" + TraceText(l.Talla) +
                     ", Color=" + TraceText(l.Color) + ", Cantidad_1=" + TraceText(l.Cantidad_1) +
                     ", Unidad_1=" + TraceText(l.Unidad_1) +
                     ", Cantidad_2=" + TraceText(l.Cantidad_2) +
                     ", Unidad_2=" + TraceText(l.Unidad_2) + ", Costo=" + TraceText(l.Costo);
  if (!l.Serie.Serie.empty()) text += ", Serie=" + TraceText(l.Serie.Serie);
  if (!l.Lote.Lote.empty()) text += ", Lote=" + TraceText(l.Lote.Lote);
  return text + "}";
}

std::string TraceText(const com::ComPtr<IConnection>& c) {
  return c ? "<connection>" : "Nothing";
}

namespace {

// Prints a call, runs it, prints its result or the error it raised.
class Tracer {
 public:
  Tracer(std::string label, TraceWriter writer)
      : label_(std::move(label)), writer_(std::move(writer)) {}

  template <class F, class... A>
  auto Call(std::string_view method, F&& body, const A&... args) -> decltype(body()) {
    std::string line = label_ + "." + std::string(method) + "(";
    bool first = true;
    ((line += (first ? "" : ", ") + TraceText(args), first = false), ...);
    writer_(line + ")");
    try {
      if constexpr (std::is_void_v<decltype(body())>) {
        body();
      } else {
        auto result = body();
        writer_("  = " + TraceText(result));
        return result;
      }
    } catch (const RuntimeError& e) {
      writer_("  raised error " + std::to_string(e.number()) + ": " + e.description());
      throw;
    }
  }

 private:
  std::string label_;
  TraceWriter writer_;
};

#define QBX_TRACE(method, ...) \
  tracer_.Call(#method, [&] { return inner_->method(__VA_ARGS__); } __VA_OPT__(, ) __VA_ARGS__)

class SystemTrace final : public com::Object<SystemTrace, ISystemServices> {
 public:
  SystemTrace(com::ComPtr<ISystemServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  com::ComPtr<IConnection> Obtener_Conexion() override { return QBX_TRACE(Obtener_Conexion); }
  std::string Obtener_Usuario() override { return QBX_TRACE(Obtener_Usuario); }
  std::string Obtener_Servidor_Id() override { return QBX_TRACE(Obtener_Servidor_Id); }
  bool Es_Servidor_Sucursal() override { return QBX_TRACE(Es_Servidor_Sucursal); }
  Variant Obtener_Parametro(const std::string& name, int32_t zero, const std::string& kind,
                            const std::string& default_value) override {
    return QBX_TRACE(Obtener_Parametro, name, zero, kind, default_value);
  }
  Variant Mostrar_Mensaje(const Variant& text, int32_t style, const Variant& title,
                          const Variant& omitted, const Variant& source,
                          const Variant& key) override {
    return QBX_TRACE(Mostrar_Mensaje, text, style, title, omitted, source, key);
  }

 private:
  com::ComPtr<ISystemServices> inner_;
  Tracer tracer_;
};

class DataTrace final : public com::Object<DataTrace, IDataServices> {
 public:
  DataTrace(com::ComPtr<IDataServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  std::string Obtener_Valor_Campo(const std::string& table, const std::string& key_column,
                                  const std::string& key_value, const std::string& result_column,
                                  int32_t zero, const std::string& key2_column,
                                  const std::string& key2_value,
                                  const std::string& excluded_state) override {
    return QBX_TRACE(Obtener_Valor_Campo, table, key_column, key_value, result_column, zero,
                     key2_column, key2_value, excluded_state);
  }
  Date Obtener_Fecha_Servidor() override { return QBX_TRACE(Obtener_Fecha_Servidor); }
  Variant Obtener_Folio(const std::string& branch, const std::string& kind, int32_t ten,
                        bool yes) override {
    return QBX_TRACE(Obtener_Folio, branch, kind, ten, yes);
  }
  std::string Obtener_Siguiente_Id(const std::string& table, const std::string& column,
                                   const std::string& filter_column,
                                   const std::string& filter_value, const std::string& empty1,
                                   const std::string& empty2) override {
    return QBX_TRACE(Obtener_Siguiente_Id, table, column, filter_column, filter_value, empty1,
                     empty2);
  }
  bool Validar_Periodo_Operativo(const Date& date, const std::string& module,
                                 int32_t zero) override {
    return QBX_TRACE(Validar_Periodo_Operativo, date, module, zero);
  }
  bool Existe_Producto_Talla(const std::string& product, const std::string& size) override {
    return QBX_TRACE(Existe_Producto_Talla, product, size);
  }
  bool Existe_Producto_Color(const std::string& product, const std::string& colour) override {
    return QBX_TRACE(Existe_Producto_Color, product, colour);
  }
  bool Existe_Producto_Talla_Color(const std::string& product, const std::string& size,
                                   const std::string& colour) override {
    return QBX_TRACE(Existe_Producto_Talla_Color, product, size, colour);
  }
  double Obtener_Factor_Conversion(const std::string& product, const std::string& from_unit,
                                   const std::string& to_unit) override {
    return QBX_TRACE(Obtener_Factor_Conversion, product, from_unit, to_unit);
  }
  std::string Formatear_Fecha(const Date& date) override {
    return QBX_TRACE(Formatear_Fecha, date);
  }
  std::string Formatear_Fecha_Hora(const Date& date) override {
    return QBX_TRACE(Formatear_Fecha_Hora, date);
  }
  std::string Obtener_Ultimo_Error() override { return QBX_TRACE(Obtener_Ultimo_Error); }
  bool Procesar_Documento(const std::string& entity, const std::string& folio,
                          const std::string& line_id) override {
    return QBX_TRACE(Procesar_Documento, entity, folio, line_id);
  }
  int32_t Obtener_Consecutivo_Serie(std::string branch, std::string series, int32_t four) override {
    return QBX_TRACE(Obtener_Consecutivo_Serie, branch, series, four);
  }
  bool Documento_Contabilizado(const std::string& kind, const std::string& folio) override {
    return QBX_TRACE(Documento_Contabilizado, kind, folio);
  }

 private:
  com::ComPtr<IDataServices> inner_;
  Tracer tracer_;
};

class InventoryTrace final : public com::Object<InventoryTrace, IInventoryServices> {
 public:
  InventoryTrace(com::ComPtr<IInventoryServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  bool Maneja_Talla(const std::string& branch, const std::string& warehouse) override {
    return QBX_TRACE(Maneja_Talla, branch, warehouse);
  }
  bool Maneja_Color(const std::string& branch, const std::string& warehouse) override {
    return QBX_TRACE(Maneja_Color, branch, warehouse);
  }
  bool Maneja_Lote(const std::string& branch, const std::string& warehouse) override {
    return QBX_TRACE(Maneja_Lote, branch, warehouse);
  }
  bool Maneja_Serie(const std::string& branch, const std::string& warehouse) override {
    return QBX_TRACE(Maneja_Serie, branch, warehouse);
  }
  std::string Obtener_Tipo_Producto(const std::string& product) override {
    return QBX_TRACE(Obtener_Tipo_Producto, product);
  }
  bool Ajustar_Existencia(const std::string& branch, const std::string& warehouse,
                          const std::string& product, const std::string& size,
                          const std::string& colour, double quantity1, double quantity2) override {
    return QBX_TRACE(Ajustar_Existencia, branch, warehouse, product, size, colour, quantity1,
                     quantity2);
  }
  double Obtener_Existencia(const std::string& branch, const std::string& warehouse_pattern,
                            const std::string& product, const std::string& size,
                            const std::string& colour, int32_t one,
                            const std::string& empty) override {
    return QBX_TRACE(Obtener_Existencia, branch, warehouse_pattern, product, size, colour, one,
                     empty);
  }
  bool Cancelar_Movimientos_Documento(const std::string& kind, const std::string& folio) override {
    return QBX_TRACE(Cancelar_Movimientos_Documento, kind, folio);
  }
  std::string Obtener_Mensaje_Error() override { return QBX_TRACE(Obtener_Mensaje_Error); }
  void Nuevo_Movimiento() override { QBX_TRACE(Nuevo_Movimiento); }
  void Asignar_Encabezado_Movimiento(const MovementHeader& header) override {
    QBX_TRACE(Asignar_Encabezado_Movimiento, header);
  }
  void Asignar_Detalle_Movimiento(const MovementLine& line) override {
    QBX_TRACE(Asignar_Detalle_Movimiento, line);
  }
  bool Agregar_Detalle_Movimiento() override { return QBX_TRACE(Agregar_Detalle_Movimiento); }
  std::string Obtener_Costo_Detalle() override { return QBX_TRACE(Obtener_Costo_Detalle); }
  MovementHeader Obtener_Encabezado_Movimiento() override {
    return QBX_TRACE(Obtener_Encabezado_Movimiento);
  }
  bool Finalizar_Movimiento(const std::string& folio) override {
    return QBX_TRACE(Finalizar_Movimiento, folio);
  }

 private:
  com::ComPtr<IInventoryServices> inner_;
  Tracer tracer_;
};

class SeriesTrace final : public com::Object<SeriesTrace, ISeriesServices> {
 public:
  SeriesTrace(com::ComPtr<ISeriesServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  bool Registrar_Serie_Deposito_Fiscal(const std::string& product, const std::string& serial,
                                       const std::string& customs_entry, const Date& customs_date,
                                       const Variant& cost, int32_t zero1, bool yes, int32_t zero2,
                                       const std::string& empty1, const std::string& empty2,
                                       const std::string& empty3, const Variant& int_zero1,
                                       const Variant& int_zero2, double dzero1,
                                       double dzero2) override {
    return QBX_TRACE(Registrar_Serie_Deposito_Fiscal, product, serial, customs_entry, customs_date,
                     cost, zero1, yes, zero2, empty1, empty2, empty3, int_zero1, int_zero2, dzero1,
                     dzero2);
  }
  bool Registrar_Serie(const std::string& kind, const std::string& folio,
                       const std::string& line_id, const std::string& product,
                       const std::string& size, const std::string& colour,
                       const std::string& serial, const std::string& customs_entry,
                       const Date& customs_date, int16_t quantity) override {
    return QBX_TRACE(Registrar_Serie, kind, folio, line_id, product, size, colour, serial,
                     customs_entry, customs_date, quantity);
  }
  std::string Obtener_Mensaje_Error() override { return QBX_TRACE(Obtener_Mensaje_Error); }

 private:
  com::ComPtr<ISeriesServices> inner_;
  Tracer tracer_;
};

class LotTrace final : public com::Object<LotTrace, ILotServices> {
 public:
  LotTrace(com::ComPtr<ILotServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  bool Registrar_Lote_Deposito_Fiscal(const std::string& product, const std::string& size,
                                      const std::string& colour, const std::string& lot, bool yes,
                                      const std::string& empty1, double dzero,
                                      const std::string& empty2) override {
    return QBX_TRACE(Registrar_Lote_Deposito_Fiscal, product, size, colour, lot, yes, empty1, dzero,
                     empty2);
  }
  bool Registrar_Lote(const std::string& kind, const std::string& folio, const std::string& line_id,
                      const std::string& product, const std::string& size,
                      const std::string& colour, const std::string& lot, double quantity1,
                      double quantity2) override {
    return QBX_TRACE(Registrar_Lote, kind, folio, line_id, product, size, colour, lot, quantity1,
                     quantity2);
  }
  std::string Obtener_Mensaje_Error() override { return QBX_TRACE(Obtener_Mensaje_Error); }

 private:
  com::ComPtr<ILotServices> inner_;
  Tracer tracer_;
};

class PostingTrace final : public com::Object<PostingTrace, IPostingServices> {
 public:
  PostingTrace(com::ComPtr<IPostingServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  bool Documento_Habilitado(const std::string& kind) override {
    return QBX_TRACE(Documento_Habilitado, kind);
  }
  bool Generar_Documento(const std::string& kind, const std::string& folio,
                         const std::string& company) override {
    return QBX_TRACE(Generar_Documento, kind, folio, company);
  }
  bool Cancelar_Documento(const std::string& kind, const std::string& folio) override {
    return QBX_TRACE(Cancelar_Documento, kind, folio);
  }
  std::string Obtener_Mensaje_Error() override { return QBX_TRACE(Obtener_Mensaje_Error); }

 private:
  com::ComPtr<IPostingServices> inner_;
  Tracer tracer_;
};

class VoucherTrace final : public com::Object<VoucherTrace, IVoucherServices> {
 public:
  VoucherTrace(com::ComPtr<IVoucherServices> inner, Tracer tracer)
      : inner_(std::move(inner)), tracer_(std::move(tracer)) {}
  bool Cancelar_Comprobante(const std::string& database, int32_t seven,
                            const std::string& folio) override {
    return QBX_TRACE(Cancelar_Comprobante, database, seven, folio);
  }
  std::string Obtener_Mensaje_Error() override { return QBX_TRACE(Obtener_Mensaje_Error); }

 private:
  com::ComPtr<IVoucherServices> inner_;
  Tracer tracer_;
};

#undef QBX_TRACE

// Creates the inner object for the service interface, wraps it and hands out
// the interface asked for.
template <class Wrapper, class I>
com::HRESULT Decorate(com::ObjectProvider& inner, const Guid& clsid, const Guid& iid, void** out,
                      Tracer tracer) {
  com::ComPtr<I> object;
  com::HRESULT hr = inner.CreateInstance(clsid, I::IID, object.put());
  if (com::Failed(hr)) return hr;
  if (!object) return com::E_NOINTERFACE;
  auto wrapper = Wrapper::Make(std::move(object), std::move(tracer));
  return wrapper->QueryInterface(iid, out);
}

}  // namespace

TracingProvider::TracingProvider(com::ObjectProvider& inner, TraceWriter writer)
    : inner_(inner), writer_(std::move(writer)) {}

com::HRESULT TracingProvider::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  using Factory = com::HRESULT (*)(com::ObjectProvider&, const Guid&, const Guid&, void**, Tracer);
  struct Known {
    Guid clsid;
    std::string_view name;
    Factory factory;
  };
  static constexpr Known kKnown[] = {
      {kClsidSystemServices, "SystemServices", &Decorate<SystemTrace, ISystemServices>},
      {kClsidDataServices, "DataServices", &Decorate<DataTrace, IDataServices>},
      {kClsidInventoryServices, "InventoryServices", &Decorate<InventoryTrace, IInventoryServices>},
      {kClsidSeriesServices, "SeriesServices", &Decorate<SeriesTrace, ISeriesServices>},
      {kClsidLotServices, "LotServices", &Decorate<LotTrace, ILotServices>},
      {kClsidPostingServices, "PostingServices", &Decorate<PostingTrace, IPostingServices>},
      {kClsidVoucherServices, "VoucherServices", &Decorate<VoucherTrace, IVoucherServices>},
  };
  for (const Known& k : kKnown) {
    if (!(k.clsid == clsid)) continue;
    const std::string label = std::string(k.name) + "#" + std::to_string(++created_);
    writer_("new " + label);
    return k.factory(inner_, clsid, iid, out, Tracer(label, writer_));
  }
  return inner_.CreateInstance(clsid, iid, out);
}

}  // namespace qbx::cli
