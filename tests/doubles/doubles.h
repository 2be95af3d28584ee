// Recording doubles of every outside service and of the connection.
//
// One FakeSuite is an ObjectProvider: installed for a thread, it creates a
// double for each class identifier the component asks for. Every call lands
// in one shared Journal, in order, as text:
//   Data.Obtener_Valor_Campo("Sucursal", "Sc_Cve_Sucursal", "S1", "Sc_Servidor_Id", 0&, "", "", "")
// Arguments as ValueText writes them for journals (automation/value.h):
// texts in double quotes, Long 0&, Integer 0%, Double 12.5#, True/False, Dates
// #2024-03-05 10:30:00#, Missing, Null, Empty; records as {field=value, ...}. System, Data and
// Connection are named plainly; the other classes carry their creation number: Inventory#1 (the
// stock object of the first Transferencia), Inventory#2 (receipt), Inventory#3 (issue), Series#1,
// Lot#1, Posting#1, Voucher#1, Recordset#1.
//
// Answers are scripted per call key: "Inventory#3.Agregar_Detalle_Movimiento"
// first, then "Inventory.Agregar_Detalle_Movimiento"; otherwise a default
// (Booleans True, texts "", numbers 0, and the Answer overloads in
// doubles.cpp). Every operation of a contract's description is recorded.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/com.h"
#include "automation/value.h"
#include "services/connection.h"
#include "services/inventory_services.h"

namespace qbx::test {

class Journal {
 public:
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& entries() const { return entries_; }
  // Entries that start with p, or that contain text, in order.
  std::vector<std::string> Starting(std::string_view p) const {
    std::vector<std::string> out = entries_;
    std::erase_if(out, [p](const std::string& e) { return !e.starts_with(p); });
    return out;
  }
  std::vector<std::string> Containing(std::string_view text) const {
    std::vector<std::string> out = entries_;
    std::erase_if(out, [text](const std::string& e) { return e.find(text) == e.npos; });
    return out;
  }
  // Entries naming a call, without their arguments: "Data.Obtener_Folio".
  std::vector<std::string> Calls() const {
    std::vector<std::string> out;
    for (const auto& e : entries_) out.push_back(e.substr(0, e.find('(')));
    return out;
  }
  void Clear() { entries_.clear(); }
  // One entry a line, numbered unless said otherwise.
  std::string Dump(bool numbered = true) const {
    std::string out;
    for (size_t i = 0; i < entries_.size(); ++i)
      out += (numbered ? std::to_string(i + 1) + ": " : "") + entries_[i] + "\n";
    return out;
  }

 private:
  std::vector<std::string> entries_;
};

// One row of a scripted recordset: field name and value, in select order.
using Row = std::vector<std::pair<std::string, Variant>>;

class Script {
 public:
  using Handler = std::function<Variant(const std::vector<Variant>& args)>;

  // Every call answers v.
  void Answer(const std::string& key, Variant v) { entries_[key].standing = std::move(v); }
  // The next calls answer these in order; then the standing answer or default.
  void Queue(const std::string& key, std::vector<Variant> answers) {
    entries_[key].queue.insert(entries_[key].queue.end(), answers.begin(), answers.end());
  }
  // Computed answers.
  void On(const std::string& key, Handler handler) { entries_[key].handler = std::move(handler); }
  // The call raises this error.
  void Fail(const std::string& key, RuntimeError error) { entries_[key].failure = error; }

  // The answer for a call, or nullopt for the double's default. Raises a
  // scripted failure.
  std::optional<Variant> Next(const std::string& instance_key, const std::string& class_key,
                              const std::vector<Variant>& args);

 private:
  struct Entry {
    std::deque<Variant> queue;
    std::optional<Variant> standing;
    Handler handler;
    std::optional<RuntimeError> failure;
  };
  std::map<std::string, Entry> entries_;
};

class FakeSuite : public com::ObjectProvider {
 public:
  // Recordsets handed out and whether each was closed.
  struct RecordsetLog {
    bool closed = false, released = false;
  };
  // What the doubles share with the suite (and keep alive while a double
  // lives, e.g. in a module state released later).
  struct Shared {
    Journal journal;
    Script script;
    struct QueryRule {
      std::string contains;
      std::vector<Row> rows;
      bool always = false, used = false;
      std::optional<RuntimeError> failure;
    };
    std::vector<QueryRule> rules;
    std::vector<std::string> statements;
    std::vector<std::shared_ptr<RecordsetLog>> recordsets;
    std::map<std::string, Variant> parameters;
    std::map<std::string, std::vector<MovementHeader>> headers;
    std::map<std::string, std::vector<MovementLine>> lines;
    std::map<std::string, int> created, alive;
    bool journal_releases = false;
  };

 private:
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();  // before the references into it

 public:
  FakeSuite() : journal(shared_->journal), script(shared_->script) {}
  FakeSuite(const FakeSuite&) = delete;
  FakeSuite& operator=(const FakeSuite&) = delete;

  Journal& journal;
  Script& script;

  // --- connection scripting ---
  // The next Execute whose text contains `contains` answers these rows
  // (rules are tried in the order given; a rule serves once unless always).
  void OnQuery(std::string contains, std::vector<Row> rows, bool always = false) {
    shared_->rules.push_back({std::move(contains), std::move(rows), always, false, {}});
  }
  // An Execute whose text contains `contains` raises the error.
  void FailQuery(std::string contains, RuntimeError error) {
    shared_->rules.push_back({std::move(contains), {}, true, false, std::move(error)});
  }
  // Texts passed to Execute, in order.
  std::vector<std::string> Statements() const { return shared_->statements; }
  const std::vector<std::shared_ptr<RecordsetLog>>& recordsets() const {
    return shared_->recordsets;
  }

  // --- parameters (System.Obtener_Parametro answers by name) ---
  // Unscripted parameters answer the default argument, or Null when it is "".
  void Parameter(const std::string& name, Variant v) { shared_->parameters[name] = std::move(v); }

  // Movement records handed to an inventory double: "Inventory#3".
  std::vector<MovementHeader> HeadersOf(const std::string& i) const {
    return Of(shared_->headers, i);
  }
  std::vector<MovementLine> LinesOf(const std::string& i) const { return Of(shared_->lines, i); }

  // How many objects of a class ("Inventory", "Series", ...) were created,
  // and how many of them are still alive.
  int Created(const std::string& cls) const { return Of(shared_->created, cls); }
  int Alive(const std::string& cls) const { return Of(shared_->alive, cls); }

  // When on, a double's release is journaled too: "Inventory#2.Release()".
  // Off by default.
  void JournalReleases(bool on) { shared_->journal_releases = on; }

  // ObjectProvider
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override;

 private:
  // What a map holds for key, or an empty value.
  template <class Map>
  static typename Map::mapped_type Of(const Map& m, const std::string& key) {
    auto it = m.find(key);
    return it == m.end() ? typename Map::mapped_type{} : it->second;
  }
};

// Installs a FakeSuite as the calling thread's object provider for its
// lifetime (restoring the previous one).
class ScopedProvider {
 public:
  explicit ScopedProvider(com::ObjectProvider* p) : previous_(com::SetThreadObjectProvider(p)) {}
  ~ScopedProvider() { com::SetThreadObjectProvider(previous_); }
  ScopedProvider(const ScopedProvider&) = delete;
  ScopedProvider& operator=(const ScopedProvider&) = delete;

 private:
  com::ObjectProvider* previous_;
};

}  // namespace qbx::test
