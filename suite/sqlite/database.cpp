#include "suite/database.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "services/connection.h"
#include "suite/config.h"
#include "suite/schema.h"
#include "suite/sqlite/dialect.h"

namespace qbx::suite {
namespace {

// The one place where the database's failures become our run-time errors:
// every failure carries kErrDatabase and the database's own message.
[[noreturn]] void RaiseDatabaseError(int rc, const char* message) {
  std::string text = message && *message ? message : sqlite3_errstr(rc);
  throw RuntimeError(kErrDatabase, std::move(text), std::string(kSuiteSource));
}

void Check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK) RaiseDatabaseError(rc, db ? sqlite3_errmsg(db) : nullptr);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y && std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool IsDateType(const char* declared) {
  return declared && std::strlen(declared) >= 4 &&
         EqualsNoCase(std::string_view(declared, 4), "DATE");
}

// "file:" URI of a path with immutable=1; %, ? and # would end or change it.
std::string ImmutableUri(const std::string& path) {
  std::string uri = path.starts_with('/') ? "file://" : "file:";
  for (char c : path) {
    if (c == '%')
      uri += "%25";
    else if (c == '?')
      uri += "%3f";
    else if (c == '#')
      uri += "%23";
    else
      uri += c;
  }
  return uri + "?immutable=1";
}

std::mutex g_default_sink_mutex;
std::atomic<bool> g_has_default_sink{false};
TraceSink g_default_sink;

}  // namespace

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

std::string QuoteIdentifier(std::string_view name) {
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
  if (excluded_state) sql += " AND \"Es_Cve_Estado\" <> ?" + std::to_string(next);
  return sql + " LIMIT 1";
}

// State shared by a database and its statements.
struct DatabaseCore {
  sqlite3* db = nullptr;
  int64_t counts[2] = {0, 0};
  TraceSink sink;
  std::vector<Database::SnapshotHolder*> holders;

  // Each holder reads what it has left and leaves the list.
  void LetGoOfSnapshots() {
    std::vector<Database::SnapshotHolder*> now;
    now.swap(holders);
    for (Database::SnapshotHolder* holder : now) holder->LetGo();
  }

  void Sent(Origin origin, sqlite3_stmt* stmt, std::string_view text) {
    ++counts[static_cast<int>(origin)];
    TraceSink copy;
    if (sink) {
      copy = sink;
    } else if (g_has_default_sink.load(std::memory_order_acquire)) {
      std::lock_guard lock(g_default_sink_mutex);
      copy = g_default_sink;
    }
    if (!copy) return;
    if (stmt && sqlite3_bind_parameter_count(stmt) > 0) {
      char* expanded = sqlite3_expanded_sql(stmt);
      copy(origin, expanded ? std::string_view(expanded) : text);
      sqlite3_free(expanded);
    } else {
      copy(origin, text);
    }
  }
};

// ---------------------------------------------------------------------------
// Statement
// ---------------------------------------------------------------------------

struct Statement::Impl {
  DatabaseCore* core = nullptr;
  sqlite3_stmt* stmt = nullptr;
  Origin origin = Origin::Suite;
  bool fresh = true;  // not yet stepped since prepared, bound or run to its end
  bool has_row = false;
  std::optional<std::string> report_as;  // see ReportAs
  // The bound texts, kept here until the next Bind so that SQLite reads them
  // where they are instead of copying each one.
  std::vector<std::string> texts;
  std::vector<Statement::Literal> literals;

  ~Impl() { sqlite3_finalize(stmt); }

  // Back to a fresh execution with no values: what either Bind starts with.
  void Unbind() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);  // before the texts it points into go
    fresh = true;
    has_row = false;
    report_as.reset();
    texts.clear();
    literals.clear();
  }
};

