// The suite's PostgreSQL backend: one libpq connection, named prepared
// statements, transactions and catalogue questions (see suite/backend.h).
//
// Rows: each execution reads its whole result before the first row is
// handed out. The suite walks a recordset while it runs other statements on
// the same connection, which a connection streaming rows one at a time
// cannot do; results here are document-sized.
#include <algorithm>
#include <libpq-fe.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "suite/backend.h"
#include "suite/postgres/dialect.h"
#include "suite/postgres/sql_text.h"
#include "suite/schema.h"

namespace qbx::suite {
namespace {

constexpr int kServerLockWaitMs = 60000;

// Writers take this transaction-scoped advisory lock right after BEGIN, so
// they go one at a time (readers never wait): the embedded backend's
// BEGIN IMMEDIATE.
constexpr int64_t kWriterLockKey = 0x51424C58;  // "QBLX"

// Type oids of the built-in types a column may come back as.
enum : Oid {
  kBool = 16,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kFloat4 = 700,
  kFloat8 = 701,
  kDate = 1082,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kNumeric = 1700,
};

struct ClearResult {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

std::string Trimmed(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The connection and what its statements share with it; statements keep it
// alive, so they may outlive the Backend object.
struct Core {
  PGconn* conn = nullptr;
  bool retryable = false;
  std::function<void(std::string_view)> on_change;
  // Statements dropped while the transaction was aborted (DEALLOCATE would
  // fail there); deallocated once it has ended.
  std::vector<std::string> to_deallocate;
  uint64_t last_name = 0;

  ~Core() { PQfinish(conn); }

  // The one place where the server's failures become our run-time errors.
  RuntimeError Error(const PGresult* r) {
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    retryable = state && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0);
    std::string text = Trimmed(primary ? primary : PQerrorMessage(conn));
    if (text.empty()) text = "PostgreSQL: " + Trimmed(PQresStatus(r ? PQresultStatus(r) : PGRES_FATAL_ERROR));
    return RuntimeError(kErrDatabase, std::move(text), std::string(kSuiteSource));
  }

  static bool Ok(const PGresult* r) {
    const ExecStatusType s = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
  }

  Result Check(PGresult* raw) {
    Result r(raw);
    if (!Ok(r.get())) throw Error(r.get());
    return r;
  }

  Result Exec(const std::string& sql) { return Check(PQexec(conn, sql.c_str())); }

  bool InTransaction() const {
    const PGTransactionStatusType s = PQtransactionStatus(conn);
    return s == PQTRANS_ACTIVE || s == PQTRANS_INTRANS || s == PQTRANS_INERROR;
  }

  void Deallocate(const std::string& name) {
    if (PQstatus(conn) != CONNECTION_OK) return;
    if (PQtransactionStatus(conn) == PQTRANS_INERROR) {
      to_deallocate.push_back(name);
      return;
    }
    Result(PQexec(conn, ("DEALLOCATE " + name).c_str()));  // failure: nothing to do
  }

  void DeallocateDropped() {
    if (to_deallocate.empty() || PQtransactionStatus(conn) == PQTRANS_INERROR) return;
    std::vector<std::string> names;
    names.swap(to_deallocate);
    for (const std::string& name : names) Deallocate(name);
  }
};

std::string DoubleText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, d).ptr);
}

class PgStatement final : public BackendStatement {
 public:
  PgStatement(std::shared_ptr<Core> core, std::string name, pg::Rewritten text, Result shape)
      : core_(std::move(core)), name_(std::move(name)), text_(std::move(text)) {
    const int n = PQnfields(shape.get());
    for (int i = 0; i < n; ++i) {
      const std::string server = PQfname(shape.get(), i);
      const auto& schema = pg::SchemaSpellings();
      auto it = schema.find(server);
      if (it != schema.end()) {
        names_.push_back(it->second);
      } else {
        auto alias = text_.aliases.find(server);
        names_.push_back(alias != text_.aliases.end() ? alias->second : server);
      }
    }
  }

  ~PgStatement() override {
    try {
      core_->Deallocate(name_);
    } catch (...) {  // a lost connection: the server has dropped it already
    }
  }

