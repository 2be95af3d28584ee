// The backend-neutral half of the suite's database: statement cache, nesting
// of units and savepoints, kept rows, tracing and counting. What speaks to a
// driver is behind Backend (suite/backend.h).
#include "suite/database.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "services/connection.h"
#include "suite/backend.h"
#include "suite/config.h"
#include "suite/dialect.h"
#include "suite/schema.h"

namespace qbx::suite {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y && std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::mutex g_default_sink_mutex;
std::atomic<bool> g_has_default_sink{false};
TraceSink g_default_sink;

// A serialization failure or deadlock is retried this often in all.
constexpr int kAttempts = 3;

}  // namespace

bool IsServerDatabase(std::string_view name) {
  if (StartsWithNoCase(name, "postgresql://") || StartsWithNoCase(name, "postgres://"))
    return true;
  // A libpq key=value string: "host=... dbname=...". A path has no '=' before
  // its first blank or slash in any name a person would give a file.
  const size_t eq = name.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;
  const std::string_view key = name.substr(0, eq);
  return std::all_of(key.begin(), key.end(), [](char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
  });
}

std::string DatabaseFilePath(std::string_view name) {
  if (StartsWithNoCase(name, "sqlite:")) name.remove_prefix(7);
  return std::string(name);
}

std::unique_ptr<Backend> OpenBackend(const std::string& name, bool create, bool read_only) {
  if (IsServerDatabase(name)) {
    std::unique_ptr<Backend> server = OpenPostgres(name);
    if (read_only) server->Exec("SET default_transaction_read_only = on");
    return server;
  }
  return OpenSqlite(DatabaseFilePath(name), create, read_only);
}

std::string DateText(const Date& date) {
  CalendarTime t = date.ToCalendar();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
  return buffer;
}

std::string DateTimeText(const Date& date) {
  CalendarTime t = date.ToCalendar();
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return buffer;
}

void RaiseSuiteError(std::string description) {
  throw RuntimeError(kErrSuite, std::move(description), std::string(kSuiteSource));
}

MissingDatabase::MissingDatabase(std::string name)
    : RuntimeError(kErrSuite, "No existe la base de datos: " + name, std::string(kSuiteSource)),
      name_(std::move(name)) {}

ExistingDatabase::ExistingDatabase(std::string name, bool has_tables)
    : RuntimeError(kErrSuite,
                   (has_tables ? "La base de datos ya tiene las tablas de la suite: "
                               : "Ya existe la base de datos: ") +
                       name + " (no se modifica)",
                   std::string(kSuiteSource)),
      name_(std::move(name)),
      has_tables_(has_tables) {}

std::string QuoteIdentifier(std::string_view name) {
  // A plain name goes as it is: every backend then compares it the way it
  // compares the schema's own (a server folds unquoted names to one case).
  const bool plain =
      !name.empty() && !std::isdigit(static_cast<unsigned char>(name.front())) &&
      std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
      });
  if (plain) return std::string(name);
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string KeyRowSql(std::string_view table, std::string_view key, std::string_view key2,
                      bool excluded_state) {
  std::string sql = "SELECT * FROM " + QuoteIdentifier(table) + " WHERE " + QuoteIdentifier(key) +
                    " = ?1";
  int next = 2;
  if (!key2.empty()) sql += " AND " + QuoteIdentifier(key2) + " = ?" + std::to_string(next++);
  if (excluded_state) sql += " AND Es_Cve_Estado <> ?" + std::to_string(next);
  return sql + " LIMIT 1";
}

// State shared by a database and its statements.
struct DatabaseCore {
  std::unique_ptr<Backend> backend;
  int64_t counts[2] = {0, 0};
  TraceSink sink;
  std::vector<Database::SnapshotHolder*> holders;

  // Each holder reads what it has left and leaves the list.
  void LetGoOfSnapshots() {
    std::vector<Database::SnapshotHolder*> now;
    now.swap(holders);
    for (Database::SnapshotHolder* holder : now) holder->LetGo();
  }

  // The sink for this database, if any (copied: a sink may change it).
  TraceSink Sink() const {
    if (sink) return sink;
    if (!g_has_default_sink.load(std::memory_order_acquire)) return {};
    std::lock_guard lock(g_default_sink_mutex);
    return g_default_sink;
  }

  void Sent(Origin origin, std::string_view text) {
    ++counts[static_cast<int>(origin)];
    if (TraceSink copy = Sink()) copy(origin, text);
  }
  void Sent(Origin origin, const BackendStatement& st) {
    ++counts[static_cast<int>(origin)];
    if (TraceSink copy = Sink()) copy(origin, st.Expanded());
  }
};

