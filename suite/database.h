// The suite's database: one connection per thread and database, prepared
// statements cached by text, units of work, kept rows and the schema.
// Internal to the suite library; no driver type appears here.
//
// Backends: the name chooses one (IsServerDatabase). The embedded file is
// in suite/sqlite/, a server in suite/postgres/; each is the only folder
// that includes its driver's headers (test backend_seam keeps it so),
// behind suite/backend.h. What they share is here and in
// suite/database.cpp.
//
// Writers: the outermost transaction takes the backend's write lock, so
// writers on one database go one at a time and readers never wait; a second
// writer waits up to kBusyTimeoutMs on the file, a minute on a server. A server's serialization failure or
// deadlock in one of the suite's own outermost transactions runs it again.
//
// Failure: every method raises qbx::RuntimeError. A database error carries
// number kErrDatabase and the database's own message (mapped in one place
// per backend). Destructors never throw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/value.h"

namespace qbx::suite {

// Number of every error the database reports: the provider's "errors in the
// command" status (0x80040E14), what the platform's data layer raises for a
// failed statement.
inline constexpr int32_t kErrDatabase = -2147217900;
// Number of the suite services' own run-time errors (unknown table or column,
// missing conversion factor, missing database file): the platform's
// object-error base (0x80040000) + 1000.
inline constexpr int32_t kErrSuite = -2147220504;
// Source of the errors the suite raises.
inline constexpr std::string_view kSuiteSource = "Quelbarix.Suite";

inline constexpr int kBusyTimeoutMs = 10000;

// True when the name is a server's (postgresql://..., postgres://... or a
// key=value connection string); false for a file (a path or sqlite:PATH).
bool IsServerDatabase(std::string_view name);
// The file a name that is not a server's stands for (without "sqlite:").
std::string DatabaseFilePath(std::string_view name);

// Raises a suite error (kErrSuite) with the description.
[[noreturn]] void RaiseSuiteError(std::string description);

// The suite error raised when the database file a name stands for is not
// there. Its own type, so that a caller can tell a person what to do about
// it in the caller's words; the suite gives no advice.
class MissingDatabase : public RuntimeError {
 public:
  explicit MissingDatabase(std::string name);
  const std::string& name() const noexcept { return name_; }

 private:
  std::string name_;
};

// The suite error raised when init is asked for a database that is already
// there: a file that exists, or a server database that already has the
// suite's tables. Nothing is changed. Its own type for the same reason.
class ExistingDatabase : public RuntimeError {
 public:
  ExistingDatabase(std::string name, bool has_tables);
  const std::string& name() const noexcept { return name_; }
  // True for a server database that already has the suite's tables.
  bool has_tables() const noexcept { return has_tables_; }

 private:
  std::string name_;
  bool has_tables_;
};

// The texts in which dates are stored and compared: "yyyy-mm-dd" and
// "yyyy-mm-dd hh:mm:ss" (both sort as the dates they stand for).
std::string DateText(const Date& date);
std::string DateTimeText(const Date& date);

class Database;
class Dialect;

// A prepared statement. Obtained from Database::Prepare; valid while the
// Database lives. Bind values are Variants: Empty/Null bind NULL, Boolean
// binds 1/0 (True as 1), Integer/Long bind integers, Dates bind their
// "yyyy-mm-dd hh:mm:ss" text.
class Statement {
 public:
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  // Resets the statement and binds the parameters (1-based, in order).
  Statement& Bind(const std::vector<Variant>& params);
  // The values of a text's literals: a text, or a 64-bit integer.
  using Literal = std::variant<std::string, int64_t>;
  // Resets the statement and binds literal values (1-based, in order); the
  // statement keeps them until it is bound again.
  Statement& BindLiterals(std::vector<Literal> values);
  // The text the next execution reports to the trace sink in place of its
  // own (until the next Bind): the text a caller sent, when it runs as a
  // statement prepared for its shape.
  void ReportAs(std::string text);
  // Steps once: true while a row is available. Rows are read as they are
  // stepped, never loaded ahead.
  bool Step();
  // Column of the current row, by position (0-based) or name (any case).
  // SQL NULL is Null; a column declared DATE/DATETIME comes back as a Date;
  // integers as Long (Double beyond 32 bits), reals as Double, text as String.
  // A name that is not a column is error 3265.
  Variant Column(int index) const;
  Variant Column(std::string_view name) const;
  // Position of a column by name (any case); -1 when none.
  int FindColumn(std::string_view name) const;
  int ColumnCount() const;
  std::string ColumnName(int index) const;
  // Steps to the end, for statements without rows; returns changed rows.
  int64_t Run();
  // Releases the read position (the statement stays prepared).
  void Reset();
  // The text as prepared.
  std::string Sql() const;
  // How often the database compiled the statement again because the schema
  // changed after it was prepared (a change by any connection is noticed
  // when the statement is next stepped).
  int64_t Reprepares() const;