Statement::Statement(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Statement::~Statement() = default;

Statement& Statement::Bind(const std::vector<Variant>& params) {
  sqlite3_stmt* s = impl_->stmt;
  impl_->Unbind();
  impl_->texts.reserve(params.size());  // no reallocation: bound texts stay put
  for (size_t i = 0; i < params.size(); ++i) {
    const int at = static_cast<int>(i) + 1;
    const Variant& v = params[i];
    int rc = SQLITE_OK;
    switch (v.type()) {
      case Variant::Type::Empty:
      case Variant::Type::Null:
      case Variant::Type::Missing:
        rc = sqlite3_bind_null(s, at);
        break;
      case Variant::Type::Boolean:
        rc = sqlite3_bind_int(s, at, v.ToBool() ? 1 : 0);
        break;
      case Variant::Type::Integer:
      case Variant::Type::Long:
        rc = sqlite3_bind_int(s, at, v.ToLong());
        break;
      case Variant::Type::Double:
        rc = sqlite3_bind_double(s, at, v.ToDouble());
        break;
      case Variant::Type::String: {
        const std::string& text = impl_->texts.emplace_back(v.ToString());
        rc = sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        break;
      }
      case Variant::Type::Date: {
        const std::string& text = impl_->texts.emplace_back(DateTimeText(v.ToDate()));
        rc = sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        break;
      }
      case Variant::Type::Record:
        Raise(kErrTypeMismatch);
    }
    Check(impl_->core->db, rc);
  }
  return *this;
}

Statement& Statement::BindLiterals(std::vector<Literal> values) {
  sqlite3_stmt* s = impl_->stmt;
  impl_->Unbind();
  impl_->literals = std::move(values);  // the elements stay where they are
  const std::vector<Literal>& kept = impl_->literals;
  for (size_t i = 0; i < kept.size(); ++i) {
    const int at = static_cast<int>(i) + 1;
    int rc;
    if (const auto* text = std::get_if<std::string>(&kept[i])) {
      rc = sqlite3_bind_text(s, at, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
    } else {
      rc = sqlite3_bind_int64(s, at, std::get<int64_t>(kept[i]));
    }
    Check(impl_->core->db, rc);
  }
  return *this;
}

void Statement::ReportAs(std::string text) {
  impl_->report_as = std::move(text);
}

bool Statement::Step() {
  if (impl_->fresh) {
    if (!impl_->core->holders.empty() && !sqlite3_stmt_readonly(impl_->stmt))
      impl_->core->LetGoOfSnapshots();
    impl_->fresh = false;
    if (impl_->report_as) {
      impl_->core->Sent(impl_->origin, nullptr, *impl_->report_as);
    } else {
      const char* sql = sqlite3_sql(impl_->stmt);
      impl_->core->Sent(impl_->origin, impl_->stmt, sql ? sql : "");
    }
  }
  int rc = sqlite3_step(impl_->stmt);
  if (rc == SQLITE_ROW) return impl_->has_row = true;
  impl_->has_row = false;
  if (rc == SQLITE_DONE) {
    sqlite3_reset(impl_->stmt);  // releases the read snapshot at once
    impl_->fresh = true;         // a further Step runs it again: reported again
    return false;
  }
  std::string message = sqlite3_errmsg(impl_->core->db);
  sqlite3_reset(impl_->stmt);
  impl_->fresh = true;
  RaiseDatabaseError(rc, message.c_str());
}

Variant Statement::Column(int index) const {
  sqlite3_stmt* s = impl_->stmt;
  if (!impl_->has_row) Raise(kErrNoCurrentRecord);
  if (index < 0 || index >= sqlite3_column_count(s)) Raise(kErrItemNotFound);
  const bool is_date = IsDateType(sqlite3_column_decltype(s, index));
  switch (sqlite3_column_type(s, index)) {
    case SQLITE_NULL:
      return Null{};
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(s, index);
      if (is_date) return Date(static_cast<double>(v));
      if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int32_t>(v);
      return static_cast<double>(v);
    }
    case SQLITE_FLOAT: {
      double v = sqlite3_column_double(s, index);
      if (is_date) return Date(v);
      return v;
    }
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
      std::string text(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(s, index)));
      if (is_date) {
        // An empty date text is no date; a text that is not a date is handed
        // back as it is rather than failing the whole row.
        if (text.empty()) return Null{};
        try {
          return Date::Parse(text);
        } catch (const RuntimeError&) {
          return text;
        }
      }
      return text;
    }
  }
}