  void Clear() override {
    Reset();
    values_.clear();
  }

  void Bind(const std::vector<Variant>& params) override {
    values_.clear();
    for (const Variant& v : params) {
      switch (v.type()) {
        case Variant::Type::Empty:
        case Variant::Type::Null:
        case Variant::Type::Missing:
          values_.push_back({});
          break;
        case Variant::Type::Boolean:
          values_.push_back({v.ToBool() ? "1" : "0", false});
          break;
        case Variant::Type::Integer:
        case Variant::Type::Long:
          values_.push_back({std::to_string(v.ToLong()), false});
          break;
        case Variant::Type::Double:
          values_.push_back({DoubleText(v.ToDouble()), false});
          break;
        case Variant::Type::String:
          values_.push_back({v.ToString(), true});
          break;
        case Variant::Type::Date:
          values_.push_back({DateTimeText(v.ToDate()), true});
          break;
        case Variant::Type::Record:
          Raise(kErrTypeMismatch);
      }
    }
  }

  void BindLiterals(const std::vector<Statement::Literal>& literals) override {
    values_.clear();
    for (const Statement::Literal& literal : literals) {
      if (const auto* text = std::get_if<std::string>(&literal))
        values_.push_back({*text, true});
      else
        values_.push_back({std::to_string(std::get<int64_t>(literal)), false});
    }
  }

  bool Step() override {
    if (fresh_) {
      // Values not bound are NULL, as the embedded backend has them.
      std::vector<const char*> pointers(static_cast<size_t>(text_.parameters), nullptr);
      for (size_t i = 0; i < values_.size() && i < pointers.size(); ++i)
        if (values_[i].value) pointers[i] = values_[i].value->c_str();
      result_ = core_->Check(PQexecPrepared(core_->conn, name_.c_str(), text_.parameters,
                                            pointers.data(), nullptr, nullptr, 0));
      fresh_ = false;
      row_ = -1;
      changes_ = 0;
      if (!text_.read_only) {
        const char* tuples = PQcmdTuples(result_.get());
        if (tuples && *tuples) changes_ = std::strtoll(tuples, nullptr, 10);
        if (core_->on_change) core_->on_change(text_.table);
      }
    }
    if (++row_ < PQntuples(result_.get())) return true;
    Reset();
    return false;
  }

  Variant Column(int index) const override {
    if (!result_ || row_ < 0 || row_ >= PQntuples(result_.get())) Raise(kErrNoCurrentRecord);
    if (index < 0 || index >= ColumnCount()) Raise(kErrItemNotFound);
    if (PQgetisnull(result_.get(), row_, index)) return Null{};
    const char* value = PQgetvalue(result_.get(), row_, index);
    const std::string_view text(value, static_cast<size_t>(PQgetlength(result_.get(), row_, index)));
    switch (PQftype(result_.get(), index)) {
      case kInt2:
      case kInt4:
      case kInt8: {
        int64_t v = 0;
        std::from_chars(text.data(), text.data() + text.size(), v);
        if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int32_t>(v);
        return static_cast<double>(v);
      }
      case kFloat4:
      case kFloat8:
      case kNumeric:
        return std::strtod(value, nullptr);
      case kBool:
        return text == "t";
      case kDate:
      case kTimestamp:
      case kTimestampTz: {
        // The zone of a timestamptz goes: the session's local time stays.
        std::string_view local = text;
        if (local.size() > 19) {
          const size_t zone = local.find_first_of("+-", 19);
          if (zone != std::string_view::npos) local = local.substr(0, zone);
        }
        try {
          return Date::Parse(local);
        } catch (const RuntimeError&) {  // infinity, BC: handed back as text
          return std::string(text);
        }
      }
      default:
        return std::string(text);
    }
  }

  int ColumnCount() const override { return static_cast<int>(names_.size()); }

  std::string ColumnName(int index) const override {
    if (index < 0 || index >= ColumnCount()) Raise(kErrItemNotFound);
    return names_[static_cast<size_t>(index)];
  }

  int64_t Changes() const override { return changes_; }

  void Reset() override {
    result_.reset();
    fresh_ = true;
    row_ = -1;
  }

