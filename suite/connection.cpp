#include "suite/connection.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>
#include <vector>

#include "suite/database.h"
#include "suite/insert_text.h"
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

// Rows are read as they are walked (a forward-only cursor), which keeps the
// connection's read snapshot open meanwhile. Before the connection writes,
// the recordset reads what it has left into memory and lets the snapshot go
// (see Database::SnapshotHolder): the component walks rows while it calls
// services that write, and another user may have committed since the
// snapshot was taken.
class Recordset final : public com::Object<Recordset, IRecordset>,
                        private Database::SnapshotHolder {
 public:
  Recordset(std::shared_ptr<Database> db, std::unique_ptr<Statement> statement, bool has_row)
      : com::Object<Recordset, IRecordset>(&SuiteModule()),
        db_(std::move(db)),
        statement_(std::move(statement)),
        eof_(!has_row) {
    if (!statement_) return;
    if (eof_) {  // nothing to read: release at once
      RememberColumns();
      statement_.reset();
    } else {
      db_->Hold(this);
    }
  }
  ~Recordset() {
    if (statement_) db_->Release(this);
  }

  bool Eof() override {
    CheckOpen();
    return eof_;
  }

  Variant Field(std::string_view name) override {
    CheckOpen();
    if (eof_) {
      // Names are checked before the position, as the platform does.
      if (columns_known_ && IndexOf(name) == columns_.size()) Raise(kErrItemNotFound);
      Raise(kErrNoCurrentRecord);
    }
    if (!statement_) {
      const size_t index = IndexOf(name);
      if (index == columns_.size()) Raise(kErrItemNotFound);
      return rows_[next_ - 1][index];
    }
    const int index = statement_->FindColumn(name);
    if (index < 0) Raise(kErrItemNotFound);
    return statement_->Column(index);
  }

  void MoveNext() override {
    CheckOpen();
    if (eof_) Raise(kErrNoCurrentRecord);
    if (!statement_) {
      if (next_ < rows_.size()) {
        ++next_;
      } else {
        eof_ = true;
        std::vector<std::vector<Variant>>().swap(rows_);
      }
    } else if (!statement_->Step()) {
      eof_ = true;
      RememberColumns();
      db_->Release(this);
      statement_.reset();
    }
  }

  void Close() override {
    CheckOpen();
    if (statement_) db_->Release(this);
    statement_.reset();
    std::vector<std::vector<Variant>>().swap(rows_);
    closed_ = true;
  }

 private:
  // The current row and every one after it, into memory.
  void LetGo() override {
    RememberColumns();
    const int width = statement_->ColumnCount();
    for (bool row = true; row; row = statement_->Step()) {
      std::vector<Variant>& cells = rows_.emplace_back();
      cells.reserve(static_cast<size_t>(width));
      for (int i = 0; i < width; ++i) cells.push_back(statement_->Column(i));
    }
    next_ = 1;  // the current row is the first one kept
    statement_.reset();
  }

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
  // Position of the column (any case); columns_.size() when there is none.
  size_t IndexOf(std::string_view name) const {
    for (size_t i = 0; i < columns_.size(); ++i) {
      const std::string& c = columns_[i];
      if (c.size() == name.size() &&
          std::equal(c.begin(), c.end(), name.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }))
        return i;
    }
    return columns_.size();
  }

  std::shared_ptr<Database> db_;            // outlives the statement
  std::unique_ptr<Statement> statement_;    // while rows are read as walked
  std::vector<std::vector<Variant>> rows_;  // once let go: the rest, current first
  size_t next_ = 0;                         // rows_[next_ - 1] is the current row
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
    if (std::optional<ShapedInsert> shaped = ShapeOfInsert(command_text)) {
      if (Statement* st = db_->PrepareShape(shaped->shape)) {
        st->BindLiterals(std::move(shaped->values));
        st->ReportAs(command_text);  // traced and counted as the text sent
        st->Step();                  // an insert without RETURNING: no rows
        return Recordset::Make(db_, nullptr, false);
      }
    }
    auto statement = db_->PrepareOnce(RewriteTop(command_text), Origin::Component);
    const bool has_row = statement->Step();
    if (statement->ColumnCount() == 0) statement.reset();
    return Recordset::Make(db_, std::move(statement), has_row);
  }

  std::string DefaultDatabase() override { return db_->name(); }

  int32_t BeginTrans() override { return db_->BeginUnit(); }
  void CommitTrans() override { db_->CommitUnit(); }
  void RollbackTrans() override { db_->RollbackUnit(); }

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