int Statement::FindColumn(std::string_view name) const {
  const int n = sqlite3_column_count(impl_->stmt);
  for (int i = 0; i < n; ++i) {
    const char* c = sqlite3_column_name(impl_->stmt, i);
    if (c && EqualsNoCase(c, name)) return i;
  }
  return -1;
}

Variant Statement::Column(std::string_view name) const {
  int index = FindColumn(name);
  if (index < 0) Raise(kErrItemNotFound);
  return Column(index);
}

int Statement::ColumnCount() const {
  return sqlite3_column_count(impl_->stmt);
}

std::string Statement::ColumnName(int index) const {
  const char* c = sqlite3_column_name(impl_->stmt, index);
  return c ? c : "";
}

int64_t Statement::Run() {
  while (Step()) {
  }
  return sqlite3_changes64(impl_->core->db);
}

void Statement::Reset() {
  sqlite3_reset(impl_->stmt);
  impl_->has_row = false;
  impl_->fresh = true;
  impl_->report_as.reset();
}

std::string Statement::Sql() const {
  const char* sql = sqlite3_sql(impl_->stmt);
  return sql ? sql : "";
}

int64_t Statement::Reprepares() const {
  return sqlite3_stmt_status(impl_->stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
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
  // Every row change on this connection passes here (SQLite's update hook).
  static void Changed(void* self, int, const char*, const char* table, sqlite3_int64) {
    auto* impl = static_cast<Impl*>(self);
    for (const std::string& kept : impl->kept_tables) {
      if (EqualsNoCase(kept, table)) {
        impl->DropKeptRows();
        return;
      }
    }
  }

  ~Impl() {
    cache.clear();
    sqlite3_close_v2(db);
  }

  void Open(bool unit);
  void Close(bool commit);
  // The statement kept for the text, compiled on first use.
  Statement& Kept(std::string_view sql, Origin origin);
  // A kept statement without parameters, ready to run.
  Statement& Cached(const std::string& sql);

  std::unique_ptr<Statement> Compile(std::string_view sql, Origin origin, unsigned flags) {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), flags, &stmt, &tail);
    if (rc != SQLITE_OK) {
      // A statement that fails to compile was still sent.
      Sent(origin, nullptr, sql);
      RaiseDatabaseError(rc, sqlite3_errmsg(db));
    }
    auto impl = std::make_unique<Statement::Impl>();
    impl->core = this;
    impl->stmt = stmt;
    impl->origin = origin;
    const char* end = sql.data() + sql.size();
    for (const char* p = tail; p && p < end; ++p) {
      if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';')
        RaiseSuiteError("Solo se admite una sentencia por ejecución: " + std::string(sql));
    }
    if (!stmt) RaiseSuiteError("La sentencia está vacía");
    return std::unique_ptr<Statement>(new Statement(std::move(impl)));
  }
};

Database::Database(const std::string& path, bool create, bool read_only)
    : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  if (!create && !std::filesystem::exists(path))
    RaiseSuiteError("No existe la base de datos: " + path + " (créela con: quelbarix init --db " +
                    path + ")");
  std::string name = path;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  if (read_only) {
    flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    // A read-only connection to a WAL database creates the -shm and -wal
    // files, and cannot open one in a folder it may not write to unless they
    // exist. Without a -wal everything committed is in the file itself, so it
    // is read as immutable: no files, no locks. A writer that starts and
    // checkpoints within the read goes unseen; one already running left a
    // -wal, and is then read through it with the usual locks.
    if (!std::filesystem::exists(path + "-wal")) {
      flags |= SQLITE_OPEN_URI;
      name = ImmutableUri(path);
    }
  }
  int rc = sqlite3_open_v2(name.c_str(), &impl_->db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = impl_->db ? sqlite3_errmsg(impl_->db) : sqlite3_errstr(rc);
    RaiseDatabaseError(rc, (message + ": " + path).c_str());
  }
  sqlite3_extended_result_codes(impl_->db, 1);
  sqlite3_update_hook(impl_->db, &Impl::Changed, impl_.get());
  Check(impl_->db, sqlite3_busy_timeout(impl_->db, kBusyTimeoutMs));
  if (!read_only) Exec(kConnectionSettings);
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
}  // namespace