// ---------------------------------------------------------------------------
// Statement
// ---------------------------------------------------------------------------

struct Statement::Impl {
  DatabaseCore* core = nullptr;
  std::unique_ptr<BackendStatement> st;
  Origin origin = Origin::Suite;
  bool fresh = true;  // not yet stepped since prepared, bound or run to its end
  bool has_row = false;
  std::optional<std::string> report_as;  // see ReportAs
  std::vector<Statement::Literal> literals;
  // Column names, read once: a lookup by name compares without copying.
  std::vector<std::string> names;
  int64_t names_at = -1;  // Reprepares() when they were read

  // Back to a fresh execution with no values: what either Bind starts with.
  void Unbind() {
    st->Clear();
    fresh = true;
    has_row = false;
    report_as.reset();
    literals.clear();
  }

  const std::vector<std::string>& Names() {
    if (const int64_t now = st->Reprepares(); names_at != now) {
      names.clear();
      for (int i = 0, n = st->ColumnCount(); i < n; ++i) names.push_back(st->ColumnName(i));
      names_at = now;
    }
    return names;
  }
};

Statement::Statement(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Statement::~Statement() = default;

Statement& Statement::Bind(const std::vector<Variant>& params) {
  impl_->Unbind();
  impl_->st->Bind(params);
  return *this;
}

Statement& Statement::BindLiterals(std::vector<Literal> values) {
  impl_->Unbind();
  impl_->literals = std::move(values);  // the elements stay where they are
  impl_->st->BindLiterals(impl_->literals);
  return *this;
}

void Statement::ReportAs(std::string text) {
  impl_->report_as = std::move(text);
}

bool Statement::Step() {
  if (impl_->fresh) {
    if (!impl_->core->holders.empty() && !impl_->st->ReadOnly())
      impl_->core->LetGoOfSnapshots();
    impl_->fresh = false;
    if (impl_->report_as)
      impl_->core->Sent(impl_->origin, *impl_->report_as);
    else
      impl_->core->Sent(impl_->origin, *impl_->st);
  }
  bool row = false;
  try {
    row = impl_->st->Step();
  } catch (...) {
    impl_->has_row = false;
    impl_->fresh = true;
    throw;
  }
  impl_->has_row = row;
  if (!row) impl_->fresh = true;  // a further Step runs it again: reported again
  return row;
}

Variant Statement::Column(int index) const {
  if (!impl_->has_row) Raise(kErrNoCurrentRecord);
  if (index < 0 || index >= impl_->st->ColumnCount()) Raise(kErrItemNotFound);
  return impl_->st->Column(index);
}

int Statement::FindColumn(std::string_view name) const {
  const std::vector<std::string>& names = impl_->Names();
  for (size_t i = 0; i < names.size(); ++i)
    if (EqualsNoCase(names[i], name)) return static_cast<int>(i);
  return -1;
}

Variant Statement::Column(std::string_view name) const {
  int index = FindColumn(name);
  if (index < 0) Raise(kErrItemNotFound);
  return Column(index);
}

int Statement::ColumnCount() const {
  return impl_->st->ColumnCount();
}

std::string Statement::ColumnName(int index) const {
  const std::vector<std::string>& names = impl_->Names();
  return index >= 0 && static_cast<size_t>(index) < names.size() ? names[index] : "";
}

int64_t Statement::Run() {
  while (Step()) {
  }
  return impl_->st->Changes();
}

void Statement::Reset() {
  impl_->st->Reset();
  impl_->has_row = false;
  impl_->fresh = true;
  impl_->report_as.reset();
}

std::string Statement::Sql() const {
  return impl_->st->Text();
}

int64_t Statement::Reprepares() const {
  return impl_->st->Reprepares();
}

// ---------------------------------------------------------------------------
// Query
// ---------------------------------------------------------------------------

Query::Query(Database& db, std::string_view sql, const std::vector<Variant>& params)
    : Query(db.Prepare(sql), params) {}

Query::Query(Statement& statement, const std::vector<Variant>& params) : st_(statement) {
  st_.Bind(params);
}

Query::~Query() {
  try {
    st_.Reset();
  } catch (...) {  // a reset only releases; nothing to report
  }
}

bool Query::Step() {
  return st_.Step();
}

Variant Query::Value(int index) const {
  return st_.Column(index);
}

std::string Query::Text(int index) const {
  return st_.Column(index).ToStringOrEmpty();
}

double Query::Number(int index) const {
  return st_.Column(index).ToDouble();
}

bool Query::Flag(int index) const {
  const Variant v = st_.Column(index);
  return !v.IsNull() && v.ToDouble() != 0;
}

// ---------------------------------------------------------------------------
// Database
// ---------------------------------------------------------------------------

struct Database::Impl : DatabaseCore {
  std::string path;
  // Looked up by the text as given, without copying it.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, std::unique_ptr<Statement>, TextHash, std::equal_to<>> cache;
  // Open transaction levels, outermost first: true for a unit of work, false
  // for a service's transaction.
  std::vector<bool> frames;
  int shapes = 0;  // of the cached statements, those PrepareShape made
  // Rows read inside the open unit (see UnitRow), by statement and values,
  // and the tables they come from.
  std::unordered_map<std::string, std::shared_ptr<const KeptRow>> kept_rows;
  std::vector<std::string> kept_tables;
  std::unordered_map<const Statement*, std::shared_ptr<const std::vector<std::string>>> kept_names;
  std::string kept_key;  // reused: a lookup allocates nothing once warm

  void DropKeptRows() {
    if (kept_rows.empty() && kept_tables.empty()) return;
    kept_rows.clear();
    kept_tables.clear();
    kept_names.clear();
  }
  // Every row change on this connection passes here; "" stands for any table.
  void Changed(std::string_view table) {
    for (const std::string& kept : kept_tables) {
      if (table.empty() || EqualsNoCase(kept, table)) {
        DropKeptRows();
        return;
      }
    }
  }

  ~Impl() {
    cache.clear();  // statements before the connection they belong to
    backend.reset();
  }

  void Open(bool unit);
  void Close(bool commit);
  // The statement kept for the text, compiled on first use.
  Statement& Kept(std::string_view sql, Origin origin);

  std::unique_ptr<Statement> Wrap(std::unique_ptr<BackendStatement> st, Origin origin) {
    auto impl = std::make_unique<Statement::Impl>();
    impl->core = this;
    impl->st = std::move(st);
    impl->origin = origin;
    return std::unique_ptr<Statement>(new Statement(std::move(impl)));
  }

  std::unique_ptr<Statement> Compile(std::string_view sql, Origin origin, bool persistent) {
    std::unique_ptr<BackendStatement> st;
    try {
      st = backend->Compile(sql, persistent);
    } catch (const RuntimeError& e) {
      if (e.number() == kErrDatabase) Sent(origin, sql);  // a failed compile was still sent
      throw;
    }
    return Wrap(std::move(st), origin);
  }
};

Database::Database(const std::string& path, bool create, bool read_only)
    : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->backend = OpenBackend(path, create, read_only);
  Impl* impl = impl_.get();
  impl_->backend->OnChange([impl](std::string_view table) { impl->Changed(table); });
}