 private:
  friend class Database;
  struct Impl;
  explicit Statement(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// One use of a cached statement, from binding to reset: binds the values,
// steps through the rows and reads typed columns. Leaving the scope resets
// the statement whatever happened meanwhile (a conversion that throws half
// way through a row included), so no read stays open on a statement the
// next caller shares: an open read would hold the connection's snapshot,
// and a later write would fail once another user committed.
class Query {
 public:
  // The cached statement for sql (Database::Prepare), or one already at hand.
  Query(Database& db, std::string_view sql, const std::vector<Variant>& params = {});
  Query(Statement& statement, const std::vector<Variant>& params);
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  ~Query();

  // The next row: true while there is one.
  bool Step();
  // Columns of the current row (0-based), as Statement::Column has them.
  Variant Value(int index) const;
  // As text, Null as "".
  std::string Text(int index) const;
  // As a number; Null is an error, as for a Variant.
  double Number(int index) const;
  // A flag: true unless Null or zero.
  bool Flag(int index) const;
  Statement& statement() { return st_; }

 private:
  Statement& st_;
};

// Who sent a statement, for counting and tracing.
enum class Origin { Component, Suite };

using TraceSink = std::function<void(Origin, std::string_view)>;

class Database {
 public:
  // Opens the database the name chooses (see IsServerDatabase), creating a
  // file when create is true; a missing file is refused otherwise. A
  // read_only file is never written (a write is the database's "attempt to
  // write a readonly database") and, without a -wal beside it, no other file
  // is created either: it opens in a folder it may not write to.
  Database(const std::string& path, bool create, bool read_only = false);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // The database of the calling thread for the configured path (see
  // suite/config.h), opened on first use and shared by the thread's service
  // objects and connections while any of them lives. A missing file is a
  // suite error naming the path; an older schema is brought up to date.
  static std::shared_ptr<Database> ForThread();
  // Makes ForThread of the calling thread hand out db for its path while db
  // lives (and the file is the same), instead of opening its own.
  static void ShareForThread(const std::shared_ptr<Database>& db);

  const std::string& path() const;
  // The backend's pieces of SQL text (suite/dialect.h).
  const Dialect& dialect() const;
  // Name as the connection's DefaultDatabase reports it (file stem).
  std::string name() const;

  // A cached prepared statement for the text (suite-internal, parameterised).
  // Holds one statement: the text may not contain a second one.
  Statement& Prepare(std::string_view sql, Origin origin = Origin::Suite);
  // A one-off statement (not cached), e.g. the component's own texts.
  std::unique_ptr<Statement> PrepareOnce(std::string_view sql, Origin origin);
  // A cached statement for the shape of a component text (its literals made
  // parameters; see suite/insert_text.h), counted as the component's. nullptr,
  // with nothing sent, when the shape does not compile or kMaxShapes shapes
  // are cached already: the caller then runs the text as it is.
  static constexpr int kMaxShapes = 64;
  Statement* PrepareShape(std::string_view shape);
  // First column of the first row of a cached statement (Empty when there is
  // no row); the statement is reset afterwards so no read stays open.
  Variant QueryValue(std::string_view sql, const std::vector<Variant>& params = {});
  // Runs a cached statement without rows; returns changed rows.
  int64_t Run(std::string_view sql, const std::vector<Variant>& params = {});
  // Runs one or more statements without parameters or rows.
  void Exec(std::string_view sql);
  // Runs fn as one transaction: BEGIN IMMEDIATE ... COMMIT when nothing is
  // open, else a savepoint inside what is open (a unit of work or an outer
  // call). When fn throws, exactly what fn did is undone and the error
  // passes on; whatever was open before stays open and keeps its work.
  void Transaction(const std::function<void()>& fn);

  // Units of work (the connection's BeginTrans/CommitTrans/RollbackTrans).
  // The outermost unit is BEGIN IMMEDIATE: it holds the write lock until it
  // ends, so a second writer waits (up to kBusyTimeoutMs) instead of failing
  // half way. Nested units are savepoints. BeginUnit answers the new level;
  // CommitUnit and RollbackUnit without an open unit raise
  // kErrNoTransaction. A database closed with a unit open rolls it back.
  int32_t BeginUnit();
  void CommitUnit();
  void RollbackUnit();
  // Open units (0 when none).
  int32_t UnitLevel() const;

  // Rows that cannot change inside a unit of work are read once per unit.
  // The unit holds the write lock, so no other connection changes anything
  // until it ends; a change made on this connection to a table with kept
  // rows drops them all, and so does rolling back any level (a savepoint
  // may take back a change read since). The rows end with the outermost
  // unit (commit or rollback), with Exec (a text may change the schema) and,
  // past kMaxKeptRows, when a new one is read. Outside a unit nothing is
  // kept and the statement simply runs. Callers use it only for a table's
  // primary key, so "the first row" is the only row.
  struct KeptRow {
    bool found = false;  // false when the query had no row
    // The statement's column names, shared by every row it read.
    std::shared_ptr<const std::vector<std::string>> names;
    std::vector<Variant> values;
    // The value of a column (any case); nullptr when there is no such column.
    const Variant* Find(std::string_view name) const;
  };
  static constexpr size_t kMaxKeptRows = 256;
  // The first row of the cached statement sql, a query of `table` only.
  std::shared_ptr<const KeptRow> UnitRow(std::string_view table, std::string_view sql,
                                         const std::vector<Variant>& params);
  // Rows kept now (for tests).
  size_t KeptRows() const;

  // Something that keeps a read snapshot open on this connection between
  // calls (a recordset walking its rows) and can let go of it on demand, by
  // reading what is left into memory.
  class SnapshotHolder {
   public:
    virtual void LetGo() = 0;

   protected:
    ~SnapshotHolder() = default;
  };
  // A write on a connection whose snapshot is older than another user's
  // commit fails at once ("database is locked"), whatever the busy timeout.
  // So before any statement that writes (and before BEGIN IMMEDIATE) every
  // holder lets go of its snapshot; holders register here while they hold
  // one. Like the rest of a Database, for the thread that owns it only.
  void Hold(SnapshotHolder* holder);
  void Release(SnapshotHolder* holder);

  // Identifiers checked against the schema, compared without regard to case;
  // they answer the name as the schema spells it. An unknown table or column
  // is a suite error naming it.
  std::string ResolveTable(std::string_view table);
  std::string ResolveColumn(std::string_view table, std::string_view column);
  bool HasTable(std::string_view table);
  bool HasColumn(std::string_view table, std::string_view column);
  // Every table of the database, in order of name.
  std::vector<std::string> TableNames();

  // Statements sent so far, by origin.
  int64_t StatementCount(Origin origin) const;
  // Called with every statement text as it is sent (nullptr to stop). The
  // database's own sink wins over the process-wide default.
  void SetTraceSink(TraceSink sink);
  static void SetDefaultTraceSink(TraceSink sink);

  // Schema: creates or upgrades the tables in one transaction and records
  // the version; true when the tables were created (the file was new).
  // Refuses a database whose version is newer than this program's.
  bool EnsureSchema();
  // 0 for a database without the suite's tables.
  int SchemaVersion();

 private:
  friend class Statement;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// An identifier for SQL text: a plain name (letters, digits, _) as it is,
// anything else "quoted" with inner quotes doubled.
std::string QuoteIdentifier(std::string_view name);

// The whole row of a table by its key, for Database::UnitRow: SELECT * ...
// WHERE key = ?1 [AND key2 = ?2] [AND Es_Cve_Estado <> ?n] LIMIT 1, names as
// the schema spells them. Every caller builds it here, so that one kept row
// answers all of them.
std::string KeyRowSql(std::string_view table, std::string_view key, std::string_view key2,
                      bool excluded_state);

}  // namespace qbx::suite
