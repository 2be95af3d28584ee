#include "suite/connection.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>
#include <vector>

#include "suite/database.h"
#include "suite/services.h"

namespace qbx::suite {
namespace {

constexpr int32_t kErrObjectClosed = 3704;
constexpr std::string_view kObjectClosedText =
    "Operation is not allowed when the object is closed.";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Matches the keyword at pos (any case) followed by a blank; returns the
// position after the blanks that follow it.
std::optional<size_t> Keyword(std::string_view s, size_t pos, std::string_view word) {
  if (s.size() < pos + word.size()) return std::nullopt;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(s[pos + i])) != word[i]) return std::nullopt;
  }
  pos += word.size();
  if (pos >= s.size() || !IsBlank(s[pos])) return std::nullopt;
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  return pos;
}

class Recordset final : public com::Object<Recordset, IRecordset> {
 public:
  Recordset(std::shared_ptr<Database> db, std::unique_ptr<Statement> statement, bool has_row)
      : com::Object<Recordset, IRecordset>(&SuiteModule()),
        db_(std::move(db)),
        statement_(std::move(statement)),
        eof_(!has_row) {
    if (eof_ && statement_) {  // nothing to read: release at once
      RememberColumns();
      statement_.reset();
    }
  }

  bool Eof() override {
    CheckOpen();
    return eof_;
  }

  Variant Field(std::string_view name) override {
    CheckOpen();
    if (eof_) {
      // Names are checked before the position, as the platform does.
      if (columns_known_ && !HasColumn(name)) Raise(kErrItemNotFound);
      Raise(kErrNoCurrentRecord);
    }
    const int index = statement_->FindColumn(name);
    if (index < 0) Raise(kErrItemNotFound);
    return statement_->Column(index);
  }

  void MoveNext() override {
    CheckOpen();
    if (eof_) Raise(kErrNoCurrentRecord);
    if (!statement_->Step()) {
      eof_ = true;
      RememberColumns();
      statement_.reset();
    }
  }

  void Close() override {
    CheckOpen();
    statement_.reset();
    closed_ = true;
  }

 private:
  void CheckOpen() const {
    if (closed_) Raise(kErrObjectClosed, std::string(kObjectClosedText));
  }
  // Column names outlive the statement so that an unknown name read at
  // end-of-file still reports 3265.
  void RememberColumns() {
    columns_known_ = true;
    for (int i = 0; i < statement_->ColumnCount(); ++i)
      columns_.push_back(statement_->ColumnName(i));
  }
  bool HasColumn(std::string_view name) const {
    for (const auto& c : columns_) {
      if (c.size() == name.size() &&
          std::equal(c.begin(), c.end(), name.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }))
        return true;
    }
    return false;
  }

  std::shared_ptr<Database> db_;  // outlives the statement
  std::unique_ptr<Statement> statement_;
  bool eof_;
  bool closed_ = false;
  bool columns_known_ = false;
  std::vector<std::string> columns_;
};

class Connection final : public com::Object<Connection, IConnection> {
 public:
  explicit Connection(std::shared_ptr<Database> db)
      : com::Object<Connection, IConnection>(&SuiteModule()), db_(std::move(db)) {}

  com::ComPtr<IRecordset> Execute(const std::string& command_text, const Variant&,
                                  int32_t) override {
    auto statement = db_->PrepareOnce(RewriteTop(command_text), Origin::Component);
    const bool has_row = statement->Step();
    if (statement->ColumnCount() == 0) statement.reset();
    return Recordset::Make(db_, std::move(statement), has_row);
  }

  std::string DefaultDatabase() override { return db_->name(); }

 private:
  std::shared_ptr<Database> db_;
};

}  // namespace

std::string RewriteTop(std::string_view sql) {
  size_t pos = 0;
  while (pos < sql.size() && IsBlank(sql[pos])) ++pos;
  const size_t select_at = pos;
  auto after_select = Keyword(sql, pos, "SELECT");
  if (!after_select) return std::string(sql);
  auto after_top = Keyword(sql, *after_select, "TOP");
  if (!after_top) return std::string(sql);
  size_t p = *after_top;
  const bool parens = p < sql.size() && sql[p] == '(';
  if (parens) ++p;
  const size_t digits_at = p;
  while (p < sql.size() && std::isdigit(static_cast<unsigned char>(sql[p]))) ++p;
  if (p == digits_at) return std::string(sql);
  std::string_view count = sql.substr(digits_at, p - digits_at);
  if (parens) {
    if (p >= sql.size() || sql[p] != ')') return std::string(sql);
    ++p;
  }
  if (p >= sql.size() || !IsBlank(sql[p])) return std::string(sql);
  while (p < sql.size() && IsBlank(sql[p])) ++p;
  // The rest of the statement, without a closing semicolon and blanks.
  std::string_view rest = sql.substr(p);
  while (!rest.empty() && (IsBlank(rest.back()) || rest.back() == ';')) rest.remove_suffix(1);
  std::string out(sql.substr(0, select_at));
  out += sql.substr(select_at, *after_select - select_at);
  out += rest;
  out += " LIMIT ";
  out += count;
  return out;
}

com::ComPtr<IConnection> MakeConnection(std::shared_ptr<Database> db) {
  return Connection::Make(std::move(db));
}

}  // namespace qbx::suite
