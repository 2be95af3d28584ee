#include "tests/doubles/doubles.h"

#include <algorithm>
#include <type_traits>

#include "services/value_text.h"

namespace qbx::test {

// ---------------------------------------------------------------------------
// Journal
// ---------------------------------------------------------------------------

std::vector<std::string> Journal::Calls() const {
  std::vector<std::string> out;
  for (const auto& e : entries_) out.push_back(e.substr(0, e.find('(')));
  return out;
}

std::string Journal::Dump(bool numbered) const {
  std::string out;
  for (size_t i = 0; i < entries_.size(); ++i)
    out += (numbered ? std::to_string(i + 1) + ": " : "") + entries_[i] + "\n";
  return out;
}

// ---------------------------------------------------------------------------
// Script
// ---------------------------------------------------------------------------

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
// Shared state
// ---------------------------------------------------------------------------

namespace {

using Shared = FakeSuite::Shared;

// A call's scripted answer, or none: then the double's default for the
// result (Booleans True, texts "", numbers 0, Variants Empty) unless the
// double answers the operation itself.
struct Scripted {
  std::optional<Variant> v;
  explicit operator bool() const { return v.has_value(); }
  const Variant* operator->() const { return &*v; }
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
  // The scripted answer, or this default.
  template <class R>
  R Or(R fallback) const {
    return v ? AsResult<R>() : std::move(fallback);
  }
};

// The arguments a handler sees; a record argument shows as Empty.
template <class T>
Variant AsVariant(const T& value) {
  if constexpr (std::is_constructible_v<Variant, const T&>) return Variant(value);
  else return Variant();
}

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

  // Journals the call and finds its scripted answer, else its default if it has one.
  template <class... A>
  Scripted Record(const char* method, const A&... args) {
    const std::string call = std::string(".") + method;
    s_->journal.Add(name_ + call + "(" + ArgumentTexts(ValueStyle::kJournal, args...) + ")");
    std::optional<Variant> v = s_->script.Next(name_ + call, cls_ + call, {AsVariant(args)...});
    static const std::map<std::string, Variant> defaults = {
        {"Connection.DefaultDatabase", "Suite"}, {"System.Obtener_Usuario", "OPER"},
        {"System.Es_Servidor_Sucursal", false}, {"Data.Obtener_Folio", std::string()},
        {"Data.Obtener_Fecha_Servidor", Date::FromCalendar(2024, 3, 5, 10, 30, 0)},
        {"Data.Obtener_Siguiente_Id", "0001"}, {"Data.Obtener_Factor_Conversion", 1.0},
        {"Data.Obtener_Consecutivo_Serie", int32_t{1}}, {"Data.Documento_Contabilizado", false},
        {"Inventory.Maneja_Talla", false}, {"Inventory.Maneja_Color", false},
        {"Inventory.Maneja_Lote", false}, {"Inventory.Maneja_Serie", false},
        {"Inventory.Obtener_Tipo_Producto", "01"}, {"Inventory.Obtener_Costo_Detalle", "0"}};
    if (auto it = defaults.find(cls_ + "." + method); !v && it != defaults.end()) v = it->second;
    return {v};
  }
  // How an operation answers when its double does not say otherwise.
  template <ops::Name N, class... A>
  Scripted Answer(ops::Op<N>, Scripted scripted, const A&...) {
    return scripted;
  }

