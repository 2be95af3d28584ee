// What a database backend gives the suite's Database: one connection, its
// compiled statements, transactions, catalogue questions and the schema in
// its own dialect. Internal to the suite library. Each backend lives in its
// own folder (suite/sqlite/, suite/postgres/) and is the only code that
// includes its driver's headers.
//
// Everything the backends share (the statement cache, the nesting of units
// and savepoints, kept rows, tracing and counting) is Database's, in
// suite/database.cpp; a backend only speaks to its driver.
//
// Thread-safety: a backend and its statements belong to the thread that
// opened them. Failure: every method raises qbx::RuntimeError; a driver's
// failure carries kErrDatabase and the driver's own message, mapped in one
// function per backend. Destructors never throw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/value.h"
#include "suite/database.h"

namespace qbx::suite {

class Dialect;

// One statement compiled on a backend's connection.
class BackendStatement {
 public:
  virtual ~BackendStatement() = default;

  // Back to a fresh execution with no values bound and no read open.
  virtual void Clear() = 0;
  // Bind after Clear; positions are 1-based and in order. Variants as
  // Statement::Bind describes; literals stay where they are (the caller
  // keeps them until the next Clear).
  virtual void Bind(const std::vector<Variant>& params) = 0;
  virtual void BindLiterals(const std::vector<Statement::Literal>& values) = 0;
  // Runs the statement on the first call after Clear/Reset or the end of its
  // rows, then moves to the next row: true while a row is available. At the
  // end the read is released and the values stay bound. A failure raises
  // kErrDatabase with the driver's message and leaves the statement reset.
  virtual bool Step() = 0;
  // The current row's column (index in range, a row available). SQL NULL is
  // Null; a date column comes back as a Date; integers as Long (Double
  // beyond 32 bits), reals as Double, text as String.
  virtual Variant Column(int index) const = 0;
  virtual int ColumnCount() const = 0;
  // A column's name as the schema spells it (an alias as the text spells it).
  virtual std::string ColumnName(int index) const = 0;
  // Rows the last run to its end inserted, changed or deleted.
  virtual int64_t Changes() const = 0;
  // Releases the read; the values stay bound.
  virtual void Reset() = 0;
  // False when the statement may write.
  virtual bool ReadOnly() const = 0;
  // The text as compiled, and with the bound values written in as literals
  // (for traces).
  virtual std::string Text() const = 0;
  virtual std::string Expanded() const = 0;
  // How often the driver compiled it again after a schema change.
  virtual int64_t Reprepares() const { return 0; }
};

// One connection to one database.
class Backend {
 public:
  virtual ~Backend() = default;

  // The backend's pieces of SQL text.
  virtual const Dialect& dialect() const = 0;
  // The database's name, as the connection's DefaultDatabase reports it.
  virtual std::string Name() const = 0;

  // Compiles one statement (suite texts use ?, ?N placeholders). persistent:
  // it will be kept for the connection's life. More than one statement in
  // the text is a suite error.
  virtual std::unique_ptr<BackendStatement> Compile(std::string_view sql, bool persistent) = 0;
  // Like Compile for a component text's shape (its literals made ?N
  // parameters); nullptr when the backend cannot take the shape, the caller
  // then runs the text as it is. A backend on which a failed compile spoils
  // the open transaction raises the driver's error instead.
  virtual std::unique_ptr<BackendStatement> TryCompile(std::string_view sql) = 0;
  // Runs one or more statements without parameters or rows.
  virtual void Exec(std::string_view sql) = 0;

  // Transactions: level 1 is the outermost, each level above it the
  // savepoint "q<level>". The texts are what traces show; Begin takes
  // whatever lock makes writers wait for one another instead of failing
  // half way.
  virtual std::string BeginText() const = 0;
  virtual void Begin() = 0;
  // COMMIT / SAVEPOINT qN / RELEASE qN.
  virtual void Run(std::string_view transaction_text) = 0;
  // ROLLBACK, or ROLLBACK TO qN and RELEASE qN: run directly, nothing may
  // stand between. Raises only when a transaction is left open after it.
  virtual void Rollback(size_t level) = 0;
  // False once the database has rolled back the open transaction on its own
  // (a full disk, an I/O error).
  virtual bool InTransaction() = 0;
  // True when the last failure only means "try the whole transaction
  // again" (a serialization failure, a deadlock): the suite retries its own
  // outermost transactions on it.
  virtual bool LastFailureRetryable() const { return false; }

  // Called with a table's name whenever this connection changes a row of it
  // (how Database drops kept rows).
  virtual void OnChange(std::function<void(std::string_view table)> fn) = 0;

  // The name as the catalogue spells it (compared without regard to case);
  // nullopt when there is none.
  virtual std::optional<std::string> FindTable(std::string_view table) = 0;
  virtual std::optional<std::string> FindColumn(std::string_view table,
                                                std::string_view column) = 0;
  // Every table's name as the catalogue spells it, in order of name.
  virtual std::vector<std::string> TableNames() = 0;
  // Creates what is missing of the suite's tables (inside the caller's
  // transaction).
  virtual void CreateSchema() = 0;
};

// The backend a database name chooses: postgresql://..., postgres://... or a
// libpq key=value string is a server; a path or sqlite:PATH the embedded
// file. Opens it (creating the file when create is true; a read_only one
// never writes).
std::unique_ptr<Backend> OpenBackend(const std::string& name, bool create, bool read_only);

// Opens each backend (suite/sqlite/, suite/postgres/).
std::unique_ptr<Backend> OpenSqlite(const std::string& path, bool create, bool read_only);
std::unique_ptr<Backend> OpenPostgres(const std::string& conninfo);

}  // namespace qbx::suite