Database::~Database() = default;

namespace {
struct Entry {
  std::weak_ptr<Database> db;
  dev_t device = 0;
  ino_t inode = 0;
};
std::map<std::string, Entry>& OpenedOnThisThread() {
  thread_local std::map<std::string, Entry> opened;
  return opened;
}
// The file's identity; a server is known by its name alone.
bool Identify(const std::string& name, Entry& entry) {
  if (IsServerDatabase(name)) return true;
  struct stat st {};
  if (::stat(DatabaseFilePath(name).c_str(), &st) != 0) return false;
  entry.device = st.st_dev;
  entry.inode = st.st_ino;
  return true;
}
}  // namespace

std::shared_ptr<Database> Database::ForThread() {
  std::map<std::string, Entry>& opened = OpenedOnThisThread();
  const std::string path = CurrentConfig().db_path;
  Entry now;
  if (!Identify(path, now)) throw MissingDatabase(path);
  Entry& entry = opened[path];
  // A file replaced under the same name is a new database.
  if (auto db = entry.db.lock(); db && entry.device == now.device && entry.inode == now.inode)
    return db;
  auto db = std::make_shared<Database>(path, false);
  if (db->SchemaVersion() < kSchemaVersion) db->EnsureSchema();
  now.db = db;
  entry = now;
  return db;
}

void Database::ShareForThread(const std::shared_ptr<Database>& db) {
  Entry entry;
  if (!Identify(db->path(), entry)) throw MissingDatabase(db->path());
  entry.db = db;
  OpenedOnThisThread()[db->path()] = entry;
}

const std::string& Database::path() const {
  return impl_->path;
}

const Dialect& Database::dialect() const {
  return impl_->backend->dialect();
}

std::string Database::name() const {
  return impl_->backend->Name();
}

Statement& Database::Impl::Kept(std::string_view sql, Origin origin) {
  auto it = cache.find(sql);
  if (it == cache.end()) it = cache.emplace(std::string(sql), Compile(sql, origin, true)).first;
  return *it->second;
}

