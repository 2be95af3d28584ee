// The ADO-style database connection the suite hands out, and its recordsets.
// Free of any database library: each backend implements these.
//
// Failure: every method raises qbx::RuntimeError. A database error carries
// the database's own message; field names match without regard to case; an
// unknown field is error 3265 and a field read at end-of-file is error 3021
// (descriptions below).
#pragma once

#include <string>
#include <string_view>

#include "automation/com.h"
#include "automation/value.h"
#include "services/operations.h"

namespace qbx {

inline constexpr std::string_view kItemNotFoundText =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";
inline constexpr std::string_view kNoCurrentRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";

// CommitTrans or RollbackTrans without an open unit (XACT_E_NOTRANSACTION).
inline constexpr int32_t kErrNoTransaction = -2147168242;
inline constexpr std::string_view kNoTransactionText = "No transaction is active.";

// The operations (see services/operations.h).
#define QBX_RECORDSET_OPS(X)                                                                       \
  /* True past the last row (and for a statement that returns no rows). */                         \
  X(bool, Eof, (), ())                                                                             \
  /* Fields(name).Value of the current row: SQL NULL is Null, date columns come back as */         \
  /* Dates, integers as Long, reals as Double, text as String. */                                  \
  X(Variant, Field, (std::string_view name), (name))                                               \
  X(void, MoveNext, (), ())                                                                        \
  X(void, Close, (), ())

struct IRecordset : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{00000556-0000-0010-8000-00AA006D2EA4}");

  QBX_RECORDSET_OPS(QBX_DECLARE_OP)

 protected:
  ~IRecordset() = default;
};

#define QBX_CONNECTION_OPS(X)                                                                      \
  /* Runs one statement. records_affected is the omitted optional argument (callers pass */        \
  /* Missing); options is -1. Always returns a recordset; for a statement without rows it is */    \
  /* at end-of-file. */                                                                            \
  X(com::ComPtr<IRecordset>, Execute,                                                              \
    (const std::string& command_text, const Variant& records_affected, int32_t options),           \
    (command_text, records_affected, options))                                                     \
  /* Name of the database the connection is attached to. */                                        \
  X(std::string, DefaultDatabase, (), ())                                                          \
  /* Units of work. A unit covers everything done on the thread's database meanwhile: the */       \
  /* statements run here and every service called. BeginTrans answers the new nesting level */     \
  /* (1 for the outermost unit); a nested unit commits into the one around it. RollbackTrans */    \
  /* leaves the database as it was when the unit began. Commit or rollback without an open */      \
  /* unit is error kErrNoTransaction. A client that never opens a unit sees each statement */      \
  /* and service call take effect as it is made. */                                                \
  X(int32_t, BeginTrans, (), ())                                                                   \
  X(void, CommitTrans, (), ())                                                                     \
  X(void, RollbackTrans, (), ())

struct IConnection : com::IUnknown {
  using Base = com::IUnknown;
  static constexpr Guid IID = MakeGuid("{00000550-0000-0010-8000-00AA006D2EA4}");

  QBX_CONNECTION_OPS(QBX_DECLARE_OP)

 protected:
  ~IConnection() = default;
};

}  // namespace qbx
