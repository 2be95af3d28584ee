#include "tests/doubles/doubles.h"

#include <type_traits>

#include "services/registration_services.h"
#include "services/system_services.h"
#include "services/value_text.h"

namespace qbx::test {

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

namespace {

using Shared = FakeSuite::Shared;
template <ops::Name N>
using Op = ops::Op<N>;

// A call's scripted answer, or none: then the result type's default (Booleans
// True, texts "", numbers 0, Variants Empty) unless the double answers the
// operation itself.
// clang-format off
struct Scripted {
  std::optional<Variant> v;
  template <class R>
  R AsResult() const {
    if constexpr (std::is_same_v<R, bool>) return v ? v->ToBool() : true;
    else if constexpr (std::is_same_v<R, std::string>) return v ? v->ToString() : std::string();
    else if constexpr (std::is_same_v<R, double>) return v ? v->ToDouble() : 0.0;
    else if constexpr (std::is_same_v<R, int32_t>) return v ? v->ToLong() : 0;
    else if constexpr (std::is_same_v<R, Date>) return v ? v->ToDate() : Date();
    else if constexpr (std::is_same_v<R, Variant>) return v ? *v : Variant();
    else return R{};  // records and objects: the double that hands one out says how
  }
};

// The arguments a handler sees; a record argument shows as Empty.
template <class T>
Variant AsVariant(const T& value) {
  if constexpr (std::is_constructible_v<Variant, const T&>) return Variant(value);
  else return Variant();
}
// clang-format on

// What every double shares: its name in the journal, its life counted, and
// the operations answered otherwise than as scripted (QBX_DOUBLE below makes
// each double from its contract's operation list).
class Double {
 protected:
  Double(std::shared_ptr<Shared> s, std::string cls, bool numbered)
      : s_(std::move(s)), cls_(std::move(cls)) {
    int n = ++s_->created[cls_];
    ++s_->alive[cls_];
    name_ = numbered ? cls_ + "#" + std::to_string(n) : cls_;
  }
  ~Double() {
    connection_.Reset();  // released before its system, as a member of the system would be
    --s_->alive[cls_];
    if (s_->journal_releases) s_->journal.Add(name_ + ".Release()");
    if (log_) log_->released = true;
  }

  // Journals the call and finds its scripted answer, else its default if it has one.
  template <class... A>
  Scripted Record(const char* method, const A&... args) {
    const std::string call = std::string(".") + method;
    s_->journal.Add(name_ + call + "(" + ArgumentTexts(ValueStyle::kJournal, args...) + ")");
    std::optional<Variant> v = s_->script.Next(name_ + call, cls_ + call, {AsVariant(args)...});
    static const std::map<std::string, Variant> defaults = {
        {"Connection.DefaultDatabase", "Suite"},
        {"System.Obtener_Usuario", "OPER"},
        {"System.Es_Servidor_Sucursal", false},
        {"Data.Obtener_Folio", std::string()},
        {"Data.Obtener_Fecha_Servidor", Date::FromCalendar(2024, 3, 5, 10, 30, 0)},
        {"Data.Obtener_Siguiente_Id", "0001"},
        {"Data.Obtener_Factor_Conversion", 1.0},
        {"Data.Obtener_Consecutivo_Serie", int32_t{1}},
        {"Data.Documento_Contabilizado", false},
        {"Inventory.Maneja_Talla", false},
        {"Inventory.Maneja_Color", false},
        {"Inventory.Maneja_Lote", false},
        {"Inventory.Maneja_Serie", false},
        {"Inventory.Obtener_Tipo_Producto", "01"},
        {"Inventory.Obtener_Costo_Detalle", "0"}};
    if (auto it = defaults.find(cls_ + "." + method); !v && it != defaults.end()) v = it->second;
    return {v};
  }

  template <ops::Name N, class... A>
  Scripted Answer(Op<N>, Scripted scripted, const A&...) {
    return scripted;
  }
  // The connection: the first query rule the text matches answers its rows
  // (or raises its error). No unit of work is opened by the component.
  com::ComPtr<IRecordset> Answer(Op<"Execute">, Scripted, const std::string& text, const Variant&,
                                 int32_t);
  // The system: one connection; unscripted parameters answer
  // FakeSuite::Parameter, else the default argument (Null for "").
  com::ComPtr<IConnection> Answer(Op<"Obtener_Conexion">, Scripted);
  Variant Answer(Op<"Obtener_Parametro">, Scripted s, const std::string& name, int32_t,
                 const std::string&, const std::string& def) {
    if (s.v) return *s.v;
    auto it = s_->parameters.find(name);
    if (it != s_->parameters.end()) return it->second;
    return def.empty() ? Variant(Null{}) : Variant(def);
  }
  // The data services format dates as ISO texts.
  std::string Answer(Op<"Formatear_Fecha">, Scripted s, const Date& d) {
    return s.v ? s.v->ToString() : d.ToIsoText().substr(0, 10);
  }
  std::string Answer(Op<"Formatear_Fecha_Hora">, Scripted s, const Date& d) {
    const std::string t = d.ToIsoText();
    return s.v ? s.v->ToString() : t.size() == 10 ? t + " 00:00:00" : t;
  }
  // An inventory keeps the movement records: the header comes back with the scripted folio.
  Scripted Answer(Op<"Nuevo_Movimiento">, Scripted s) {
    header_ = MovementHeader{};
    return s;
  }
  Scripted Answer(Op<"Asignar_Encabezado_Movimiento">, Scripted s, const MovementHeader& h) {
    s_->headers[name_].push_back(header_ = h);
    return s;
  }
  Scripted Answer(Op<"Asignar_Detalle_Movimiento">, Scripted s, const MovementLine& l) {
    s_->lines[name_].push_back(l);
    return s;
  }
  MovementHeader Answer(Op<"Obtener_Encabezado_Movimiento">, Scripted s) {
    MovementHeader h = header_;
    if (s.v) h.Folio = s.v->ToString();
    return h;
  }
  // A recordset serves its rows; of its calls only Close is journaled.
  bool Answer(Op<"Eof">, Scripted) { return pos_ >= rows_.size(); }
  Variant Answer(Op<"Field">, Scripted, std::string_view name) {
    if (pos_ >= rows_.size()) Raise(kErrNoCurrentRecord, std::string(kNoCurrentRecordText));
    for (const auto& [field, value] : rows_[pos_])
      if (UCase(field) == UCase(name)) return value;
    Raise(kErrItemNotFound, std::string(kItemNotFoundText));
  }
  void Answer(Op<"MoveNext">, Scripted) {
    if (pos_ >= rows_.size()) Raise(kErrNoCurrentRecord, std::string(kNoCurrentRecordText));
    ++pos_;
  }
  void Answer(Op<"Close">, Scripted) {
    s_->journal.Add(name_ + ".Close()");
    log_->closed = true;
  }

