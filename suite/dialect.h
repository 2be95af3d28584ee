// What differs in SQL text between the database backends the suite runs on.
// A Database hands out its backend's Dialect (Database::dialect()); service
// code writes such pieces as {now} / {today} / {binary} in a DialectSql,
// which builds the final text once per dialect, so the statement cache still
// finds every statement by its final text and no call pays for building it.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace qbx::suite {

// Backends one process may use at once (SQLite and a server).
inline constexpr size_t kMaxDialects = 2;

class Dialect {
 public:
  // index: the backend's own number below kMaxDialects.
  constexpr Dialect(size_t index, std::string_view now, std::string_view today,
                    std::string_view binary)
      : index_(index), now_(now), today_(today), binary_(binary) {}

  size_t index() const { return index_; }
  // An expression for the current local date and time, "yyyy-mm-dd hh:mm:ss".
  std::string_view Now() const { return now_; }
  // An expression for the current local date, "yyyy-mm-dd".
  std::string_view Today() const { return today_; }
  // What follows an integer sort key (CAST(id AS INTEGER)) so that it is read
  // along the (folio, CAST(id AS INTEGER)) indexes: on SQLite the cast keeps
  // its column's NOCASE collation and the indexes declare BINARY. Empty where
  // integers take no collation.
  std::string_view Binary() const { return binary_; }

  // The text with every {now}, {today} and {binary} replaced. Any
  // other {name} is a suite error: a misspelt piece must not reach the
  // database as text.
  std::string Expand(std::string_view text) const;

 private:
  size_t index_;
  std::string_view now_;
  std::string_view today_;
  std::string_view binary_;
};

// A statement text with dialect pieces, expanded on first use per dialect
// (safely from any thread). Meant to be a static beside its one use.
class DialectSql {
 public:
  explicit DialectSql(std::string_view text) : text_(text) {}
  DialectSql(const DialectSql&) = delete;
  DialectSql& operator=(const DialectSql&) = delete;

  const std::string& For(const Dialect& dialect) const;

 private:
  struct Built {
    std::once_flag once;
    std::string text;
  };
  std::string_view text_;
  mutable std::array<Built, kMaxDialects> built_;
};

}  // namespace qbx::suite