Statement& Database::Prepare(std::string_view sql, Origin origin) {
  return impl_->Kept(sql, origin);
}

std::unique_ptr<Statement> Database::PrepareOnce(std::string_view sql, Origin origin) {
  return impl_->Compile(sql, origin, false);
}

Statement* Database::PrepareShape(std::string_view shape) {
  if (auto it = impl_->cache.find(shape); it != impl_->cache.end()) return it->second.get();
  if (impl_->shapes >= kMaxShapes) return nullptr;
  std::unique_ptr<BackendStatement> st = impl_->backend->TryCompile(shape);
  if (!st) return nullptr;
  ++impl_->shapes;
  auto& slot = impl_->cache[std::string(shape)];
  slot = impl_->Wrap(std::move(st), Origin::Component);
  return slot.get();
}

void Database::Hold(SnapshotHolder* holder) {
  impl_->holders.push_back(holder);
}

void Database::Release(SnapshotHolder* holder) {
  std::erase(impl_->holders, holder);
}

void Database::Exec(std::string_view sql) {
  impl_->LetGoOfSnapshots();  // the text may write
  impl_->DropKeptRows();      // or change the schema
  impl_->Sent(Origin::Suite, sql);
  impl_->backend->Exec(sql);
}

// Nesting is one stack for units and service transactions alike: level 1 is
// the backend's BEGIN, every level above it a savepoint named after its
// depth.
void Database::Impl::Open(bool unit) {
  if (frames.empty()) {
    LetGoOfSnapshots();  // BEGIN counts as reading only
    Sent(Origin::Suite, backend->BeginText());
    backend->Begin();
  } else {
    const std::string text = "SAVEPOINT q" + std::to_string(frames.size() + 1);
    Sent(Origin::Suite, text);
    backend->Run(text);
  }
  frames.push_back(unit);
}

void Database::Impl::Close(bool commit) {
  const size_t level = frames.size();
  if (!commit || level == 1) DropKeptRows();
  if (!backend->InTransaction()) {
    // The database already rolled everything back (a full disk, an I/O
    // error): nothing is open any more, whatever the frames say.
    frames.clear();
    DropKeptRows();
    if (commit)
      throw RuntimeError(kErrDatabase, "the transaction was rolled back by the database",
                         std::string(kSuiteSource));
    return;
  }
  if (commit) {
    const std::string text = level == 1 ? std::string("COMMIT") : "RELEASE q" + std::to_string(level);
    Sent(Origin::Suite, text);
    backend->Run(text);
    frames.pop_back();
    return;
  }
  frames.pop_back();
  // Undoing never fails half way: readers let go first, and the backend
  // runs it directly so that nothing (a trace sink, a fault) stands between.
  LetGoOfSnapshots();
  backend->Rollback(level);
}

void Database::Transaction(const std::function<void()>& fn) {
  const bool outermost = impl_->frames.empty();
  for (int attempt = 1;; ++attempt) {
    impl_->Open(false);
    const size_t level = impl_->frames.size();
    try {
      fn();
      impl_->Close(true);
      return;
    } catch (...) {
      // Still open when fn or the commit failed: undo it.
      if (impl_->frames.size() == level) {
        try {
          impl_->Close(false);
        } catch (...) {  // the first error is the one to report
        }
      }
      // A server may refuse a transaction only because another one ran
      // beside it; all of it is undone, so it runs again from the start.
      if (!outermost || attempt >= kAttempts || !impl_->backend->LastFailureRetryable()) throw;
    }
  }
}

int32_t Database::BeginUnit() {
  impl_->Open(true);
  return UnitLevel();
}

void Database::CommitUnit() {
  if (UnitLevel() == 0) throw RuntimeError(kErrNoTransaction, std::string(kNoTransactionText));
  impl_->Close(true);
}

void Database::RollbackUnit() {
  if (UnitLevel() == 0) throw RuntimeError(kErrNoTransaction, std::string(kNoTransactionText));
  impl_->Close(false);
}

int32_t Database::UnitLevel() const {
  return static_cast<int32_t>(std::count(impl_->frames.begin(), impl_->frames.end(), true));
}

const Variant* Database::KeptRow::Find(std::string_view name) const {
  if (!names) return nullptr;
  for (size_t i = 0; i < names->size(); ++i)
    if (EqualsNoCase((*names)[i], name)) return &values[i];
  return nullptr;
}