  std::shared_ptr<Shared> s_;
  std::string cls_;
  std::string name_;
};

// Every operation of a contract: journaled, then answered.
#define QBX_RECORDED_OP(Result, Name, Params, Names)                                               \
  Result Name Params override {                                                                    \
    Scripted scripted = Record(#Name QBX_MORE_ARGS Names);                                         \
    return ops::Reply<Result>(Answer(ops::Op<#Name>{}, std::move(scripted) QBX_MORE_ARGS Names));  \
  }

template <ops::Name N>
using Op = ops::Op<N>;

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
        if (UCase(field) == UCase(name)) return value;
      // An unknown name is reported before the position, as a real recordset does.
    }
    bool known = false;
    for (const auto& row : rows_)
      for (const auto& [field, value] : row) known = known || UCase(field) == UCase(name);
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
  QBX_CONNECTION_OPS(QBX_RECORDED_OP)

 private:
  using DoubleBase::Answer;
  // The first query rule the text matches answers its rows (or raises its error).
  com::ComPtr<IRecordset> Answer(Op<"Execute">, Scripted, const std::string& text, const auto&...) {
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
    s_->recordsets.push_back(log);
    return FakeRecordset::Make(s_, std::move(rows), log);
  }
  // Journalled only: the component never opens a unit of work.
  int32_t Answer(Op<"BeginTrans">, Scripted) { return 1; }
};

class FakeSystem final : public com::Object<FakeSystem, ISystemServices>, DoubleBase {
 public:
  explicit FakeSystem(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "System", false) {}
  QBX_SYSTEM_SERVICES_OPS(QBX_RECORDED_OP)

 private:
  using DoubleBase::Answer;
  com::ComPtr<IConnection> Answer(Op<"Obtener_Conexion">, Scripted) {
    if (!connection_) connection_ = FakeConnection::Make(s_);
    return com::ComPtr<IConnection>(connection_.get());
  }
  // Unscripted parameters answer FakeSuite::Parameter, else the default argument (Null for "").
  Variant Answer(Op<"Obtener_Parametro">, Scripted s, const std::string& name, int32_t,
                 const std::string&, const std::string& def) {
    if (s) return *s.v;
    auto it = s_->parameters.find(name);
    if (it != s_->parameters.end()) return it->second;
    return def.empty() ? Variant(Null{}) : Variant(def);
  }

  com::ComPtr<FakeConnection> connection_;
};

class FakeData final : public com::Object<FakeData, IDataServices>, DoubleBase {
 public:
  explicit FakeData(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Data", false) {}
  QBX_DATA_SERVICES_OPS(QBX_RECORDED_OP)

 private:
  using DoubleBase::Answer;
  std::string Answer(Op<"Formatear_Fecha">, Scripted s, const Date& d) {
    return s.Or(d.ToIsoText().substr(0, 10));
  }
  std::string Answer(Op<"Formatear_Fecha_Hora">, Scripted s, const Date& d) {
    std::string t = d.ToIsoText();
    return s.Or(t.size() == 10 ? t + " 00:00:00" : t);
  }
};

class FakeInventory final : public com::Object<FakeInventory, IInventoryServices>, DoubleBase {
 public:
  explicit FakeInventory(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), "Inventory", true) {}
  QBX_INVENTORY_SERVICES_OPS(QBX_RECORDED_OP)

 private:
  using DoubleBase::Answer;
  // The movement records are kept: the header comes back with the scripted folio.
  Scripted Answer(Op<"Nuevo_Movimiento">, Scripted s) {
    header_ = MovementHeader{};
    return s;
  }
  Scripted Answer(Op<"Asignar_Encabezado_Movimiento">, Scripted s, const MovementHeader& h) {
    header_ = h;
    s_->headers[name_].push_back(h);
    return s;
  }
  Scripted Answer(Op<"Asignar_Detalle_Movimiento">, Scripted s, const MovementLine& l) {
    s_->lines[name_].push_back(l);
    return s;
  }
  MovementHeader Answer(Op<"Obtener_Encabezado_Movimiento">, Scripted s) {
    MovementHeader h = header_;
    if (s) h.Folio = s->ToString();
    return h;
  }

  MovementHeader header_;
};

// Series, lots, posting and vouchers answer as scripted or by default.
#define QBX_PLAIN_DOUBLE(Fake, Contract, Class, OPS)                                    \
  class Fake final : public com::Object<Fake, Contract>, DoubleBase {                   \
   public:                                                                              \
    explicit Fake(std::shared_ptr<Shared> s) : DoubleBase(std::move(s), Class, true) {} \
    OPS(QBX_RECORDED_OP)                                                                \
  };
QBX_PLAIN_DOUBLE(FakeSeries, ISeriesServices, "Series", QBX_SERIES_SERVICES_OPS)
QBX_PLAIN_DOUBLE(FakeLot, ILotServices, "Lot", QBX_LOT_SERVICES_OPS)
QBX_PLAIN_DOUBLE(FakePosting, IPostingServices, "Posting", QBX_POSTING_SERVICES_OPS)
QBX_PLAIN_DOUBLE(FakeVoucher, IVoucherServices, "Voucher", QBX_VOUCHER_SERVICES_OPS)
#undef QBX_PLAIN_DOUBLE
#undef QBX_RECORDED_OP

template <class Fake>
com::HRESULT Hand(const std::shared_ptr<Shared>& s, const Guid& iid, void** out) {
  return Fake::Make(s)->QueryInterface(iid, out);
}

}  // namespace

// ---------------------------------------------------------------------------
// FakeSuite
// ---------------------------------------------------------------------------

com::HRESULT FakeSuite::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  if (!out) return com::E_POINTER;
  *out = nullptr;
  // System and Data can be scripted to fail their creation: key "Create.<Class>".
  struct Kind {
    const Guid& clsid;
    const char* cls;
    com::HRESULT (*hand)(const std::shared_ptr<Shared>&, const Guid&, void**);
  };
  static const Kind kinds[] = {{kClsidSystemServices, "System", Hand<FakeSystem>},
                               {kClsidDataServices, "Data", Hand<FakeData>},
                               {kClsidInventoryServices, nullptr, Hand<FakeInventory>},
                               {kClsidSeriesServices, nullptr, Hand<FakeSeries>},
                               {kClsidLotServices, nullptr, Hand<FakeLot>},
                               {kClsidPostingServices, nullptr, Hand<FakePosting>},
                               {kClsidVoucherServices, nullptr, Hand<FakeVoucher>}};
  for (const Kind& k : kinds) {
    if (!(clsid == k.clsid)) continue;
    const std::string key = std::string("Create.") + (k.cls ? k.cls : "");
    if (k.cls && shared_->script.Next(key, key, {})) return com::REGDB_E_CLASSNOTREG;
    return k.hand(shared_, iid, out);
  }
  return com::REGDB_E_CLASSNOTREG;
}

ScopedProvider::ScopedProvider(com::ObjectProvider* p)
    : previous_(com::SetThreadObjectProvider(p)) {}
ScopedProvider::~ScopedProvider() {
  com::SetThreadObjectProvider(previous_);
}

}  // namespace qbx::test