std::shared_ptr<Database> Database::ForThread() {
  std::map<std::string, Entry>& opened = OpenedOnThisThread();
  const std::string path = CurrentConfig().db_path;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    RaiseSuiteError("No existe la base de datos: " + path + " (créela con: quelbarix init --db " +
                    path + ")");
  Entry& entry = opened[path];
  // A file replaced under the same name is a new database.
  if (auto db = entry.db.lock(); db && entry.device == st.st_dev && entry.inode == st.st_ino)
    return db;
  auto db = std::make_shared<Database>(path, false);
  if (db->SchemaVersion() < kSchemaVersion) db->EnsureSchema();
  entry = Entry{db, st.st_dev, st.st_ino};
  return db;
}

void Database::ShareForThread(const std::shared_ptr<Database>& db) {
  struct stat st {};
  if (::stat(db->path().c_str(), &st) != 0)
    RaiseSuiteError("No existe la base de datos: " + db->path());
  OpenedOnThisThread()[db->path()] = Entry{db, st.st_dev, st.st_ino};
}

const std::string& Database::path() const {
  return impl_->path;
}

const Dialect& Database::dialect() const {
  return kSqliteDialect;
}

std::string Database::name() const {
  return std::filesystem::path(impl_->path).stem().string();
}

Statement& Database::Impl::Kept(std::string_view sql, Origin origin) {
  auto it = cache.find(sql);
  if (it == cache.end()) {
    auto st = Compile(sql, origin, SQLITE_PREPARE_PERSISTENT);
    it = cache.emplace(std::string(sql), std::move(st)).first;
  }
  return *it->second;
}

Statement& Database::Impl::Cached(const std::string& sql) {
  return Kept(sql, Origin::Suite).Bind({});
}

Statement& Database::Prepare(std::string_view sql, Origin origin) {
  return impl_->Kept(sql, origin);
}

std::unique_ptr<Statement> Database::PrepareOnce(std::string_view sql, Origin origin) {
  return impl_->Compile(sql, origin, 0);
}