std::shared_ptr<const Database::KeptRow> Database::UnitRow(std::string_view table,
                                                           std::string_view sql,
                                                           const std::vector<Variant>& params) {
  const bool keep = UnitLevel() > 0;
  Statement& st = Prepare(sql);
  std::string& key = impl_->kept_key;
  if (keep) {
    // The statement (one per text while the database lives) and the values.
    const Statement* id = &st;
    key.assign(reinterpret_cast<const char*>(&id), sizeof id);
    for (const Variant& v : params) {
      key += '\x1f';
      // Codes are texts: appended as they are, without the quoting of Describe.
      key += v.type() == Variant::Type::String ? v.ToString() : v.Describe();
    }
    if (auto it = impl_->kept_rows.find(key); it != impl_->kept_rows.end()) return it->second;
  }
  auto row = std::make_shared<KeptRow>();
  if (Query query(st, params); query.Step()) {
    row->found = true;
    const int width = st.ColumnCount();
    auto& names = impl_->kept_names[&st];
    if (!names) {
      auto fresh = std::make_shared<std::vector<std::string>>();
      for (int i = 0; i < width; ++i) fresh->push_back(st.ColumnName(i));
      names = std::move(fresh);
    }
    row->names = names;
    row->values.reserve(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) row->values.push_back(query.Value(i));
  }
  if (keep) {
    if (impl_->kept_rows.size() >= kMaxKeptRows) impl_->DropKeptRows();
    if (std::none_of(impl_->kept_tables.begin(), impl_->kept_tables.end(),
                     [&](const std::string& t) { return EqualsNoCase(t, table); }))
      impl_->kept_tables.emplace_back(table);
    impl_->kept_rows.emplace(key, row);
  }
  return row;
}

size_t Database::KeptRows() const {
  return impl_->kept_rows.size();
}

bool Database::HasTable(std::string_view table) {
  return impl_->backend->FindTable(table).has_value();
}

std::string Database::ResolveTable(std::string_view table) {
  std::optional<std::string> name = impl_->backend->FindTable(table);
  if (!name) RaiseSuiteError("La tabla '" + std::string(table) + "' no existe");
  return *name;
}

bool Database::HasColumn(std::string_view table, std::string_view column) {
  return impl_->backend->FindColumn(table, column).has_value();
}

std::vector<std::string> Database::TableNames() {
  return impl_->backend->TableNames();
}

std::string Database::ResolveColumn(std::string_view table, std::string_view column) {
  std::string canonical_table = ResolveTable(table);
  std::optional<std::string> name = impl_->backend->FindColumn(canonical_table, column);
  if (!name)
    RaiseSuiteError("La columna '" + std::string(column) + "' no existe en la tabla '" +
                    canonical_table + "'");
  return *name;
}

Variant Database::QueryValue(std::string_view sql, const std::vector<Variant>& params) {
  Query query(*this, sql, params);
  return query.Step() ? query.Value(0) : Variant();
}

int64_t Database::Run(std::string_view sql, const std::vector<Variant>& params) {
  return Prepare(sql).Bind(params).Run();
}

int64_t Database::StatementCount(Origin origin) const {
  return impl_->counts[static_cast<int>(origin)];
}

void Database::SetTraceSink(TraceSink sink) {
  impl_->sink = std::move(sink);
}

void Database::SetDefaultTraceSink(TraceSink sink) {
  std::lock_guard lock(g_default_sink_mutex);
  g_has_default_sink.store(static_cast<bool>(sink), std::memory_order_release);
  g_default_sink = std::move(sink);
}

int Database::SchemaVersion() {
  if (!HasTable("Version_Esquema")) return 0;
  const Variant v = QueryValue("SELECT MAX(Ve_Version) FROM Version_Esquema");
  return v.IsEmpty() || v.IsNull() ? 0 : v.ToLong();
}

bool Database::EnsureSchema() {
  const int before = SchemaVersion();
  if (before > kSchemaVersion)
    RaiseSuiteError("La base de datos " + impl_->path + " tiene la versión de esquema " +
                    std::to_string(before) + ", posterior a la de este programa (" +
                    std::to_string(kSchemaVersion) + ")");
  static const DialectSql kRecord(
      "INSERT INTO Version_Esquema (Ve_Version, Ve_Fecha) VALUES (?1, {now})");
  Transaction([&] {
    impl_->LetGoOfSnapshots();
    impl_->DropKeptRows();
    impl_->backend->CreateSchema();
    Exec("DELETE FROM Version_Esquema");
    Prepare(kRecord.For(dialect())).Bind({static_cast<int32_t>(kSchemaVersion)}).Run();
  });
  return before == 0;
}

}  // namespace qbx::suite

