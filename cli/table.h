// How the tool prints what it reads from the suite: rows (columns and rows
// of Variants) as aligned text for a person or as JSON, each row written as
// it is read.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "automation/value.h"
#include "suite/reports.h"

namespace qbx::cli {

using Table = suite::RowSet;
using RowStream = suite::RowStream;
// Reads rows into the stream it is given; may be called more than once.
using RowSource = std::function<void(RowStream&)>;

// A cell as a person reads it: Null and Empty blank, numbers as their
// decimal text, dates "yyyy-mm-dd" (with the time when there is one).
std::string CellText(const Variant& v);
// Appends a cell as JSON: null, a boolean, a number or a text (dates as ISO
// texts, the zero date null).
void AppendJsonCell(std::string& out, const Variant& v);
// Appends a text as a JSON string.
void AppendJsonText(std::string& out, std::string_view text);

// Writes rows as a JSON array of objects keyed by column name, each row one
// compact line indented by `indent`, as the rows come; Close ends the array
// (on its own line, one level out, when it has rows).
class JsonRows final : public RowStream {
 public:
  JsonRows(std::ostream& out, std::string indent);
  void Columns(const std::vector<std::string>& names) override;
  void Row(const std::vector<Variant>& values) override;
  void Close();

 private:
  std::ostream& out_;
  std::string indent_;
  std::vector<std::string> keys_;  // `"Name":` of each column
  std::string line_;
  bool any_ = false;
};
// A whole table as one JSON array (list and catalogue).
void WriteJsonRows(std::ostream& out, const Table& table);

// A column of a printed table: the column's name in the result and its label.
struct Column {
  std::string_view name;
  std::string_view label;
};

// Prints the chosen columns (those the rows have) aligned under their
// labels, numbers to the right; "(none)" when there are no rows. `read` runs
// twice: once to size the columns, once to print, so no row is kept.
void PrintTable(std::ostream& out, const RowSource& read, const std::vector<Column>& columns,
                std::string_view indent = "  ");
void PrintTable(std::ostream& out, const Table& table, const std::vector<Column>& columns,
                std::string_view indent = "  ");

}  // namespace qbx::cli