  std::shared_ptr<Shared> s_;
  std::string cls_, name_;
  com::ComPtr<IConnection> connection_;
  MovementHeader header_;
  std::vector<Row> rows_;
  size_t pos_ = 0;
  std::shared_ptr<FakeSuite::RecordsetLog> log_;
};

// An operation journaled, then answered; or answered only.
#define QBX_RECORDED_OP(Result, Name, Params, Names)                                         \
  Result Name Params override {                                                              \
    Scripted scripted = Record(#Name QBX_MORE_ARGS Names);                                   \
    return ops::Reply<Result>(Answer(Op<#Name>{}, std::move(scripted) QBX_MORE_ARGS Names)); \
  }
#define QBX_ANSWERED_OP(Result, Name, Params, Names) \
  Result Name Params override { return Answer(Op<#Name>{}, Scripted{} QBX_MORE_ARGS Names); }
#define QBX_DOUBLE(Fake, Contract, Class, numbered, Operations)                         \
  class Fake final : public com::Object<Fake, Contract>, public Double {                \
   public:                                                                              \
    explicit Fake(std::shared_ptr<Shared> s) : Double(std::move(s), Class, numbered) {} \
    static constexpr const char* kClass = Class;                                        \
    Operations                                                                          \
  };
QBX_DOUBLE(FakeRecordset, IRecordset, "Recordset", true, QBX_RECORDSET_OPS(QBX_ANSWERED_OP))
QBX_DOUBLE(FakeConnection, IConnection, "Connection", false, QBX_CONNECTION_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakeSystem, ISystemServices, "System", false, QBX_SYSTEM_SERVICES_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakeData, IDataServices, "Data", false, QBX_DATA_SERVICES_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakeInventory, IInventoryServices, "Inventory", true,
           QBX_INVENTORY_SERVICES_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakeSeries, ISeriesServices, "Series", true, QBX_SERIES_SERVICES_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakeLot, ILotServices, "Lot", true, QBX_LOT_SERVICES_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakePosting, IPostingServices, "Posting", true,
           QBX_POSTING_SERVICES_OPS(QBX_RECORDED_OP))
QBX_DOUBLE(FakeVoucher, IVoucherServices, "Voucher", true,
           QBX_VOUCHER_SERVICES_OPS(QBX_RECORDED_OP))
#undef QBX_DOUBLE
#undef QBX_ANSWERED_OP
#undef QBX_RECORDED_OP

com::ComPtr<IRecordset> Double::Answer(Op<"Execute">, Scripted, const std::string& text,
                                       const Variant&, int32_t) {
  s_->statements.push_back(text);
  std::vector<Row> rows;
  for (auto& rule : s_->rules) {
    if (rule.used || text.find(rule.contains) == std::string::npos) continue;
    if (rule.failure) throw *rule.failure;
    rows = rule.rows;
    if (!rule.always) rule.used = true;
    break;
  }
  auto recordset = FakeRecordset::Make(s_);
  recordset->rows_ = std::move(rows);
  s_->recordsets.push_back(recordset->log_ = std::make_shared<FakeSuite::RecordsetLog>());
  return recordset;
}

com::ComPtr<IConnection> Double::Answer(Op<"Obtener_Conexion">, Scripted) {
  if (!connection_) connection_ = FakeConnection::Make(s_);
  return connection_;
}

// A double of the class, unless "Create.<Class>" answers True: then its creation fails.
template <class Fake>
com::HRESULT Hand(const std::shared_ptr<Shared>& s, const Guid& iid, void** out) {
  const std::string key = std::string("Create.") + Fake::kClass;
  if (auto v = s->script.Next(key, key, {}); v && v->ToBool()) return com::REGDB_E_CLASSNOTREG;
  return Fake::Make(s)->QueryInterface(iid, out);
}

}  // namespace

com::HRESULT FakeSuite::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  if (clsid == kClsidSystemServices) return Hand<FakeSystem>(shared_, iid, out);
  if (clsid == kClsidDataServices) return Hand<FakeData>(shared_, iid, out);
  if (clsid == kClsidInventoryServices) return Hand<FakeInventory>(shared_, iid, out);
  if (clsid == kClsidSeriesServices) return Hand<FakeSeries>(shared_, iid, out);
  if (clsid == kClsidLotServices) return Hand<FakeLot>(shared_, iid, out);
  if (clsid == kClsidPostingServices) return Hand<FakePosting>(shared_, iid, out);
  if (clsid == kClsidVoucherServices) return Hand<FakeVoucher>(shared_, iid, out);
  return com::REGDB_E_CLASSNOTREG;
}

}  // namespace qbx::test