  bool ReadOnly() const override { return text_.read_only; }
  std::string Text() const override { return text_.text; }

  std::string Expanded() const override {
    std::string out;
    size_t from = 0;
    for (const pg::Rewritten::Mark& mark : text_.marks) {
      out.append(text_.text, from, mark.at - from);
      from = mark.at + mark.length;
      const size_t i = static_cast<size_t>(mark.number - 1);
      if (i >= values_.size() || !values_[i].value) {
        out += "NULL";
      } else if (!values_[i].quoted) {
        out += *values_[i].value;
      } else {
        out += '\'';
        for (char c : *values_[i].value) out.append(c == '\'' ? 2 : 1, c);
        out += '\'';
      }
    }
    out.append(text_.text, from);
    return out;
  }

 private:
  struct Value {
    std::optional<std::string> value;  // nullopt: NULL
    bool quoted = false;               // a text in traces
  };

  std::shared_ptr<Core> core_;
  std::string name_;
  pg::Rewritten text_;
  std::vector<std::string> names_;
  std::vector<Value> values_;
  Result result_;
  int row_ = -1;
  bool fresh_ = true;
  int64_t changes_ = 0;
};

class PgBackend final : public Backend {
 public:
  explicit PgBackend(std::shared_ptr<Core> core) : core_(std::move(core)) {}

  const Dialect& dialect() const override { return kPostgresDialect; }
  std::string Name() const override { return PQdb(core_->conn); }

  std::unique_ptr<BackendStatement> Compile(std::string_view sql, bool) override {
    pg::Rewritten text = pg::Rewrite(sql);
    if (text.several)
      RaiseSuiteError("Solo se admite una sentencia por ejecución: " + std::string(sql));
    return Prepare(std::move(text));
  }

  std::unique_ptr<BackendStatement> TryCompile(std::string_view sql) override {
    pg::Rewritten text = pg::Rewrite(sql);
    if (text.several) return nullptr;
    try {
      return Prepare(std::move(text));
    } catch (const RuntimeError&) {
      // A failed prepare has aborted the open transaction: say so.
      if (core_->InTransaction()) throw;
      return nullptr;
    }
  }

  void Exec(std::string_view sql) override { core_->Exec(std::string(sql)); }

  std::string BeginText() const override { return "BEGIN"; }

  void Begin() override {
    Result r(PQexec(core_->conn, ("BEGIN; SELECT pg_advisory_xact_lock(" +
                                  std::to_string(kWriterLockKey) + ")")
                                     .c_str()));
    if (Core::Ok(r.get())) return;
    RuntimeError error = core_->Error(r.get());
    if (core_->InTransaction()) Result(PQexec(core_->conn, "ROLLBACK"));
    throw error;
  }

  void Run(std::string_view transaction_text) override {
    Result r = core_->Exec(std::string(transaction_text));
    core_->DeallocateDropped();
    // COMMIT of a transaction a failed statement aborted rolls it back and
    // reports success: the work is lost, so it is a failure here.
    if (std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0 && transaction_text != "ROLLBACK")
      throw RuntimeError(kErrDatabase,
                         "La transacción se deshizo: una sentencia anterior falló dentro de ella",
                         std::string(kSuiteSource));
  }

  void Rollback(size_t level) override {
    const std::string text = level <= 1 ? std::string("ROLLBACK")
                                        : "ROLLBACK TO q" + std::to_string(level) +
                                              "; RELEASE q" + std::to_string(level);
    Result r(PQexec(core_->conn, text.c_str()));
    if (!Core::Ok(r.get()) && (level > 1 || core_->InTransaction())) throw core_->Error(r.get());
    core_->DeallocateDropped();
  }

  bool InTransaction() override { return core_->InTransaction(); }
  bool LastFailureRetryable() const override { return core_->retryable; }

  void OnChange(std::function<void(std::string_view table)> fn) override {
    core_->on_change = std::move(fn);
  }

  std::optional<std::string> FindTable(std::string_view table) override {
    return Lookup(
        "SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() "
        "AND lower(table_name) = lower($1) LIMIT 1",
        {std::string(table)});
  }