Statement* Database::PrepareShape(std::string_view shape) {
  if (auto it = impl_->cache.find(shape); it != impl_->cache.end()) return it->second.get();
  if (impl_->shapes >= kMaxShapes) return nullptr;
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v3(impl_->db, shape.data(), static_cast<int>(shape.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
  const char* end = shape.data() + shape.size();
  bool single = true;
  for (const char* p = tail; p && p < end; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') single = false;
  }
  if (rc != SQLITE_OK || !stmt || !single) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  auto impl = std::make_unique<Statement::Impl>();
  impl->core = impl_.get();
  impl->stmt = stmt;
  impl->origin = Origin::Component;
  ++impl_->shapes;
  auto& slot = impl_->cache[std::string(shape)];
  slot.reset(new Statement(std::move(impl)));
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
  impl_->Sent(Origin::Suite, nullptr, sql);
  char* error = nullptr;
  int rc = sqlite3_exec(impl_->db, std::string(sql).c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(impl_->db);
    sqlite3_free(error);
    RaiseDatabaseError(rc, message.c_str());
  }
}

// Nesting is one stack for units and service transactions alike: level 1 is
// the BEGIN IMMEDIATE, every level above it a savepoint named after its
// depth. Texts are kept prepared: a transaction per document line would
// otherwise compile them every time.
void Database::Impl::Open(bool unit) {
  if (frames.empty()) {
    LetGoOfSnapshots();  // BEGIN counts as reading only
    Cached("BEGIN IMMEDIATE").Run();
  } else {
    Cached("SAVEPOINT q" + std::to_string(frames.size() + 1)).Run();
  }
  frames.push_back(unit);
}

void Database::Impl::Close(bool commit) {
  const size_t level = frames.size();
  if (!commit || level == 1) DropKeptRows();
  if (sqlite3_get_autocommit(db)) {
    // The database already rolled everything back (a full disk, an I/O
    // error): nothing is open any more, whatever the frames say.
    frames.clear();
    DropKeptRows();
    if (commit) RaiseDatabaseError(SQLITE_ABORT, "the transaction was rolled back by the database");
    return;
  }
  if (commit) {
    Cached(level == 1 ? std::string("COMMIT") : "RELEASE q" + std::to_string(level)).Run();
    frames.pop_back();
    return;
  }
  frames.pop_back();
  // Undoing never fails half way: readers let go first, and the texts run
  // directly so that nothing (a trace sink, a fault) stands between.
  LetGoOfSnapshots();
  const std::string text = level == 1 ? std::string("ROLLBACK")
                                      : "ROLLBACK TO q" + std::to_string(level) + "; RELEASE q" +
                                            std::to_string(level);
  const int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK && !sqlite3_get_autocommit(db)) RaiseDatabaseError(rc, sqlite3_errmsg(db));
}

void Database::Transaction(const std::function<void()>& fn) {
  impl_->Open(false);
  const size_t level = impl_->frames.size();
  try {
    fn();
    impl_->Close(true);
  } catch (...) {
    // Still open when fn or the commit failed: undo it.
    if (impl_->frames.size() == level) {
      try {
        impl_->Close(false);
      } catch (...) {  // the first error is the one to report
      }
    }
    throw;
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
  st.Bind(params);
  if (st.Step()) {
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
    for (int i = 0; i < width; ++i) row->values.push_back(st.Column(i));
  }
  st.Reset();
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
  Statement& st = Prepare(
      "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 "
      "COLLATE NOCASE");
  st.Bind({std::string(table)});
  bool found = st.Step();
  st.Reset();
  return found;
}

std::string Database::ResolveTable(std::string_view table) {
  Statement& st = Prepare(
      "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 "
      "COLLATE NOCASE");
  st.Bind({std::string(table)});
  if (!st.Step()) RaiseSuiteError("La tabla '" + std::string(table) + "' no existe");
  std::string name = st.Column(0).ToString();
  st.Reset();
  return name;
}

bool Database::HasColumn(std::string_view table, std::string_view column) {
  Statement& st = Prepare("SELECT name FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE");
  st.Bind({std::string(table), std::string(column)});
  bool found = st.Step();
  st.Reset();
  return found;
}

std::string Database::ResolveColumn(std::string_view table, std::string_view column) {
  std::string canonical_table = ResolveTable(table);
  Statement& st = Prepare("SELECT name FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE");
  st.Bind({canonical_table, std::string(column)});
  if (!st.Step())
    RaiseSuiteError("La columna '" + std::string(column) + "' no existe en la tabla '" +
                    canonical_table + "'");
  std::string name = st.Column(0).ToString();
  st.Reset();
  return name;
}

Variant Database::QueryValue(std::string_view sql, const std::vector<Variant>& params) {
  Statement& st = Prepare(sql);
  st.Bind(params);
  Variant value;
  if (st.Step()) value = st.Column(0);
  st.Reset();
  return value;
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
  Statement& st = Prepare("SELECT MAX(Ve_Version) FROM Version_Esquema");
  st.Bind({});
  int version = 0;
  if (st.Step()) {
    Variant v = st.Column(0);
    if (!v.IsNull()) version = v.ToLong();
  }
  st.Reset();
  return version;
}

bool Database::EnsureSchema() {
  const int before = SchemaVersion();
  if (before > kSchemaVersion)
    RaiseSuiteError("La base de datos " + impl_->path + " tiene la versión de esquema " +
                    std::to_string(before) + ", posterior a la de este programa (" +
                    std::to_string(kSchemaVersion) + ")");
  Transaction([&] {
    Exec(CoreSchemaSql());
    Exec(InventorySchemaSql());
    Exec("DELETE FROM Version_Esquema");
    Prepare("INSERT INTO Version_Esquema (Ve_Version, Ve_Fecha) VALUES (?1, datetime('now'))")
        .Bind({static_cast<int32_t>(kSchemaVersion)})
        .Run();
  });
  return before == 0;
}

}  // namespace qbx::suite
