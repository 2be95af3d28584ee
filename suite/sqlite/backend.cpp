// The embedded backend: one SQLite file.
//
// Durability: WAL journal with synchronous=NORMAL. A committed transaction
// survives a crash of the process; a power loss may roll back the last
// transactions but never corrupts the file. Writers wait up to
// kBusyTimeoutMs for one another.
//
// Storage: 2 KiB pages in a new file. Every commit writes each page it
// changed whole into the journal, and a document line commits a few rows
// (about fifteen pages), so smaller pages halve what goes to the journal and,
// at each checkpoint, to the disk; rows here are far smaller than a page.
// Checkpoints (copying the journal back into the file) run once the journal
// holds 16,384 pages (32 MiB of 2 KiB pages). Each waits for the disk twice
// (the journal, then the file); SQLite's default of 1,000 pages would wait
// every sixty-odd lines. A power loss may roll back what was committed since
// the last checkpoint, as it always could.
#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "suite/backend.h"
#include "suite/schema.h"
#include "suite/sqlite/dialect.h"

namespace qbx::suite {
namespace {

// The one place where SQLite's failures become our run-time errors: every
// failure carries kErrDatabase and SQLite's own message.
[[noreturn]] void RaiseDatabaseError(int rc, const char* message) {
  std::string text = message && *message ? message : sqlite3_errstr(rc);
  throw RuntimeError(kErrDatabase, std::move(text), std::string(kSuiteSource));
}

void Check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK) RaiseDatabaseError(rc, db ? sqlite3_errmsg(db) : nullptr);
}

