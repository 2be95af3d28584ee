#include "tests/doubles/doubles.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace qbx::test {

// ---------------------------------------------------------------------------
// Journal
// ---------------------------------------------------------------------------

std::vector<std::string> Journal::Starting(std::string_view prefix) const {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (std::string_view(e).substr(0, prefix.size()) == prefix) out.push_back(e);
  return out;
}

std::vector<std::string> Journal::Containing(std::string_view text) const {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (e.find(text) != std::string::npos) out.push_back(e);
  return out;
}

std::vector<std::string> Journal::Calls() const {
  std::vector<std::string> out;
  for (const auto& e : entries_) out.push_back(e.substr(0, e.find('(')));
  return out;
}

std::string Journal::Dump() const {
  std::string out;
  for (size_t i = 0; i < entries_.size(); ++i)
    out += std::to_string(i + 1) + ": " + entries_[i] + "\n";
  return out;
}

// ---------------------------------------------------------------------------
// Script
// ---------------------------------------------------------------------------

void Script::Answer(const std::string& key, Variant v) {
  entries_[key].standing = std::move(v);
}

void Script::Queue(const std::string& key, std::vector<Variant> answers) {
  auto& q = entries_[key].queue;
  for (auto& a : answers) q.push_back(std::move(a));
}

void Script::On(const std::string& key, Handler handler) {
  entries_[key].handler = std::move(handler);
}

void Script::Fail(const std::string& key, RuntimeError error) {
  entries_[key].failure = std::move(error);
}