  std::optional<std::string> FindColumn(std::string_view table, std::string_view column) override {
    return Lookup(
        "SELECT column_name FROM information_schema.columns WHERE table_schema = current_schema() "
        "AND lower(table_name) = lower($1) AND lower(column_name) = lower($2) LIMIT 1",
        {std::string(table), std::string(column)});
  }

  std::vector<std::string> TableNames() override {
    Result r = core_->Check(PQexec(core_->conn,
                                   "SELECT table_name FROM information_schema.tables WHERE "
                                   "table_schema = current_schema() AND table_type = 'BASE TABLE'"));
    std::vector<std::string> names;
    for (int i = 0; i < PQntuples(r.get()); ++i) names.push_back(pg::Spelled(PQgetvalue(r.get(), i, 0)));
    std::sort(names.begin(), names.end());
    return names;
  }

  void CreateSchema() override {
    static const std::string script =
        // Every NOCASE text column is citext. TOTAL is the embedded
        // backend's sum that is 0.0 over no rows, which the suite's texts use.
        "CREATE EXTENSION IF NOT EXISTS citext;\n"
        "CREATE OR REPLACE AGGREGATE total(double precision) "
        "(SFUNC = float8pl, STYPE = double precision, INITCOND = '0');\n"
        // ROUND(real, places) as the embedded backend has it: halves away
        // from zero, a real back.
        "CREATE OR REPLACE FUNCTION round(double precision, integer) RETURNS double precision "
        "LANGUAGE sql IMMUTABLE STRICT AS "
        "'SELECT CAST(round(CAST($1 AS numeric), $2) AS double precision)';\n" +
        pg::PostgresSchema(CoreSchemaSql()) + pg::PostgresSchema(InventorySchemaSql());
    core_->Exec(script);
  }

 private:
  std::unique_ptr<BackendStatement> Prepare(pg::Rewritten text) {
    core_->DeallocateDropped();
    std::string name = "s";  // appended: GCC 12 misreads "s" + text as overlapping
    name += std::to_string(++core_->last_name);
    core_->Check(PQprepare(core_->conn, name.c_str(), text.text.c_str(), 0, nullptr));
    Result shape;
    try {
      shape = core_->Check(PQdescribePrepared(core_->conn, name.c_str()));
    } catch (...) {
      core_->Deallocate(name);
      throw;
    }
    return std::make_unique<PgStatement>(core_, name, std::move(text), std::move(shape));
  }

  // The first column of the first row, as the schema spells it.
  std::optional<std::string> Lookup(const char* sql, const std::vector<std::string>& params) {
    std::vector<const char*> pointers;
    for (const std::string& p : params) pointers.push_back(p.c_str());
    Result r = core_->Check(PQexecParams(core_->conn, sql, static_cast<int>(pointers.size()),
                                         nullptr, pointers.data(), nullptr, nullptr, 0));
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return pg::Spelled(PQgetvalue(r.get(), 0, 0));
  }

  std::shared_ptr<Core> core_;
};

}  // namespace

std::unique_ptr<Backend> OpenPostgres(const std::string& conninfo) {
  auto core = std::make_shared<Core>();
  core->conn = PQconnectdb(conninfo.c_str());
  if (PQstatus(core->conn) != CONNECTION_OK)
    throw RuntimeError(kErrDatabase, Trimmed(PQerrorMessage(core->conn)), std::string(kSuiteSource));
  if (PQsetClientEncoding(core->conn, "UTF8") != 0) throw core->Error(nullptr);
  // Notices ("already exists, skipping") are no failure and no output of ours.
  PQsetNoticeProcessor(core->conn, [](void*, const char*) {}, nullptr);
  // ISO dates parse as Dates; floats print their shortest exact text. A
  // writer waits for the one before it up to kServerLockWaitMs: a unit of
  // work takes about ten times as long here as on the file (a round trip per
  // statement: a 10,000-line shipment holds the lock some ten seconds).
  core->Exec("SET DateStyle = 'ISO, YMD'; SET standard_conforming_strings = on; "
             "SET lock_timeout = " + std::to_string(kServerLockWaitMs) +
             "; SET extra_float_digits = 1");
  return std::make_unique<PgBackend>(std::move(core));
}

}  // namespace qbx::suite
