// What the tool reads from the suite's database and how it prints it: result
// sets as plain tables (columns and rows of Variants), rendered as aligned
// text for a person or as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "automation/value.h"

namespace qbx::suite {
class Database;
}

namespace qbx::cli {

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<Variant>> rows;

  bool empty() const { return rows.empty(); }
  // Position of a column (any case); -1 when none.
  int Find(std::string_view column) const;
  // The value of a column in row r; Null when the column is not there.
  Variant At(size_t r, std::string_view column) const;
};

// Runs a query (parameters bound in order) and reads every row.
Table Query(suite::Database& db, std::string_view sql, const std::vector<Variant>& params = {});

// A cell as a person reads it: Null and Empty blank, numbers as their
// decimal text, dates "yyyy-mm-dd" (with the time when there is one).
std::string CellText(const Variant& v);
// A cell in JSON: null, a boolean, a number or a text (dates as ISO texts).
nlohmann::json CellJson(const Variant& v);
// Every row as an object keyed by column name.
nlohmann::json TableJson(const Table& table);

// A column of a printed table: the column's name in the result and its label.
struct Column {
  std::string_view name;
  std::string_view label;
};

// Prints the chosen columns (those the table has) aligned under their labels,
// numbers to the right; "(none)" when there are no rows.
void PrintTable(std::ostream& out, const Table& table, const std::vector<Column>& columns,
                std::string_view indent = "  ");

}  // namespace qbx::cli