bool IsDateType(const char* declared) {
  if (!declared || std::strlen(declared) < 4) return false;
  for (int i = 0; i < 4; ++i)
    if (std::toupper(static_cast<unsigned char>(declared[i])) != "DATE"[i]) return false;
  return true;
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

bool OnlyBlanks(const char* p, const char* end) {
  for (; p && p < end; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') return false;
  return true;
}

class SqliteStatement final : public BackendStatement {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  void Clear() override {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);  // before the texts it points into go
    texts_.clear();
  }

  void Bind(const std::vector<Variant>& params) override {
    texts_.reserve(params.size());  // no reallocation: bound texts stay put
    for (size_t i = 0; i < params.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      const Variant& v = params[i];
      int rc = SQLITE_OK;
      switch (v.type()) {
        case Variant::Type::Empty:
        case Variant::Type::Null:
        case Variant::Type::Missing:
          rc = sqlite3_bind_null(stmt_, at);
          break;
        case Variant::Type::Boolean:
          rc = sqlite3_bind_int(stmt_, at, v.ToBool() ? 1 : 0);
          break;
        case Variant::Type::Integer:
        case Variant::Type::Long:
          rc = sqlite3_bind_int(stmt_, at, v.ToLong());
          break;
        case Variant::Type::Double:
          rc = sqlite3_bind_double(stmt_, at, v.ToDouble());
          break;
        case Variant::Type::String:
          rc = BindText(at, texts_.emplace_back(v.ToString()));
          break;
        case Variant::Type::Date:
          rc = BindText(at, texts_.emplace_back(DateTimeText(v.ToDate())));
          break;
        case Variant::Type::Record:
          Raise(kErrTypeMismatch);
      }
      Check(db_, rc);
    }
  }

  void BindLiterals(const std::vector<Statement::Literal>& values) override {
    for (size_t i = 0; i < values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      int rc;
      if (const auto* text = std::get_if<std::string>(&values[i]))
        rc = BindText(at, *text);
      else
        rc = sqlite3_bind_int64(stmt_, at, std::get<int64_t>(values[i]));
      Check(db_, rc);
    }
  }

  bool Step() override {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
      sqlite3_reset(stmt_);  // releases the read snapshot at once
      return false;
    }
    std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    RaiseDatabaseError(rc, message.c_str());
  }

  Variant Column(int index) const override {
    const bool is_date = IsDateType(sqlite3_column_decltype(stmt_, index));
    switch (sqlite3_column_type(stmt_, index)) {
      case SQLITE_NULL:
        return Null{};
      case SQLITE_INTEGER: {
        sqlite3_int64 v = sqlite3_column_int64(stmt_, index);
        if (is_date) return Date(static_cast<double>(v));
        if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int32_t>(v);
        return static_cast<double>(v);
      }
      case SQLITE_FLOAT: {
        double v = sqlite3_column_double(stmt_, index);
        if (is_date) return Date(v);
        return v;
      }
      default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
        std::string text(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt_, index)));
        if (is_date) {
          // An empty date text is no date; a text that is not a date is
          // handed back as it is rather than failing the whole row.
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

  int ColumnCount() const override { return sqlite3_column_count(stmt_); }
  std::string ColumnName(int index) const override {
    const char* c = sqlite3_column_name(stmt_, index);
    return c ? c : "";
  }
  int64_t Changes() const override { return sqlite3_changes64(db_); }
  void Reset() override { sqlite3_reset(stmt_); }
  bool ReadOnly() const override { return sqlite3_stmt_readonly(stmt_) != 0; }
  std::string Text() const override {
    const char* sql = sqlite3_sql(stmt_);
    return sql ? sql : "";
  }
  std::string Expanded() const override {
    if (sqlite3_bind_parameter_count(stmt_) == 0) return Text();
    char* expanded = sqlite3_expanded_sql(stmt_);
    std::string out = expanded ? expanded : Text();
    sqlite3_free(expanded);
    return out;
  }
  int64_t Reprepares() const override {
    return sqlite3_stmt_status(stmt_, SQLITE_STMTSTATUS_REPREPARE, 0);
  }

 private:
  // SQLite reads the text where it is: the caller keeps it until Clear.
  int BindText(int at, const std::string& text) {
    return sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_;
  std::vector<std::string> texts_;
};

class SqliteBackend final : public Backend {
 public:
  SqliteBackend(const std::string& path, bool create, bool read_only) : path_(path) {
    if (!create && !std::filesystem::exists(path)) throw MissingDatabase(path);
    std::string name = path;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (read_only) {
      flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
      // A read-only connection to a WAL database creates the -shm and -wal
      // files, and cannot open one in a folder it may not write to unless
      // they exist. Without a -wal everything committed is in the file
      // itself, so it is read as immutable: no files, no locks. A writer that
      // starts and checkpoints within the read goes unseen; one already
      // running left a -wal, and is then read through it with the usual locks.
      if (!std::filesystem::exists(path + "-wal")) {
        flags |= SQLITE_OPEN_URI;
        name = ImmutableUri(path);
      }
    }
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close_v2(db_);
      RaiseDatabaseError(rc, (message + ": " + path).c_str());
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_update_hook(db_, &SqliteBackend::Changed, this);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (!read_only) {
      try {
        Exec(kSqliteConnectionSettings);
      } catch (...) {
        sqlite3_close_v2(db_);
        throw;
      }
    }
  }

  ~SqliteBackend() override {
    texts_.clear();
    catalogue_.clear();
    sqlite3_close_v2(db_);
  }

  const Dialect& dialect() const override { return kSqliteDialect; }
  std::string Name() const override { return std::filesystem::path(path_).stem().string(); }

  std::unique_ptr<BackendStatement> Compile(std::string_view sql, bool persistent) override {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, &tail);
    if (rc != SQLITE_OK) RaiseDatabaseError(rc, sqlite3_errmsg(db_));
    auto st = std::make_unique<SqliteStatement>(db_, stmt);
    if (!OnlyBlanks(tail, sql.data() + sql.size()))
      RaiseSuiteError("Solo se admite una sentencia por ejecución: " + std::string(sql));
    if (!stmt) RaiseSuiteError("La sentencia está vacía");
    return st;
  }

  std::unique_ptr<BackendStatement> TryCompile(std::string_view sql) override {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK || !stmt || !OnlyBlanks(tail, sql.data() + sql.size())) {
      sqlite3_finalize(stmt);
      return nullptr;
    }
    return std::make_unique<SqliteStatement>(db_, stmt);
  }

  void Exec(std::string_view sql) override {
    char* error = nullptr;
    int rc = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
      std::string message = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      RaiseDatabaseError(rc, message.c_str());
    }
  }

  // IMMEDIATE takes the write lock at once: a second writer waits here, not
  // half way through its work.
  std::string BeginText() const override { return "BEGIN IMMEDIATE"; }
  void Begin() override { Run("BEGIN IMMEDIATE"); }

  // Kept prepared: a transaction per document line would otherwise compile
  // them every time.
  void Run(std::string_view text) override {
    auto it = texts_.find(std::string(text));
    if (it == texts_.end()) it = texts_.emplace(std::string(text), Compile(text, true)).first;
    BackendStatement& st = *it->second;
    st.Clear();
    while (st.Step()) {
    }
  }

  void Rollback(size_t level) override {
    const std::string text = level == 1 ? std::string("ROLLBACK")
                                        : "ROLLBACK TO q" + std::to_string(level) + "; RELEASE q" +
                                              std::to_string(level);
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db_)) RaiseDatabaseError(rc, sqlite3_errmsg(db_));
  }

  bool InTransaction() override { return !sqlite3_get_autocommit(db_); }

  void OnChange(std::function<void(std::string_view)> fn) override { changed_ = std::move(fn); }

  std::optional<std::string> FindTable(std::string_view table) override {
    return First(
        "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 "
        "COLLATE NOCASE",
        {std::string(table)});
  }

  std::optional<std::string> FindColumn(std::string_view table, std::string_view column) override {
    return First("SELECT name FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE",
                 {std::string(table), std::string(column)});
  }

  std::vector<std::string> TableNames() override {
    auto st = Compile(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
        "ORDER BY name",
        false);
    std::vector<std::string> names;
    while (st->Step()) names.push_back(st->Column(0).ToString());
    return names;
  }

  void CreateSchema() override {
    Exec(CoreSchemaSql());
    Exec(InventorySchemaSql());
  }

 private:
  static void Changed(void* self, int, const char*, const char* table, sqlite3_int64) {
    auto* backend = static_cast<SqliteBackend*>(self);
    if (backend->changed_) backend->changed_(table ? table : "");
  }

  // The first column of the first row, as text; nullopt without a row.
  std::optional<std::string> First(const char* sql, const std::vector<Variant>& params) {
    auto it = catalogue_.find(sql);
    if (it == catalogue_.end()) it = catalogue_.emplace(sql, Compile(sql, true)).first;
    BackendStatement& st = *it->second;
    st.Clear();
    st.Bind(params);
    std::optional<std::string> out;
    if (st.Step()) out = st.Column(0).ToString();
    st.Reset();
    return out;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  std::function<void(std::string_view)> changed_;
  std::unordered_map<std::string, std::unique_ptr<BackendStatement>> texts_;
  std::unordered_map<std::string, std::unique_ptr<BackendStatement>> catalogue_;
};

}  // namespace

std::unique_ptr<Backend> OpenSqlite(const std::string& path, bool create, bool read_only) {
  return std::make_unique<SqliteBackend>(path, create, read_only);
}

}  // namespace qbx::suite