std::optional<Variant> Script::Next(const std::string& instance_key, const std::string& class_key,
                                    const std::vector<Variant>& args) {
  for (const std::string* key : {&instance_key, &class_key}) {
    auto it = entries_.find(*key);
    if (it == entries_.end()) continue;
    Entry& e = it->second;
    if (e.failure) throw *e.failure;
    if (!e.queue.empty()) {
      Variant v = std::move(e.queue.front());
      e.queue.pop_front();
      return v;
    }
    if (e.handler) return e.handler(args);
    if (e.standing) return e.standing;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Argument forms
// ---------------------------------------------------------------------------

std::string Arg(const std::string& s) {
  return "\"" + s + "\"";
}
std::string Arg(const char* s) {
  return Arg(std::string(s));
}
std::string Arg(int32_t v) {
  return std::to_string(v) + "&";
}
std::string Arg(int16_t v) {
  return std::to_string(v) + "%";
}
std::string Arg(double v) {
  return NumberText(v) + "#";
}
std::string Arg(bool v) {
  return v ? "True" : "False";
}
std::string Arg(const Date& d) {
  return "#" + d.ToIsoText() + "#";
}

std::string Arg(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty:
      return "Empty";
    case Variant::Type::Null:
      return "Null";
    case Variant::Type::Missing:
      return "Missing";
    case Variant::Type::Boolean:
      return Arg(v.ToBool());
    case Variant::Type::Integer:
      return Arg(v.ToInteger());
    case Variant::Type::Long:
      return Arg(v.ToLong());
    case Variant::Type::Double:
      return Arg(v.ToDouble());
    case Variant::Type::String:
      return Arg(v.ToString());
    case Variant::Type::Date:
      return Arg(v.ToDate());
    case Variant::Type::Record:
      return "{record}";
  }
  return "?";
}

std::string Arg(const MovementHeader& h) {
  return "{Folio=" + Arg(h.Folio) + ", Fecha=" + Arg(h.Fecha) + ", Tabla=" + Arg(h.Tabla) +
         ", Documento=" + Arg(h.Documento) + ", Referencia=" + Arg(h.Referencia) +
         ", Comentario=" + Arg(h.Comentario) + ", Sucursal=" + Arg(h.Sucursal) +
         ", Almacen=" + Arg(h.Almacen) + ", Tipo_Movimiento=" + Arg(h.Tipo_Movimiento) + "}";
}

std::string Arg(const MovementLine& l) {
  return "{Producto=" + Arg(l.Producto) + ", Talla=" + Arg(l.Talla) + ", Color=" + Arg(l.Color) +
         ", Cantidad_1=" + Arg(l.Cantidad_1) + ", Unidad_1=" + Arg(l.Unidad_1) +
         ", Cantidad_2=" + Arg(l.Cantidad_2) + ", Unidad_2=" + Arg(l.Unidad_2) +
         ", Costo=" + Arg(l.Costo) + ", Costo_2=" + Arg(l.Costo_2) +
         ", Serie=" + Arg(l.Serie.Serie) + ", Pedimento=" + Arg(l.Serie.Pedimento) +
         ", Fecha_Pedimento=" + Arg(l.Serie.Fecha_Pedimento) + ", Lote=" + Arg(l.Lote.Lote) + "}";
}

namespace {

template <class... A>
std::string ArgList(const A&... a) {
  std::string out;
  ((out += (out.empty() ? "" : ", ") + Arg(a)), ...);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared state
// ---------------------------------------------------------------------------

struct FakeSuite::Shared {
  Journal journal;
  Script script;
  struct QueryRule {
    std::string contains;
    std::vector<Row> rows;
    bool always = false;
    bool used = false;
    std::optional<RuntimeError> failure;
  };
  std::vector<QueryRule> rules;
  std::vector<std::string> statements;
  std::vector<std::shared_ptr<RecordsetLog>> recordsets;
  std::map<std::string, Variant> parameters;
  std::map<std::string, std::vector<MovementHeader>> headers;
  std::map<std::string, std::vector<MovementLine>> lines;
  std::map<std::string, int> created;
  std::map<std::string, int> alive;
  Date server_date = Date::FromCalendar(2024, 3, 5, 10, 30, 0);
  bool journal_releases = false;

  // Journals the call and returns its scripted answer (nullopt = default).
  std::optional<Variant> Call(const std::string& instance, const std::string& cls,
                              const std::string& method, const std::string& args,
                              const std::vector<Variant>& values = {}) {
    journal.Add(instance + "." + method + "(" + args + ")");
    return script.Next(instance + "." + method, cls + "." + method, values);
  }
};

namespace {

using Shared = FakeSuite::Shared;

// Base of every double: creation number, life count, the shared state.
class DoubleBase {
 protected:
  DoubleBase(std::shared_ptr<Shared> s, std::string cls, bool numbered)
      : s_(std::move(s)), cls_(std::move(cls)) {
    int n = ++s_->created[cls_];
    ++s_->alive[cls_];
    name_ = numbered ? cls_ + "#" + std::to_string(n) : cls_;
  }
  ~DoubleBase() {
    --s_->alive[cls_];
    if (s_->journal_releases) s_->journal.Add(name_ + ".Release()");
  }

  std::optional<Variant> Call(const std::string& method, const std::string& args,
                              const std::vector<Variant>& values = {}) {
    return s_->Call(name_, cls_, method, args, values);
  }
  bool CallBool(const std::string& method, const std::string& args,
                const std::vector<Variant>& values = {}) {
    auto v = Call(method, args, values);
    return v ? v->ToBool() : true;
  }
  std::string CallText(const std::string& method, const std::string& args,
                       const std::vector<Variant>& values = {}) {
    auto v = Call(method, args, values);
    return v ? v->ToString() : std::string();
  }
  double CallDouble(const std::string& method, const std::string& args, double fallback,
                    const std::vector<Variant>& values = {}) {
    auto v = Call(method, args, values);
    return v ? v->ToDouble() : fallback;
  }

  std::shared_ptr<Shared> s_;
  std::string cls_;
  std::string name_;
};

class FakeRecordset final : public com::Object<FakeRecordset, IRecordset>, DoubleBase {
 public:
  FakeRecordset(std::shared_ptr<Shared> s, std::vector<Row> rows,
                std::shared_ptr<FakeSuite::RecordsetLog> log)
      : DoubleBase(std::move(s), "Recordset", true), rows_(std::move(rows)), log_(std::move(log)) {}
  ~FakeRecordset() override { log_->released = true; }

  bool Eof() override { return pos_ >= rows_.size(); }
  Variant Field(std::string_view name) override {
    if (pos_ < rows_.size()) {
      for (const auto& [field, value] : rows_[pos_])
        if (SameText(field, name)) return value;
      // An unknown name is reported before the position, as a real recordset does.
    }
    bool known = false;
    for (const auto& row : rows_)
      for (const auto& [field, value] : row) known = known || SameText(field, name);
    if (!known && !rows_.empty()) Raise(kErrItemNotFound, std::string(kItemNotFoundText));
    Raise(kErrNoCurrentRecord, std::string(kNoCurrentRecordText));
  }
  void MoveNext() override {
    if (pos_ >= rows_.size()) Raise(kErrNoCurrentRecord, std::string(kNoCurrentRecordText));
    ++pos_;
  }
  void Close() override {
    s_->journal.Add(name_ + ".Close()");
    log_->closed = true;
  }

 private:
  std::vector<Row> rows_;
  size_t pos_ = 0;
  std::shared_ptr<FakeSuite::RecordsetLog> log_;
};

class FakeConnection final : public com::Object<FakeConnection, IConnection>, DoubleBase {
 public:
  explicit FakeConnection(std::shared_ptr<Shared> s)
      : DoubleBase(std::move(s), "Connection", false) {}

  com::ComPtr<IRecordset> Execute(const std::string& text, const Variant& affected,
                                  int32_t options) override {
    s_->journal.Add(name_ + ".Execute(" + ArgList(text, affected, options) + ")");
    s_->statements.push_back(text);
    std::vector<Row> rows;
    for (auto& rule : s_->rules) {
      if (rule.used || text.find(rule.contains) == std::string::npos) continue;
      if (rule.failure) throw *rule.failure;
      rows = rule.rows;
      if (!rule.always) rule.used = true;
      break;
    }
    auto log = std::make_shared<FakeSuite::RecordsetLog>();
    log->statement = text;
    s_->recordsets.push_back(log);
    return FakeRecordset::Make(s_, std::move(rows), log);
  }
  std::string DefaultDatabase() override {
    auto v = s_->script.Next("Connection.DefaultDatabase", "Connection.DefaultDatabase", {});
    s_->journal.Add(name_ + ".DefaultDatabase()");
    return v ? v->ToString() : "Suite";
  }
  // Journalled only: the component never opens a unit of work.
  int32_t BeginTrans() override {
    s_->journal.Add(name_ + ".BeginTrans()");
    return 1;
  }
  void CommitTrans() override { s_->journal.Add(name_ + ".CommitTrans()"); }
  void RollbackTrans() override { s_->journal.Add(name_ + ".RollbackTrans()"); }
};

class FakeSystem final : public com::Object<FakeSystem, ISystemServices>, DoubleBase {
 public:
  explicit FakeSystem(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "System", false) {}

  com::ComPtr<IConnection> Obtener_Conexion() override {
    Call("Obtener_Conexion", "");
    if (!connection_) connection_ = FakeConnection::Make(s_);
    return com::ComPtr<IConnection>(connection_.get());
  }
  std::string Obtener_Usuario() override {
    auto v = Call("Obtener_Usuario", "");
    return v ? v->ToString() : "OPER";
  }
  std::string Obtener_Servidor_Id() override { return CallText("Obtener_Servidor_Id", ""); }
  bool Es_Servidor_Sucursal() override {
    auto v = Call("Es_Servidor_Sucursal", "");
    return v ? v->ToBool() : false;
  }
  Variant Obtener_Parametro(const std::string& name, int32_t zero, const std::string& kind,
                            const std::string& def) override {
    auto v = Call("Obtener_Parametro", ArgList(name, zero, kind, def), {name, zero, kind, def});
    if (v) return *v;
    auto it = s_->parameters.find(name);
    if (it != s_->parameters.end()) return it->second;
    return def.empty() ? Variant(Null{}) : Variant(def);
  }
  Variant Mostrar_Mensaje(const Variant& text, int32_t style, const Variant& title,
                          const Variant& omitted, const Variant& source,
                          const Variant& key) override {
    auto v = Call("Mostrar_Mensaje", ArgList(text, style, title, omitted, source, key));
    return v ? *v : Variant();
  }

 private:
  com::ComPtr<FakeConnection> connection_;
};

class FakeData final : public com::Object<FakeData, IDataServices>, DoubleBase {
 public:
  explicit FakeData(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Data", false) {}

  std::string Obtener_Valor_Campo(const std::string& table, const std::string& key_column,
                                  const std::string& key_value, const std::string& result_column,
                                  int32_t zero, const std::string& key2_column,
                                  const std::string& key2_value,
                                  const std::string& excluded) override {
    return CallText(
        "Obtener_Valor_Campo",
        ArgList(table, key_column, key_value, result_column, zero, key2_column, key2_value,
                excluded),
        {table, key_column, key_value, result_column, zero, key2_column, key2_value, excluded});
  }
  Date Obtener_Fecha_Servidor() override {
    auto v = Call("Obtener_Fecha_Servidor", "");
    return v ? v->ToDate() : s_->server_date;
  }
  Variant Obtener_Folio(const std::string& branch, const std::string& kind, int32_t ten,
                        bool yes) override {
    auto v = Call("Obtener_Folio", ArgList(branch, kind, ten, yes), {branch, kind, ten, yes});
    return v ? *v : Variant(std::string());
  }
  std::string Obtener_Siguiente_Id(const std::string& table, const std::string& column,
                                   const std::string& filter_column,
                                   const std::string& filter_value, const std::string& e1,
                                   const std::string& e2) override {
    auto v =
        Call("Obtener_Siguiente_Id", ArgList(table, column, filter_column, filter_value, e1, e2),
             {table, column, filter_column, filter_value, e1, e2});
    return v ? v->ToString() : "0001";
  }
  bool Validar_Periodo_Operativo(const Date& date, const std::string& module,
                                 int32_t zero) override {
    return CallBool("Validar_Periodo_Operativo", ArgList(date, module, zero), {date, module, zero});
  }
  bool Existe_Producto_Talla(const std::string& p, const std::string& t) override {
    return CallBool("Existe_Producto_Talla", ArgList(p, t), {p, t});
  }
  bool Existe_Producto_Color(const std::string& p, const std::string& c) override {
    return CallBool("Existe_Producto_Color", ArgList(p, c), {p, c});
  }
  bool Existe_Producto_Talla_Color(const std::string& p, const std::string& t,
                                   const std::string& c) override {
    return CallBool("Existe_Producto_Talla_Color", ArgList(p, t, c), {p, t, c});
  }
  double Obtener_Factor_Conversion(const std::string& p, const std::string& from,
                                   const std::string& to) override {
    return CallDouble("Obtener_Factor_Conversion", ArgList(p, from, to), 1.0, {p, from, to});
  }
  std::string Formatear_Fecha(const Date& d) override {
    auto v = Call("Formatear_Fecha", ArgList(d), {d});
    return v ? v->ToString() : d.ToIsoText().substr(0, 10);
  }
  std::string Formatear_Fecha_Hora(const Date& d) override {
    auto v = Call("Formatear_Fecha_Hora", ArgList(d), {d});
    if (v) return v->ToString();
    std::string t = d.ToIsoText();
    return t.size() == 10 ? t + " 00:00:00" : t;
  }
  std::string Obtener_Ultimo_Error() override { return CallText("Obtener_Ultimo_Error", ""); }
  bool Procesar_Documento(const std::string& entity, const std::string& folio,
                          const std::string& line) override {
    return CallBool("Procesar_Documento", ArgList(entity, folio, line), {entity, folio, line});
  }
  int32_t Obtener_Consecutivo_Serie(std::string branch, std::string series, int32_t four) override {
    auto v =
        Call("Obtener_Consecutivo_Serie", ArgList(branch, series, four), {branch, series, four});
    return v ? v->ToLong() : 1;
  }
  bool Documento_Contabilizado(const std::string& kind, const std::string& folio) override {
    auto v = Call("Documento_Contabilizado", ArgList(kind, folio), {kind, folio});
    return v ? v->ToBool() : false;
  }
};

class FakeInventory final : public com::Object<FakeInventory, IInventoryServices>, DoubleBase {
 public:
  explicit FakeInventory(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Inventory", true) {}

  bool Maneja_Talla(const std::string& b, const std::string& w) override {
    return Flag("Maneja_Talla", b, w);
  }
  bool Maneja_Color(const std::string& b, const std::string& w) override {
    return Flag("Maneja_Color", b, w);
  }
  bool Maneja_Lote(const std::string& b, const std::string& w) override {
    return Flag("Maneja_Lote", b, w);
  }
  bool Maneja_Serie(const std::string& b, const std::string& w) override {
    return Flag("Maneja_Serie", b, w);
  }
  std::string Obtener_Tipo_Producto(const std::string& p) override {
    auto v = Call("Obtener_Tipo_Producto", ArgList(p), {p});
    return v ? v->ToString() : "01";
  }
  bool Ajustar_Existencia(const std::string& b, const std::string& w, const std::string& p,
                          const std::string& t, const std::string& c, double q1,
                          double q2) override {
    return CallBool("Ajustar_Existencia", ArgList(b, w, p, t, c, q1, q2), {b, w, p, t, c, q1, q2});
  }
  double Obtener_Existencia(const std::string& b, const std::string& pattern, const std::string& p,
                            const std::string& t, const std::string& c, int32_t one,
                            const std::string& empty) override {
    return CallDouble("Obtener_Existencia", ArgList(b, pattern, p, t, c, one, empty), 0.0,
                      {b, pattern, p, t, c, one, empty});
  }
  bool Cancelar_Movimientos_Documento(const std::string& kind, const std::string& folio) override {
    return CallBool("Cancelar_Movimientos_Documento", ArgList(kind, folio), {kind, folio});
  }
  std::string Obtener_Mensaje_Error() override { return CallText("Obtener_Mensaje_Error", ""); }

  void Nuevo_Movimiento() override {
    Call("Nuevo_Movimiento", "");
    header_ = MovementHeader{};
  }
  void Asignar_Encabezado_Movimiento(const MovementHeader& h) override {
    Call("Asignar_Encabezado_Movimiento", Arg(h));
    header_ = h;
    s_->headers[name_].push_back(h);
  }
  void Asignar_Detalle_Movimiento(const MovementLine& l) override {
    Call("Asignar_Detalle_Movimiento", Arg(l));
    s_->lines[name_].push_back(l);
  }
  bool Agregar_Detalle_Movimiento() override { return CallBool("Agregar_Detalle_Movimiento", ""); }
  std::string Obtener_Costo_Detalle() override {
    auto v = Call("Obtener_Costo_Detalle", "");
    return v ? v->ToString() : "0";
  }
  MovementHeader Obtener_Encabezado_Movimiento() override {
    auto v = Call("Obtener_Encabezado_Movimiento", "");
    MovementHeader h = header_;
    if (v) h.Folio = v->ToString();
    return h;
  }
  bool Finalizar_Movimiento(const std::string& folio) override {
    return CallBool("Finalizar_Movimiento", ArgList(folio), {folio});
  }

 private:
  bool Flag(const std::string& method, const std::string& b, const std::string& w) {
    auto v = Call(method, ArgList(b, w), {b, w});
    return v ? v->ToBool() : false;
  }
  MovementHeader header_;
};

class FakeSeries final : public com::Object<FakeSeries, ISeriesServices>, DoubleBase {
 public:
  explicit FakeSeries(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Series", true) {}
  bool Registrar_Serie_Deposito_Fiscal(const std::string& p, const std::string& serial,
                                       const std::string& ce, const Date& cd, const Variant& cost,
                                       int32_t z1, bool yes, int32_t z2, const std::string& e1,
                                       const std::string& e2, const std::string& e3,
                                       const Variant& i1, const Variant& i2, double d1,
                                       double d2) override {
    return CallBool("Registrar_Serie_Deposito_Fiscal",
                    ArgList(p, serial, ce, cd, cost, z1, yes, z2, e1, e2, e3, i1, i2, d1, d2));
  }
  bool Registrar_Serie(const std::string& kind, const std::string& folio, const std::string& id,
                       const std::string& p, const std::string& t, const std::string& c,
                       const std::string& serial, const std::string& ce, const Date& cd,
                       int16_t q) override {
    return CallBool("Registrar_Serie", ArgList(kind, folio, id, p, t, c, serial, ce, cd, q));
  }
  std::string Obtener_Mensaje_Error() override { return CallText("Obtener_Mensaje_Error", ""); }
};

class FakeLot final : public com::Object<FakeLot, ILotServices>, DoubleBase {
 public:
  explicit FakeLot(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Lot", true) {}
  bool Registrar_Lote_Deposito_Fiscal(const std::string& p, const std::string& t,
                                      const std::string& c, const std::string& lot, bool yes,
                                      const std::string& e1, double d,
                                      const std::string& e2) override {
    return CallBool("Registrar_Lote_Deposito_Fiscal", ArgList(p, t, c, lot, yes, e1, d, e2));
  }
  bool Registrar_Lote(const std::string& kind, const std::string& folio, const std::string& id,
                      const std::string& p, const std::string& t, const std::string& c,
                      const std::string& lot, double q1, double q2) override {
    return CallBool("Registrar_Lote", ArgList(kind, folio, id, p, t, c, lot, q1, q2));
  }
  std::string Obtener_Mensaje_Error() override { return CallText("Obtener_Mensaje_Error", ""); }
};

class FakePosting final : public com::Object<FakePosting, IPostingServices>, DoubleBase {
 public:
  explicit FakePosting(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Posting", true) {}
  bool Documento_Habilitado(const std::string& kind) override {
    return CallBool("Documento_Habilitado", ArgList(kind), {kind});
  }
  bool Generar_Documento(const std::string& kind, const std::string& folio,
                         const std::string& company) override {
    return CallBool("Generar_Documento", ArgList(kind, folio, company), {kind, folio, company});
  }
  bool Cancelar_Documento(const std::string& kind, const std::string& folio) override {
    return CallBool("Cancelar_Documento", ArgList(kind, folio), {kind, folio});
  }
  std::string Obtener_Mensaje_Error() override { return CallText("Obtener_Mensaje_Error", ""); }
};

class FakeVoucher final : public com::Object<FakeVoucher, IVoucherServices>, DoubleBase {
 public:
  explicit FakeVoucher(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Voucher", true) {}
  bool Cancelar_Comprobante(const std::string& db, int32_t seven,
                            const std::string& folio) override {
    return CallBool("Cancelar_Comprobante", ArgList(db, seven, folio), {db, seven, folio});
  }
  std::string Obtener_Mensaje_Error() override { return CallText("Obtener_Mensaje_Error", ""); }
};

template <class T>
com::HRESULT Hand(com::ComPtr<T> obj, const Guid& iid, void** out) {
  return obj->QueryInterface(iid, out);
}

}  // namespace

// ---------------------------------------------------------------------------
// FakeSuite
// ---------------------------------------------------------------------------

FakeSuite::FakeSuite() : FakeSuite(std::make_shared<Shared>()) {}
FakeSuite::FakeSuite(std::shared_ptr<Shared> shared)
    : journal(shared->journal), script(shared->script), shared_(std::move(shared)) {}
FakeSuite::~FakeSuite() = default;

void FakeSuite::OnQuery(std::string contains, std::vector<Row> rows, bool always) {
  shared_->rules.push_back({std::move(contains), std::move(rows), always, false, std::nullopt});
}

void FakeSuite::FailQuery(std::string contains, RuntimeError error) {
  shared_->rules.push_back({std::move(contains), {}, true, false, std::move(error)});
}

std::vector<std::string> FakeSuite::Statements() const {
  return shared_->statements;
}

const std::vector<std::shared_ptr<FakeSuite::RecordsetLog>>& FakeSuite::recordsets() const {
  return shared_->recordsets;
}

void FakeSuite::Parameter(const std::string& name, Variant value) {
  shared_->parameters[name] = std::move(value);
}

std::vector<MovementHeader> FakeSuite::HeadersOf(const std::string& instance) const {
  auto it = shared_->headers.find(instance);
  return it == shared_->headers.end() ? std::vector<MovementHeader>{} : it->second;
}

std::vector<MovementLine> FakeSuite::LinesOf(const std::string& instance) const {
  auto it = shared_->lines.find(instance);
  return it == shared_->lines.end() ? std::vector<MovementLine>{} : it->second;
}

int FakeSuite::Created(const std::string& cls) const {
  auto it = shared_->created.find(cls);
  return it == shared_->created.end() ? 0 : it->second;
}

int FakeSuite::Alive(const std::string& cls) const {
  auto it = shared_->alive.find(cls);
  return it == shared_->alive.end() ? 0 : it->second;
}

void FakeSuite::SetServerDate(const Date& d) {
  shared_->server_date = d;
}

void FakeSuite::JournalReleases(bool on) {
  shared_->journal_releases = on;
}

com::HRESULT FakeSuite::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  if (!out) return com::E_POINTER;
  *out = nullptr;
  // A scripted creation failure: key "Create.<Class>".
  auto fail = [&](const std::string& cls) -> bool {
    return shared_->script.Next("Create." + cls, "Create." + cls, {}).has_value();
  };
  if (clsid == kClsidSystemServices) {
    if (fail("System")) return com::REGDB_E_CLASSNOTREG;
    return Hand(FakeSystem::Make(shared_), iid, out);
  }
  if (clsid == kClsidDataServices) {
    if (fail("Data")) return com::REGDB_E_CLASSNOTREG;
    return Hand(FakeData::Make(shared_), iid, out);
  }
  if (clsid == kClsidInventoryServices) return Hand(FakeInventory::Make(shared_), iid, out);
  if (clsid == kClsidSeriesServices) return Hand(FakeSeries::Make(shared_), iid, out);
  if (clsid == kClsidLotServices) return Hand(FakeLot::Make(shared_), iid, out);
  if (clsid == kClsidPostingServices) return Hand(FakePosting::Make(shared_), iid, out);
  if (clsid == kClsidVoucherServices) return Hand(FakeVoucher::Make(shared_), iid, out);
  return com::REGDB_E_CLASSNOTREG;
}

ScopedProvider::ScopedProvider(com::ObjectProvider* p)
    : previous_(com::SetThreadObjectProvider(p)) {}
ScopedProvider::~ScopedProvider() {
  com::SetThreadObjectProvider(previous_);
}

}  // namespace qbx::test
